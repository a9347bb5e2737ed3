"""Office standards from Python: locks, overrides, overlays, notes, scopes and why, each held
against what the workbench says of the same files."""

from __future__ import annotations

import json
import os
import shutil
import subprocess

import pytest

import ornr
from conftest import AUDIT, GRADE_LOCK, NIGHT_LOCK, WORKBENCH, settings

def answers(transcript: str, prefix: str) -> dict[str, list[str]]:
    """The lines each command of a workbench transcript printed with prefix, by command."""
    found: dict[str, list[str]] = {}
    command = ""
    for line in transcript.splitlines():
        if line.startswith("> "):
            command = line[2:]
            found[command] = []
        elif line.startswith(prefix) and command:
            found[command].append(line[len(prefix):])
    return found


WHY_CASES = [
    ("Lobby", "BlurPasses"),        # taken by name, locked, with the library's note
    ("Lobby", "AlbedoScale"),       # governed by the overlay, locked there
    ("Lobby", "LightingModel"),     # the drawing's own, with its own note
    ("Lobby", "DoShadows"),         # governed, not locked
    ("Breach", "BlurPasses"),       # locked and changed here
    ("Excused", "BlurPasses"),      # overridden
    ("Own", "BlurPasses"),          # no library at all
]


class TestRead:
    def test_why_says_what_the_workbench_says(self, office, workbench):
        drawing, library = office
        transcript = workbench(drawing, *(f"why {s} {p}" for s, p in WHY_CASES),
                               libraries=[library])
        expected = answers(transcript, "why: ")
        with ornr.open(drawing) as f:
            for setup, property in WHY_CASES:
                assert f.setups[setup].why(property).lines == expected[f"why {setup} {property}"]

    @pytest.mark.parametrize("setup, property, facts", [
        ("Lobby", "BlurPasses", dict(value=8, library_value=8, locked=NIGHT_LOCK, overlay=False,
                                     library_note="8 is enough at 4K", override=None,
                                     description="the lobby shot", note=None)),
        ("Lobby", "AlbedoScale", dict(value=0.7, library_value=0.7, locked=GRADE_LOCK,
                                      overlay=True, default=1.0)),
        ("Lobby", "LightingModel", dict(library=None, locked=None,
                                        value=ornr.LightingModel.PATH_TRACING,
                                        note="the client asked for it")),
        ("Breach", "BlurPasses", dict(value=12, saved=12, library_value=8,
                                      library_changed=False)),
        ("Excused", "BlurPasses", dict(override=ornr.Override("hero shot", "ann",
                                                              "2026-02-01T10:00:00Z"))),
    ])
    def test_why_facts_are_typed(self, office, setup, property, facts):
        drawing, _ = office
        with ornr.open(drawing) as f:
            why = f.setups[setup].why(property)
        for name, value in facts.items():
            assert getattr(why, name) == value, name
            assert type(getattr(why, name)) is type(value), name
        if why.library is not None:
            assert why.library.file == "office.zellib"

    def test_locks_are_the_workbenchs(self, office, workbench):
        drawing, library = office
        transcript = workbench(drawing, "locks", libraries=[library])
        lines = answers(transcript, "locks: ")["locks"]
        got = []
        with ornr.open(drawing) as f:
            for setup in f.setups.values():
                for lock in setup.locks:
                    line = (f'{lock.property} of "{setup.name}" is locked by '
                            f'"{lock.library.setup}" in {lock.library.file}: {lock.reason}')
                    if lock.override:
                        line += (f"; overridden by {lock.override.made_by} "
                                 f"{lock.override.made_at}: {lock.override.reason}")
                    if lock.breached:
                        line += "; changed here without an override"
                    got.append(line)
        assert got == lines

    def test_standards_of_each_side(self, office):
        drawing, library = office
        with ornr.open(drawing) as f:
            lobby, excused, own = f.setups["Lobby"], f.setups["Excused"], f.setups["Own"]
            assert [(o.library_setup, o.governed, o.base["AlbedoScale"]) for o in lobby.overlays] \
                == [("Grade", ("AlbedoScale",), 0.7)]
            assert excused.overrides == {"BlurPasses": ("hero shot", "ann",
                                                        "2026-02-01T10:00:00Z")}
            assert (own.overlays, own.overrides, own.locks) == ([], {}, [])
            assert own.notes == (None, {})
            assert lobby.scope is None and lobby.library_locks == {}
        with ornr.open(library) as f:
            night = f.setups["Night"]
            assert night.scope == ("DoShadows", "BlurPasses", "QualityThreshold")
            assert night.library_locks == {"BlurPasses": NIGHT_LOCK}
            assert night.notes == ("night renders for the farm",
                                   {"BlurPasses": "8 is enough at 4K"})
            assert f.setups["Grade"].scope == ("AlbedoScale",)

    def test_why_of_no_property(self, office):
        drawing, _ = office
        with ornr.open(drawing) as f, pytest.raises(ornr.NoSuchProperty):
            f.setups["Lobby"].why("Blurpasses")


