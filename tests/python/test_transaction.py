"""Transactions: every write of a block reaches the file in one SQLite transaction or none does,
each replaced state is kept as one version, the host's name rules hold, and a setup another
session changed since it was read is never overwritten."""

from __future__ import annotations

import sqlite3
import threading

import pytest

import ornr
from conftest import settings


def stored(path) -> dict[str, int]:
    with sqlite3.connect(path) as db:
        return dict(db.execute("SELECT name, BlurPasses FROM render_setups ORDER BY position"))


def actions(path, name) -> list[tuple[int, str]]:
    with ornr.open(path) as f:
        return [(v.number, v.action) for v in f.setups[name].history()]


class TestCommit:
    def test_every_kind_of_write_in_one_block(self, tower):
        with ornr.open(tower, "rw") as f:
            with f.transaction():
                f.setups["Lobby"].values["BlurPasses"] = 1
                f.setups["Lobby"].values["BlurPasses"] = 2
                f.new("Garden", {"BlurPasses": 3})
                f.rename("Hall", "Great hall")
                copy = f.duplicate("Roof")
                f.delete("Roof")
                # Nothing reaches the file before the block ends.
                assert stored(tower) == {"Lobby": 12, "Hall": 8, "Roof": 8}
            assert copy.name == "Roof - Copy"
        assert stored(tower) == {"Lobby": 2, "Great hall": 8, "Garden": 3, "Roof - Copy": 8}
        # Two assignments, one replaced state: one version.
        assert actions(tower, "Lobby") == [(1, "python")]
        assert actions(tower, "Great hall") == [(1, "rename")]
        with ornr.open(tower) as f:
            assert [d.name for d in f.deleted()] == ["Roof"]

    def test_values_set_before_a_rename_are_a_version_of_their_own(self, tower):
        with ornr.open(tower, "rw") as f:
            with f.transaction():
                f.setups["Lobby"].values["BlurPasses"] = 1
                f.rename("Lobby", "Foyer")
            lines = [(v.number, v.action, v.name, v.name_after, [c.property for c in v.changes])
                     for v in f.setups["Foyer"].history()]
        assert lines == [(2, "rename", "Lobby", "Foyer", []),
                         (1, "python", "Lobby", "Lobby", ["BlurPasses"])]

    def test_the_workbench_sees_what_was_written(self, tower, workbench):
        with ornr.open(tower, "rw") as f, f.transaction():
            f.setups["Lobby"].values["QualityThreshold"] = 0.1 + 0.2
        out = workbench(tower, "host show Lobby", "history Lobby")
        assert "QualityThreshold = 0.30000000000000004" in out
        assert "python" in out and "QualityThreshold 0.25 -> 0.30000000000000004" in out


class TestRollback:
    def test_an_exception_leaves_file_and_objects_as_they_were(self, tower):
        with ornr.open(tower, "rw") as f:
            lobby, hall = f.setups["Lobby"], f.setups["Hall"]
            with pytest.raises(RuntimeError):
                with f.transaction():
                    lobby.values["BlurPasses"] = 1
                    f.new("Garden")
                    f.rename(hall, "Great hall")
                    f.delete("Roof")
                    raise RuntimeError("stop")
            assert list(f.setups) == ["Lobby", "Hall", "Roof"]
            assert lobby.values["BlurPasses"] == 12 and hall.name == "Hall"
            assert not f.in_transaction
            # The objects go on working: the next block writes from the state read.
            with f.transaction():
                hall.values["BlurPasses"] = 4
        assert stored(tower) == {"Lobby": 12, "Hall": 4, "Roof": 8}
        assert actions(tower, "Lobby") == []

    def test_a_failed_write_inside_a_block_undoes_only_itself(self, tower):
        with ornr.open(tower, "rw") as f:
            with f.transaction():
                f.new("Garden")
                with pytest.raises(ornr.NameRefused):
                    f.new("Garden")
                f.setups["Garden"].values["BlurPasses"] = 5
        assert stored(tower)["Garden"] == 5


class TestRules:
    @pytest.mark.parametrize("name, message", [
        ("", "a setup needs a name"),
        ("a\x01b", r"control character U\+0001"),
        ("x" * 255, "254"),
        ("half \ud800 pair", "surrogate"),
        ("Hall", 'a setup named "Hall" already exists'),
    ])
    def test_names_the_host_refuses(self, tower, name, message):
        with ornr.open(tower, "rw") as f, f.transaction():
            for write in (lambda: f.new(name), lambda: f.rename("Lobby", name),
                          lambda: f.duplicate("Lobby", name)):
                with pytest.raises(ornr.NameRefused, match=message):
                    write()
        assert stored(tower) == {"Lobby": 12, "Hall": 8, "Roof": 8}

    def test_writes_need_a_transaction_of_their_own_thread(self, tower):
        with ornr.open(tower, "rw") as f:
            with pytest.raises(ornr.TransactionError, match="go inside"):
                f.setups["Lobby"].values["BlurPasses"] = 1
            with pytest.raises(ornr.TransactionError):
                f.new("Garden")
            with f.transaction():
                with pytest.raises(ornr.TransactionError, match="already"):
                    with f.transaction():
                        pass
                failures = []

                def write():
                    try:
                        f.setups["Hall"].values["BlurPasses"] = 1
                    except ornr.TransactionError as error:
                        failures.append(str(error))
                thread = threading.Thread(target=write)
                thread.start()
                thread.join()
                assert failures and "another thread" in failures[0]
        assert stored(tower) == {"Lobby": 12, "Hall": 8, "Roof": 8}

    def test_duplicate_names_as_the_module_does(self, tower, workbench):
        workbench(tower, "load", "duplicate Lobby", "duplicate Lobby")
        with ornr.open(tower, "rw") as f:
            module_names = [name for name in f.setups if name.startswith("Lobby ")]
            with f.transaction():
                f.delete(module_names[0])
                f.delete(module_names[1])
            with f.transaction():
                ours = [f.duplicate("Lobby").name, f.duplicate("Lobby").name]
        assert ours == module_names == ["Lobby - Copy", "Lobby - Copy-2"]


