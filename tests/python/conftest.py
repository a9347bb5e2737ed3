"""Fixtures for the ornr tests: small design files made through the host's own import and the
workbench, never through the package's writes, so that what a test reads back was not written by
the code it checks."""

from __future__ import annotations

import json
import os
import shlex
import subprocess
from pathlib import Path

import pytest

import ornr

WORKBENCH = os.environ.get("RSM_WORKBENCH", "")
AUDIT = os.environ.get("RSM_AUDIT", "")
# The sanitizer build runs the same tests; memory figures mean nothing there.
SANITIZED = os.environ.get("ORNR_SANITIZED") == "1"

DEFAULTS = {p.name: p.default for p in ornr.PROPERTIES}
KINDS = {p.name: p.kind for p in ornr.PROPERTIES}


def plain(name: str, value):
    """A value as JSON writes it: doubles as floats, enumerations as plain numbers."""
    if KINDS[name] == "Double":
        return float(value)
    return value if isinstance(value, bool) else int(value)


def settings(**changed) -> dict:
    """All 68 values: the renderer's defaults with those given."""
    values = dict(DEFAULTS)
    values.update(changed)
    return {name: plain(name, value) for name, value in values.items()}


def setups_document(setups: dict[str, dict], sources: dict[str, dict] | None = None,
                    standards: dict[str, dict] | None = None) -> str:
    """A setups document (docs/setups-as-text.md) of name -> all 68 values; sources gives a
    setup a ``source`` (libraryFile, libraryPath, librarySetup, takenAt, base), standards the
    members of its office standards (scope, locks, notes, description, overrides, overlays)."""
    entries = []
    for name, values in setups.items():
        entry = {"name": name, "settings": values}
        if sources and name in sources:
            entry["source"] = sources[name]
        entry.update((standards or {}).get(name, {}))
        entries.append(entry)
    return json.dumps({"format": "ornr-render-setups", "version": 1, "setups": entries},
                      indent=2, allow_nan=False)


def source(library: Path, setup: str, base: dict, taken_at: str = "2026-01-15T09:30:00Z") -> dict:
    return {"libraryFile": library.name, "libraryPath": str(library.resolve()),
            "librarySetup": setup, "takenAt": taken_at, "base": base}


class Maker:
    """Makes design files in a test's folder through the host's import (ornr.import_ calls the
    host's ImportSetups, the same code as the workbench's import)."""

    def __init__(self, folder: Path):
        self.folder = folder
        self.count = 0

    def file(self, name: str, setups: dict[str, dict], sources: dict[str, dict] | None = None,
             replace: bool = False, standards: dict[str, dict] | None = None) -> Path:
        path = self.folder / name
        path.parent.mkdir(parents=True, exist_ok=True)
        self.count += 1
        document = self.folder / f".document-{self.count}.json"
        document.write_text(setups_document(setups, sources, standards), encoding="utf-8")
        # Some drawings break a lock on purpose: stored as they stand, for the audit to find.
        ornr.import_(document, path, replace=replace, hold_locks=False)
        document.unlink()
        return path


@pytest.fixture
def make(tmp_path) -> Maker:
    return Maker(tmp_path)


@pytest.fixture
def tower(make) -> Path:
    """A design file of three setups, each with a value or two of its own."""
    return make.file("tower.zel", {
        "Lobby": settings(BlurPasses=12, QualityThreshold=0.25),
        "Hall": settings(LightingModel=2, Outputs=0x1003),
        "Roof": settings(DoShadows=False, AlbedoScale=0.123456789012345),
    })


def run_workbench(master: Path, *commands: str, libraries=(), check=True,
                  env: dict | None = None) -> str:
    """The workbench's transcript of commands run on master, in master's folder."""
    assert WORKBENCH, "RSM_WORKBENCH names the workbench the tests use"
    args = [WORKBENCH, "--master", str(master)]
    for library in libraries:
        args += ["--library", str(library)]
    for command in commands:
        args += ["-c", command]
    result = subprocess.run(args, cwd=master.parent, capture_output=True, text=True,
                            env={**os.environ, "ORNR_UI_CULTURE": "C", **(env or {})},
                            timeout=120)
    if check and result.returncode != 0:
        raise AssertionError(f"{shlex.join(args)} ended with {result.returncode}:\n"
                             f"{result.stdout}\n{result.stderr}")
    return result.stdout


@pytest.fixture
def workbench():
    if not WORKBENCH:
        pytest.skip("RSM_WORKBENCH is not set")
    return run_workbench


NIGHT_LOCK = "the farm renders 8 passes"
GRADE_LOCK = "the colour grade of the office"


@pytest.fixture
def office(make, tmp_path):
    """A library whose "Night" governs three values and locks one, whose "Grade" governs and locks
    AlbedoScale; and a drawing taking "Night" by name four ways: kept to it, with "Grade" applied
    over it, changed against its lock, and overridden. "Own" was made in the drawing."""
    library = make.file("office.zellib", {
        "Night": settings(BlurPasses=8, QualityThreshold=0.5),
        "Grade": settings(AlbedoScale=0.7),
    }, standards={
        "Night": {"scope": ["BlurPasses", "DoShadows", "QualityThreshold"],
                  "locks": {"BlurPasses": NIGHT_LOCK},
                  "notes": {"BlurPasses": "8 is enough at 4K"},
                  "description": "night renders for the farm"},
        "Grade": {"scope": ["AlbedoScale"], "locks": {"AlbedoScale": GRADE_LOCK}},
    })
    night = settings(BlurPasses=8, QualityThreshold=0.5)
    grade = {**source(library, "Grade", {}), "base": {"AlbedoScale": 0.7}}
    drawing = make.file("tower.zel", {
        "Lobby": settings(BlurPasses=8, QualityThreshold=0.5, AlbedoScale=0.7, LightingModel=2),
        "Breach": settings(BlurPasses=12, QualityThreshold=0.5),
        "Excused": settings(BlurPasses=12, QualityThreshold=0.5),
        "Own": settings(BlurPasses=3),
    }, {name: source(library, "Night", night) for name in ("Lobby", "Breach", "Excused")},
        standards={
        "Lobby": {"overlays": [grade], "description": "the lobby shot",
                  "notes": {"LightingModel": "the client asked for it"}},
        "Excused": {"overrides": {"BlurPasses": {"reason": "hero shot", "madeBy": "ann",
                                                 "madeAt": "2026-02-01T10:00:00Z"}}},
    })
    return drawing, library
