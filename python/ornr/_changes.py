"""Change sets from Python: deploy and undo as previews that apply() writes, each a run of
rsm-audit's own code (--deploy, --undo) in this process; the change sets a project keeps, listed
and shown as rsm-audit --changes does; and forget."""

from __future__ import annotations

import json
import os
import re
import threading
from collections.abc import Callable, Iterable
from dataclasses import dataclass, field
from typing import Any, NamedTuple, Union

from . import _ornr
from ._errors import Error, FileError, NoSuchChangeSet, NoSuchSetup
from ._types import Change, SkippedEntry, Value

PathLike = Union[str, "os.PathLike[str]"]
Progress = Callable[[int, int], object]


class ChangedValue(NamedTuple):
    """A value a deploy or undo changes (or would), or leaves and says why.

    ``kind`` is the report's key: for a deploy "library" (changed only in the library since it
    was taken), "replaced" (a local value, the setup having no record of the library setup),
    "locked", "kept" (changed here only), "decided" (a conflict ``take`` decided) or
    "undecided" (a conflict left); for an undo "restore", "conflict-kept" or
    "conflict-restored" (a value changed since the change set wrote it). ``before`` is the value
    now, ``after`` the one it ends with (equal to ``before`` when it stays), ``library`` the
    library setup's value (deploy) and ``written`` what the change set wrote (undo).
    """

    property: str
    kind: str
    before: Value
    after: Value
    library: Value | None = None
    written: Value | None = None

    @property
    def changes(self) -> bool:
        """Whether the value changes (or would)."""
        return repr(self.before) != repr(self.after)


class ChangedSetup(NamedTuple):
    """A setup a deploy or undo changes (or would): ``action`` is for a deploy "by name",
    "overlay" or "create", for an undo "restore", "delete" (the change set created it),
    "recreate" (it deleted it), "nothing to do" or "left" (``reason`` says why); ``provenance``
    (undo) says what happens to where it came from: "restore", "unchanged", "conflict-kept" or
    "conflict-restored"."""

    name: str
    action: str
    values: list[ChangedValue]
    reason: str | None = None
    provenance: str | None = None


class ChangedFile(NamedTuple):
    """A drawing of a deploy or undo: ``outcome`` "would change", "changed", "nothing to do" or
    "skipped" (``reason`` says why: an older format, damaged, busy, changed by another session)."""

    path: str
    outcome: str
    setups: list[ChangedSetup]
    reason: str | None = None


class Conflict(NamedTuple):
    """A value changed on both sides, where it is: for a deploy here and in the library, for an
    undo here since the change set wrote it. ``value.kind`` says what becomes of it."""

    path: str
    setup: str
    value: ChangedValue


class ChangeTotals(NamedTuple):
    """The run's totals: drawings and setups changed (or to change), setups created (deploy),
    conflicts left (deploy) or met (undo), drawings skipped."""

    files: int
    setups: int
    created: int
    conflicts: int
    skipped: int


class ChangeSetHeader(NamedTuple):
    """Who made a change set, when (UTC) and with which command line."""

    id: str
    made_at: str
    made_by: str
    command: str


def _typed(prop: str, text: str | None) -> Any:
    return None if text is None else _ornr._value_of_text(prop, text)


def _changed_value(value: dict) -> ChangedValue:
    prop = value["property"]
    return ChangedValue(prop, value["kind"], _typed(prop, value["from"]),
                        _typed(prop, value["to"]), _typed(prop, value.get("library")),
                        _typed(prop, value.get("written")))


_PATH_BYTE = re.compile(r"\\(\\|x([0-9a-f]{2}))")


def _path_of(entry: dict) -> str:
    """A drawing's path as os.fsdecode gives it: "pathBytes" spells a path that is not UTF-8,
    each byte that is not written \\xHH and each backslash doubled."""
    spelled = entry.get("pathBytes")
    if spelled is None:
        return entry["path"]
    return os.fsdecode(_PATH_BYTE.sub(
        lambda m: "\\" if m.group(2) is None else chr(0xDC00 + int(m.group(2), 16)),
        spelled).encode("utf-8", "surrogateescape"))


