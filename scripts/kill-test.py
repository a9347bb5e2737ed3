#!/usr/bin/env python3
"""Crash consistency of design files: workbench sessions killed with SIGKILL at random moments.

Usage: kill-test.py WORKBENCH FOLDER RUNS [SEED]

Each run makes a design file, then lets one workbench session (every second run: two at once,
each on setups of its own names) work through a long script of saves, renames, duplicates,
deletes, resets, undeletes, notes and locks, and kills each session at a random moment. The file
is then checked with SQLite's integrity check and against a replay of the commands that completed: the
setups' values and how many versions each keeps, of the deleted ones too, so that a write whose
version did not land with it (or the other way round) is caught.

A command has completed once the workbench echoed the next one (the transcript is flushed line
by line); the one echoed last may or may not have reached the file. Per run, at most one of:
  corrupt       the integrity check fails, or a stored record cannot be read
  lost          a setup the completed commands leave is missing or holds other values or
                versions, or one they removed is there
  half-written  the setups the last command was changing match neither the state before it
                nor the one after it (values and versions)
Every fifth run also kills rsm-audit (RSM_AUDIT, else beside the workbench's build folder)
while it merges a project of drawings with their library (--fix merge --take library --apply),
every second time while it deploys a library setup to them (--deploy S0 --linked --take library
--apply): each drawing must then be as it was or as an audit that was not killed left it, values,
merge bases and versions; one that is neither is half-written. The killed run's change set is then
undone (--undo ID --apply): every drawing it reached must be as it was before, values and merge
bases, or the run counts as lost.
Prints one line per damaged run (per run with KILL_TEST_VERBOSE=1) and then "N runs, C corrupt, L lost, H half-written"; exits 1
when any count is not zero.
"""

import os
import random
import shutil
import signal
import sqlite3
import subprocess
import sys
import time

PROPERTY = "MaxSamplesPerPixel"
SETUPS_AT_START = 4
COMMANDS = 500
KILL_WINDOW = (0.1, 1.6)  # seconds after the start
VERSIONS_KEPT = 50  # a file's default history-limit


def quoted(name):
    return '"' + name + '"' if " " in name else name


class Script:
    """A random script for one session and, command by command, what the file holds after it:
    each setup's value and number of versions, and the deleted setups the file keeps."""

    def __init__(self, prefix, rng):
        self.prefix = prefix
        self.commands = []  # command text
        self.states = []  # file state after each command
        self.touched = []  # names each command may change in the file
        names = {f"{prefix}{i}": (256, 0) for i in range(SETUPS_AT_START)}
        deleted = []  # (name, value, versions), oldest first
        self.initial = self.state(names, deleted)
        counter = SETUPS_AT_START
        value = 1000
        while len(self.commands) < COMMANDS:
            op = rng.choices(
                ["save", "rename", "duplicate", "delete", "reset", "undelete", "note", "lock"],
                [6, 2, 2, 1, 1, 1, 1, 1])[0]
            name = rng.choice(sorted(names))
            stored, versions = names[name]
            if op == "save":
                value += 1
                # The edit changes only the panel's copy; the save writes it.
                self.add(f"edit {quoted(name)} {PROPERTY} {value}", names, deleted, [])
                names[name] = (value, kept(versions + 1))
                self.add(f"save {quoted(name)}", names, deleted, [name])
            elif op == "rename":
                new = f"{prefix}{counter}"
                counter += 1
                del names[name]
                names[new] = (stored, kept(versions + 1))
                self.add(f"rename {quoted(name)} {new}", names, deleted, [name, new])
            elif op == "duplicate":
                copy = self.copy_name(name, names)
                names[copy] = (stored, 0)
                self.add(f"duplicate {quoted(name)}", names, deleted, [copy])
            elif op == "reset":
                # What the reset throws away is kept as a version; the stored value stays.
                value += 1
                self.add(f"edit {quoted(name)} {PROPERTY} {value}", names, deleted, [])
                names[name] = (stored, kept(versions + 1))
                self.add(f"reset {quoted(name)}", names, deleted, [name])
            elif op in ("note", "lock"):
                # Written at once, each a version: a new text every time, so that each changes.
                value += 1
                command = (f'note {quoted(name)} "note {value}"' if op == "note" else
                           f'lock {quoted(name)} BlurPasses --reason "reason {value}"')
                names[name] = (stored, kept(versions + 1))
                self.add(command, names, deleted, [name])
            elif op == "delete" and len(names) > 2:
                del names[name]
                deleted.append((name, stored, kept(versions + 1)))
                self.add(f"delete {quoted(name)}", names, deleted, [name])
            elif op == "undelete":
                free = [i for i, entry in enumerate(deleted) if entry[0] not in names]
                if not free:
                    continue
                # The most recently deleted setup of that name comes back.
                back = max(i for i in free if deleted[i][0] == deleted[free[-1]][0])
                gone, was, versions = deleted.pop(back)
                names[gone] = (was, kept(versions + 1))
                self.add(f"undelete {quoted(gone)}", names, deleted, [gone])

    @staticmethod
    def state(names, deleted):
        return {"setups": dict(names), "deleted": sorted(deleted)}

    @staticmethod
    def copy_name(base, names):
        stem = base + " - Copy"
        candidate, n = stem, 1
        while candidate in names:
            n += 1
            candidate = f"{stem}-{n}"
        return candidate

    def add(self, command, names, deleted, touched):
        self.commands.append(command)
        self.states.append(self.state(names, deleted))
        self.touched.append(set(touched))

    def state_after(self, done):
        return self.states[done - 1] if done > 0 else self.initial


