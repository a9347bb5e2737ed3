"""DesignFile: opening in each mode, the files it refuses and why (with the command line's words),
its setups as a mapping, closing, and reading again what other sessions wrote."""

from __future__ import annotations

import os
import sqlite3
from collections.abc import Mapping

import pytest

import ornr
from conftest import DEFAULTS, KINDS, settings


def older_file(path, version: int, setups: dict[str, dict]):
    """A design file as an earlier host wrote it: names as UTF-16LE, settings as Key=value text."""
    def text(name, value):
        if isinstance(value, bool):
            return "true" if value else "false"
        return repr(float(value)) if KINDS[name] == "Double" else str(int(value))

    with sqlite3.connect(path) as db:
        # The layout as that host laid it out, comments included: the check before a write
        # holds the file to it.
        db.executescript(
            f"PRAGMA application_id = 1330794033; PRAGMA user_version = {version};\n"
            "CREATE TABLE render_setups (\n"
            "  position INTEGER PRIMARY KEY, -- the host's order of the setups\n"
            "  name BLOB NOT NULL UNIQUE,    -- UTF-16LE code units, exactly as the host holds them\n"
            "  name_utf8 TEXT NOT NULL,      -- the same name, readable\n"
            "  settings TEXT NOT NULL        -- one Key=value line a field\n);\n")
        for name, values in setups.items():
            record = "".join(f"{key}={text(key, value)}\n" for key, value in values.items())
            db.execute("INSERT INTO render_setups (name, name_utf8, settings) VALUES (?, ?, ?)",
                       (name.encode("utf-16-le"), name, record))
    return path


class TestOpening:
    def test_read_mode_reads_and_refuses_writes(self, tower):
        with ornr.open(tower) as f:
            assert (f.mode, f.format, f.problem, f.closed) == ("r", ornr.FORMAT, None, False)
            assert list(f.setups) == ["Lobby", "Hall", "Roof"]
            with pytest.raises(ornr.FileError, match="is open read-only"):
                with f.transaction():
                    pass
        assert f.closed

    def test_create_lays_out_a_missing_file_only_when_asked(self, tmp_path):
        missing = tmp_path / "new.zel"
        with pytest.raises(ornr.FileError, match="does not exist") as error:
            ornr.open(missing, "rw")
        assert error.value.path == str(missing) and error.value.reason == "does not exist"
        assert not missing.exists()
        with ornr.open(missing, "rw", create=True) as f:
            assert len(f.setups) == 0 and f.format == ornr.FORMAT
        with pytest.raises(ValueError):
            ornr.open(missing, "w")
        with pytest.raises(ValueError):
            ornr.open(missing, create=True)

    @pytest.mark.parametrize("make_it, kind, message", [
        (lambda p: p.mkdir(), ornr.FileError, "is a folder, not a design file"),
        (lambda p: os.mkfifo(p), ornr.FileError, "is a pipe, not a design file"),
        (lambda p: p.write_text("Meeting notes"), ornr.FileError, "is not a design file"),
        (lambda p: sqlite3.connect(p).executescript(
            "PRAGMA application_id = 1330794033; PRAGMA user_version = 9; CREATE TABLE t (x);"),
         ornr.FileError, f"has format version 9, newer than version {ornr.FORMAT} that this host reads"),
    ])
    def test_what_is_no_design_file_is_refused(self, tmp_path, make_it, kind, message):
        path = tmp_path / "odd.zel"
        make_it(path)
        for mode in ("r", "rw"):
            with pytest.raises(kind) as error:
                ornr.open(path, mode)
            assert str(error.value) == f'design file "{path}": {message}'

    def test_older_format_reads_but_is_not_written(self, tmp_path):
        path = older_file(tmp_path / "old.zel", 1, {"Night": settings(BlurPasses=4)})
        with ornr.open(path) as f:
            assert f.format == 1
            assert "which this host reads but no longer writes" in f.problem
            assert f.setups["Night"].values["BlurPasses"] == 4
            assert f.setups["Night"].history() == [] and f.deleted() == []
            # A format without standards has none, and why still answers.
            night = f.setups["Night"]
            assert (night.locks, night.overrides, night.overlays, night.scope) == ([], {}, [], None)
            assert night.why("BlurPasses").lines[1:] == [
                "no library setup governs it: the drawing's own value", "no version changed it"]
        with pytest.raises(ornr.OlderFormat, match=r'"upgrade .*old.zel" converts it'):
            ornr.open(path, "rw")
        result = ornr.upgrade(path)
        assert result.from_format == 1 and result.backup.endswith("old.format1-backup.zel")
        with ornr.open(path, "rw") as f:
            assert f.format == ornr.FORMAT and f.setups["Night"].values["BlurPasses"] == 4

    def test_damaged_file(self, make):
        path = make.file("damaged.zel", {f"S{i}": settings(BlurPasses=i) for i in range(40)})
        with sqlite3.connect(path) as db:
            page = db.execute("SELECT rootpage FROM sqlite_schema"
                              " WHERE name = 'render_setups'").fetchone()[0]
            size = db.execute("PRAGMA page_size").fetchone()[0]
        with open(path, "r+b") as raw:
            raw.seek((page - 1) * size)
            raw.write(b"\x7f" * 64)
        with pytest.raises(ornr.DamagedFile, match="damaged"):
            ornr.open(path, "rw")
        try:
            f = ornr.open(path)
        except ornr.DamagedFile:
            return  # so damaged that nothing reads: refused as damaged, which is all we check
        with f:
            assert "damaged" in f.problem

    def test_unreadable_record(self, tower):
        with sqlite3.connect(tower) as db:
            db.execute("PRAGMA ignore_check_constraints = ON")
            db.execute("UPDATE render_setups SET BlurPasses = -1 WHERE name = 'Hall'")
        with ornr.open(tower, "rw") as f:
            hall = f.setups["Hall"]
            assert not hall.valid and "BlurPasses" in hall.problem
            with pytest.raises(ornr.DamagedFile, match='stored record of "Hall" cannot be read'):
                hall.values["DoShadows"]
            with f.transaction():
                with pytest.raises(ornr.DamagedFile):
                    f.duplicate("Hall")
                f.setups["Lobby"].values["BlurPasses"] = 2
        with ornr.open(tower) as f:
            assert f.setups["Lobby"].values["BlurPasses"] == 2