def _changed_file(entry: dict) -> ChangedFile:
    setups = [ChangedSetup(s["name"], s["action"], [_changed_value(v) for v in s["values"]],
                           s.get("reason"), s.get("provenance")) for s in entry["setups"]]
    return ChangedFile(_path_of(entry), entry["outcome"], setups, entry.get("reason"))


_CONFLICT_KINDS = {"decided", "undecided", "conflict-kept", "conflict-restored"}
_PREFIX = "rsm-audit: "


def _message(line: str) -> str:
    text = line[len(_PREFIX):] if line.startswith(_PREFIX) else line
    return text.split('\nTry "rsm-audit --help".')[0]


class ChangeReport:
    """What a deploy or an undo changes, drawing by drawing and value by value from what to
    what, as the JSON report of ``rsm-audit --deploy``/``--undo`` holds it (``to_json()`` is that
    report, docs/change-set-report.schema.json).

    ``files`` lists the drawings it changes (or would), those it skips and, for an undo, those
    with nothing to undo; ``skipped`` those it skips, with the reason; ``unreadable`` the files
    that could not be read (SkippedEntry); ``conflicts`` every value changed on both sides;
    ``totals``; ``exit_status``, what rsm-audit would exit with (0 done or nothing to do, 1
    conflicts left or files skipped, 3 a file could not be read); ``command``, the rsm-audit
    command line of the same run; ``applied``; and ``change_set``, the id of the change set
    the run wrote (None for a preview, or when nothing was written).
    """

    def __init__(self, kind: str, text: str, unreadable: list[SkippedEntry], status: int,
                 document: dict | None = None):
        report = json.loads(text) if document is None else document
        self.kind: str = kind
        self._text = text
        self.command: str = report["command"]
        self.started_at: str = report["startedAt"]
        self.applied: bool = report["apply"]
        self.change_set: str | None = report["changeSet"]
        undoes = report.get("undoes")
        self.undoes: ChangeSetHeader | None = (
            ChangeSetHeader(undoes["id"], undoes["madeAt"], undoes["madeBy"], undoes["command"])
            if undoes else None)
        self.files: list[ChangedFile] = [_changed_file(entry) for entry in report["files"]]
        totals = report["totals"]
        self.totals = ChangeTotals(totals["files"], totals["setups"], totals.get("created", 0),
                                   totals["conflicts"], totals["skipped"])
        self.unreadable: list[SkippedEntry] = unreadable
        self.exit_status: int = status

    @property
    def skipped(self) -> list[ChangedFile]:
        """The drawings it does not write (or did not), each with the reason."""
        return [file for file in self.files if file.outcome == "skipped"]

    @property
    def conflicts(self) -> list[Conflict]:
        """Every value changed on both sides, decided or left (``value.kind`` says which)."""
        return [Conflict(file.path, setup.name, value) for file in self.files
                for setup in file.setups for value in setup.values
                if value.kind in _CONFLICT_KINDS]

    def to_json(self) -> str:
        """The JSON report, as rsm-audit --json writes it."""
        return self._text

    def __repr__(self) -> str:
        t = self.totals
        state = f", change set {self.change_set}" if self.change_set else (
            ", applied" if self.applied else "")
        return (f"<ornr.{type(self).__name__}: {t.setups} setups in {t.files} files, "
                f"{t.conflicts} conflicts, {t.skipped} skipped{state}>")


class _Preview(ChangeReport):
    def __init__(self, kind: str, text: str, unreadable: list[SkippedEntry], status: int,
                 run: dict, document: dict | None = None):
        super().__init__(kind, text, unreadable, status, document)
        self._run = run
        self._lock = threading.Lock()
        self._used = False

    def apply(self, *, jobs: int | None = None, progress: Progress | None = None) -> ChangeReport:
        """apply(*, jobs=None, progress=None) -> ChangeReport

        Writes the preview: plans again against the files as they are now and writes each
        drawing in one transaction, all of it one change set. Returns what was written."""
        with self._lock:
            if self._used:
                raise Error(f"this {self.kind} has been applied already; "
                            f"make a new preview to plan anew")
            self._used = True
        run = {**self._run, "apply": True}
        if jobs is not None:
            run["jobs"] = _jobs(jobs)
        return _run(self.kind, run, progress)[0]


