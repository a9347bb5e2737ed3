#!/usr/bin/env python3
"""Sessions sharing one design file: lock failures, lost writes and damage.

Usage: shared-file-test.py WORKBENCH FOLDER SECONDS [SESSIONS] [SEED]

SESSIONS workbench sessions (default 3) open one design file and, for SECONDS, each works
through edits, saves, renames, duplicates and deletes of setups of its own names, with no
pause between commands. Every command is checked as it completes: an error line is a failure
(one that says the file is locked counts as a lock failure). At the end the file goes through
SQLite's integrity check, and each session's setups in it are compared with what its commands
left, setup by setup (lost: missing, other values, or one it deleted is there).
Prints "S sessions, T s: W writes, L lock failures, E other errors, X lost, integrity ok|FAILED"
and exits 1 unless every count is zero and the integrity check passed.
"""

import os
import random
import sqlite3
import subprocess
import sys
import threading
import time

PROPERTY = "MaxSamplesPerPixel"
SETUPS_AT_START = 4
BATCH = 40  # commands written before the session is waited for
LOCKED = "the file is locked by another program"


def quoted(name):
    return '"' + name + '"' if " " in name else name


class Session(threading.Thread):
    def __init__(self, workbench, folder, file, prefix, seconds, rng):
        super().__init__()
        self.prefix = prefix
        self.deadline = time.monotonic() + seconds
        self.rng = rng
        self.names = {f"{prefix}{i}": 256 for i in range(SETUPS_AT_START)}
        self.counter = SETUPS_AT_START
        self.value = 1000
        self.writes = 0
        self.locked = []
        self.errors = []
        self.process = subprocess.Popen([workbench, "--master", file], cwd=folder,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, text=True, bufsize=1)

    def next_command(self):
        """A command and the names it leaves, or None when it only edits."""
        op = self.rng.choices(["save", "rename", "duplicate", "delete"], [6, 2, 2, 1])[0]
        name = self.rng.choice(sorted(self.names))
        names = dict(self.names)
        if op == "save":
            self.value += 1
            names[name] = self.value
            return [f"edit {quoted(name)} {PROPERTY} {self.value}", f"save {quoted(name)}"], names
        if op == "rename":
            new = f"{self.prefix}{self.counter}"
            self.counter += 1
            names[new] = names.pop(name)
            return [f"rename {quoted(name)} {new}"], names
        if op == "duplicate":
            copy = f"{name} - Copy"
            if copy in names:
                return None, names
            names[copy] = names[name]
            return [f"duplicate {quoted(name)}"], names
        if len(names) <= 2:
            return None, names
        del names[name]
        return [f"delete {quoted(name)}"], names

    def run(self):
        try:
            while time.monotonic() < self.deadline:
                self.run_batch()
        finally:
            self.process.stdin.write("quit\n")
            self.process.stdin.close()
            self.process.stdout.read()
            self.process.wait(timeout=60)

    def run_batch(self):
        planned = []  # (commands, names after them)
        while len(planned) < BATCH:
            commands, names = self.next_command()
            if commands is None:
                continue
            planned.append((commands, names))
            self.names = names
        lines = [line for commands, _ in planned for line in commands]
        self.process.stdin.write("\n".join(lines) + "\nlist\n")
        self.process.stdin.flush()
        # The transcript echoes each command before what it prints.
        current = None
        for line in self.process.stdout:
            line = line.rstrip("\n")
            if line.startswith("> "):
                current = line[2:]
                if current == "list":
                    break
                if not current.startswith("edit "):
                    self.writes += 1
            elif line.startswith("error: "):
                failure = f"{self.prefix}: {current}: {line[7:]}"
                (self.locked if LOCKED in line else self.errors).append(failure)
        else:
            raise RuntimeError(f"session {self.prefix} ended early")
        for line in self.process.stdout:
            if not line.startswith("list: "):
                continue
            if line.startswith("list: library"):
                break


def stored_state(workbench, folder, file):
    """name -> value as a new session reads the file."""
    listing = subprocess.run([workbench, "--master", file, "-c", "list"], cwd=folder,
                             capture_output=True, text=True, timeout=120).stdout
    names = [line[len('list: master "'):line.rindex('"')] for line in listing.splitlines()
             if line.startswith('list: master "')]
    args = ["--master", file]
    for name in names:
        args += ["-c", f"host show {quoted(name)}"]
    shown = subprocess.run([workbench, *args], cwd=folder, capture_output=True, text=True,
                           timeout=120).stdout
    state, current = {}, None
    for line in shown.splitlines():
        if line.startswith("> host show "):
            current = line[len("> host show "):].strip('"')
        elif line.startswith(f"{PROPERTY} = ") and current is not None:
            state[current] = int(line.split(" = ")[1])
    return state


def integrity(path):
    try:
        db = sqlite3.connect(path)
        result = db.execute("PRAGMA integrity_check").fetchall()
        db.close()
        return result == [("ok",)]
    except sqlite3.Error:
        return False


def main():
    if len(sys.argv) < 4:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    workbench, folder = os.path.abspath(sys.argv[1]), sys.argv[2]
    seconds = float(sys.argv[3])
    count = int(sys.argv[4]) if len(sys.argv) > 4 else 3
    seed = int(sys.argv[5]) if len(sys.argv) > 5 else random.randrange(1 << 30)
    rng = random.Random(seed)
    file = "shared.zel"
    prefixes = [chr(ord("A") + i) for i in range(count)]
    setup = ["--master", file]
    for prefix in prefixes:
        for i in range(SETUPS_AT_START):
            setup += ["-c", f"host add {prefix}{i}"]
    subprocess.run([workbench, *setup], cwd=folder, check=True, capture_output=True)

    sessions = [Session(workbench, folder, file, prefix, seconds, random.Random(rng.random()))
                for prefix in prefixes]
    for session in sessions:
        session.start()
    for session in sessions:
        session.join()

    whole = integrity(os.path.join(folder, file))
    state = stored_state(workbench, folder, file)
    lost, unjudged = 0, 0
    for session in sessions:
        # A failed command leaves the file before or after it: only a session without failures
        # is judged, setup by setup.
        if session.locked or session.errors:
            unjudged += 1
            continue
        mine = {k: v for k, v in state.items() if k.startswith(session.prefix)}
        for name in sorted(set(mine) | set(session.names)):
            if mine.get(name) != session.names.get(name):
                lost += 1
                print(f"{session.prefix}: {name}: the file holds {mine.get(name)}, the commands "
                      f"left {session.names.get(name)}", file=sys.stderr)
    failures = [f for s in sessions for f in s.locked + s.errors]
    for failure in failures[:20]:
        print(failure, file=sys.stderr)
    writes = sum(s.writes for s in sessions)
    locked = sum(len(s.locked) for s in sessions)
    errors = sum(len(s.errors) for s in sessions)
    print(f"{count} sessions, {seconds:g} s (seed {seed}): {writes} writes, {locked} lock "
          f"failures, {errors} other errors, {lost} lost, integrity {'ok' if whole else 'FAILED'}"
          + (f" ({unjudged} sessions with failures not judged for losses)" if unjudged else ""))
    return 0 if whole and not (locked or errors or lost) else 1


if __name__ == "__main__":
    sys.exit(main())
