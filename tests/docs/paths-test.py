#!/usr/bin/env python3
"""Every file or folder of the repository that a document names in backquotes (or in a fenced
block) exists: a path from the top, or a source file by its name alone (`SetupCommands.cpp`),
which must be somewhere in the tree. A word in capitals is a placeholder and stands for any
name: `translations/Localizable.CULTURE.txt` holds when some table matches it.

Usage: paths-test.py SOURCE_DIR [DOCUMENT...]   (default: README.md and docs/*.md)
"""
import fnmatch
import glob
import os
import re
import sys

# NAME, CULTURE, FOLDER: not CMakeLists, nor a capital that starts a word.
PLACEHOLDER = re.compile(r"(?<![A-Za-z])[A-Z][A-Z_]+(?![a-z])")
SPAN = re.compile(r"```.*?```|`[^`\n]+`", re.S)
SOURCE_FILE = re.compile(r"[\w.-]+\.(?:cpp|h|js|def|cmake|sh|py)")
# A program shown as an example names its own files, not the repository's.
PROGRAM_BLOCK = re.compile(r"```(?:python|cpp|c|js|json)\n.*?```", re.S)


def named_paths(text, top_dirs):
    for span in SPAN.findall(PROGRAM_BLOCK.sub("", text)):
        for word in re.split(r"[\s\"'=()<>|&;,]+", span.strip("`")):
            word = word.removeprefix("./").rstrip(".:…")
            first = word.split("/", 1)[0]
            if "/" in word and first in top_dirs:
                yield word
            elif SOURCE_FILE.fullmatch(word):
                yield word


def main():
    source, documents = sys.argv[1], sys.argv[2:]
    if not documents:
        documents = ["README.md"] + sorted(
            os.path.join("docs", name) for name in os.listdir(os.path.join(source, "docs"))
            if name.endswith(".md"))
    top_dirs = {name for name in os.listdir(source)
                if os.path.isdir(os.path.join(source, name))
                and not name.startswith((".", "build"))}
    # The names of the tree's own files, outside builds and installed packages.
    names = set()
    for top in top_dirs:
        for folder, dirs, files in os.walk(os.path.join(source, top)):
            dirs[:] = [d for d in dirs if d != "node_modules"]
            names.update(files)
    missing = []
    checked = 0
    for document in documents:
        with open(os.path.join(source, document), encoding="utf-8") as f:
            text = f.read()
        for path in sorted(set(named_paths(text, top_dirs))):
            checked += 1
            pattern = PLACEHOLDER.sub("*", path)
            found = (glob.glob(os.path.join(source, pattern)) if "/" in path
                     else fnmatch.filter(names, pattern))
            if not found:
                missing.append(f"{document}: {path}")
    for line in missing:
        print(f"paths-test: no such file or folder: {line}", file=sys.stderr)
    if missing:
        return 1
    if checked == 0:
        print("paths-test: no path found to check", file=sys.stderr)
        return 1
    print(f"paths-test: ok ({checked} paths in {len(documents)} documents)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