def kept(versions):
    return min(versions, VERSIONS_KEPT)


def completed(transcript, script, killed):
    """How many commands completed, and whether one reported an error."""
    echoes = [line for line in transcript.splitlines() if line.startswith("> ")]
    errors = any(line.startswith("error: ") for line in transcript.splitlines())
    done = max(len(echoes) - 1, 0) if killed else len(echoes)
    return min(done, len(script.commands)), errors


def run_workbench(workbench, folder, args):
    result = subprocess.run([workbench, *args], cwd=folder, capture_output=True, text=True,
                            timeout=120)
    return result.stdout


def stored_state(workbench, folder, file):
    """The file's state as a new session reads it; None when a record cannot be read."""
    listing = run_workbench(workbench, folder, ["--master", file, "-c", "list"])
    if any(line.startswith("error: ") for line in listing.splitlines()):
        return None
    names = []
    for line in listing.splitlines():
        if line.startswith('list: master "'):
            names.append(line[len('list: master "'):line.rindex('"')])
    values = {}
    if names:
        args = ["--master", file]
        for name in names:
            args += ["-c", f"host show {quoted(name)}"]
        shown = run_workbench(workbench, folder, args)
        current = None
        for line in shown.splitlines():
            if line.startswith("> host show "):
                current = line[len("> host show "):].strip('"')
            elif line.startswith(f"{PROPERTY} = ") and current is not None:
                values[current] = int(line.split(" = ")[1])
            elif line.startswith("error: "):
                return None
    # The versions as plain SQL reads them.
    db = sqlite3.connect(os.path.join(folder, file))
    versions = dict(db.execute(
        "SELECT r.name, (SELECT count(*) FROM setup_versions v WHERE v.position = r.position)"
        " FROM render_setups r").fetchall())
    deleted = db.execute(
        "SELECT v.name, (SELECT old_value FROM setup_version_values p WHERE p.version = v.version"
        f" AND p.property = '{PROPERTY}'),"
        " (SELECT count(*) FROM setup_versions c WHERE c.position = v.position)"
        " FROM setup_versions v WHERE v.action = 'delete'"
        " AND v.number = (SELECT max(number) FROM setup_versions w WHERE w.position = v.position)"
        " AND v.position NOT IN (SELECT position FROM render_setups)").fetchall()
    db.close()
    return {"setups": {name: (value, versions.get(name, 0)) for name, value in values.items()},
            "deleted": sorted(deleted)}


def integrity(path):
    # A read-write connection, as the next session: it rolls back what a killed save left.
    try:
        db = sqlite3.connect(path)
        result = db.execute("PRAGMA integrity_check").fetchall()
        db.close()
        return result == [("ok",)]
    except sqlite3.Error:
        return False


def judge(actual, script, done):
    """'ok', 'lost' or 'half-written' for one session's setups."""
    before = script.state_after(done)
    if actual == before:
        return "ok"
    if done < len(script.commands):
        after = script.states[done]
        if actual == after:
            return "ok"
        touched = script.touched[done]
    else:
        touched = set()

    def untouched(state):
        return ({k: v for k, v in state["setups"].items() if k not in touched},
                [entry for entry in state["deleted"] if entry[0] not in touched])

    return "lost" if untouched(actual) != untouched(before) else "half-written"


