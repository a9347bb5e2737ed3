"""Origin, drift, history and diff, each held against what the workbench says of the same file:
the workbench made the provenance and the versions, ornr reads them."""

from __future__ import annotations

import pytest

import ornr
from conftest import settings


def text(value) -> str:
    """A value as the workbench prints it: lossless, doubles in their shortest form."""
    if isinstance(value, bool):
        return "true" if value else "false"
    return repr(float(value)) if isinstance(value, float) else str(int(value))


def table(transcript: str, prefix: str) -> list[list[str]]:
    """The rows of a table the workbench printed, without its heading and closing count."""
    rows = [line.split()[1:] for line in transcript.splitlines() if line.startswith(prefix)]
    return [row for row in rows[1:] if not (row[0].isdigit() and row[1:2] == ["values"])]


@pytest.fixture
def taken(make, tmp_path, workbench):
    """A drawing whose "Office" was copied from a library by the workbench, tuned and saved
    there, after which the library changed too."""
    library = make.file("lib.zellib", {"Office": settings(BlurPasses=8),
                                       "Night": settings(BlurPasses=2)})
    master = tmp_path / "m.zel"
    workbench(master, "copy-from-library Office", "edit Office BlurPasses 12",
              "edit Office QualityThreshold 0.25", "save Office", "copy-from-library Night",
              libraries=[library.name])
    make.file("lib.zellib", {"Office": settings(BlurPasses=9, AlbedoScale=0.123456789012345,
                                                QualityThreshold=0.25)},
              replace=True)
    return master, library


class TestOrigin:
    def test_origin_and_drift_are_the_workbenchs(self, taken, workbench):
        master, library = taken
        transcript = workbench(master, "drift Office", "origin Office", libraries=[library])
        with ornr.open(master) as f:
            office = f.setups["Office"]
            origin = office.origin
            assert (origin.library_file, origin.library_path, origin.library_setup) == \
                ("lib.zellib", str(library.resolve()), "Office")
            assert f'taken {origin.taken_at}' in transcript
            assert origin.base["BlurPasses"] == 8 and origin.base.frozen
            drift = office.drift()
        rows = [[r.property, str(r.state), text(r.here), text(r.base), text(r.library)]
                for r in drift.rows]
        expected = table(transcript, "drift:")
        # The workbench pads the state into columns: "changed in library" is three words.
        assert [[r[0], " ".join(r[1:-3]), *r[-3:]] for r in expected] == rows
        assert f"summary: {drift.summary}" in transcript
        assert drift.counts[ornr.DriftState.CONFLICT] == 1
        assert drift.counts[ornr.DriftState.CHANGED_ALIKE] == 1
        assert sum(drift.counts.values()) == 68
        assert drift.library["AlbedoScale"] == 0.123456789012345

    def test_library_setup_gone(self, taken, make):
        master, library = taken
        with ornr.open(master) as f:
            night = f.setups["Night"]
            drift = night.drift()
            assert not drift.library_gone and drift.summary == "up to date" and drift.rows == []
            library.unlink()
            # The library file is read once for the life of the file object.
            assert not night.drift().library_gone
            f.refresh()
            gone = night.drift()
        assert gone.library_gone and gone.library is None and gone.rows == []
        assert "is gone from" in gone.gone_reason and gone.summary == "library setup gone"

    def test_setups_made_otherwise_have_none(self, tower):
        with ornr.open(tower) as f:
            assert f.setups["Lobby"].origin is None and f.setups["Lobby"].drift() is None

    def test_rename_keeps_it_and_delete_takes_it_along(self, taken):
        master, _ = taken
        with ornr.open(master, "rw") as f:
            with f.transaction():
                f.rename("Office", "Office tuned")
            assert f.setups["Office tuned"].origin.library_setup == "Office"
            with f.transaction():
                f.delete("Office tuned")
                again = f.new("Office tuned")
            assert again.origin is None
            with f.transaction():
                back = f.undelete("Office tuned", "Office back")
            assert back.origin.library_setup == "Office"


class TestHistory:
    def test_history_is_the_workbenchs(self, taken, workbench):
        master, library = taken
        workbench(master, "edit Office BlurPasses 13", "save Office", "rename Office Foyer",
                  "reset Foyer", libraries=[library])
        transcript = workbench(master, "history Foyer", libraries=[library])
        with ornr.open(master) as f:
            versions = f.setups["Foyer"].history()
            assert versions[-1].values["BlurPasses"] == 8
        lines = table(transcript, "history:")
        assert [int(line[0]) for line in lines] == [v.number for v in versions]
        assert [line[1] for line in lines] == [v.made_at for v in versions]
        for line, version in zip(lines, versions):
            assert version.action in " ".join(line[2:])
            for change in version.changes:
                assert f"{change.property} {text(change.before)} -> {text(change.after)}" in \
                    " ".join(line)
        rename = next(v for v in versions if v.action == "rename")
        assert (rename.name, rename.name_after) == ("Office", "Foyer")

    def test_deleted_setups(self, taken, workbench):
        master, library = taken
        workbench(master, "delete Night", libraries=[library])
        transcript = workbench(master, "deleted", libraries=[library])
        with ornr.open(master) as f:
            (night,) = f.deleted()
            assert night.name == "Night" and f'"Night"  {night.deleted_at}' in transcript
            assert night.values["BlurPasses"] == 2
            (deletion,) = night.history()
        assert deletion.action == "delete" and deletion.name_after is None
        assert all(change.after is None for change in deletion.changes)
        assert len(deletion.changes) == 68


class TestDiff:
    def test_diff_against_setups_versions_and_mappings(self, tower, make, workbench):
        other = make.file("other.zel", {"Lobby": settings(BlurPasses=12, QualityThreshold=-0.0)})
        transcript = workbench(tower, "diff Lobby Hall")
        with ornr.open(tower) as f, ornr.open(other) as g:
            lobby = f.setups["Lobby"]
            rows = lobby.diff(f.setups["Hall"])
            assert [[r.property, text(r.this), text(r.other)] for r in rows] == \
                table(transcript, "diff:")
            assert rows[0] == ornr.Difference("BlurPasses", 12, 8)
            # Exactly: 0.25 against -0.0, and -0.0 against 0.0 differ too.
            assert lobby.diff(g.setups["Lobby"]) == [ornr.Difference("QualityThreshold", 0.25, -0.0)]
            assert lobby.diff(settings(BlurPasses=12, QualityThreshold=0.25)) == []
            assert lobby.diff(lobby.values) == []
            with pytest.raises(ornr.ValueRefused, match="all 68"):
                lobby.diff({"BlurPasses": 12})
            with pytest.raises(TypeError):
                lobby.diff(12)