class DeployPreview(_Preview):
    """A deploy before anything is written (a ChangeReport). ``apply()`` writes it: it plans
    again against the files as they are then and writes each drawing in one transaction, as
    ``rsm-audit --deploy ... --apply`` does, all of it one change set; a drawing another session
    changed since is skipped with the reason. It returns the ChangeReport of what was written,
    whose ``change_set`` is the id ``ornr.undo`` takes. Ctrl-C stops it after the drawing being
    written and raises KeyboardInterrupt, whose notes name the change set. A preview is applied
    once."""


class UndoPreview(_Preview):
    """An undo before anything is written (a ChangeReport; ``undoes`` names the change set it
    reverts). ``apply()`` writes it, planning again against the files as they are then, each
    drawing in one transaction, as ``rsm-audit --undo ID --apply`` does; the undo is a change
    set itself (``change_set``), so it can be undone too. A preview is applied once."""


def _paths(paths: PathLike | Iterable[PathLike], what: str) -> list[str]:
    if isinstance(paths, (str, bytes)) or hasattr(paths, "__fspath__"):
        paths = [paths]
    listed = [os.fsdecode(os.fspath(path)) for path in paths]
    if what == "paths":
        if not listed:
            raise Error("paths names no file or folder")
        for path in listed:
            if not os.path.lexists(path):
                raise Error(f"{path}: no such file or folder")
    return listed


def _jobs(jobs: int | None) -> int:
    if jobs is None:
        return 0
    if isinstance(jobs, bool) or not isinstance(jobs, int) or not 1 <= jobs <= 256:
        raise Error("jobs is a number from 1 to 256")
    return jobs


def _change_set_id(change_set: str, what: str = "change_set") -> str:
    if not isinstance(change_set, str) or not _ornr._looks_like_change_set_id(change_set):
        raise Error(f"{what} is a change set's id (or its start), not {change_set!r}")
    return change_set


def _name_bytes(name: str) -> bytes:
    """A setup name as the core takes it: an unpaired surrogate as its own three bytes, which
    UTF-8 proper cannot carry."""
    return name.encode("utf-8", "surrogatepass")


def _command(run: dict, apply: bool) -> list[bytes]:
    words: list[bytes] = [b"rsm-audit"]
    for library in run["libraries"]:
        words += [b"--library", os.fsencode(library)]
    if run["kind"] == "deploy":
        words += [b"--deploy", _name_bytes(run["target"])]
        if run["from_library"] is not None:
            words += [b"--from", os.fsencode(run["from_library"])]
        if run["linked"]:
            words.append(b"--linked")
        for name in run["to"]:
            words += [b"--to", _name_bytes(name)]
        if run["every_setup"]:
            words.append(b"--every-setup")
        if run["create"]:
            words.append(b"--create")
        if run["take"]:
            words += [b"--take", run["take"].encode()]
    else:
        words += [f"--{run['kind']}".encode(), run["target"].encode()]
        if run["take_change_set"]:
            words += [b"--take", b"change-set"]
    if run["jobs"]:
        words += [b"--jobs", str(run["jobs"]).encode()]
    if apply:
        words.append(b"--apply")
    if any(path.startswith("-") for path in run["paths"]):
        words.append(b"--")
    return words + [os.fsencode(path) for path in run["paths"]]


_REPLACED = re.compile("\ufffd+")


def _as_shown(name: str) -> str:
    """A name as the JSON report shows it: an unpaired surrogate, which JSON's UTF-8 cannot
    carry, replaced by U+FFFD (a run of them taken as one)."""
    return _REPLACED.sub("\ufffd", "".join(
        "\ufffd" if "\ud800" <= c <= "\udfff" else c for c in name))