# (setup, property, value, refused): a value set is held to the locks as the workbench's edit
# is, save that putting a locked value back to the library's is never refused.
SET_CASES = [
    ("Lobby", "BlurPasses", 9, True),
    ("Lobby", "AlbedoScale", 0.9, True),          # locked by the overlay
    ("Lobby", "QualityThreshold", 0.75, False),   # governed, not locked
    ("Lobby", "LightingModel", 1, False),         # the drawing's own
    ("Breach", "BlurPasses", 10, True),           # still away from the library
    ("Breach", "BlurPasses", 8, False),           # back to the library's value
    ("Excused", "BlurPasses", 16, False),         # overridden
    ("Own", "BlurPasses", 99, False),
]


class TestWrite:
    @pytest.mark.parametrize("setup, property, value, refused", SET_CASES)
    def test_a_locked_value_is_refused_without_an_override(self, office, setup, property, value,
                                                           refused):
        drawing, _ = office
        with ornr.open(drawing, "rw") as f:
            before = f.setups[setup].values[property]
            if refused:
                with pytest.raises(ornr.LockedValue), f.transaction():
                    f.setups[setup].values[property] = value
            else:
                with f.transaction():
                    f.setups[setup].values[property] = value
        with ornr.open(drawing) as f:
            assert f.setups[setup].values[property] == (before if refused else value)

    def test_the_refusal_is_the_command_lines(self, office, workbench):
        drawing, library = office
        refusal = run_refused(drawing, library, "edit Lobby BlurPasses 9")
        with ornr.open(drawing, "rw") as f, f.transaction():
            with pytest.raises(ornr.LockedValue) as raised:
                f.setups["Lobby"].values.update({"QualityThreshold": 0.75, "BlurPasses": 9})
            # All or nothing: the value beside it was not set either.
            assert f.setups["Lobby"].values["QualityThreshold"] == 0.5
        said, hint = str(raised.value).split("; ", 1)
        assert refusal.startswith(f"error: {said}; edit ... --override")
        assert hint == 'setup.override("BlurPasses", "why") changes it anyway'
        assert isinstance(raised.value, ornr.Error)

    def test_an_override_is_stored_with_the_values(self, office, workbench):
        drawing, library = office
        with ornr.open(drawing, "rw") as f:
            lobby = f.setups["Lobby"]
            with f.transaction():
                lobby.override("BlurPasses", "the client pays for 12")
                assert lobby.overrides["BlurPasses"] == ("the client pays for 12", None, None)
                lobby.values["BlurPasses"] = 12
                # Until the block commits the file holds 8, as a session's unsaved edit.
                pending = lobby.why("BlurPasses")
                assert (pending.value, pending.saved) == (12, 8)
                assert pending.lines[0] == \
                    'BlurPasses of "Lobby" is 12 (unsaved; saved 8), default 8'
                assert pending.override == ("the client pays for 12", None, None)
            user = lobby.history()[0].made_by
            stored = lobby.overrides["BlurPasses"]
            assert (stored.reason, stored.made_by) == ("the client pays for 12", user)
            assert [lock.breached for lock in lobby.locks] == [False, False]
            why = lobby.why("BlurPasses")
            assert lobby.history()[0].marks == [
                ornr.Mark("override", "BlurPasses", "", "the client pays for 12")]
        assert why.last_change.override == "the client pays for 12"
        assert (why.last_change.before, why.last_change.after) == (8, 12)
        transcript = workbench(drawing, "why Lobby BlurPasses", libraries=[library])
        assert why.lines == answers(transcript, "why: ")["why Lobby BlurPasses"]

    def test_a_rolled_back_override_is_gone(self, office):
        drawing, _ = office
        with ornr.open(drawing, "rw") as f:
            lobby = f.setups["Lobby"]
            with pytest.raises(RuntimeError), f.transaction():
                lobby.override("BlurPasses", "for a moment")
                lobby.values["BlurPasses"] = 12
                raise RuntimeError("changed my mind")
            assert lobby.overrides == {}
            with pytest.raises(ornr.LockedValue), f.transaction():
                lobby.values["BlurPasses"] = 12

    def test_a_dropped_override_puts_the_librarys_value_back(self, office, workbench):
        drawing, library = office
        with ornr.open(drawing, "rw") as f:
            excused = f.setups["Excused"]
            with pytest.raises(RuntimeError), f.transaction():
                excused.drop_override("BlurPasses")
                assert excused.overrides == {} and excused.values["BlurPasses"] == 8
                raise RuntimeError("changed my mind")
            assert excused.overrides["BlurPasses"].reason == "hero shot"
            assert excused.values["BlurPasses"] == 12
            with f.transaction():
                excused.drop_override("BlurPasses")
            assert excused.overrides == {} and excused.values["BlurPasses"] == 8
            version = excused.history()[0]
            assert version.marks == [ornr.Mark("override", "BlurPasses", "hero shot", "")]
            assert version.changes == [ornr.Change("BlurPasses", 12, 8)]
            # Locked again: the value it had is refused.
            with pytest.raises(ornr.LockedValue), f.transaction():
                excused.values["BlurPasses"] = 12
            # One given and dropped in a block leaves nothing behind.
            lobby = f.setups["Lobby"]
            with f.transaction():
                lobby.override("BlurPasses", "for a moment")
                lobby.values["BlurPasses"] = 12
                lobby.drop_override("BlurPasses")
            assert lobby.overrides == {} and lobby.values["BlurPasses"] == 8
        transcript = workbench(drawing, "locks Excused", libraries=[library])
        assert "hero shot" not in transcript and "BlurPasses" in transcript

    @pytest.mark.parametrize("setup, property", [
        ("Lobby", "BlurPasses"),           # locked, not overridden
        ("Excused", "QualityThreshold"),   # governed, not locked
        ("Own", "BlurPasses"),             # the drawing's own
    ])
    def test_only_an_override_is_dropped(self, office, setup, property):
        drawing, _ = office
        with ornr.open(drawing, "rw") as f, f.transaction():
            with pytest.raises(ornr.ValueRefused, match=f'{property} of "{setup}" has no '
                                                         "override to drop"):
                f.setups[setup].drop_override(property)

    @pytest.mark.parametrize("property, reason, message", [
        ("QualityThreshold", "why not", 'QualityThreshold of "Lobby" is not locked; there is '
                                        "nothing to override"),
        ("LightingModel", "why not", 'LightingModel of "Lobby" is not locked'),
        ("BlurPasses", "", "an override needs a reason"),
        ("BlurPasses", "x" * 1001, "a reason of at most 1000 characters"),
    ])
    def test_an_override_needs_a_lock_and_a_reason(self, office, property, reason, message):
        drawing, _ = office
        with ornr.open(drawing, "rw") as f, f.transaction():
            with pytest.raises(ornr.ValueRefused, match=message):
                f.setups["Lobby"].override(property, reason)

    def test_a_restore_that_breaks_a_lock_changes_nothing(self, office):
        drawing, _ = office
        with ornr.open(drawing, "rw") as f:
            breach = f.setups["Breach"]
            with f.transaction():
                breach.values["BlurPasses"] = 8
            with pytest.raises(ornr.LockedValue, match=r"BlurPasses is locked by \"Night\" in "
                               r"office.zellib: .* \(12 here, 8 in the library\); nothing "
                               r"restored"), f.transaction():
                breach.restore(breach.history()[0])
            assert breach.values["BlurPasses"] == 8
            with f.transaction():
                breach.override("BlurPasses", "back as it was")
                breach.restore(breach.history()[0])
        with ornr.open(drawing) as f:
            assert f.setups["Breach"].values["BlurPasses"] == 12

    def test_an_undelete_that_breaks_a_lock_changes_nothing(self, office):
        drawing, _ = office
        with ornr.open(drawing, "rw") as f:
            with f.transaction():
                f.delete("Breach")
                f.delete("Excused")
            with pytest.raises(ornr.LockedValue, match="undelete brings the setup back"), \
                    f.transaction():
                f.undelete("Breach")
            with f.transaction():
                f.undelete("Excused")     # its override comes back with it
        with ornr.open(drawing) as f:
            assert "Breach" not in f.setups
            assert f.setups["Excused"].values["BlurPasses"] == 12
            assert f.setups["Excused"].overrides["BlurPasses"].reason == "hero shot"


