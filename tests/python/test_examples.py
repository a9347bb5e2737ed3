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


def test_snippets_name_only_what_exists():
    # Every ornr.NAME the page mentions is there.
    text = DOCS.read_text(encoding="utf-8")
    for name in set(re.findall(r"\bornr\.([A-Za-z_]+)", text)):
        assert hasattr(ornr, name), name
