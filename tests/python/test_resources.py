"""Many files and many threads: opens that leak nothing, distinct files written from distinct
threads at once, the GIL let go while a file is waited for, and a workbench session saving into
the same file as a Python program, nothing of either lost."""

from __future__ import annotations

import ctypes
import gc
import os
import sqlite3
import subprocess
import sys
import threading
import time

import pytest

import ornr
from conftest import SANITIZED, WORKBENCH, settings

# The process's SQLite, the one Python's sqlite3 runs on.
PROCESS_SQLITE = ctypes.CDLL("libsqlite3.so.0")
PROCESS_SQLITE.sqlite3_memory_used.restype = ctypes.c_int64


def open_descriptors() -> int:
    return len(os.listdir("/proc/self/fd"))


def resident_kib() -> int:
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGESIZE") // 1024


def test_ten_thousand_opens_leak_nothing(tower):
    def once(i: int):
        if i % 2:
            # Dropped without close: Python's last reference closes it.
            f = ornr.open(tower)
            values = f.setups["Hall"].values.to_dict()
            del f
        else:
            with ornr.open(tower, "rw") as f:
                values = f.setups["Hall"].values.to_dict()
        assert values["LightingModel"] == 2

    for i in range(300):
        once(i)
    gc.collect()
    descriptors, memory = open_descriptors(), resident_kib()
    for i in range(10_000):
        once(i)
    gc.collect()
    assert open_descriptors() == descriptors
    if not SANITIZED:
        # A leak of a connection or of a setup's values each time would be tens of megabytes.
        assert resident_kib() - memory < 4096


def test_a_setup_outlives_its_dropped_file(tower):
    setup = ornr.open(tower).setups["Roof"]
    gc.collect()
    assert setup.values["DoShadows"] is False and setup.file.path == str(tower)
    setup.file.close()
    with pytest.raises(ornr.Error, match="closed"):
        setup.values["DoShadows"]


def test_distinct_files_in_distinct_threads(make):
    paths = [make.file(f"f{i}.zel", {"A": settings()}) for i in range(6)]
    errors = []

    def work(path):
        try:
            with ornr.open(path, "rw") as f:
                for n in range(40):
                    with f.transaction():
                        f.setups["A"].values["BlurPasses"] = n
                        f.new(f"N{n}")
        except Exception as error:  # noqa: BLE001 - reported below
            errors.append(error)

    threads = [threading.Thread(target=work, args=(p,)) for p in paths]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert errors == []
    for path in paths:
        with ornr.open(path) as f:
            assert f.setups["A"].values["BlurPasses"] == 39 and len(f.setups) == 41


def test_one_file_from_two_threads_never_corrupts(tower):
    # Documented as wrong, but it must not crash: each call holds the file's lock.
    with ornr.open(tower) as f:
        def read():
            for _ in range(2000):
                assert f.setups["Lobby"].values.to_dict()["BlurPasses"] == 12
        threads = [threading.Thread(target=read) for _ in range(4)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()


def test_the_gil_is_let_go_while_waiting_for_the_file(tower, monkeypatch):
    monkeypatch.setenv("ORNHOST_BUSY_TIMEOUT_MS", "1500")
    other = sqlite3.connect(tower, isolation_level=None)
    other.execute("BEGIN IMMEDIATE")
    outcome = []

    def wait():
        with ornr.open(tower, "rw") as f:
            try:
                with f.transaction():
                    pass
            except ornr.Busy:
                outcome.append("busy")

    thread = threading.Thread(target=wait)
    thread.start()
    counted = 0
    deadline = time.monotonic() + 1.0
    while time.monotonic() < deadline:
        counted += 1
    thread.join()
    other.execute("ROLLBACK")
    assert outcome == ["busy"]
    # Held, the GIL would have let this loop run only in the interpreter's switch intervals.
    assert counted > 100_000


def locked_for_another_process(path) -> bool:
    other = subprocess.run(
        [sys.executable, "-c", "import sqlite3, sys\n"
         "sqlite3.connect(sys.argv[1], timeout=0, isolation_level=None).execute('BEGIN IMMEDIATE')",
         str(path)], capture_output=True, text=True)
    assert other.returncode == 0 or "database is locked" in other.stderr, other.stderr
    return other.returncode != 0


# Locks belong to the process: whatever ornr opens and closes must leave those of Python's sqlite3
# on the same file in place (and see them), or another program could write beside its transaction.
@pytest.mark.parametrize("use", [
    lambda path: ornr.open(path).close(),
    lambda path: ornr.open(path, "rw").close(),
    lambda path: ornr.audit(path),
    lambda path: ornr.audit(path.parent),
    lambda path: ornr.changes(path.parent),
    lambda path: ornr.export(path, "Lobby", path.parent / "out.json"),
], ids=["open", "open-rw", "audit-file", "audit-folder", "change-sets", "export"])
def test_what_ornr_reads_leaves_the_locks_of_python_sqlite3(tower, use):
    held = sqlite3.connect(tower, isolation_level=None)
    held.execute("BEGIN IMMEDIATE")
    try:
        assert locked_for_another_process(tower)
        use(tower)
        assert locked_for_another_process(tower)
    finally:
        held.execute("ROLLBACK")
        held.close()
    assert not locked_for_another_process(tower)


def test_the_process_sqlite_keeps_its_settings_and_its_memory(tower):
    with sqlite3.connect(tower) as db:
        db.execute("SELECT count(*) FROM render_setups").fetchone()
        ornr.audit(tower.parent, jobs=2)
        # Its memory statistics are still kept: nothing turned them off for the process.
        assert PROCESS_SQLITE.sqlite3_memory_used() > 0
    if not ornr._ornr._own_sqlite():
        return
    # A file ornr holds open costs the process's SQLite only its record of the file's locks.
    before = PROCESS_SQLITE.sqlite3_memory_used()
    with ornr.open(tower) as f:
        assert len(f.setups) == 3
        assert PROCESS_SQLITE.sqlite3_memory_used() - before < 4096


@pytest.mark.skipif(not WORKBENCH, reason="RSM_WORKBENCH is not set")
def test_writes_of_python_and_a_workbench_session_at_once(tower, tmp_path):
    rounds = 150
    script = tmp_path / "session.commands"
    script.write_text("".join(f"edit Lobby BlurPasses {n}\nsave Lobby\nduplicate Roof\n"
                              for n in range(1, rounds + 1)))
    session = subprocess.Popen([WORKBENCH, "--master", str(tower), str(script)],
                               cwd=tmp_path, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               text=True, env={**os.environ, "ORNR_UI_CULTURE": "C"})
    written = 0
    with ornr.open(tower, "rw") as f:
        hall = f.setups["Hall"]
        while session.poll() is None or written < rounds:
            with f.transaction():
                written += 1
                hall.values["BlurPasses"] = written
                f.new(f"P{written}", {"BlurPasses": written})
    transcript, _ = session.communicate(timeout=120)
    assert session.returncode == 0, transcript
    with ornr.open(tower) as f:
        assert f.setups["Lobby"].values["BlurPasses"] == rounds
        assert f.setups["Hall"].values["BlurPasses"] == written
        names = set(f.setups)
        assert {f"P{n}" for n in range(1, written + 1)} <= names
        # "Roof - Copy", "Roof - Copy-2", ...: one more setup per round.
        assert len(names) == 3 + written + rounds
    with sqlite3.connect(tower) as db:
        assert db.execute("PRAGMA integrity_check").fetchone()[0] == "ok"