class TestOtherSessions:
    @pytest.mark.parametrize("other, message", [
        ("UPDATE render_setups SET BlurPasses = 99 WHERE name = 'Lobby'", 'changed "Lobby"'),
        ("UPDATE render_setups SET name = 'Foyer' WHERE name = 'Lobby'",
         'renamed "Lobby" to "Foyer"'),
        ("DELETE FROM render_setups WHERE name = 'Lobby'", 'deleted "Lobby"'),
    ])
    def test_a_setup_changed_since_read_is_not_overwritten(self, tower, other, message):
        with ornr.open(tower, "rw") as earlier, earlier.transaction():
            earlier.setups["Lobby"].values["BlurPasses"] = 11
        with ornr.open(tower, "rw") as f:
            lobby = f.setups["Lobby"]
            with sqlite3.connect(tower) as db:
                db.execute(other)
            for write in (lambda: lobby.values.__setitem__("BlurPasses", 1),
                          lambda: f.rename(lobby, "Other"), lambda: f.delete(lobby),
                          lambda: lobby.restore(1)):
                with pytest.raises(ornr.ChangedSinceRead, match=message):
                    with f.transaction():
                        write()
            f.refresh()
        with sqlite3.connect(tower) as db:
            assert db.execute("SELECT count(*) FROM setup_versions").fetchone()[0] == 1

    def test_a_name_stored_meanwhile(self, tower, workbench):
        with ornr.open(tower, "rw") as f:
            workbench(tower, "host add Garden BlurPasses=3")
            with pytest.raises(ornr.ChangedSinceRead, match="Garden"), f.transaction():
                f.new("Garden")
        assert stored(tower)["Garden"] == 3

    def test_busy_file(self, tower, monkeypatch):
        monkeypatch.setenv("ORNHOST_BUSY_TIMEOUT_MS", "200")
        with ornr.open(tower, "rw") as f:
            other = sqlite3.connect(tower, isolation_level=None)
            other.execute("BEGIN IMMEDIATE")
            try:
                with pytest.raises(ornr.Busy) as busy:
                    with f.transaction():
                        f.setups["Lobby"].values["BlurPasses"] = 1
                assert str(busy.value) == \
                    f'design file "{tower}": the file is locked by another program'
            finally:
                other.execute("ROLLBACK")
            with f.transaction():
                f.setups["Lobby"].values["BlurPasses"] = 1
        assert stored(tower)["Lobby"] == 1


class TestHistory:
    def test_delete_undelete_and_restore(self, make, tmp_path):
        library = make.file("lib.zellib", {"Office": settings(BlurPasses=9)})
        path = make.file("m.zel", {"Office": settings(BlurPasses=9)},
                         {"Office": {"libraryFile": "lib.zellib", "libraryPath": str(library),
                                     "librarySetup": "Office", "takenAt": "2026-01-15T09:30:00Z",
                                     "base": settings(BlurPasses=9)}})
        with ornr.open(path, "rw") as f:
            with f.transaction():
                f.setups["Office"].values["BlurPasses"] = 10
            with f.transaction():
                f.delete("Office")
                f.new("Office", {"BlurPasses": 1})
            with pytest.raises(ornr.NameRefused, match="already"), f.transaction():
                f.undelete("Office")
            with f.transaction():
                back = f.undelete("Office", "Office again")
            assert list(f.setups) == ["Office again", "Office"]
            assert back.values["BlurPasses"] == 10 and back.origin.library_setup == "Office"
            numbers = [(v.number, v.action) for v in back.history()]
            assert numbers == [(3, "undelete"), (2, "delete"), (1, "python")]
            with pytest.raises(ornr.NoSuchVersion, match="marks where"), f.transaction():
                back.restore(3)
            with f.transaction():
                back.restore(1)
            assert back.values["BlurPasses"] == 9
            assert back.history()[0].action == "restore"
            with pytest.raises(ornr.NoSuchVersion, match="has no version 9"), f.transaction():
                back.restore(9)

    def test_history_limits(self, tower):
        with ornr.open(tower, "rw") as f:
            assert f.history_limits == ornr.HistoryLimits(50, 30)
            lobby = f.setups["Lobby"]
            for value in range(1, 5):
                with f.transaction():
                    lobby.values["BlurPasses"] = value
            with f.transaction():
                f.set_history_limits(2)
            assert f.history_limits == (2, 30)
            assert [v.number for v in lobby.history()] == [4, 3]
            with pytest.raises(ornr.ValueRefused), f.transaction():
                f.set_history_limits(-1)
