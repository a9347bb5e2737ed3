"""Change sets from Python: deploy and undo previews, apply() as rsm-audit --apply writes,
changes listed and shown, undo of an undo, conflicts, skipped and unreadable files, Ctrl-C, and
the refusals."""

from __future__ import annotations

import json
import os
import shutil
import signal
import sqlite3
import subprocess
import sys
import textwrap
import time
from pathlib import Path

import pytest

import ornr
from conftest import AUDIT, settings, source

OLD = settings()
QUALITY = settings(BlurPasses=9, ShadowQuality=3)
LOCK = "the farm renders 9 passes"


@pytest.fixture
def project(make, tmp_path, monkeypatch):
    """A library whose "Quality" governs three values and locks BlurPasses; drawings that took
    it before it changed (one kept to it, one changed here, with a conflict), one that never
    took it and one with a setup of its own only. The tests run in tmp_path."""
    library = make.file("office/office.zellib", {"Quality": QUALITY}, standards={
        "Quality": {"scope": ["BlurPasses", "ShadowQuality", "QualityThreshold"],
                    "locks": {"BlurPasses": LOCK}}})
    taken = {"Quality": source(library, "Quality", OLD)}
    make.file("proj/a.zel", {"Quality": settings(ShadowQuality=2, QualityThreshold=0.25),
                             "Own": settings(BlurPasses=3)}, taken)
    make.file("proj/b.zel", {"Quality": OLD}, taken)
    make.file("proj/sub/c.zel", {"Interior": settings(QualityThreshold=0.75)})
    (tmp_path / "proj" / "notes.txt").write_text("not a drawing")
    monkeypatch.chdir(tmp_path)
    return tmp_path


LIBRARY = "office/office.zellib"


def values(path: str, name: str) -> dict:
    with ornr.open(path) as f:
        return f.setups[name].values.to_dict()


def rsm_audit(*args: str) -> tuple[int, str]:
    if not AUDIT:
        pytest.skip("RSM_AUDIT is not set")
    result = subprocess.run([AUDIT, *args], capture_output=True, text=True, timeout=120)
    return result.returncode, result.stdout


def without_times(report: dict) -> dict:
    return {k: v for k, v in report.items() if k not in ("startedAt", "command", "changeSet")}


