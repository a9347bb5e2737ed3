"""ornr.audit: the report rsm-audit writes, its objects, progress and Ctrl-C, and the fix as a
preview that apply() writes as rsm-audit --apply would."""

from __future__ import annotations

import json
import os
import shutil
import signal
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

import ornr
from conftest import AUDIT, settings, source

OLD = settings()
NEW = settings(BlurPasses=9, ShadowQuality=3)


@pytest.fixture
def project(make, tmp_path, monkeypatch):
    """An office library and drawings with a setup in each state the audit tells apart; the
    tests run in the project's folder, as rsm-audit does."""
    library = make.file("office/standards.zellib", {"Office": NEW, "Night": settings(BlurPasses=4)})
    taken = lambda base: source(library, "Office", base)  # noqa: E731
    make.file("proj/tower.zel", {
        "In step": NEW, "Newer": OLD, "Tuned": settings(BlurPasses=9, ShadowQuality=3,
                                                        QualityThreshold=0.25),
        "Both": settings(BlurPasses=12), "Night": settings(BlurPasses=6), "Own": settings(),
    }, {"In step": taken(NEW), "Newer": taken(OLD), "Tuned": taken(NEW), "Both": taken(OLD)})
    make.file("proj/annex/annex.zel", {"Newer": OLD}, {"Newer": taken(OLD)})
    (tmp_path / "proj" / "notes.txt").write_text("not a drawing")
    (tmp_path / "proj" / "annex" / "gone.zel").symlink_to("nowhere.zel")
    monkeypatch.chdir(tmp_path)
    return tmp_path


def rsm_audit(*args: str) -> tuple[int, dict]:
    if not AUDIT:
        pytest.skip("RSM_AUDIT is not set")
    result = subprocess.run([AUDIT, "--json", "theirs.json", *args], capture_output=True,
                            text=True, timeout=120)
    return result.returncode, json.loads(Path("theirs.json").read_text())


def without_run(report: dict) -> dict:
    return {key: value for key, value in report.items() if key != "run"}


class TestReport:
    @pytest.mark.parametrize("fix", [{}, {"fix": "merge"}, {"fix": "merge", "take": "local"}])
    def test_json_is_rsm_audits(self, project, fix):
        words = [f"--{key}={value}" for key, value in fix.items()]
        status, theirs = rsm_audit("--library", "office/standards.zellib", *words, "proj")
        report = ornr.audit("proj", "office/standards.zellib", **fix)
        ours = json.loads(report.to_json())
        assert without_run(ours) == without_run(theirs)
        assert report.exit_status == status == 1
        assert ours["run"]["libraries"] == theirs["run"]["libraries"]
        assert ours["run"].get("fix") == theirs["run"].get("fix")
        flags = [word for pair in fix.items() for word in (f"--{pair[0]}", pair[1])]
        assert ours["run"]["command"] == report.command == \
            ["rsm-audit", "--library", "office/standards.zellib", *flags, "proj"]

    def test_objects_mirror_the_json(self, project):
        report = ornr.audit(["proj"], ["office/standards.zellib"], jobs=2)
        data = json.loads(report.to_json())
        assert [f.path for f in report.files] == [f["path"] for f in data["files"]]
        for file, expected in zip(report.files, data["files"]):
            assert (file.status, file.format, file.counts) == \
                (expected["status"], expected["format"], expected["counts"])
            for setup, entry in zip(file.setups, expected["setups"]):
                assert (setup.name, setup.state) == (entry["name"], entry["state"])
                assert setup.conflicts == entry.get("conflicts", 0)
                if "library" in entry:
                    assert setup.library.file == entry["library"]["file"]
                for row, json_row in zip(setup.properties, entry.get("properties", [])):
                    assert (row.property, str(row.state)) == (json_row["property"],
                                                             json_row["state"])
                    # Typed values that are the report's lossless texts.
                    assert json.loads(json_row["here"]) == row.here
                    assert json.loads(json_row["library"]) == row.library
        totals = report.totals
        assert totals.design_files == data["totals"]["designFiles"] == 2
        assert totals.other_files == 1 and totals.libraries_skipped == 0
        assert report.skipped == [ornr.SkippedEntry(**entry) for entry in data["skipped"]]
        assert totals.skipped == data["totals"]["skipped"] == 1
        assert report.skipped[0].path.endswith("gone.zel")
        assert totals.states == data["totals"]["states"]
        assert [p.property for p in totals.properties] == \
            [p["property"] for p in data["totals"]["properties"]]
        tuned = next(s for s in report.files[1].setups if s.name == "Tuned")
        assert tuned.properties == [ornr.AuditedProperty("QualityThreshold", "changed here",
                                                         0.25, 0.5, 0.5)]
        night = next(s for s in report.files[1].setups if s.name == "Night")
        assert night.state == "same-name-differs" and night.properties[0].base is None

    def test_refusals(self, project):
        with pytest.raises(ornr.Error, match="nowhere: no such file or folder"):
            ornr.audit("nowhere")
        with pytest.raises(ornr.FileError, match="missing.zellib"):
            ornr.audit("proj", "missing.zellib")
        with pytest.raises(ornr.Error, match="take"):
            ornr.audit("proj", fix="merge", take="theirs")


