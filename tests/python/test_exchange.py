"""export, import_ and upgrade: the same documents and the same refusals as the workbench's."""

from __future__ import annotations

import json

import pytest

import ornr
from conftest import settings


class TestExport:
    def test_writes_what_the_workbench_writes(self, tower, tmp_path, workbench):
        workbench(tower, "export Roof Lobby theirs.json")
        with ornr.open(tower) as f:
            ornr.export(f, [f.setups["Roof"], "Lobby"], tmp_path / "ours.json")
        assert (tmp_path / "ours.json").read_bytes() == (tmp_path / "theirs.json").read_bytes()
        ornr.export(tower, "Hall", tmp_path / "one.json")
        (hall,) = json.loads((tmp_path / "one.json").read_text())["setups"]
        assert hall["name"] == "Hall" and hall["settings"]["LightingModel"] == 2

    def test_a_missing_name_leaves_the_target_as_it_was(self, tower, tmp_path):
        out = tmp_path / "out.json"
        out.write_text("before")
        with pytest.raises(ornr.NoSuchSetup, match='holds no setup "Nope"'):
            ornr.export(tower, ["Lobby", "Nope"], out)
        assert out.read_text() == "before"

    def test_what_is_stored_not_what_a_transaction_set(self, tower, tmp_path):
        with ornr.open(tower, "rw") as f, f.transaction():
            f.setups["Lobby"].values["BlurPasses"] = 1
            ornr.export(f, "Lobby", tmp_path / "out.json")
        (lobby,) = json.loads((tmp_path / "out.json").read_text())["setups"]
        assert lobby["settings"]["BlurPasses"] == 12


class TestImport:
    def test_round_trip_with_source(self, make, tmp_path):
        library = make.file("lib.zellib", {"Office": settings()})
        source = {"libraryFile": "lib.zellib", "libraryPath": str(library),
                  "librarySetup": "Office", "takenAt": "2026-01-15T09:30:00Z",
                  "base": settings(BlurPasses=3)}
        drawing = make.file("a.zel", {"Office": settings(BlurPasses=5)}, {"Office": source})
        ornr.export(drawing, "Office", tmp_path / "office.json")
        target = tmp_path / "b.zel"
        assert ornr.import_(tmp_path / "office.json", target) == ["Office"]
        with ornr.open(target) as f:
            office = f.setups["Office"]
            assert office.values["BlurPasses"] == 5 and office.origin.base["BlurPasses"] == 3

    def test_problems_are_listed_and_nothing_is_stored(self, tower, tmp_path):
        document = tmp_path / "bad.json"
        document.write_text(json.dumps({"format": "ornr-render-setups", "version": 1, "setups": [
            {"name": "Lobby", "settings": settings()},
            {"name": "New", "settings": {**settings(), "BlurPasses": -1}},
        ]}, indent=2))
        with pytest.raises(ornr.ImportFailed) as failed:
            ornr.import_(document, tower)
        problems = failed.value.problems
        assert [p.property for p in problems] == ["setups[0].name", "setups[1].settings.BlurPasses"]
        assert str(problems[1]).startswith(f"{document}:") and "out of the range of UInt32" in \
            problems[1].message
        assert str(failed.value) == f"{problems[0]} (and 1 more problems)"
        with ornr.open(tower) as f:
            assert "New" not in f.setups

    def test_replace_keeps_what_it_overwrote_and_an_open_file_follows(self, tower, tmp_path):
        document = tmp_path / "doc.json"
        ornr.export(tower, "Lobby", document)
        text = document.read_text().replace('"BlurPasses": 12', '"BlurPasses": 2')
        document.write_text(text)
        with ornr.open(tower, "rw") as f:
            lobby = f.setups["Lobby"]
            with f.transaction(), pytest.raises(ornr.TransactionError):
                ornr.import_(document, f, replace=True)
            ornr.import_(document, f, replace=True)
            assert lobby.values["BlurPasses"] == 2
            assert [(v.action, v.changes[0].before) for v in lobby.history()] == [("import", 12)]
            with f.transaction():
                lobby.values["BlurPasses"] = 3