def mine(state, prefix):
    return {"setups": {k: v for k, v in state["setups"].items() if k.startswith(prefix)},
            "deleted": [entry for entry in state["deleted"] if entry[0].startswith(prefix)]}


def one_run(workbench, folder, index, rng):
    sessions = 2 if index % 2 == 1 else 1
    prefixes = ["A", "B"][:sessions]
    file = f"run{index}.zel"
    scripts = [Script(prefix, rng) for prefix in prefixes]
    setup = ["--master", file]
    for script in scripts:
        for name in script.initial["setups"]:
            setup += ["-c", f"host add {name}"]
    run_workbench(workbench, folder, setup)

    processes = []
    for script in scripts:
        path = os.path.join(folder, f"run{index}-{script.prefix}")
        with open(path + ".commands", "w") as commands:
            commands.write("\n".join(script.commands) + "\n")
        out = open(path + ".out", "w")
        process = subprocess.Popen([workbench, "--master", file, path + ".commands"], cwd=folder,
                                   stdout=out, stderr=subprocess.DEVNULL)
        processes.append((process, out, path, time.monotonic() + rng.uniform(*KILL_WINDOW)))
    for process, out, _, kill_at in sorted(processes, key=lambda p: p[3]):
        delay = kill_at - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        process.send_signal(signal.SIGKILL)
    for process, out, _, _ in processes:
        process.wait()
        out.close()

    verdicts, notes = [], []
    if not integrity(os.path.join(folder, file)):
        return "corrupt", "integrity check failed"
    state = stored_state(workbench, folder, file)
    if state is None:
        return "corrupt", "a stored record cannot be read"
    owners = {name[0] for name in state["setups"]}
    if not owners <= set(prefixes):
        return "half-written", "setups no session made: " + ", ".join(sorted(state["setups"]))
    for script, (process, _, path, _) in zip(scripts, processes):
        with open(path + ".out") as transcript:
            done, errors = completed(transcript.read(), script,
                                     process.returncode == -signal.SIGKILL)
        verdict = judge(mine(state, script.prefix), script, done)
        verdicts.append(verdict)
        notes.append(f"{script.prefix}: {done} commands done{', with errors' if errors else ''}, "
                     f"{verdict}")
    for kind in ("lost", "half-written"):
        if kind in verdicts:
            return kind, "; ".join(notes)
    return "ok", "; ".join(notes)


AUDIT_DRAWINGS = 40
AUDIT_SETUPS = 6


def audit_project(workbench, folder):
    """A library and a folder of drawings whose setups were taken from it, then the library moved
    on; made once and copied for each audit run."""
    template = os.path.join(folder, "audit-template")
    if os.path.isdir(template):
        return template
    os.makedirs(os.path.join(template, "project"))
    lib = os.path.join(folder, "audit-lib.zellib")
    names = [f"S{i}" for i in range(AUDIT_SETUPS)]
    run_workbench(workbench, folder, ["--master", lib] +
                  sum([["-c", f"host add {n} {PROPERTY}={100 + i}"] for i, n in enumerate(names)], []))
    drawing = os.path.join(template, "drawing.zel")
    run_workbench(workbench, folder, ["--master", drawing, "--library", lib] +
                  sum([["-c", f"copy-from-library {n}"] for n in names], []) +
                  ["-c", f"edit S1 {PROPERTY} 7", "-c", "save S1"])
    run_workbench(workbench, folder, ["--master", lib] +
                  sum([["-c", f"host add {n} {PROPERTY}={200 + i} BlurPasses=3"]
                       for i, n in enumerate(names)], []))
    for i in range(AUDIT_DRAWINGS):
        shutil.copy(drawing, os.path.join(template, "project", f"d{i:03}.zel"))
    os.remove(drawing)
    return template


def drawing_state(path):
    """Values, merge bases and versions of a drawing, without what differs between two runs that
    made the same change (revisions and times)."""
    db = sqlite3.connect(path)
    columns = [c[1] for c in db.execute("PRAGMA table_info(render_setups)") if c[1] != "revision"]
    state = (db.execute(f"SELECT {', '.join(columns)} FROM render_setups ORDER BY position").fetchall(),
             db.execute("SELECT position, property, value FROM setup_provenance_values"
                        " ORDER BY 1, 2").fetchall(),
             db.execute("SELECT v.position, v.action, p.property, p.old_value FROM setup_versions v"
                        " JOIN setup_version_values p USING (version) ORDER BY 1, 2, 3").fetchall())
    db.close()
    return state