class TestSetups:
    def test_a_read_only_mapping_in_the_hosts_order(self, tower):
        with ornr.open(tower) as f:
            setups = f.setups
            assert isinstance(setups, Mapping) and len(setups) == 3
            assert setups.keys() == ["Lobby", "Hall", "Roof"]
            assert [s.name for s in setups.values()] == ["Lobby", "Hall", "Roof"]
            assert "Hall" in setups and "hall" not in setups and 3 not in setups
            assert setups.get("Nope") is None and setups.get("Nope", 1) == 1
            assert setups["Hall"] == dict(setups.items())["Hall"]
            assert setups["Hall"] != setups["Roof"] and setups["Hall"].file is f
            with pytest.raises(ornr.NoSuchSetup) as missing:
                setups["Nope"]
            assert str(missing.value) == f'no setup named "Nope" in {tower}'
            assert isinstance(missing.value, KeyError)

    @pytest.mark.parametrize("name", [
        "Ünïcødé", "名前", "emoji 😀 outside the plane", "quote \" and ' and &<]",
        "tab\there", "x" * 254,
    ])
    def test_names_come_back_as_stored(self, make, name):
        path = make.file("names.zel", {name: settings(BlurPasses=len(name))})
        with ornr.open(path) as f:
            assert list(f.setups) == [name]
            assert f.setups[name].values["BlurPasses"] == len(name)
        with sqlite3.connect(path) as db:
            assert db.execute("SELECT name FROM render_setups").fetchone()[0] == name

    def test_closed_file_says_so(self, tower):
        f = ornr.open(tower)
        lobby = f.setups["Lobby"]
        values = lobby.values
        f.close()
        f.close()
        for read in (lambda: f.setups, lambda: lobby.values["BlurPasses"], lambda: values.to_dict(),
                     lambda: f.format, lambda: lobby.history()):
            with pytest.raises(ornr.Error):
                read()
        assert "closed" in repr(f)


class TestRefresh:
    def test_reads_what_another_session_wrote(self, tower, make, workbench):
        with ornr.open(tower) as f:
            hall = f.setups["Hall"]
            roof = f.setups["Roof"]
            workbench(tower, 'host add Garden BlurPasses=3', 'host add Hall BlurPasses=5',
                      'delete Roof')
            assert hall.values["BlurPasses"] == 8 and "Garden" not in f.setups
            f.refresh()
            assert list(f.setups) == ["Lobby", "Hall", "Garden"]
            assert hall.values["BlurPasses"] == 5
            with pytest.raises(ornr.NoSuchSetup, match="any more"):
                roof.values["BlurPasses"]
            assert "deleted" in repr(roof)

    def test_defaults_match_the_hosts(self, tmp_path, workbench):
        path = tmp_path / "d.zel"
        workbench(path, "host add Plain")
        with ornr.open(path) as f:
            assert f.setups["Plain"].values.to_dict() == DEFAULTS
