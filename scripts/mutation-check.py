#!/usr/bin/env python3
"""Plants simple faults in the lines a change touched, one at a time, and reports each one that
no test caught.

Usage: mutation-check.py [BASE] [--upto REV] [--max N] [--seed S] [--timeout SECONDS]
                         [--preset NAME] [--only TEXT] [--list] [--no-baseline]

The change is what the working tree holds beyond BASE's last common commit with HEAD (committed
or not). BASE defaults to main; when HEAD is main itself and nothing is uncommitted, to HEAD~1,
the last commit. With --upto REV the change is the commits from BASE to REV alone, as far as
their lines are still as REV left them. Only product sources are planted in: C and C++ files
outside tests/, bench/ and fuzz/, and the page's scripts under workbench/page/web/. Comments,
strings and preprocessor lines are left alone.

The faults, each on a touched line:
  relational and equality operators swapped: == and !=, === and !==, < and <=, > and >=
  a constant moved up by one (7 -> 8, 0xDBFF -> 0xDC00)
  a statement that is one call dropped
  the condition of an if or a while negated

After each fault the tests run, each run stopping at its first failure: for a C or C++ file,
first the tests of its room's folder under tests/ (with only their programs rebuilt), then,
after a full incremental build, the rest of the suite without the browser tests; for a page
script, the browser tests (ctest -L browser) after a full build. A fault that passes them all
survived; one whose tests run out of time counts as caught; one that does not build is counted
apart.

The file is restored right after each fault, also on SIGINT, SIGTERM and SIGHUP; a run killed
harder leaves a journal in the build folder from which the next run restores the file first.
At the end the build is brought back to the real code.

Options:
  --max N          plant at most N faults, a sample spread over the change (default 40; 0: all)
  --seed S         which sample (default 1)
  --timeout SECS   limit of one build or one test run (default: 3 times the baseline's, at
                   least 300)
  --preset NAME    the CMake configure, build and test preset (default "default")
  --only TEXT      only files whose path contains TEXT
  --upto REV       only the lines the commits from BASE up to REV changed
  --list           print the faults that would be planted, and plant none
  --no-baseline    skip the first run on the real code (it shows the suite passes there and
                   measures how long it takes)

Prints a line for each fault and then "mutation check: P planted, C caught, S survived, N did
not build"; each survivor as FILE:LINE: what was changed. Exits 0 when none survived, 1 when
any did, 2 for a wrong command line, 3 when the tests fail on the real code.
"""

import argparse
import base64
import json
import os
import random
import re
import signal
import subprocess
import sys
import time
from dataclasses import dataclass

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PAGE_DIR = "workbench/page/web/"
CPP_SUFFIXES = (".c", ".cc", ".cpp", ".h", ".hpp")
SKIPPED_DIRS = ("tests/", "bench/", "fuzz/", "build")

# --- The change ----------------------------------------------------------------------------------


def git(*args):
    return subprocess.run(["git", *args], cwd=ROOT, capture_output=True, text=True, check=True).stdout


def default_base():
    head = git("rev-parse", "HEAD").strip()
    on_main = git("rev-parse", "main").strip() == head
    if on_main and not git("status", "--porcelain", "--untracked-files=no").strip():
        return "HEAD~1"
    return "main"


def plantable(path):
    if path.startswith(SKIPPED_DIRS) or "/node_modules/" in path:
        return False
    return path.endswith(CPP_SUFFIXES) or (path.startswith(PAGE_DIR) and path.endswith(".js"))


def hunks(diff):
    """{path in the newer side: [(old start, old count, new start, new count)]} of a -U0 diff,
    for the files plantable()."""
    found, path = {}, None
    for text in diff.splitlines():
        if text.startswith("+++ "):
            path = text[6:] if text.startswith("+++ b/") else None
            if path is not None and not plantable(path):
                path = None
        elif text.startswith("@@") and path is not None:
            match = re.match(r"@@ -(\d+)(?:,(\d+))? \+(\d+)(?:,(\d+))? @@", text)
            old, old_count, new, new_count = (int(match.group(k) or "1") for k in range(1, 5))
            found.setdefault(path, []).append((old, old_count, new, new_count))
    return found