def change_set_ids(project):
    ids = set()
    # A killed write may leave a journal beside a drawing, which the drawing's next reader rolls back.
    for name in os.listdir(project):
        if not name.endswith(".zel"):
            continue
        db = sqlite3.connect(os.path.join(project, name))
        ids.update(row[0] for row in db.execute("SELECT id FROM change_sets"))
        db.close()
    return ids


def audit_run(audit, workbench, folder, index, rng):
    template = audit_project(workbench, folder)
    work = (["--deploy", "S0", "--linked"] if (index // 5) % 2 == 1 else ["--fix", "merge"])
    args = [audit, "--library", os.path.join(folder, "audit-lib.zellib")] + work + [
        "--take", "library", "--apply", "project"]
    done = os.path.join(folder, f"audit{index}-done")
    shutil.copytree(template, done)
    started = time.monotonic()
    subprocess.run(args, cwd=done, capture_output=True, timeout=120)
    took = time.monotonic() - started
    killed = os.path.join(folder, f"audit{index}")
    shutil.copytree(template, killed)
    process = subprocess.Popen(args, cwd=killed, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(rng.uniform(0, took))
    process.send_signal(signal.SIGKILL)
    process.wait()
    fixed = untouched = 0
    for name in sorted(os.listdir(os.path.join(template, "project"))):
        path = os.path.join(killed, "project", name)
        if not integrity(path):
            return "corrupt", f"{name}: integrity check failed"
        state = drawing_state(path)
        if drawing_state(os.path.join(done, "project", name)) == drawing_state(
                os.path.join(template, "project", name)):
            return "lost", f"{name}: the audit that was not killed fixed nothing"
        if state == drawing_state(os.path.join(done, "project", name)):
            fixed += 1
        elif state == drawing_state(os.path.join(template, "project", name)):
            untouched += 1
        else:
            return "half-written", f"{name} is neither as it was nor completely fixed"
    # The change set of the files the killed run reached undoes there, and nowhere else changes.
    ids = change_set_ids(os.path.join(killed, "project"))
    if len(ids) > 1:
        return "half-written", f"one run left {len(ids)} change sets"
    if ids:
        subprocess.run([audit, "--undo", ids.pop(), "--apply", "project"], cwd=killed,
                       capture_output=True, timeout=120)
        for name in sorted(os.listdir(os.path.join(template, "project"))):
            if drawing_state(os.path.join(killed, "project", name))[:2] != drawing_state(
                    os.path.join(template, "project", name))[:2]:
                return "lost", f"{name}: the undo of the killed run's change set did not restore it"
    shutil.rmtree(done)
    shutil.rmtree(killed)
    return "ok", f"audit {work[0]} killed after {fixed} of {fixed + untouched} drawings fixed"


def main():
    if len(sys.argv) < 4:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    workbench, folder, runs = os.path.abspath(sys.argv[1]), sys.argv[2], int(sys.argv[3])
    seed = int(sys.argv[4]) if len(sys.argv) > 4 else random.randrange(1 << 30)
    rng = random.Random(seed)
    verbose = os.environ.get("KILL_TEST_VERBOSE") == "1"
    counts = {"corrupt": 0, "lost": 0, "half-written": 0}
    audit = os.environ.get("RSM_AUDIT") or os.path.join(
        os.path.dirname(os.path.dirname(workbench)), "audit", "rsm-audit")
    for index in range(runs):
        if index % 5 == 4 and os.access(audit, os.X_OK):
            verdict, note = audit_run(audit, workbench, folder, index, rng)
        else:
            verdict, note = one_run(workbench, folder, index, rng)
        if verdict != "ok":
            counts[verdict] += 1
        if verdict != "ok" or verbose:
            print(f"run {index} (seed {seed}): {verdict}: {note}", flush=True)
    print(f"{runs} runs, {counts['corrupt']} corrupt, {counts['lost']} lost, "
          f"{counts['half-written']} half-written")
    return 1 if any(counts.values()) else 0


if __name__ == "__main__":
    sys.exit(main())
