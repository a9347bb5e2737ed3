#!/usr/bin/env python3
"""Memory over a long session: one workbench session edits and saves a setup again and again.

Usage: soak-test.py WORKBENCH FOLDER SAVES [LIMIT_MIB] [--mix]

The session first warms up (allocators and caches reach their working size), then its resident
size is read before and after SAVES edit-and-save pairs; with --mix each pair is followed by a
new setup that is renamed, duplicated, and deleted with its copy. Prints the resident size every tenth of the way and
"N saves: resident B MiB before, A MiB after, growth G MiB (at most L MiB)"; exits 1 when the
growth is over the limit (default 2 MiB).
"""

import os
import subprocess
import sys

WARM_UP = 2000
CHUNK = 200
PROPERTY = "MaxSamplesPerPixel"


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise RuntimeError("no VmRSS for the workbench")


class Session:
    def __init__(self, workbench, folder, file):
        self.process = subprocess.Popen([workbench, "--master", file], cwd=folder,
                                         stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                         stderr=subprocess.PIPE, text=True, bufsize=1)
        self.errors = 0

    def run(self, commands):
        """Sends commands and waits until the session has run them all."""
        # In chunks: the transcript of a long batch would fill the pipe while the batch is written.
        for start in range(0, len(commands), CHUNK):
            self.run_chunk(commands[start:start + CHUNK])

    def run_chunk(self, commands):
        self.process.stdin.write("\n".join(commands) + "\nmodified Sky\n")
        self.process.stdin.flush()
        for line in self.process.stdout:
            if line.startswith("error: "):
                self.errors += 1
                if self.errors <= 3:
                    print(line.rstrip(), file=sys.stderr)
            if line.startswith("> modified Sky"):
                break
        else:
            raise RuntimeError("the workbench ended early: " + self.process.stderr.read())
        for line in self.process.stdout:
            if line.startswith("= "):
                return
        raise RuntimeError("the workbench ended early")

    def resident_kib(self):
        return resident_kib(self.process.pid)

    def close(self):
        self.process.stdin.write("quit\n")
        self.process.stdin.close()
        self.process.stdout.read()
        self.process.wait(timeout=60)


def rounds(first, count, mix):
    """Edit-and-save pairs numbered first.., with the other commands among them when mix."""
    commands = []
    for i in range(first, first + count):
        commands += [f"edit Sky {PROPERTY} {1000 + i % 5000}", "save Sky"]
        if mix:
            commands += ["new Sky", f"rename Untitled Soak{i}", f"duplicate Soak{i}",
                         f'delete "Soak{i} - Copy"', f"delete Soak{i}"]
    return commands


def main():
    args = [a for a in sys.argv[1:] if a != "--mix"]
    mix = "--mix" in sys.argv[1:]
    if len(args) < 3:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    workbench, folder, saves = os.path.abspath(args[0]), args[1], int(args[2])
    limit_mib = float(args[3]) if len(args) > 3 else 2.0
    file = "soak.zel"
    subprocess.run([workbench, "--master", file, "-c", "host add Sky"], cwd=folder, check=True,
                   capture_output=True)
    session = Session(workbench, folder, file)
    session.run(["load"] + rounds(0, WARM_UP, mix))
    before = session.resident_kib()
    step = max(saves // 10, 1)
    done = 0
    while done < saves:
        count = min(step, saves - done)
        session.run(rounds(WARM_UP + done, count, mix))
        done += count
        print(f"  {done} saves: resident {session.resident_kib() / 1024:.1f} MiB", flush=True)
    after = session.resident_kib()
    session.close()
    growth = (after - before) / 1024
    print(f"{saves} saves: resident {before / 1024:.1f} MiB before, {after / 1024:.1f} MiB after, "
          f"growth {growth:.2f} MiB (at most {limit_mib:g} MiB)")
    if session.errors:
        print(f"{session.errors} commands reported errors", file=sys.stderr)
        return 1
    return 1 if growth > limit_mib else 0


if __name__ == "__main__":
    sys.exit(main())