def carried(line, file_hunks):
    """Where line of the older side is on the newer side, or None when it was changed."""
    offset = 0
    for old, old_count, _, new_count in file_hunks:
        if old_count == 0:  # lines inserted after line old
            if old < line:
                offset += new_count
        elif line >= old + old_count:
            offset += new_count - old_count
        elif line >= old:
            return None
    return line + offset


def touched_lines(base, upto):
    """(the commit the change starts from, {path: set of 1-based line numbers in the working
    tree}): the lines added or changed since base; with upto, only those that the commits up to
    upto changed and that have stayed as they were there."""
    since = git("merge-base", base, "HEAD").strip()
    diff = ["diff", "-U0", "--no-color", "--no-ext-diff", "--diff-filter=AMR"]
    changed = hunks(git(*diff, since, *([upto] if upto else [])))
    lines = {}
    for path, file_hunks in changed.items():
        for _, _, new, count in file_hunks:
            lines.setdefault(path, set()).update(range(new, new + count))
    if upto:
        since_upto = hunks(git(*diff, upto))
        for path in list(lines):
            if not os.path.exists(os.path.join(ROOT, path)):
                del lines[path]
                continue
            moved = {carried(line, since_upto.get(path, [])) for line in lines[path]}
            lines[path] = moved - {None}
    return since, {p: s for p, s in lines.items() if s}


# --- What is code --------------------------------------------------------------------------------


