"""Setup names as design files hold them, UTF-16 with whatever code units another program left
(half a surrogate pair), through every path that gives them to Python and takes them back: the
file's setups, a deploy's preview, its apply and undo, the change set, the audit's Report, export
and import. And file names that are not UTF-8, given as str (os.fsdecode), bytes or Path."""

from __future__ import annotations

import os
import sqlite3
from pathlib import Path

import pytest

import ornr
from conftest import settings, source

OLD = settings()
QUALITY = settings(BlurPasses=9, QualityThreshold=0.75)
LIBRARY = "office/office.zellib"

NAMES = [
    pytest.param("A\ud800B", id="lone-high-surrogate"),
    pytest.param("\udc00 low", id="lone-low-surrogate"),
    pytest.param("Pair \U0001F600", id="surrogate-pair"),
    pytest.param("Plain", id="ascii"),
]


# File names as the file system holds them: bytes, UTF-8 or not.
STEMS = [
    pytest.param(b"plain", id="utf-8"),
    pytest.param(b"caf\xe9", id="latin-1-byte"),
    pytest.param(b"\xff\xfe tower", id="no-utf-8-lead"),
]
PATH_FORMS = [
    pytest.param(os.fsdecode, id="str"),
    pytest.param(lambda name: name, id="bytes"),
    pytest.param(lambda name: Path(os.fsdecode(name)), id="path"),
]


def store_name(path, old: str, new: str) -> None:
    """Renames a setup in the file itself, as another program might: the host refuses to make
    such names, but has to read them."""
    with sqlite3.connect(path) as db:
        changed = db.execute("UPDATE render_setups SET name = CAST(? AS TEXT) WHERE name = ?",
                             (new.encode("utf-8", "surrogatepass"), old)).rowcount
    assert changed == 1


def names_of(report) -> list[str]:
    return [setup.name for drawing in report.files for setup in drawing.setups]


@pytest.fixture
def project(make, tmp_path, monkeypatch):
    """A library whose "Quality" changed since a drawing took it; the drawing's setup is then
    renamed to the name under test, and one of its own sits beside it."""
    library = make.file(LIBRARY, {"Quality": QUALITY})
    make.file("proj/a.zel", {"Taken": OLD, "Own": settings(BlurPasses=3)},
              {"Taken": source(library, "Quality", OLD)})
    monkeypatch.chdir(tmp_path)

    def named(name: str):
        store_name(tmp_path / "proj/a.zel", "Taken", name)
        return tmp_path / "proj/a.zel"

    return named


@pytest.mark.parametrize("name", NAMES)
def test_file_setups_keep_the_name_both_ways(project, name):
    drawing = project(name)
    with ornr.open(drawing, "rw") as f:
        assert list(f.setups) == [name, "Own"]
        setup = f.setups[name]
        assert setup.name == name and name in f.setups
        with f.transaction():
            setup.values["BlurPasses"] = 4
    with ornr.open(drawing) as f:
        assert f.setups[name].values["BlurPasses"] == 4
        assert [version.name for version in f.setups[name].history()] == [name]
        assert any(f'"{name}"' in line for line in f.setups[name].why("BlurPasses").lines)
        with pytest.raises(ornr.NoSuchSetup) as missing:
            f.setups[name + "\ud801"]
        assert f'"{name}\ud801"' in missing.value.args[0]


@pytest.mark.parametrize("name", NAMES)
def test_deploy_apply_and_undo_name_the_setup_exactly(project, name):
    drawing = project(name)
    preview = ornr.deploy("Quality", "proj", LIBRARY, to=[name])
    assert names_of(preview) == [name]
    assert {v.property: v.after for v in preview.files[0].setups[0].values}["BlurPasses"] == 9

    applied = preview.apply()
    assert names_of(applied) == [name]
    with ornr.open(drawing) as f:
        assert list(f.setups) == [name, "Own"]
        assert f.setups[name].values["BlurPasses"] == 9
    shown = ornr.changes("proj", applied.change_set)
    assert [s.name for d in shown.drawings for s in d.setups] == [name]
    assert name in shown.command

    undo = ornr.undo(applied.change_set, "proj")
    assert names_of(undo) == [name]
    assert [c.setup for c in undo.conflicts] == []
    undone = undo.apply()
    assert names_of(undone) == [name]
    with ornr.open(drawing) as f:
        assert f.setups[name].values["BlurPasses"] == OLD["BlurPasses"]