def run_refused(drawing, library, command) -> str:
    """The error line the workbench printed for a command it refused."""
    result = subprocess.run([WORKBENCH, "--master", str(drawing), "--library", str(library),
                             "-c", command], cwd=drawing.parent, capture_output=True, text=True,
                            timeout=120, env={**os.environ, "ORNR_UI_CULTURE": "C"})
    assert result.returncode == 1
    return next(line for line in (result.stderr + result.stdout).splitlines()
                if line.startswith("error: "))


class TestAuthoring:
    def test_notes_are_written_at_once_as_versions(self, office, workbench):
        drawing, library = office
        with ornr.open(drawing, "rw") as f:
            lobby = f.setups["Lobby"]
            with f.transaction():
                lobby.values["QualityThreshold"] = 0.75
                lobby.set_note("the lobby at dusk")
                lobby.set_note("the client wants it bright", "AlbedoScale")
                lobby.set_note("", "LightingModel")
            with pytest.raises(RuntimeError), f.transaction():
                lobby.set_note("never kept")
                raise RuntimeError
            assert lobby.notes == ("the lobby at dusk",
                                   {"AlbedoScale": "the client wants it bright"})
            # The values set first are a version of their own, each note another.
            assert [v.action for v in lobby.history()] == ["note", "note", "note", "python"]
            assert [m for v in lobby.history()[:3] for m in v.marks] == [
                ("note", "LightingModel", "the client asked for it", ""),
                ("note", "AlbedoScale", "", "the client wants it bright"),
                ("note", None, "the lobby shot", "the lobby at dusk")]
        transcript = workbench(drawing, "note Lobby", "note Lobby AlbedoScale",
                               "note Lobby LightingModel", libraries=[library])
        assert [line for lines in answers(transcript, "note: ").values() for line in lines] == [
            '"Lobby": the lobby at dusk', 'AlbedoScale of "Lobby": the client wants it bright',
            'LightingModel of "Lobby" has no note']

    def test_a_library_setup_is_authored_like_the_workbench_does(self, office, workbench):
        drawing, library = office
        with ornr.open(library, "rw") as f:
            night = f.setups["Night"]
            with f.transaction():
                assert night.set_scope(["QualityThreshold", "Lighting"]) == ["BlurPasses"]
                night.lock(["QualityThreshold", "AlbedoScale"], reason="the office look")
                night.unlock("AlbedoScale")
            assert night.library_locks == {"QualityThreshold": "the office look"}
            assert [v.action for v in night.history()][:3] == ["unlock", "lock", "scope"]
        transcript = workbench(library, "scope Night", "locks")
        assert answers(transcript, "scope: ")["scope Night"] == [
            '"Night" governs 8 of 68 values: Lighting, QualityThreshold']
        with ornr.open(drawing) as f:
            lobby = f.setups["Lobby"]
            # The drawing's BlurPasses is its own now; QualityThreshold is locked instead.
            assert [(lock.property, lock.library.setup) for lock in lobby.locks] == \
                [("QualityThreshold", "Night"), ("AlbedoScale", "Grade")]
            assert lobby.why("BlurPasses").library is None

    @pytest.mark.parametrize("write, error, message", [
        (lambda s: s.lock("AlbedoScale", reason="no"), ornr.ValueRefused,
         r'AlbedoScale is not governed by "Night" \(scope Night shows what it governs\)'),
        (lambda s: s.lock("BlurPasses", reason=""), ornr.ValueRefused, "a lock needs a reason"),
        (lambda s: s.unlock("DoShadows"), ornr.ValueRefused, 'DoShadows of "Night" is not locked'),
        (lambda s: s.set_scope(["Lights"]), ornr.ValueRefused,
         '"Lights" is neither a property nor a section'),
        (lambda s: s.lock("Blur", reason="x"), ornr.NoSuchProperty, "Blur"),
        (lambda s: s.set_note("x" * 4001), ornr.ValueRefused, "a note of at most 4000"),
    ])
    def test_refused_standards_change_nothing(self, office, write, error, message):
        _, library = office
        with ornr.open(library, "rw") as f:
            night = f.setups["Night"]
            with pytest.raises(error, match=message), f.transaction():
                write(night)
            assert night.library_locks == {"BlurPasses": NIGHT_LOCK}
            assert night.scope == ("DoShadows", "BlurPasses", "QualityThreshold")
            assert night.history() == []

    @pytest.mark.parametrize("names, hold_locks, stored", [
        (["Lobby", "Breach"], True, None),        # BlurPasses 12 against the lock: nothing
        (["Lobby", "Excused"], True, ["Lobby", "Excused"]),  # the override comes along
        (["Lobby", "Breach"], False, ["Lobby", "Breach"]),   # stored as it stands
    ])
    def test_an_import_holds_the_locks_its_setups_come_under(self, office, tmp_path, names,
                                                              hold_locks, stored):
        drawing, _ = office
        document = tmp_path / "setups.json"
        ornr.export(drawing, names, document)
        target = tmp_path / "annex.zel"
        if stored is None:
            with pytest.raises(ornr.LockedValue, match=r"BlurPasses .*locked.*nothing changed"):
                ornr.import_(document, target, hold_locks=hold_locks)
            with ornr.open(target) as f:
                assert list(f.setups) == []
        else:
            assert ornr.import_(document, target, hold_locks=hold_locks) == stored
            assert file_state(target) == {name: file_state(drawing)[name] for name in stored}

    def test_standards_are_written_only_in_a_transaction(self, office):
        _, library = office
        with ornr.open(library, "rw") as f, pytest.raises(ornr.TransactionError):
            f.setups["Night"].lock("DoShadows", reason="always")
        with ornr.open(library) as f, pytest.raises(ornr.FileError, match="read-only"):
            f.setups["Night"].set_note("x")