class TestDeploy:
    def test_preview_is_rsm_audits_value_by_value_and_writes_nothing(self, project):
        preview = ornr.deploy("Quality", "proj", LIBRARY, linked=True)
        assert isinstance(preview, ornr.DeployPreview) and not preview.applied
        assert preview.change_set is None
        assert [(f.path, f.outcome) for f in preview.files] == \
            [("proj/a.zel", "would change"), ("proj/b.zel", "would change")]
        a = preview.files[0].setups[0]
        assert (a.name, a.action) == ("Quality", "by name")
        rows = {v.property: v for v in a.values}
        # Locked and newer in the library; changed on both sides (left); changed here (kept).
        assert rows["BlurPasses"] == ornr.ChangedValue("BlurPasses", "locked", 8, 9, 9, None)
        assert rows["ShadowQuality"].kind == "undecided" and not rows["ShadowQuality"].changes
        assert (rows["ShadowQuality"].before, rows["ShadowQuality"].library) == (2, 3)
        assert isinstance(rows["ShadowQuality"].before, ornr.ShadowQuality)
        assert rows["QualityThreshold"] == \
            ornr.ChangedValue("QualityThreshold", "kept", 0.25, 0.25, 0.5, None)
        assert preview.conflicts == [ornr.Conflict("proj/a.zel", "Quality", rows["ShadowQuality"])]
        assert preview.totals == ornr.ChangeTotals(2, 2, 0, 1, 0)
        assert preview.exit_status == 1 and preview.unreadable == []
        assert values("proj/b.zel", "Quality") == OLD
        with ornr.open("proj/a.zel") as f:
            assert f.setups["Quality"].history() == []
        # The very report rsm-audit writes for the same run.
        shutil.copytree("proj", "theirs")
        status, _ = rsm_audit("--library", LIBRARY, "--deploy", "Quality", "--linked",
                              "--json", "theirs.json", "proj")
        theirs = json.loads(Path("theirs.json").read_text())
        assert status == preview.exit_status
        assert without_times(json.loads(preview.to_json())) == without_times(theirs)
        assert preview.command == \
            "rsm-audit --library office/office.zellib --deploy Quality --linked proj"

    @pytest.mark.parametrize("kwargs, setups", [
        ({"to": "Interior"}, [("proj/sub/c.zel", "Interior", "overlay")]),
        ({"to": ["Quality"], "create": False}, [("proj/a.zel", "Quality", "by name"),
                                                ("proj/b.zel", "Quality", "by name")]),
        ({"linked": True, "create": True}, [("proj/a.zel", "Quality", "by name"),
                                            ("proj/b.zel", "Quality", "by name"),
                                            ("proj/sub/c.zel", "Quality", "create")]),
        ({"every_setup": True}, [("proj/a.zel", "Quality", "by name"),
                                 ("proj/a.zel", "Own", "overlay"),
                                 ("proj/b.zel", "Quality", "by name"),
                                 ("proj/sub/c.zel", "Interior", "overlay")]),
    ])
    def test_targets(self, project, kwargs, setups):
        preview = ornr.deploy("Quality", ["proj"], [LIBRARY], **kwargs)
        assert [(f.path, s.name, s.action) for f in preview.files for s in f.setups] == setups

    def test_take_decides_conflicts(self, project):
        preview = ornr.deploy("Quality", "proj", LIBRARY, linked=True, take="library")
        assert [(c.value.property, c.value.kind, c.value.after) for c in preview.conflicts] == \
            [("ShadowQuality", "decided", 3)]
        assert preview.totals.conflicts == 0 and preview.exit_status == 0
        preview.apply()
        assert values("proj/a.zel", "Quality")["ShadowQuality"] == 3

    def test_apply_writes_one_change_set_that_undo_takes_back_and_undo_again(self, project):
        before = {p: values(p, "Quality") for p in ("proj/a.zel", "proj/b.zel")}
        preview = ornr.deploy("Quality", "proj", LIBRARY, linked=True, take="local")
        applied = preview.apply()
        assert applied.applied and applied.change_set and not isinstance(applied, ornr.DeployPreview)
        assert [(f.path, f.outcome) for f in applied.files] == \
            [("proj/a.zel", "changed"), ("proj/b.zel", "changed")]
        deployed = {p: values(p, "Quality") for p in before}
        assert deployed["proj/b.zel"] == QUALITY
        assert deployed["proj/a.zel"] == {**before["proj/a.zel"], "BlurPasses": 9}
        with pytest.raises(ornr.Error, match="applied already"):
            preview.apply()

        listed = ornr.changes("proj")
        assert [c.id for c in listed] == [applied.change_set] and listed.unreadable == []
        change_set = listed[0]
        assert (change_set.files, change_set.setups, change_set.values) == (2, 2, 3)
        assert "--deploy Quality --linked --take local --apply proj" in change_set.command
        shown = change_set.detail()
        assert shown == ornr.changes("proj", applied.change_set[:9])
        assert [(d.path, [(s.name, s.values) for s in d.setups]) for d in shown.drawings] == [
            ("proj/a.zel", [("Quality", [ornr.Change("BlurPasses", 8, 9)])]),
            ("proj/b.zel", [("Quality", [ornr.Change("BlurPasses", 8, 9),
                                         ornr.Change("ShadowQuality", 1, 3)])]),
        ]
        # The CLI lists the same change set with the same counts.
        status, out = rsm_audit("--changes", "proj")
        assert status == 0 and out.splitlines()[1].split()[:6] == \
            [applied.change_set, change_set.made_at, change_set.made_by, "2", "2", "3"]

        undo = change_set.undo()
        assert isinstance(undo, ornr.UndoPreview) and undo.undoes.id == applied.change_set
        assert [(f.path, f.outcome) for f in undo.files] == \
            [("proj/a.zel", "would change"), ("proj/b.zel", "would change")]
        assert values("proj/b.zel", "Quality") == QUALITY
        undone = undo.apply()
        assert undone.change_set and undone.change_set != applied.change_set
        assert {p: values(p, "Quality") for p in before} == before
        # The undo is a change set of its own, newest first; undoing it deploys again.
        assert [c.id for c in ornr.changes("proj")] == [undone.change_set, applied.change_set]
        ornr.undo(undone.change_set, "proj").apply()
        assert {p: values(p, "Quality") for p in before} == deployed

    def test_a_value_changed_since_is_an_undo_conflict(self, project):
        applied = ornr.deploy("Quality", "proj/b.zel", LIBRARY, linked=True).apply()
        with ornr.open("proj/b.zel", "rw") as f, f.transaction():
            f.setups["Quality"].values["ShadowQuality"] = 4
        kept = ornr.undo(applied.change_set, "proj")
        conflict = kept.conflicts[0]
        assert (conflict.path, conflict.setup) == ("proj/b.zel", "Quality")
        assert conflict.value == ornr.ChangedValue("ShadowQuality", "conflict-kept", 4, 4, None, 3)
        assert kept.exit_status == 1
        taken = ornr.undo(applied.change_set, "proj", take_change_set=True)
        assert taken.conflicts[0].value.kind == "conflict-restored"
        taken.apply()
        assert values("proj/b.zel", "Quality") == OLD

    def test_busy_and_unreadable_files(self, project, monkeypatch):
        # A file named as a path is read whatever it is; under a folder, only design files are.
        preview = ornr.deploy("Quality", ["proj", "proj/notes.txt"], LIBRARY, linked=True)
        assert preview.unreadable == [ornr.SkippedEntry("proj/notes.txt", "is not a design file")]
        assert preview.exit_status == 3
        monkeypatch.setenv("ORNHOST_BUSY_TIMEOUT_MS", "100")
        other = sqlite3.connect("proj/b.zel", isolation_level=None)
        other.execute("BEGIN IMMEDIATE")
        try:
            applied = preview.apply()
        finally:
            other.execute("ROLLBACK")
            other.close()
        assert [(f.path, f.outcome) for f in applied.files] == \
            [("proj/a.zel", "changed"), ("proj/b.zel", "skipped")]
        assert applied.skipped[0].reason == "the file is locked by another program"
        assert applied.skipped[0].setups == [] and applied.totals.skipped == 1
        assert values("proj/b.zel", "Quality") == OLD
        # What was written is one change set all the same.
        assert ornr.changes("proj", applied.change_set).files == 1


