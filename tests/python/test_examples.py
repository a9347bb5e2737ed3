"""The examples of docs/python.md, run as they are written there."""

from __future__ import annotations

import csv
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

import ornr
from conftest import NIGHT_LOCK, settings, source

DOCS = Path(os.environ.get("ORNR_SOURCE_DIR", Path(__file__).parents[2])) / "docs" / "python.md"


def example(name: str) -> str:
    text = DOCS.read_text(encoding="utf-8")
    found = re.search(rf"<!-- example: {re.escape(name)} -->\n```python\n(.*?)```", text, re.S)
    assert found, f"docs/python.md has no example {name}"
    return found.group(1)


def test_nightly_report(make, tmp_path):
    library = make.file("office/standards.zellib", {"Office": settings(BlurPasses=9)})
    make.file("project/tower.zel", {
        "Current": settings(BlurPasses=9), "Stale": settings(), "Own": settings(BlurPasses=3),
    }, {"Current": source(library, "Office", settings(BlurPasses=9)),
        "Stale": source(library, "Office", settings())})
    make.file("project/annex.zel", {"Tuned": settings(BlurPasses=9, DoShadows=False)},
              {"Tuned": source(library, "Office", settings(BlurPasses=9))})
    with ornr.open(tmp_path / "project/annex.zel", "rw") as f, f.transaction():
        f.setups["Tuned"].values["AlbedoScale"] = 0.5
    # A design file's marks over bytes that are no database.
    broken = bytearray(b"\x01" * 4096)
    broken[:16], broken[68:72] = b"SQLite format 3\x00", b"ORN1"
    (tmp_path / "project" / "broken.zel").write_bytes(bytes(broken))
    script = tmp_path / "nightly-report.py"
    script.write_text(example("nightly-report.py"))

    result = subprocess.run([sys.executable, str(script), "project", "drift.csv",
                             "office/standards.zellib"], cwd=tmp_path, capture_output=True,
                            text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == "3 drawings, 2 with drift: drift.csv"
    with open(tmp_path / "drift.csv", newline="", encoding="utf-8") as file:
        rows = list(csv.DictReader(file))
    got = [(r["drawing"], r["setup"], r["state"], r["properties"], r["last changed by"])
           for r in rows]
    user = ornr.open(tmp_path / "project/annex.zel").setups["Tuned"].history()[0].made_by
    assert got == [
        ("project/annex.zel", "Tuned", "changed-here", "DoShadows=False AlbedoScale=0.5", user),
        ("project/broken.zel", "", "unreadable", "", ""),
        ("project/tower.zel", "Stale", "library-newer", "BlurPasses=8", ""),
    ]
    assert rows[1]["problem"] and rows[0]["library"] == "standards.zellib"


def run_preflight(tmp_path, *args) -> subprocess.CompletedProcess:
    script = tmp_path / "preflight.py"
    script.write_text(example("preflight.py"))
    return subprocess.run([sys.executable, str(script), *args], cwd=tmp_path,
                          capture_output=True, text=True, timeout=120)


@pytest.mark.parametrize("setups, status", [
    (["Lobby", "Excused", "Own"], 0),     # kept to the standard, overridden, the drawing's own
    ([], 1),                              # every setup: "Breach" changed a locked value
    (["Breach"], 1),
    (["Lobby", "Nope"], 2),
])
def test_preflight_refuses_a_broken_lock(office, tmp_path, setups, status):
    drawing, _ = office
    result = run_preflight(tmp_path, drawing.name, *setups)
    assert result.returncode == status, result.stderr
    refused = [line for line in result.stderr.splitlines() if line.startswith("refused")]
    if status == 0:
        assert result.stdout.splitlines() == [
            "Excused: BlurPasses = 12 overridden by ann: hero shot",
            "tower.zel: ready for the farm"]
        assert result.stderr == ""
    elif status == 1:
        assert refused == [
            f"refused: Breach: BlurPasses is 12, the office locks it at 8 (Night in "
            f"office.zellib): {NIGHT_LOCK}",
            "refused: tower.zel: 1 locked values changed"]
        # The whole answer of why follows the refusal.
        assert '    BlurPasses of "Breach" is 12, default 8' in result.stderr.splitlines()
    else:
        assert refused == ["refused: tower.zel: Nope: no such setup"]


def test_preflight_passes_once_the_locks_are_put_back(office, tmp_path):
    drawing, library = office
    ornr.audit(drawing, library, fix="locks").fix.apply()
    assert run_preflight(tmp_path, drawing.name).returncode == 0
    (tmp_path / "broken.zel").write_bytes(b"not a design file")
    result = run_preflight(tmp_path, "broken.zel")
    assert result.returncode == 2 and result.stderr.startswith('refused: design file "broken.zel"')


def run_bulk_change(tmp_path, *args) -> subprocess.CompletedProcess:
    script = tmp_path / "bulk-change.py"
    script.write_text(example("bulk-change.py"))
    return subprocess.run([sys.executable, str(script), *args], cwd=tmp_path,
                          capture_output=True, text=True, timeout=120)


def test_bulk_change_previews_applies_lists_and_undoes(make, tmp_path):
    quality = settings(BlurPasses=9, ShadowQuality=3)
    library = make.file("office/office.zellib", {"Office Quality": quality}, standards={
        "Office Quality": {"scope": ["BlurPasses", "ShadowQuality", "QualityThreshold"]}})
    taken = {"Office Quality": source(library, "Office Quality", settings())}
    make.file("project/annex.zel", {"Office Quality": settings(QualityThreshold=0.25)}, taken)
    make.file("project/tower.zel", {"Office Quality": settings(), "Own": settings()}, taken)
    make.file("project/yard.zel", {"Own": settings()})
    before = {name: ornr.open(tmp_path / "project" / name).setups["Office Quality"].values.to_dict()
              for name in ("annex.zel", "tower.zel")}

    result = run_bulk_change(tmp_path, "deploy", "office/office.zellib", "Office Quality",
                             "project")
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    assert lines[:7] == [
        "project/annex.zel: would change",
        "  Office Quality: BlurPasses 8 -> 9 (library)",
        "  Office Quality: ShadowQuality Medium -> Best (library)",
        "project/tower.zel: would change",
        "  Office Quality: BlurPasses 8 -> 9 (library)",
        "  Office Quality: ShadowQuality Medium -> Best (library)",
        lines[6],
    ]
    change_set = ornr.changes(tmp_path / "project")[0]
    assert lines[6] == f"applied: 2 setups in 2 drawings, change set {change_set.id}"
    assert lines[7:] == [f"{change_set.id}  2 drawings  2 setups  4 values  {change_set.command}"]
    annex = ornr.open(tmp_path / "project/annex.zel").setups["Office Quality"].values
    assert (annex["BlurPasses"], annex["ShadowQuality"], annex["QualityThreshold"]) == (9, 3, 0.25)

    # A drawing that never took the standard has nothing to change.
    idle = run_bulk_change(tmp_path, "deploy", "office/office.zellib", "Office Quality",
                           "project/yard.zel")
    assert idle.returncode == 0 and idle.stdout == "nothing to change\n"

    result = run_bulk_change(tmp_path, "undo", change_set.id[:10], "project")
    assert result.returncode == 0, result.stderr
    undone = ornr.changes(tmp_path / "project")[0]
    assert result.stdout.splitlines()[-1] == \
        f"undone {change_set.id}: 2 setups in 2 drawings, change set {undone.id}"
    assert "  Office Quality: BlurPasses 9 -> 8 (restore)" in result.stdout
    after = {name: ornr.open(tmp_path / "project" / name).setups["Office Quality"].values.to_dict()
             for name in ("annex.zel", "tower.zel")}
    assert after == before


def test_bulk_change_refuses_conflicts_and_writes_nothing(make, tmp_path):
    library = make.file("office.zellib", {"Office Quality": settings(BlurPasses=9)}, standards={
        "Office Quality": {"scope": ["BlurPasses"]}})
    drawing = make.file("project/tower.zel", {"Office Quality": settings(BlurPasses=12)},
                        {"Office Quality": source(library, "Office Quality", settings())})
    result = run_bulk_change(tmp_path, "deploy", "office.zellib", "Office Quality", "project")
    assert result.returncode == 1, result.stderr
    assert result.stdout.splitlines() == [
        "project/tower.zel: would change",
        "  Office Quality: BlurPasses left at 12, conflict (undecided)",
        "not applied: decide the conflicts (take=...) or mend the drawings first",
    ]
    assert ornr.open(drawing).setups["Office Quality"].values["BlurPasses"] == 12
    assert list(ornr.changes(drawing)) == []


def test_snippets_name_only_what_exists():
    # Every ornr.NAME the page mentions is there.
    text = DOCS.read_text(encoding="utf-8")
    for name in set(re.findall(r"\bornr\.([A-Za-z_]+)", text)):
        assert hasattr(ornr, name), name