def rsm_audit(folder, *args: str) -> tuple[int, dict]:
    if not AUDIT:
        pytest.skip("RSM_AUDIT is not set")
    out = folder / "theirs.json"
    result = subprocess.run([AUDIT, "--json", str(out), *args], capture_output=True, text=True,
                            cwd=folder, timeout=120)
    return result.returncode, json.loads(out.read_text())


def file_state(path) -> dict:
    """Every setup's values and overrides as the file holds them."""
    with ornr.open(path) as f:
        return {name: (setup.values.to_dict(), setup.overrides) for name, setup in
                f.setups.items()}


# (keywords of ornr.audit, rsm-audit's words for the same run)
AUDIT_RUNS = [
    ({}, []),
    ({"strict": True}, ["--strict"]),
    ({"fix": "locks"}, ["--fix", "locks"]),
    ({"fix": "locks", "include_overrides": True}, ["--fix", "locks", "--include-overrides"]),
    ({"fix": ["merge", "locks"], "strict": True}, ["--fix", "merge,locks", "--strict"]),
]


class TestAudit:
    @pytest.mark.parametrize("keywords, words", AUDIT_RUNS)
    def test_the_report_is_rsm_audits(self, office, tmp_path, monkeypatch, keywords, words):
        drawing, library = office
        status, theirs = rsm_audit(tmp_path, "--library", library.name, *words, drawing.name)
        monkeypatch.chdir(tmp_path)
        report = ornr.audit(drawing.name, library.name, **keywords)
        ours = json.loads(report.to_json())
        assert {k: v for k, v in ours.items() if k != "run"} == \
            {k: v for k, v in theirs.items() if k != "run"}
        for member in ("fix", "strict"):
            assert ours["run"].get(member) == theirs["run"].get(member), member
        assert report.command == ["rsm-audit", "--library", library.name, *words, drawing.name]
        assert report.exit_status == status == 1

    def test_lock_findings_are_typed(self, office, tmp_path):
        drawing, library = office
        report = ornr.audit(drawing, library, strict=True)
        (file,) = report.files
        setups = {setup.name: setup for setup in file.setups}
        assert setups["Breach"].locks == [ornr.AuditedLock(
            "BlurPasses", 12, 8, "office.zellib", "Night", NIGHT_LOCK, True, None)]
        assert setups["Excused"].locks[0].override == ("hero shot", "ann",
                                                       "2026-02-01T10:00:00Z")
        assert [(s.locked_values, s.locks_changed, s.overridden) for s in setups.values()] == \
            [(2, 0, 0), (1, 1, 0), (1, 0, 1), (0, 0, 0)]
        assert (report.totals.locked_values, report.totals.locks_changed,
                report.totals.overridden) == (4, 1, 1)
        assert file.breaks_locks

    @pytest.mark.parametrize("keywords, words, fixed", [
        ({"fix": "locks"}, ["--fix", "locks"], ["Breach"]),
        ({"fix": "locks", "include_overrides": True}, ["--fix", "locks", "--include-overrides"],
         ["Breach", "Excused"]),
    ])
    def test_a_lock_fix_is_a_preview_that_apply_writes_as_rsm_audit(self, office, tmp_path,
                                                                    keywords, words, fixed):
        drawing, library = office
        theirs = tmp_path / "theirs.zel"
        shutil.copy(drawing, theirs)
        rsm_audit(tmp_path, "--library", library.name, *words, "--apply", theirs.name)
        before = file_state(drawing)
        preview = ornr.audit(drawing, library, **keywords).fix
        assert [setup.name for setup in preview.setups] == fixed
        assert preview.setups[0].fix.action == "put back locks"
        assert preview.setups[0].fix.locks == ["BlurPasses"]
        assert file_state(drawing) == before          # a preview writes nothing
        applied = preview.apply()
        assert applied.applied and applied.totals.fix.locks_restored == len(fixed)
        assert file_state(drawing) == file_state(theirs)
        assert file_state(drawing)["Breach"][0]["BlurPasses"] == 8
        with ornr.open(drawing) as f:
            assert f.setups["Breach"].history()[0].action == "audit lock fix"
        # Audited again, nothing is left to put back.
        again = ornr.audit(drawing, library, **keywords)
        assert again.totals.locks_changed == 0 and again.fix.setups == []

    @pytest.mark.parametrize("fix, message", [
        ("lock", 'not "lock"'), (["merge", "undo"], 'not "undo"'), ([], "names no fix"),
    ])
    def test_a_wrong_fix_is_refused(self, office, fix, message):
        drawing, library = office
        with pytest.raises(ornr.Error, match=message):
            ornr.audit(drawing, library, fix=fix)

    def test_include_overrides_needs_the_lock_fix(self, office):
        drawing, library = office
        with pytest.raises(ornr.Error, match="include_overrides"):
            ornr.audit(drawing, library, fix="merge", include_overrides=True)