@pytest.mark.parametrize("name", NAMES)
def test_audit_report_and_fix_preview_name_the_setup_exactly(project, name):
    project(name)
    report = ornr.audit("proj", LIBRARY, fix="merge")
    assert [(s.name, s.state) for s in report.files[0].setups] == \
        [(name, "library-newer"), ("Own", "not-from-library")]
    assert [s.name for s in report.fix.setups] == [name]
    assert repr(name) in repr(report.files[0].setups[0])
    report.fix.apply()
    with ornr.open("proj/a.zel") as f:
        assert f.setups[name].values["QualityThreshold"] == 0.75


def test_two_names_the_report_cannot_tell_apart_raise_rather_than_guess(make, tmp_path,
                                                                        monkeypatch):
    library = make.file(LIBRARY, {"Quality": QUALITY})
    make.file("proj/a.zel", {"One": OLD, "Two": OLD})
    store_name(tmp_path / "proj/a.zel", "One", "A\ud800")
    store_name(tmp_path / "proj/a.zel", "Two", "A\udc00")
    monkeypatch.chdir(tmp_path)
    assert library.exists()
    with pytest.raises(ornr.Error, match="cannot tell which setup"):
        ornr.deploy("Quality", "proj", LIBRARY, to=["A\ud800"])


@pytest.mark.parametrize("name", NAMES)
def test_export_and_import_keep_the_name_or_refuse_it_whole(project, tmp_path, name):
    drawing = project(name)
    out = tmp_path / "out.json"
    if any(0xD800 <= ord(c) <= 0xDFFF for c in name):
        # A setups document is UTF-8 text: half a pair has no place in it.
        with pytest.raises(ornr.FileError) as refused:
            ornr.export(drawing, name, out)
        assert f'the name "{name}" is not whole UTF-16' in str(refused.value)
        assert not out.exists()
        return
    ornr.export(drawing, name, out)
    assert ornr.import_(out, tmp_path / "copy.zel") == [name]
    with ornr.open(tmp_path / "copy.zel") as f:
        assert list(f.setups) == [name]


@pytest.mark.parametrize("form", PATH_FORMS)
@pytest.mark.parametrize("stem", STEMS)
def test_file_names_that_are_not_utf8(make, tmp_path, monkeypatch, stem, form):
    monkeypatch.chdir(tmp_path)
    make.file(os.fsdecode(stem + b".zel"), {"Lobby": settings(BlurPasses=3)})
    drawing, document, copy = (form(stem + end) for end in (b".zel", b".json", b".copy.zel"))
    with ornr.open(drawing) as f:
        assert f.path == os.fsdecode(drawing) and repr(f.path) in repr(f)
    ornr.export(drawing, "Lobby", document)
    assert ornr.import_(document, copy) == ["Lobby"]
    with pytest.raises(ornr.ImportFailed) as again:
        ornr.import_(document, copy)
    assert again.value.problems[0].file == os.fsdecode(document)
    assert os.fsdecode(document) in str(again.value)
    with ornr.open(copy) as f:
        assert f.setups["Lobby"].values["BlurPasses"] == 3
    report = ornr.audit(form(b"."))
    assert sorted(f.path for f in report.files) == \
        sorted(os.path.join(".", os.fsdecode(stem + end)) for end in (b".zel", b".copy.zel"))
    assert report.files[0].setups[0].file == report.files[0].path


def test_a_message_naming_such_a_file_and_half_a_pair_keeps_both(project, tmp_path):
    drawing = project("A\ud800B")
    moved = tmp_path / os.fsdecode(b"caf\xe9.zel")
    drawing.rename(moved)
    with pytest.raises(ornr.FileError) as refused:
        ornr.export(moved, "A\ud800B", tmp_path / "out.json")
    assert f'design file "{moved}": the name "A\ud800B"' in str(refused.value)


@pytest.mark.parametrize("stem", STEMS)
def test_deploy_and_undo_name_such_files(make, tmp_path, monkeypatch, stem):
    library = make.file(LIBRARY, {"Quality": QUALITY})
    drawing = os.fsdecode(b"proj/" + stem + b".zel")
    make.file(drawing, {"Quality": OLD}, {"Quality": source(library, "Quality", OLD)})
    monkeypatch.chdir(tmp_path)
    preview = ornr.deploy("Quality", "proj", LIBRARY, linked=True)
    assert [f.path for f in preview.files] == [drawing]
    applied = preview.apply()
    assert [f.path for f in applied.files] == [drawing]
    undo = ornr.undo(applied.change_set, "proj")
    assert [(f.path, f.outcome) for f in undo.files] == [(drawing, "would change")]
    assert [f.path for f in undo.apply().files] == [drawing]
    with ornr.open(drawing) as f:
        assert f.setups["Quality"].values["BlurPasses"] == OLD["BlurPasses"]