def code_only(text, javascript):
    """text with every comment and string or character literal blanked out (newlines kept), so
    that positions in it are positions in text."""
    out = list(text)
    i, n = 0, len(text)

    def blank(start, end):
        for k in range(start, end):
            if out[k] != "\n":
                out[k] = " "

    while i < n:
        c = text[i]
        if text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
            blank(i, end)
            i = end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            blank(i, end)
            i = end
        elif not javascript and c == "R" and text.startswith('"', i + 1) and (
                i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            open_paren = text.find("(", i + 2)
            delimiter = text[i + 2:open_paren]
            end = text.find(")" + delimiter + '"', open_paren)
            end = n if end < 0 else end + len(delimiter) + 2
            blank(i, end)
            i = end
        elif c in "\"'" or (javascript and c == "`"):
            if c == "'" and not javascript and i > 0 and text[i - 1].isalnum() and \
                    i + 1 < n and text[i + 1].isalnum():
                i += 1  # a digit separator
                continue
            k = i + 1
            while k < n and text[k] != c and (c == "`" or text[k] != "\n"):
                k += 2 if text[k] == "\\" else 1
            end = min(k + 1, n)
            blank(i, end)
            i = end
        else:
            i += 1
    return "".join(out)


# --- The faults ----------------------------------------------------------------------------------


@dataclass
class Fault:
    path: str
    line: int  # 1-based
    start: int  # column span in the line that is replaced
    end: int
    replacement: str
    what: str

    def where(self):
        return f"{self.path}:{self.line}"


SWAPS = {"==": "!=", "!=": "==", "===": "!==", "!==": "===", "<": "<=", "<=": "<", ">": ">=",
         ">=": ">"}
OPERATOR = re.compile(r"(?<=\s)(===|!==|==|!=|<=|>=|<|>)(?=\s)")
NUMBER = re.compile(r"(?<![\w.'])(0[xX][0-9A-Fa-f]+|\d+)([uUlLzZ]*)(?![\w.'])")
KEYWORDS = {"return", "if", "while", "for", "switch", "case", "delete", "new", "throw", "sizeof",
            "static_assert", "co_return", "co_yield", "typeof", "void", "else", "do", "goto",
            "using", "typedef", "namespace", "template", "const", "let", "var", "yield",
            "import", "export", "default", "break", "continue", "decltype", "alignof"}
CALL = re.compile(r"^(?:await\s+)?([A-Za-z_]\w*)(?:\s*(?:::|\.|->|\?\.)\s*[A-Za-z_]\w*)*"
                  r"(?:<[\w:, <>*&]*>)?\(.*\);$")
CONDITION = re.compile(r"\b(if|while)\s*\(")


def closing_paren(code, open_at):
    depth = 0
    for k in range(open_at, len(code)):
        if code[k] == "(":
            depth += 1
        elif code[k] == ")":
            depth -= 1
            if depth == 0:
                return k
    return -1


def ends_statement(code_line):
    stripped = code_line.rstrip()
    return stripped == "" or stripped.endswith((";", "{", "}", ")", ":")) or \
        re.search(r"\belse$", stripped) is not None


def faults_in(path, wanted):
    with open(os.path.join(ROOT, path), encoding="utf-8") as f:
        text = f.read()
    code = code_only(text, path.endswith(".js")).split("\n")
    lines = text.split("\n")
    faults = []
    previous = ""
    for number, (line, masked) in enumerate(zip(lines, code), start=1):
        if number not in wanted or masked.lstrip().startswith("#"):
            if masked.strip():
                previous = masked
            continue
        for match in OPERATOR.finditer(masked):
            op = match.group(1)
            faults.append(Fault(path, number, match.start(), match.end(), SWAPS[op],
                                f"{op} -> {SWAPS[op]}"))
        for match in NUMBER.finditer(masked):
            literal = match.group(1)
            if literal[:2].lower() == "0x":
                digits = literal[2:]
                moved = literal[:2] + format(int(digits, 16) + 1, "0%d%s" % (
                    len(digits), "X" if digits.upper() == digits else "x"))
            else:
                moved = str(int(literal) + 1)
            faults.append(Fault(path, number, match.start(1), match.end(1), moved,
                                f"{literal} -> {moved}"))
        statement = masked.strip()
        call = CALL.match(statement)
        if call and call.group(1) not in KEYWORDS and not call.group(1).isupper() and \
                statement.count("(") == statement.count(")") and ends_statement(previous) and \
                closing_paren(statement, statement.index("(")) == len(statement) - 2:
            start = len(line) - len(line.lstrip())
            end = len(masked.rstrip())
            faults.append(Fault(path, number, start, end, ";",
                                f"call dropped: {line[start:end].strip()}"))
        for match in CONDITION.finditer(masked):
            if re.search(r"\bconstexpr\s*$", masked[:match.start(1)] + " "):
                continue
            open_at = match.end() - 1
            close = closing_paren(masked, open_at)
            if close < 0 or ";" in masked[open_at:close]:
                continue
            inner = line[open_at + 1:close]
            faults.append(Fault(path, number, open_at, close + 1, f"(!({inner}))",
                                f"{match.group(1)} condition negated"))
        if masked.strip():
            previous = masked
    return faults


# --- Planting, with a way back -------------------------------------------------------------------


class Interrupted(Exception):
    pass


class Planter:
    """Writes one fault at a time into its file and puts the file back; a journal in the build
    folder holds the file's bytes while it is changed."""

    def __init__(self, journal):
        self.journal = journal
        self.current = None  # (path, original bytes)

    def recover(self):
        if not os.path.exists(self.journal):
            return
        with open(self.journal, encoding="utf-8") as f:
            entry = json.load(f)
        self._write(entry["path"], base64.b64decode(entry["bytes"]))
        os.remove(self.journal)
        print(f"mutation check: restored {entry['path']}, left planted by a run that was killed",
              file=sys.stderr)

    def plant(self, fault):
        full = os.path.join(ROOT, fault.path)
        with open(full, "rb") as f:
            original = f.read()
        os.makedirs(os.path.dirname(self.journal), exist_ok=True)
        with open(self.journal, "w", encoding="utf-8") as f:
            json.dump({"path": fault.path, "bytes": base64.b64encode(original).decode()}, f)
            f.flush()
            os.fsync(f.fileno())
        self.current = (fault.path, original)
        lines = original.decode("utf-8").split("\n")
        line = lines[fault.line - 1]
        lines[fault.line - 1] = line[:fault.start] + fault.replacement + line[fault.end:]
        self._write(fault.path, "\n".join(lines).encode("utf-8"))

    def restore(self):
        if self.current is None:
            return
        path, original = self.current
        self._write(path, original)
        self.current = None
        if os.path.exists(self.journal):
            os.remove(self.journal)

    @staticmethod
    def _write(path, data):
        full = os.path.join(ROOT, path)
        mode = os.stat(full).st_mode
        temporary = full + ".mutation-check-tmp"
        with open(temporary, "wb") as f:
            f.write(data)
        os.chmod(temporary, mode)
        os.replace(temporary, full)


# --- Building and testing ------------------------------------------------------------------------


def run(command, limit, log):
    """(exit status or None when it ran out of time, seconds)."""
    start = time.monotonic()
    with open(log, "w", encoding="utf-8") as out:
        process = subprocess.Popen(command, cwd=ROOT, stdout=out, stderr=subprocess.STDOUT,
                                   start_new_session=True)
        try:
            status = process.wait(timeout=limit)
        except subprocess.TimeoutExpired:
            status = None
        except BaseException:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            raise
        if status is None:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
    return status, time.monotonic() - start


def first_failure(log):
    with open(log, encoding="utf-8", errors="replace") as f:
        text = f.read()
    failed = re.findall(r"^\s*\d+ - (\S+) \(", text, re.MULTILINE)
    return failed[0] if failed else "the test run"


class Suite:
    """The tests as CTest lists them; a selection is a list of their numbers."""

    def __init__(self, preset, logs):
        self.preset = preset
        self.logs = logs
        self.list()

    def list(self):
        """Reads the tests and targets anew: GoogleTest's tests are listed only once their
        programs are built, so a fresh build folder lists few before its first build."""
        listing = subprocess.run(["ctest", "--preset", self.preset, "--show-only=json-v1"], cwd=ROOT,
                                 capture_output=True, text=True, check=True).stdout
        targets = subprocess.run(["cmake", "--build", "--preset", self.preset, "--target", "help"],
                                 cwd=ROOT, capture_output=True, text=True).stdout
        self.targets = set(re.findall(r"^\.\.\. ([\w.+-]+)", targets, re.MULTILINE))
        self.tests = []  # (number, program it runs, labels)
        for number, test in enumerate(json.loads(listing)["tests"], start=1):
            labels = []
            for prop in test.get("properties", []):
                if prop["name"] == "LABELS":
                    labels = prop["value"]
            command = test.get("command") or [""]
            self.tests.append((number, command[0].replace(os.sep, "/"), labels))

    def build(self, limit, targets=()):
        command = ["cmake", "--build", "--preset", self.preset, "-j2"]
        if targets:
            command += ["--target", *targets]
        return run(command, limit, os.path.join(self.logs, "build.log"))

    def browser(self):
        return [number for number, _, labels in self.tests if "browser" in labels]

    def plain(self):
        return [number for number, _, labels in self.tests if "browser" not in labels]

    def for_file(self, path):
        """[(test numbers, targets they need or () for all)]: the runs for a fault in path, the
        one most likely to catch it first. The tests of the file's room need only their own
        programs built, when each is a test program of the build."""
        if path.startswith(PAGE_DIR):
            return [(self.browser(), ())]
        parts = path.split("/")
        room = "manager" if parts[0] == "include" else parts[0]
        near = [(number, program) for number, program, labels in self.tests
                if "browser" not in labels and f"/tests/{room}/" in program]
        programs = {program for _, program in near}
        targets = tuple(sorted({os.path.basename(program) for program in programs}))
        if not set(targets) <= self.targets:
            targets = ()  # a script, or a program whose target has another name
        numbers = [number for number, _ in near]
        rest = [number for number in self.plain() if number not in numbers]
        return [(tests, needs) for tests, needs in ((numbers, targets), (rest, ())) if tests]

    def test(self, numbers, limit, stop_early=True):
        """(exit status or None, seconds, log) of the tests of those numbers."""
        command = ["ctest", "--preset", self.preset, "-I",
                   "0,0,0," + ",".join(str(n) for n in numbers)]
        if stop_early:
            command.append("--stop-on-failure")
        log = os.path.join(self.logs, "test.log")
        status, took = run(command, limit, log)
        return status, took, log


# --- The run -------------------------------------------------------------------------------------


def main():
    parser = argparse.ArgumentParser(add_help=True, usage=__doc__.split("\n\n")[1])
    parser.add_argument("base", nargs="?")
    parser.add_argument("--upto")
    parser.add_argument("--max", type=int, default=40)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--timeout", type=int, default=0)
    parser.add_argument("--preset", default="default")
    parser.add_argument("--only", default="")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--no-baseline", action="store_true")
    try:
        args = parser.parse_args()
    except SystemExit as exit_:
        return 2 if exit_.code else 0
    base = args.base or default_base()
    try:
        since, touched = touched_lines(base, args.upto)
    except subprocess.CalledProcessError as error:
        print(f"mutation check: {error.stderr.strip()}", file=sys.stderr)
        return 2

    faults = []
    for path in sorted(touched):
        if args.only in path:
            faults.extend(faults_in(path, touched[path]))
    found = len(faults)
    if 0 < args.max < found:
        faults = random.Random(args.seed).sample(faults, args.max)
    faults.sort(key=lambda fault: (fault.path, fault.line, fault.start))
    sample = f" (a sample of {len(faults)}, seed {args.seed})" if len(faults) < found else ""
    print(f"mutation check: {found} faults in {len(touched)} files changed since {base} "
          f"({since[:10]}){sample}")
    if args.list:
        for fault in faults:
            print(f"  {fault.where()}: {fault.what}")
        return 0
    if not faults:
        return 0

    suite = Suite(args.preset, os.path.join(ROOT, "build", "mutation-check"))
    os.makedirs(suite.logs, exist_ok=True)
    planter = Planter(os.path.join(suite.logs, "journal.json"))
    planter.recover()

    def stop(signum, _frame):
        raise Interrupted(signal.Signals(signum).name)

    for signum in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, stop)

    limit = args.timeout or 1800
    results = {"caught": [], "survived": [], "not built": []}
    try:
        if not args.no_baseline:
            status, _ = suite.build(limit)
            if status != 0:
                print("mutation check: the real code does not build", file=sys.stderr)
                return 3
            suite.list()
            wanted = suite.plain() if any(not f.path.startswith(PAGE_DIR) for f in faults) else []
            if any(f.path.startswith(PAGE_DIR) for f in faults):
                wanted += suite.browser()
            status, took, log = suite.test(wanted, limit, stop_early=False)
            if status != 0:
                print(f"mutation check: the tests fail on the real code ({log})", file=sys.stderr)
                return 3
            print(f"mutation check: the suite passes on the real code in {took:.0f} s")
            if not args.timeout:
                limit = max(300, int(3 * took))
        for index, fault in enumerate(faults, start=1):
            head = f"[{index}/{len(faults)}] {fault.where()}: {fault.what}"
            planter.plant(fault)
            try:
                verdict = None
                spent = 0.0
                for numbers, targets in suite.for_file(fault.path):
                    status, took = suite.build(limit, targets)
                    spent += took
                    if status != 0:
                        verdict = "did not build"
                        break
                    status, took, log = suite.test(numbers, limit)
                    spent += took
                    if status is None:
                        verdict = f"caught: the tests ran out of time ({limit} s)"
                    elif status != 0:
                        verdict = f"caught by {first_failure(log)}"
                    if verdict:
                        break
                if verdict == "did not build":
                    results["not built"].append(fault)
                    kept = os.path.join(suite.logs, f"not-built-{index}.log")
                    os.replace(os.path.join(suite.logs, "build.log"), kept)
                    print(f"{head}: did not build ({spent:.0f} s, {kept})", flush=True)
                elif verdict:
                    results["caught"].append(fault)
                    print(f"{head}: {verdict} ({spent:.0f} s)", flush=True)
                else:
                    results["survived"].append(fault)
                    print(f"{head}: SURVIVED ({spent:.0f} s)", flush=True)
            finally:
                planter.restore()
    except Interrupted as why:
        planter.restore()
        print(f"mutation check: stopped by {why}; every file is as it was, the build is not: "
              "rebuild before testing", file=sys.stderr)
        return 130
    finally:
        planter.restore()

    status, _ = suite.build(limit)
    if status != 0:
        print("mutation check: the build of the real code failed at the end", file=sys.stderr)
    planted = sum(len(v) for v in results.values())
    print(f"mutation check: {planted} planted, {len(results['caught'])} caught, "
          f"{len(results['survived'])} survived, {len(results['not built'])} did not build")
    for fault in results["survived"]:
        with open(os.path.join(ROOT, fault.path), encoding="utf-8") as f:
            text = f.read().split("\n")[fault.line - 1].strip()
        print(f"survived: {fault.where()}: {fault.what}    | {text}")
    return 1 if results["survived"] else 0


if __name__ == "__main__":
    sys.exit(main())