class TestRefusals:
    @pytest.mark.parametrize("args, kwargs, error, words", [
        (("Nope", "proj", LIBRARY), {"linked": True}, ornr.NoSuchSetup,
         'no --library offers a setup "Nope"'),
        (("Quality", "proj", "missing.zellib"), {"linked": True}, ornr.FileError,
         "missing.zellib"),
        (("Quality", "proj", LIBRARY), {}, ornr.Error, "one of linked=True"),
        (("Quality", "proj", LIBRARY), {"linked": True, "to": "A"}, ornr.Error, "one of"),
        (("Quality", "proj", LIBRARY), {"linked": True, "take": "theirs"}, ornr.Error, "take"),
        (("Quality", "proj", LIBRARY), {"linked": True, "jobs": 0}, ornr.Error, "jobs"),
        (("Quality", "proj", LIBRARY), {"linked": True, "from_library": "proj/a.zel"},
         ornr.Error, "from_library names one of the libraries"),
        (("Quality", "nowhere", LIBRARY), {"linked": True}, ornr.Error,
         "nowhere: no such file or folder"),
        (("Quality", "proj", []), {"linked": True}, ornr.Error, "libraries names none"),
        (("", "proj", LIBRARY), {"linked": True}, ornr.Error, "library_setup"),
    ])
    def test_deploy(self, project, args, kwargs, error, words):
        with pytest.raises(error, match=words):
            ornr.deploy(*args, **kwargs)

    @pytest.mark.parametrize("call, error, words", [
        (lambda: ornr.undo("not an id!", "proj"), ornr.Error, "change set's id"),
        (lambda: ornr.undo("zzzzzz", "proj"), ornr.NoSuchChangeSet,
         "no file under the PATHs holds change set zzzzzz"),
        (lambda: ornr.changes("proj", "zzzzzz"), ornr.NoSuchChangeSet, "zzzzzz"),
        (lambda: ornr.forget("zzzzzz", "proj"), ornr.NoSuchChangeSet, "zzzzzz"),
        (lambda: ornr.changes("nowhere"), ornr.Error, "no such file or folder"),
    ])
    def test_change_sets(self, project, call, error, words):
        with pytest.raises(error, match=words):
            call()
        assert issubclass(ornr.NoSuchChangeSet, KeyError)