class TestProgress:
    def test_progress_counts_every_file(self, project):
        seen = []
        ornr.audit("proj", "office/standards.zellib", progress=lambda d, t: seen.append((d, t)))
        assert seen[-1] == (3, 3) and seen == sorted(seen)

    def test_an_error_of_the_callback_stops_the_run(self, project):
        def fail(done, total):
            raise ValueError("stop here")
        with pytest.raises(ValueError, match="stop here"):
            ornr.audit("proj", progress=fail)

    def test_ctrl_c_raises_keyboard_interrupt_after_the_current_files(self, project):
        for i in range(400):
            shutil.copy("proj/tower.zel", f"proj/copy-{i:03}.zel")
        child = subprocess.Popen([sys.executable, "-c", textwrap.dedent("""
            import sys, ornr
            def tell(done, total):
                print(done, total, flush=True)
            try:
                ornr.audit("proj", "office/standards.zellib", jobs=1, progress=tell)
            except KeyboardInterrupt:
                print("interrupted", flush=True)
                sys.exit(130)
            """)], stdout=subprocess.PIPE, text=True)
        lines = [child.stdout.readline()]
        child.send_signal(signal.SIGINT)
        lines += child.stdout.read().splitlines()
        assert child.wait(timeout=60) == 130, lines
        assert lines[-1] == "interrupted"
        done, total = (int(x) for x in lines[-2].split())
        assert done < total == 403


class TestFix:
    def test_preview_then_apply_as_rsm_audit_applies(self, project, tmp_path):
        shutil.copytree("proj", "theirs", symlinks=True)
        report = ornr.audit("proj", "office/standards.zellib", fix="merge", take="library")
        preview = report.fix
        assert [(s.file, s.name) for s in preview.setups] == \
            [("proj/annex/annex.zel", "Newer"), ("proj/tower.zel", "Newer"),
             ("proj/tower.zel", "Both")]
        both = preview.setups[2]
        # BlurPasses is a conflict (12 here, 9 in the library), taken from the library.
        assert both.fix == ornr.SetupFix("merge", ["BlurPasses", "ShadowQuality"], [], [])
        # Nothing written yet.
        with ornr.open("proj/tower.zel") as f:
            assert f.setups["Newer"].values["BlurPasses"] == 8 and \
                f.setups["Newer"].history() == []
        applied = preview.apply(jobs=2)
        assert applied.applied and preview.applied
        status, theirs = rsm_audit("--library", "office/standards.zellib", "--fix", "merge",
                                   "--take", "library", "--apply", "theirs")
        ours = json.loads(applied.to_json())
        assert [f["fix"] for f in ours["files"]] == [f["fix"] for f in theirs["files"]]
        assert ours["totals"]["fix"] == theirs["totals"]["fix"]
        for name in ("tower.zel", "annex/annex.zel"):
            with ornr.open(f"proj/{name}") as ours_file, ornr.open(f"theirs/{name}") as theirs_file:
                for setup in ours_file.setups.values():
                    other = theirs_file.setups[setup.name]
                    assert setup.values == other.values
                    assert (setup.origin and setup.origin.base.to_dict()) == \
                        (other.origin and other.origin.base.to_dict())
                    assert [v.action for v in setup.history()] == \
                        [v.action for v in other.history()]
        with pytest.raises(ornr.Error, match="applied already"):
            preview.apply()
        # The fix is one change set, which rsm-audit takes back whole.
        assert applied.change_set and ours["run"]["fix"]["changeSet"] == applied.change_set
        assert report.change_set is None
        status, _ = rsm_audit("--undo", applied.change_set, "--apply", "proj")
        assert status == 0
        with ornr.open("proj/tower.zel") as f:
            assert f.setups["Newer"].values["BlurPasses"] == 8

    def test_a_file_changed_since_the_preview_is_skipped(self, project):
        preview = ornr.audit("proj", "office/standards.zellib", fix="merge").fix
        with ornr.open("proj/annex/annex.zel", "rw") as f, f.transaction():
            f.setups["Newer"].values["AlbedoScale"] = 2.0
        applied = preview.apply()
        fixes = {f.path: f.fix for f in applied.files}
        assert fixes["proj/annex/annex.zel"].outcome == "skipped"
        assert "another session" in fixes["proj/annex/annex.zel"].reason
        assert fixes["proj/tower.zel"].outcome == "changed"
        with ornr.open("proj/annex/annex.zel") as f:
            assert f.setups["Newer"].values["AlbedoScale"] == 2.0
            assert f.setups["Newer"].values["BlurPasses"] == 8

    def test_ctrl_c_leaves_each_file_whole(self, project):
        names = [f"proj/copy-{i:03}.zel" for i in range(300)]
        for name in names:
            shutil.copy("proj/annex/annex.zel", name)
        child = subprocess.Popen([sys.executable, "-c", textwrap.dedent("""
            import sys, ornr
            preview = ornr.audit("proj", "office/standards.zellib", fix="merge").fix
            print("planned", flush=True)
            def tell(done, total):
                print(done, total, flush=True)
            try:
                preview.apply(jobs=1, progress=tell)
            except KeyboardInterrupt:
                sys.exit(130)
            """)], stdout=subprocess.PIPE, text=True)
        assert child.stdout.readline() == "planned\n"
        child.stdout.readline()
        child.send_signal(signal.SIGINT)
        child.stdout.read()
        assert child.wait(timeout=60) == 130
        written = 0
        for name in names:
            with ornr.open(name) as f:
                newer = f.setups["Newer"]
                state = (newer.values["BlurPasses"], newer.origin.base["BlurPasses"],
                         len(newer.history()))
            assert state in ((8, 8, 0), (9, 9, 1)), name
            written += state[0] == 9
        assert written < len(names)