class TestDrift:
    def test_only_governed_values_drift_as_the_workbench_says(self, office, workbench, make):
        drawing, library = office
        # The library moves: a governed value, one Night does not govern, and the overlay's.
        make.file("office.zellib", {
            "Night": settings(BlurPasses=8, QualityThreshold=0.25, AlbedoScale=0.2),
            "Grade": settings(AlbedoScale=0.9),
        }, replace=True, standards={
            "Night": {"scope": ["BlurPasses", "DoShadows", "QualityThreshold"],
                      "locks": {"BlurPasses": NIGHT_LOCK}},
            "Grade": {"scope": ["AlbedoScale"], "locks": {"AlbedoScale": GRADE_LOCK}},
        })
        transcript = workbench(drawing, "drift Lobby", libraries=[library])
        with ornr.open(drawing) as f:
            drift = f.setups["Lobby"].drift()
        assert f"summary: {drift.summary}" in transcript
        assert drift.summary == "library has 2 newer values"
        # LightingModel, changed here but governed by nobody, is the drawing's own.
        assert [(r.property, str(r.state), r.base, r.library) for r in drift.rows] == [
            ("QualityThreshold", "changed in library", 0.5, 0.25),
            ("AlbedoScale", "changed in library", 0.7, 0.9),
        ]
