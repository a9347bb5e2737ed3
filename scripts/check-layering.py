#!/usr/bin/env python3
"""Fails on an include that the rooms of docs/architecture.md do not allow.

    check-layering.py [ROOT]

Reads the table under "Who may include whom" in ROOT/docs/architecture.md, puts every C and C++
file under ROOT in the first room whose files name it, and checks each #include that names a
file of ROOT. Prints one line per forbidden include (or per file of no room); exit status 1 then.
"""
import os
import pathlib
import re
import subprocess
import sys

SOURCE_SUFFIXES = {".c", ".cpp", ".h", ".def"}
INCLUDE = re.compile(r'^\s*#\s*include\s*["<]([^">]+)[">]')


def pattern_regex(pattern):
    # "dir/" is everything under dir; "*" stays within one folder.
    if pattern.endswith("/"):
        return re.compile(re.escape(pattern) + ".*")
    return re.compile("".join("[^/]*" if c == "*" else re.escape(c) for c in pattern))


def read_rooms(doc):
    lines = doc.read_text(encoding="utf-8").splitlines()
    try:
        start = next(i for i, l in enumerate(lines) if l.startswith("## Who may include whom"))
    except StopIteration:
        sys.exit(f"check-layering: {doc} has no section \"Who may include whom\"")
    rooms = []
    for line in lines[start + 1:]:
        if line.startswith("## "):
            break
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if not line.startswith("|") or len(cells) != 3 or cells[0] in ("Room", "") \
                or set(cells[0]) <= set("-:"):
            continue
        name, files, allowed = cells
        patterns = [pattern_regex(p) for p in re.findall(r"`([^`]+)`", files)]
        allowed = {a.strip() for a in allowed.split(",")}
        rooms.append((name, patterns, allowed))
    if not rooms:
        sys.exit(f"check-layering: no rooms in the table of {doc}")
    names = {name for name, _, _ in rooms}
    for name, _, allowed in rooms:
        unknown = allowed - names - {"anything"}
        if unknown:
            sys.exit(f"check-layering: room \"{name}\" may include unknown rooms: "
                     + ", ".join(sorted(unknown)))
    return rooms


def room_of(path, rooms):
    for name, patterns, allowed in rooms:
        if any(p.fullmatch(path) for p in patterns):
            return name, allowed
    return None, None


def source_files(root):
    if (root / ".git").exists():
        listed = subprocess.run(["git", "-C", str(root), "ls-files", "-co", "--exclude-standard"],
                                capture_output=True, text=True, check=True).stdout.split("\n")
        return [p for p in listed if pathlib.PurePosixPath(p).suffix in SOURCE_SUFFIXES
                and (root / p).is_file()]
    found = []
    for folder, dirs, files in os.walk(root):
        dirs[:] = [d for d in dirs if not d.startswith((".", "build")) and d != "node_modules"]
        for f in files:
            if pathlib.PurePosixPath(f).suffix in SOURCE_SUFFIXES:
                found.append(os.path.relpath(os.path.join(folder, f), root).replace(os.sep, "/"))
    return found


def resolve(root, including, name):
    # As the build finds them: from the repository's root, from include/, or beside the file.
    for base in (root, root / "include", (root / including).parent):
        candidate = (base / name).resolve()
        if candidate.is_file() and candidate.is_relative_to(root):
            return candidate.relative_to(root).as_posix()
    return None


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else
                        pathlib.Path(__file__).resolve().parent.parent).resolve()
    rooms = read_rooms(root / "docs" / "architecture.md")
    problems = []
    files = sorted(source_files(root))
    for path in files:
        room, allowed = room_of(path, rooms)
        if room is None:
            problems.append(f"{path}: in no room of docs/architecture.md")
            continue
        if "anything" in allowed:
            continue
        text = (root / path).read_text(encoding="utf-8", errors="replace").splitlines()
        for number, line in enumerate(text, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            target = resolve(root, path, match.group(1))
            if target is None:
                continue
            target_room, _ = room_of(target, rooms)
            if target_room not in allowed:
                problems.append(f"{path}:{number}: the {room} may not include {target} "
                                f"({target_room or 'no room'})")
    for problem in problems:
        print(problem)
    if problems:
        print(f"check-layering: {len(problems)} forbidden includes (rules: docs/architecture.md)",
              file=sys.stderr)
        return 1
    print(f"check-layering: {len(files)} files, every include allowed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
