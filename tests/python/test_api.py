"""The package as people meet it: the stubs name what there is, help() explains it, and every
error is an ornr.Error of the kind a caller catches."""

from __future__ import annotations

import ast
import inspect
from pathlib import Path

import pytest

import ornr

STUBS = Path(ornr.__file__).with_name("__init__.pyi")


def stub_tree() -> ast.Module:
    return ast.parse(STUBS.read_text())


def stub_classes() -> dict[str, ast.ClassDef]:
    return {node.name: node for node in stub_tree().body if isinstance(node, ast.ClassDef)}


def test_stubs_and_package_name_the_same_things():
    tree = stub_tree()
    stubbed = {node.name for node in tree.body if isinstance(node, (ast.ClassDef, ast.FunctionDef))}
    stubbed |= {target.id for node in tree.body if isinstance(node, (ast.Assign, ast.AnnAssign))
                for target in ([node.target] if isinstance(node, ast.AnnAssign) else node.targets)
                if isinstance(target, ast.Name)}
    public = {name for name in stubbed if not name.startswith("_")}
    assert public - {"__version__"} == set(ornr.__all__)
    for name in ornr.__all__:
        assert hasattr(ornr, name), name


def test_stubbed_members_exist_and_enums_match():
    for name, node in stub_classes().items():
        if name.startswith("_"):
            continue
        runtime = getattr(ornr, name)
        for item in node.body:
            if isinstance(item, ast.FunctionDef) and not item.name.startswith("__"):
                assert hasattr(runtime, item.name), f"{name}.{item.name}"
            if isinstance(item, ast.Assign) and hasattr(runtime, "__members__"):
                member = item.targets[0].id
                assert runtime[member].value == ast.literal_eval(item.value), f"{name}.{member}"
            if isinstance(item, ast.AnnAssign) and hasattr(runtime, "_fields"):
                assert item.target.id in runtime._fields, f"{name}.{item.target.id}"
        if hasattr(runtime, "__members__"):
            stubbed = [i.targets[0].id for i in node.body if isinstance(i, ast.Assign)]
            assert stubbed == list(runtime.__members__), name


@pytest.mark.parametrize("target, words", [
    (ornr.DesignFile, ["one thread at a time", "transaction", "refresh()", "ChangedSinceRead"]),
    (ornr.DesignFile.new, ["new(name: str", "NameRefused"]),
    (ornr.Values, ["exact stored value", "to_dict()"]),
    (ornr.open, ["open(path", "OlderFormat", "create=True"]),
    (ornr.audit, ["audit(paths", "KeyboardInterrupt", "FixPreview"]),
    (ornr.FixPreview, ["apply()", "audit fix"]),
    (ornr.Setup.drift, ["drift() -> Drift"]),
    (ornr.BlurMethod, ["CAMERA_AND_OBJECT", "Camera and object"]),
    (ornr.Setup.why, ["why(property: str) -> Why", "overlay", "the notes"]),
    (ornr.Setup.override, ["override(property: str, reason: str)", "LockedValue"]),
    (ornr.LockedValue, ["command line", "override"]),
    (ornr.deploy, ["deploy(library_setup", "apply()", "take=", "KeyboardInterrupt"]),
    (ornr.DeployPreview, ["apply()", "one change set", "KeyboardInterrupt"]),
    (ornr.undo, ["undo(change_set", "take_change_set=True", "NoSuchChangeSet"]),
    (ornr.changes, ["changes(paths", "newest first", "value by value"]),
    (ornr.ChangeReport, ["to_json()", "exit_status", "change_set"]),
])
def test_help_reads_well(target, words):
    text = inspect.getdoc(target)
    for word in words:
        assert word in text, word


@pytest.mark.parametrize("error, bases", [
    (ornr.DamagedFile, (ornr.FileError,)),
    (ornr.OlderFormat, (ornr.FileError,)),
    (ornr.Busy, (ornr.FileError,)),
    (ornr.ChangedSinceRead, (ornr.FileError,)),
    (ornr.NoSuchSetup, (ornr.Error, KeyError)),
    (ornr.NoSuchVersion, (ornr.Error, KeyError)),
    (ornr.NoSuchChangeSet, (ornr.Error, KeyError)),
    (ornr.NoSuchProperty, (ornr.Error, KeyError)),
    (ornr.NameRefused, (ornr.Error, ValueError)),
    (ornr.ValueRefused, (ornr.Error, ValueError, TypeError)),
    (ornr.TransactionError, (ornr.Error,)),
    (ornr.LockedValue, (ornr.Error, ValueError)),
    (ornr.ImportFailed, (ornr.Error,)),
    (ornr.FileError, (ornr.Error,)),
])
def test_errors_are_one_hierarchy(error, bases):
    assert all(issubclass(error, base) for base in bases)
    assert issubclass(error, ornr.Error)


def test_version():
    assert ornr.__version__.count(".") == 2