class TestForget:
    def test_forget_keeps_the_values_and_drops_the_record(self, project):
        applied = ornr.deploy("Quality", "proj", LIBRARY, linked=True).apply()
        forgotten = ornr.forget(applied.change_set[:8], "proj")
        assert forgotten == ornr.Forgotten(applied.change_set, ["proj/a.zel", "proj/b.zel"], [])
        assert list(ornr.changes("proj")) == []
        assert values("proj/b.zel", "Quality")["BlurPasses"] == 9
        with pytest.raises(ornr.NoSuchChangeSet):
            ornr.undo(applied.change_set, "proj")


class TestProgressAndStop:
    def test_progress_ends_with_every_file(self, project):
        seen = []
        ornr.deploy("Quality", "proj", LIBRARY, linked=True,
                    progress=lambda done, total: seen.append((done, total)))
        assert seen and seen[-1] == (4, 4) and seen == sorted(seen)
        listed = []
        ornr.changes("proj", progress=lambda done, total: listed.append((done, total)))
        assert listed[-1] == (4, 4)

    def test_an_error_of_the_callback_stops_it(self, project):
        def fail(done, total):
            raise ValueError("stop here")
        with pytest.raises(ValueError, match="stop here"):
            ornr.deploy("Quality", "proj", LIBRARY, linked=True, progress=fail).apply()

    @pytest.mark.parametrize("kind", ["deploy", "undo"])
    def test_ctrl_c_stops_after_the_drawing_being_written(self, project, kind):
        # The run is held at a drawing in the middle, whose file another connection locks, until
        # the child has heard Ctrl-C: so it stops there, whatever the machine's load. One worker,
        # so that no other goes on past the held drawing meanwhile.
        names = [f"proj/m/{i:03}.zel" for i in range(40)]
        for name in names:
            Path(name).parent.mkdir(exist_ok=True)
            shutil.copy("proj/b.zel", name)
        first = None
        if kind == "undo":
            first = ornr.deploy("Quality", "proj/m", LIBRARY, linked=True).apply().change_set
        child = subprocess.Popen([sys.executable, "-c", textwrap.dedent(f"""
            import signal, sys, ornr
            def heard(signum, frame):
                print("heard", flush=True)
                raise KeyboardInterrupt
            signal.signal(signal.SIGINT, heard)
            if {kind!r} == "deploy":
                preview = ornr.deploy("Quality", "proj/m", {LIBRARY!r}, linked=True)
            else:
                preview = ornr.undo({first!r}, "proj/m")
            print("planned", flush=True)
            sys.stdin.readline()
            try:
                preview.apply(jobs=1)
            except KeyboardInterrupt as stop:
                print(*getattr(stop, "__notes__", []), flush=True)
                sys.exit(130)
            """)], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
            env={**os.environ, "ORNHOST_BUSY_TIMEOUT_MS": "600000"})
        held = sqlite3.connect(names[20], isolation_level=None)
        try:
            assert child.stdout.readline() == "planned\n"
            held.execute("BEGIN EXCLUSIVE")
            child.stdin.write("go\n")
            child.stdin.flush()
            # It cannot get past the locked file: once those before it are written, it waits.
            while len(ornr.changes(names[19])) < (1 if kind == "deploy" else 2):
                time.sleep(0.01)
            child.send_signal(signal.SIGINT)
            assert child.stdout.readline() == "heard\n"
        finally:
            if held.in_transaction:
                held.execute("ROLLBACK")
            held.close()
        note = child.stdout.read()
        assert child.wait(timeout=120) == 130
        written = []
        for name in names:
            state = values(name, "Quality")["ShadowQuality"]
            assert state in (OLD["ShadowQuality"], 3), name
            written.append(state == (3 if kind == "deploy" else OLD["ShadowQuality"]))
        # The drawings up to the one it waited at, each whole; none after.
        assert written[:20] == [True] * 20 and not any(written[22:])
        change_set = ornr.changes("proj/m")[0].id
        assert f"change set {change_set} holds the drawings written" in note