def _exact_names(kind: str, run: dict, document: dict) -> None:
    """Puts back in the report the names its JSON could not carry, as the drawings and the
    change set hold them; raises Error when a drawing holds two that read alike."""
    for entry in document["files"]:
        shown = [setup for setup in entry["setups"] if "\ufffd" in setup["name"]]
        if not shown:
            continue
        names: set[str] = set()
        if kind == "deploy":
            names.update([run["target"], *run["to"]])
        try:
            names.update(_ornr._setup_names(_path_of(entry)))
        except Error:
            pass
        undoes = document.get("undoes")
        if kind == "undo" and undoes:
            found = _ornr._change_sets([_path_of(entry)], undoes["id"], None)[0]
            for _, setups in found[1] if found else ():
                names.update(name for before, after, _, _ in setups for name in (before, after)
                             if name is not None)
        for setup in shown:
            matching = {name for name in names if _as_shown(name) == _as_shown(setup["name"])}
            if len(matching) != 1:
                written = (f"; change set {document['changeSet']} holds what was written"
                           if document.get("changeSet") else "")
                raise Error(f"{_path_of(entry)}: cannot tell which setup the report names "
                            f"{setup['name']!r}: its name holds an unpaired surrogate, which the "
                            f"report cannot carry{written}")
            setup["name"] = matching.pop()


def _run(kind: str, run: dict, progress: Progress | None) -> tuple[ChangeReport, list[str]]:
    apply = run["apply"]
    status, report, lines, stopped = _ornr._change_set_run(
        kind, run["paths"], run["libraries"], _name_bytes(run["target"]), run["from_library"],
        run["linked"], [_name_bytes(name) for name in run["to"]], run["every_setup"],
        run["create"], run["take"] or "", run["take_change_set"], apply, run["jobs"],
        _command(run, apply), progress)
    text = report.decode("utf-8", "replace")
    document = json.loads(text) if text else None
    if stopped is not None:
        if document and document.get("changeSet"):
            stopped.add_note(
                f"change set {document['changeSet']} holds the drawings written before the "
                f"stop; ornr.undo({document['changeSet']!r}, paths) takes it back")
        raise stopped
    messages = [_message(line) for error, line in lines if error]
    if status == 2:
        message = messages[0] if messages else f"{kind} refused"
        if message.startswith("no --library offers"):
            raise NoSuchSetup(message)
        if message.startswith("--library "):
            raise FileError(message)
        raise Error(message)
    if kind != "forget" and document is None:
        raise Error(messages[0] if messages else f"{kind}: no report")
    if kind == "undo" and "undoes" not in document:
        missing = [m for m in messages if m.startswith("no file under the PATHs holds")]
        if missing:
            raise NoSuchChangeSet(missing[0])
    # The files it could not read, each told as "PATH: REASON".
    unreadable = []
    for message in messages:
        path, sep, reason = message.partition(": ")
        if sep and os.path.lexists(path):
            unreadable.append(SkippedEntry(path, reason))
    if kind == "forget":
        return None, [line for error, line in lines if not error]  # type: ignore[return-value]
    _exact_names(kind, run, document)
    cls = DeployPreview if kind == "deploy" else UndoPreview
    if apply:
        return ChangeReport(kind, text, unreadable, status, document), messages
    return cls(kind, text, unreadable, status, run, document), messages


def deploy(library_setup: str, paths: PathLike | Iterable[PathLike],
           libraries: PathLike | Iterable[PathLike], *, from_library: PathLike | None = None,
           linked: bool = False, to: str | Iterable[str] = (), every_setup: bool = False,
           create: bool = False, take: str | None = None, jobs: int | None = None,
           progress: Progress | None = None) -> DeployPreview:
    """deploy(library_setup, paths, libraries, *, from_library=None, linked=False, to=(), every_setup=False, create=False, take=None, jobs=None, progress=None) -> DeployPreview

    Plans taking a library setup's governed values into every drawing under paths, as
    ``rsm-audit --deploy LIBSETUP ... PATH`` does, writing nothing; ``apply()`` on the preview
    writes it as one change set.

    ``libraries`` are the design libraries (a path or an iterable); ``from_library`` picks the
    one that offers the setup (else the first, as the module does). Exactly one of
    ``linked=True`` (setups already taken from it, by name or as an overlay), ``to=NAMES``
    (setups of those names; one of another name takes it as an overlay) and
    ``every_setup=True`` (an overlay on every setup) says where it goes; ``create=True`` adds
    a full copy to drawings without a setup of its name. A setup with a record of the library
    setup follows the three-way rule of the fix: values changed here are kept, and conflicts
    are decided by ``take="library"`` or ``"local"``, or left. Locked values always take the
    library's value unless overridden.

    Ctrl-C stops it after the drawing being read and raises KeyboardInterrupt. A library setup
    no library offers raises NoSuchSetup, a library that cannot be read FileError, wrong
    arguments ornr.Error.
    """
    if not isinstance(library_setup, str) or not library_setup:
        raise Error("library_setup is the name of a library setup")
    names = [to] if isinstance(to, str) else list(to)
    if any(not isinstance(name, str) or not name for name in names):
        raise Error("to names setups: non-empty str")
    if sum((bool(linked), bool(names), bool(every_setup))) != 1:
        raise Error("deploy takes one of linked=True, to=[NAME, ...] and every_setup=True")
    if take not in (None, "library", "local"):
        raise Error(f'take is "library", "local" or None, not {take!r}')
    listed_libraries = _paths(libraries, "libraries")
    if not listed_libraries:
        raise Error("deploy takes its setup from a library: libraries names none")
    chosen = None
    if from_library is not None:
        chosen = os.fsdecode(os.fspath(from_library))
        if not any(os.path.exists(lib) and os.path.exists(chosen) and os.path.samefile(lib, chosen)
                   for lib in listed_libraries):
            raise Error(f"from_library names one of the libraries, not {chosen}")
    run = {"kind": "deploy", "paths": _paths(paths, "paths"), "libraries": listed_libraries,
           "target": library_setup, "from_library": chosen, "linked": bool(linked), "to": names,
           "every_setup": bool(every_setup), "create": bool(create), "take": take,
           "take_change_set": False, "jobs": _jobs(jobs), "apply": False}
    return _run("deploy", run, progress)[0]  # type: ignore[return-value]


def undo(change_set: str, paths: PathLike | Iterable[PathLike], *,
         take_change_set: bool = False, jobs: int | None = None,
         progress: Progress | None = None) -> UndoPreview:
    """undo(change_set, paths, *, take_change_set=False, jobs=None, progress=None) -> UndoPreview

    Plans reverting a change set (its id, or the start of it) in every drawing under paths that
    it reached, as ``rsm-audit --undo ID PATH`` does, writing nothing; ``apply()`` on the
    preview writes it, as a change set of its own. Values, where setups came from, setups it
    created (deleted again) and setups it deleted (stored again) are put back where they still
    hold what it wrote; a value changed since is a conflict, kept unless
    ``take_change_set=True``. A change set no drawing under paths holds raises
    NoSuchChangeSet. Ctrl-C stops it after the drawing being read and raises KeyboardInterrupt.
    """
    run = {"kind": "undo", "paths": _paths(paths, "paths"), "libraries": [],
           "target": _change_set_id(change_set), "from_library": None, "linked": False,
           "to": [], "every_setup": False, "create": False, "take": None,
           "take_change_set": bool(take_change_set), "jobs": _jobs(jobs), "apply": False}
    preview = _run("undo", run, progress)[0]
    # apply() undoes the very change set the preview found, whatever the start given names then.
    if preview.undoes is not None:
        run["target"] = preview.undoes.id
    return preview  # type: ignore[return-value]


@dataclass(frozen=True)
class ChangeSetFile:
    """What a change set did in one drawing: ``setups``, each a ChangeSetSetup."""

    path: str
    setups: list[ChangeSetSetup]


@dataclass(frozen=True)
class ChangeSetSetup:
    """A setup a change set changed: its name before and after (``name_before`` None: the
    change set created it; ``name_after`` None: it deleted it), the values it changed as
    ``Change(property, before, after)`` (every value of a setup created or deleted, the missing
    side None), and whether where it came from changed (merge base, overlays, overrides)."""

    name_before: str | None
    name_after: str | None
    values: list[Change]
    provenance_changed: bool

    @property
    def name(self) -> str:
        return self.name_after if self.name_after is not None else self.name_before  # type: ignore

    @property
    def created(self) -> bool:
        return self.name_before is None

    @property
    def deleted(self) -> bool:
        return self.name_after is None


@dataclass(frozen=True)
class ChangeSet:
    """A change set the drawings under ``paths`` keep: its ``id``, ``made_at`` (UTC),
    ``made_by``, ``command`` and how many ``files``, ``setups`` and ``values`` it changed (as
    ``rsm-audit --changes`` counts: a setup created or deleted counts as a setup, not its
    values). ``drawings`` lists what it did in each file, value by value, for the one
    ``ornr.changes(paths, id)`` returns (None in a listing; ``detail()`` reads it).
    ``undo()`` plans its undo."""

    id: str
    made_at: str
    made_by: str
    command: str
    files: int
    setups: int
    values: int
    paths: tuple[str, ...] = field(repr=False)
    drawings: tuple[ChangeSetFile, ...] | None = field(default=None, repr=False)

    def detail(self) -> ChangeSet:
        """This change set with its drawings, value by value, read from the files now."""
        return changes(self.paths, self.id)

    def undo(self, *, take_change_set: bool = False, jobs: int | None = None,
             progress: Progress | None = None) -> UndoPreview:
        """ornr.undo of this change set over the same paths."""
        return undo(self.id, self.paths, take_change_set=take_change_set, jobs=jobs,
                    progress=progress)


class ChangeSets(list):
    """The change sets found, newest first (a list of ChangeSet); ``unreadable`` lists the files
    that could not be read (SkippedEntry)."""

    unreadable: list[SkippedEntry]


def changes(paths: PathLike | Iterable[PathLike], change_set: str | None = None, *,
            progress: Progress | None = None) -> Any:
    """changes(paths, change_set=None, *, progress=None) -> ChangeSets | ChangeSet

    Without change_set: every change set the design files under paths keep, newest first, as
    ``rsm-audit --changes PATH`` lists them (ChangeSets, a list of ChangeSet). With it (an id or
    its start): that one change set, value by value in each drawing (``ChangeSet.drawings``), as
    ``rsm-audit --changes ID PATH`` shows it; NoSuchChangeSet when no file holds it. Design
    libraries (``*.zellib``) are left out. Ctrl-C raises KeyboardInterrupt.
    """
    listed = _paths(paths, "paths")
    wanted = "" if change_set is None else _change_set_id(change_set)
    found, unreadable, _ = _ornr._change_sets(listed, wanted, progress)
    missing = [SkippedEntry(path, reason) for path, reason in unreadable]
    if change_set is None:
        result = ChangeSets(
            ChangeSet(*header, files, setups, values, tuple(listed))
            for header, files, setups, values in found)
        result.unreadable = missing
        return result
    if found is None:
        raise NoSuchChangeSet(f"no file under the PATHs holds change set {change_set}")
    header, files = found
    drawings = tuple(
        ChangeSetFile(path, [ChangeSetSetup(before, after, [Change(*v) for v in values], moved)
                             for before, after, values, moved in setups])
        for path, setups in files)
    setups = sum(len(d.setups) for d in drawings)
    values = sum(len(s.values) for d in drawings for s in d.setups
                 if not s.created and not s.deleted)
    return ChangeSet(*header, len(drawings), setups, values, tuple(listed), drawings)


class Forgotten(NamedTuple):
    """What ``ornr.forget`` did: the change set's whole ``id``, the drawings it was forgotten in
    and those skipped (SkippedEntry: busy, an older format)."""

    id: str
    files: list[str]
    skipped: list[SkippedEntry]


def forget(change_set: str, paths: PathLike | Iterable[PathLike]) -> Forgotten:
    """forget(change_set, paths) -> Forgotten

    Removes a change set (its id, or the start of it) from the record of every drawing under
    paths that keeps it, as ``rsm-audit --forget ID --apply PATH`` does: the versions it wrote
    stay, without its id, and it can no longer be undone. NoSuchChangeSet when no file holds it.
    """
    whole = changes(paths, change_set).id
    run = {"kind": "forget", "paths": _paths(paths, "paths"), "libraries": [],
           "target": whole, "from_library": None, "linked": False, "to": [],
           "every_setup": False, "create": False, "take": None, "take_change_set": False,
           "jobs": 0, "apply": True}
    _, lines = _run("forget", run, None)
    files, skipped = [], []
    for line in lines:
        if line.endswith(": forgotten"):
            files.append(line[: -len(": forgotten")])
        elif ": skipped: " in line:
            path, _, reason = line.partition(": skipped: ")
            skipped.append(SkippedEntry(path, reason))
    return Forgotten(whole, files, skipped)
