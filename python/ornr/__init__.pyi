"""Type stubs of ornr: render setups in design files, from Python (docs/python.md)."""

import enum
import os
from collections.abc import Callable, Iterable, Iterator, Mapping
from typing import Any, Literal, NamedTuple, Union, overload

__version__: str
FORMAT: int
"""The design-file format this package writes; older ones it reads, and ``upgrade`` converts."""

Value = Union[bool, int, float]
_Path = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]
_Values = Mapping[str, Value]

# --- Errors ----------------------------------------------------------------------------------

class Error(Exception): ...

class FileError(Error):
    path: str | None
    reason: str
    def __init__(self, message: str, path: str | None = ..., reason: str | None = ...) -> None: ...

class DamagedFile(FileError): ...
class OlderFormat(FileError): ...
class Busy(FileError): ...
class ChangedSinceRead(FileError): ...
class NoSuchSetup(Error, KeyError): ...
class NoSuchVersion(Error, KeyError): ...
class NoSuchProperty(Error, KeyError): ...
class NoSuchChangeSet(Error, KeyError): ...
class NameRefused(Error, ValueError): ...
class ValueRefused(Error, ValueError, TypeError): ...
class TransactionError(Error): ...

class LockedValue(Error, ValueError):
    """A write that would change a value a library setup locks, without an override; the
    message is the command line's. ``Setup.override`` first changes it anyway."""

class ImportProblem(NamedTuple):
    file: str
    line: int
    property: str
    message: str

class ImportFailed(Error):
    problems: list[ImportProblem]
    unlisted: int
    def __init__(self, message: str, problems: list[ImportProblem], unlisted: int = ...) -> None: ...

# --- The renderer's values -------------------------------------------------------------------

class _RendererEnum(enum.IntEnum):
    @property
    def label(self) -> str: ...

class BlurMethod(_RendererEnum):
    CAMERA = 0
    OBJECT = 1
    CAMERA_AND_OBJECT = 2

class ShadowQuality(_RendererEnum):
    DRAFT = 0
    MEDIUM = 1
    HIGH = 2
    BEST = 3

class CameraProjection(_RendererEnum):
    PERSPECTIVE = 0
    PARALLEL = 1
    SPHERICAL = 2

class AntiAliasStrategy(_RendererEnum):
    NONE = 0
    FIXED = 1
    ADAPTIVE = 2

class LightingModel(_RendererEnum):
    BASIC = 0
    RADIOSITY = 1
    PATH_TRACING = 2

class JitterMode(_RendererEnum):
    OFF = 0
    RANDOM = 1
    STRATIFIED = 2

class JitterBucketSize(_RendererEnum):
    SIZE_16X16 = 0
    SIZE_32X32 = 1
    SIZE_64X64 = 2

class OutputChannels(enum.IntFlag):
    COLOUR = 1
    ALPHA = 2
    DEPTH = 4
    NORMALS = 8
    ALBEDO = 16
    DIFFUSE = 32
    SPECULAR = 64
    REFLECTION = 128
    REFRACTION = 256
    SHADOWS = 512
    AMBIENT_OCCLUSION = 1024
    EMISSION = 2048
    OBJECT_ID = 4096

class DriftState(str, enum.Enum):
    UNCHANGED = "unchanged"
    CHANGED_HERE = "changed here"
    CHANGED_IN_LIBRARY = "changed in library"
    CONFLICT = "conflict"
    CHANGED_ALIKE = "changed alike"

class Property(NamedTuple):
    name: str
    kind: str
    default: Value
    enum: type | None

PROPERTIES: tuple[Property, ...]

# --- Rows ------------------------------------------------------------------------------------

class Change(NamedTuple):
    property: str
    before: Value | None
    after: Value | None

class Difference(NamedTuple):
    property: str
    this: Value
    other: Value

class DriftRow(NamedTuple):
    property: str
    state: DriftState
    here: Value
    base: Value
    library: Value

class HistoryLimits(NamedTuple):
    versions_per_setup: int
    deleted_days: int

class UpgradeResult(NamedTuple):
    from_format: int
    backup: str | None
    problems: list[str]

# --- Design files ----------------------------------------------------------------------------

def open(path: _Path, mode: Literal["r", "rw"] = "r", *, create: bool = False) -> DesignFile: ...

class Values:
    """The 68 render settings of a setup by property name; live or frozen."""
    @property
    def frozen(self) -> bool: ...
    def __getitem__(self, property: str) -> Value: ...
    def __setitem__(self, property: str, value: Value) -> None: ...
    def __delitem__(self, property: str) -> None: ...
    def __len__(self) -> int: ...
    def __contains__(self, property: object) -> bool: ...
    def __iter__(self) -> Iterator[str]: ...
    def keys(self) -> list[str]: ...
    def values(self) -> Iterable[Value]: ...
    def items(self) -> Iterable[tuple[str, Value]]: ...
    @overload
    def get(self, property: str) -> Value | None: ...
    @overload
    def get(self, property: str, default: Any) -> Any: ...
    def update(self, values: _Values) -> None: ...
    def to_dict(self) -> dict[str, Value]: ...

class Origin:
    @property
    def library_file(self) -> str: ...
    @property
    def library_path(self) -> str: ...
    @property
    def library_setup(self) -> str: ...
    @property
    def taken_at(self) -> str: ...
    @property
    def base(self) -> Values: ...
    @property
    def governed(self) -> tuple[str, ...] | None:
        """The properties the library setup governed when taken (None: all 68)."""

class Drift:
    @property
    def origin(self) -> Origin: ...
    @property
    def library_gone(self) -> bool: ...
    @property
    def gone_reason(self) -> str | None: ...
    @property
    def library(self) -> Values | None: ...
    @property
    def summary(self) -> str: ...
    @property
    def counts(self) -> dict[DriftState, int]: ...
    @property
    def rows(self) -> list[DriftRow]: ...

class Version:
    @property
    def number(self) -> int: ...
    @property
    def made_at(self) -> str: ...
    @property
    def action(self) -> str: ...
    @property
    def made_by(self) -> str: ...
    @property
    def name(self) -> str: ...
    @property
    def name_after(self) -> str | None: ...
    @property
    def changes(self) -> list[Change]: ...
    @property
    def marks(self) -> list[Mark]:
        """What else the action changed: a scope, a lock, a note, an override, an overlay."""
    @property
    def values(self) -> Values: ...

class DeletedSetup:
    @property
    def name(self) -> str: ...
    @property
    def deleted_at(self) -> str: ...
    @property
    def deleted_by(self) -> str: ...
    @property
    def versions(self) -> int: ...
    @property
    def values(self) -> Values: ...
    def history(self) -> list[Version]: ...

class Setup:
    @property
    def name(self) -> str: ...
    @property
    def file(self) -> DesignFile: ...
    @property
    def valid(self) -> bool: ...
    @property
    def problem(self) -> str | None: ...
    @property
    def values(self) -> Values: ...
    @property
    def origin(self) -> Origin | None: ...
    def drift(self) -> Drift | None: ...
    def history(self) -> list[Version]: ...
    def diff(self, other: Setup | Version | Values | _Values) -> list[Difference]: ...
    def restore(self, version: Version | int) -> None: ...
    # Office standards
    @property
    def notes(self) -> Notes:
        """Its description and the reasons given for single values."""
    def why(self, property: str) -> Why:
        """Why the value is what it is, fact by fact and in the lines the workbench's why
        prints."""
    @property
    def locks(self) -> list[Lock]:
        """The values its library setups lock, with reasons, libraries and overrides."""
    @property
    def overrides(self) -> dict[str, Override]:
        """Its overrides of locked values, those given in the open transaction too."""
    @property
    def overlays(self) -> list[Origin]:
        """The library setups applied to it, in the order applied."""
    @property
    def scope(self) -> tuple[str, ...] | None:
        """What it governs as a library setup; None for all 68."""
    @property
    def library_locks(self) -> dict[str, str]:
        """The values it locks as a library setup, with their reasons."""
    def override(self, property: str, reason: str) -> None:
        """Overrides a locked value with a reason, stored with the values at commit."""
    def drop_override(self, property: str) -> None:
        """Drops the override of a locked value and puts the library's value back, at commit."""
    def set_note(self, text: str, property: str | None = ...) -> None:
        """Sets its description or a value's note ("" removes it), at once, a version "note"."""
    def set_scope(self, words: str | Iterable[str] | None) -> list[str]:
        """Sets what it governs as a library setup (properties, sections; None: all); returns
        the locks that went with the values it no longer governs."""
    def lock(self, properties: str | Iterable[str], *, reason: str) -> None:
        """Locks governed values of a library setup with a reason."""
    def unlock(self, properties: str | Iterable[str]) -> None:
        """Takes locks off values of a library setup."""

class Setups(Mapping[str, Setup]):
    def __getitem__(self, name: str) -> Setup: ...
    def __iter__(self) -> Iterator[str]: ...
    def __len__(self) -> int: ...

class Transaction:
    def __enter__(self) -> Transaction: ...
    def __exit__(self, *exc: object) -> Literal[False]: ...

class DesignFile:
    @property
    def path(self) -> str: ...
    @property
    def mode(self) -> Literal["r", "rw"]: ...
    @property
    def closed(self) -> bool: ...
    @property
    def format(self) -> int: ...
    @property
    def problem(self) -> str | None: ...
    @property
    def setups(self) -> Setups: ...
    @property
    def in_transaction(self) -> bool: ...
    @property
    def history_limits(self) -> HistoryLimits: ...
    def transaction(self) -> Transaction: ...
    def close(self) -> None: ...
    def refresh(self) -> None: ...
    def new(self, name: str, values: _Values | None = ...) -> Setup: ...
    def duplicate(self, setup: str | Setup, new_name: str | None = ...) -> Setup: ...
    def rename(self, setup: str | Setup, new_name: str) -> Setup: ...
    def delete(self, setup: str | Setup) -> None: ...
    def undelete(self, name: str, new_name: str | None = ...) -> Setup: ...
    def deleted(self) -> list[DeletedSetup]: ...
    def set_history_limits(self, versions_per_setup: int, deleted_days: int | None = ...) -> None: ...
    def __enter__(self) -> DesignFile: ...
    def __exit__(self, *exc: object) -> Literal[False]: ...

# --- Setups as text --------------------------------------------------------------------------

def export(file: _Path | DesignFile, names: str | Setup | Iterable[str | Setup], out: _Path) -> None: ...
def import_(document: _Path, file: _Path | DesignFile, replace: bool = ..., *,
            hold_locks: bool = ...) -> list[str]: ...
def upgrade(path: _Path) -> UpgradeResult: ...

# --- Audit -----------------------------------------------------------------------------------

class LibraryRef(NamedTuple):
    file: str
    path: str
    setup: str
    taken_at: str | None

class Mark(NamedTuple):
    """What a version changed besides values: kind, property (None: the setup), before, after."""
    kind: str
    property: str | None
    before: str
    after: str

class Override(NamedTuple):
    """An override of a locked value: its reason, who and when (None while in the transaction)."""
    reason: str
    made_by: str | None
    made_at: str | None

class Lock(NamedTuple):
    """A value a library setup locks for a setup, its reason, both values, the setup's override
    and whether the lock is broken (changed here without an override)."""
    property: str
    library: LibraryRef
    reason: str
    value: Value
    library_value: Value
    override: Override | None
    breached: bool

class Notes(NamedTuple):
    """A setup's description (None for none) and its notes of single values."""
    description: str | None
    values: dict[str, str]

class WhyChange(NamedTuple):
    """The newest version that changed a value or its override."""
    number: int
    made_at: str
    made_by: str
    action: str
    before: Value | None
    after: Value | None
    override: str | None

class Why(NamedTuple):
    """Why a value is what it is: the facts of the workbench's why, and its lines."""
    property: str
    value: Value
    saved: Value | None
    default: Value
    library: LibraryRef | None
    overlay: bool
    library_gone: str | None
    library_value: Value | None
    library_changed: bool
    shadowed: bool
    locked: str | None
    override: Override | None
    last_change: WhyChange | None
    library_description: str | None
    library_note: str | None
    note: str | None
    description: str | None
    lines: list[str]

class AuditedLock(NamedTuple):
    """A locked value of an audited setup that was changed here or is overridden."""
    property: str
    here: Value
    library: Value
    library_file: str
    library_setup: str
    reason: str
    changed: bool
    override: Override | None

class AuditedProperty(NamedTuple):
    property: str
    state: DriftState | str
    here: Value
    base: Value | None
    library: Value

class SetupFix(NamedTuple):
    action: str
    take: list[str]
    keep: list[str]
    undecided: list[str]
    locks: list[str] = ...
    overrides_dropped: list[str] = ...

class FileFix(NamedTuple):
    outcome: str
    setups: int
    reason: str | None

class PropertyTotals(NamedTuple):
    property: str
    setups: int
    changed_here: int
    changed_in_library: int
    conflict: int
    same_name: int

class FixTotals(NamedTuple):
    files: int
    setups: int
    files_skipped: int
    setups_undecided: int
    locks_restored: int = ...

class SkippedEntry(NamedTuple):
    path: str
    reason: str

class Totals(NamedTuple):
    files_seen: int
    files_expected: int
    design_files: int
    by_status: dict[str, int]
    drawings_with_drift: int
    libraries_skipped: int
    other_files: int
    skipped: int
    setups: int
    states: dict[str, int]
    properties: list[PropertyTotals]
    fix: FixTotals | None
    locked_values: int = ...
    locks_changed: int = ...
    overridden: int = ...

class AuditedSetup:
    @property
    def name(self) -> str: ...
    @property
    def file(self) -> str: ...
    @property
    def state(self) -> str: ...
    @property
    def library(self) -> LibraryRef | None: ...
    @property
    def reason(self) -> str | None: ...
    @property
    def conflicts(self) -> int: ...
    @property
    def properties(self) -> list[AuditedProperty]: ...
    @property
    def fix(self) -> SetupFix | None: ...
    @property
    def locks(self) -> list[AuditedLock]:
        """The locked values it changed without an override or overrides."""
    @property
    def locked_values(self) -> int:
        """How many of its values its library setups lock."""
    @property
    def locks_changed(self) -> int:
        """How many locked values it changed without an override: violations."""
    @property
    def overridden(self) -> int:
        """How many locked values it overrides."""

class AuditedFile:
    @property
    def path(self) -> str: ...
    @property
    def status(self) -> str: ...
    @property
    def reason(self) -> str | None: ...
    @property
    def format(self) -> int | None: ...
    @property
    def drifted(self) -> bool: ...
    @property
    def breaks_locks(self) -> bool:
        """A locked value changed without an override (with strict, or overridden)."""
    @property
    def counts(self) -> dict[str, int]: ...
    @property
    def setups(self) -> list[AuditedSetup]: ...
    @property
    def fix(self) -> FileFix | None: ...

class FixPreview:
    @property
    def files(self) -> list[AuditedFile]: ...
    @property
    def skipped(self) -> list[AuditedFile]: ...
    @property
    def setups(self) -> list[AuditedSetup]: ...
    @property
    def applied(self) -> bool: ...
    def apply(self, *, jobs: int | None = ..., progress: Callable[[int, int], object] | None = ...) -> Report: ...

class Report:
    @property
    def files(self) -> list[AuditedFile]: ...
    @property
    def skipped(self) -> list[SkippedEntry]: ...
    @property
    def totals(self) -> Totals: ...
    @property
    def exit_status(self) -> int: ...
    @property
    def started_at(self) -> str: ...
    @property
    def finished_at(self) -> str: ...
    @property
    def folder(self) -> str: ...
    @property
    def command(self) -> list[str]: ...
    @property
    def change_set(self) -> str | None:
        """The id of the change set an applied fix wrote (``rsm-audit --undo ID`` takes it back)."""
        ...
    @property
    def libraries(self) -> list[tuple[str, str]]: ...
    @property
    def applied(self) -> bool: ...
    @property
    def fix(self) -> FixPreview | None: ...
    def to_json(self) -> str: ...

def audit(
    paths: _Path | Iterable[_Path],
    libraries: _Path | Iterable[_Path] | None = ...,
    *,
    jobs: int | None = ...,
    progress: Callable[[int, int], object] | None = ...,
    fix: Literal["merge", "locks", "merge,locks"] | Iterable[str] | None = ...,
    take: Literal["library", "local"] | None = ...,
    include_overrides: bool = ...,
    strict: bool = ...,
) -> Report: ...

# --- Change sets: deploy, undo, changes, forget ----------------------------------------------

_Progress = Callable[[int, int], object]

class ChangedValue(NamedTuple):
    property: str
    kind: Literal["library", "replaced", "locked", "kept", "decided", "undecided", "restore",
                  "conflict-kept", "conflict-restored"]
    before: Value
    after: Value
    library: Value | None = ...
    written: Value | None = ...
    @property
    def changes(self) -> bool: ...

class ChangedSetup(NamedTuple):
    name: str
    action: Literal["by name", "overlay", "create", "restore", "delete", "recreate",
                    "nothing to do", "left"]
    values: list[ChangedValue]
    reason: str | None = ...
    provenance: Literal["restore", "unchanged", "conflict-kept", "conflict-restored"] | None = ...

class ChangedFile(NamedTuple):
    path: str
    outcome: Literal["would change", "changed", "nothing to do", "skipped"]
    setups: list[ChangedSetup]
    reason: str | None = ...

class Conflict(NamedTuple):
    path: str
    setup: str
    value: ChangedValue

class ChangeTotals(NamedTuple):
    files: int
    setups: int
    created: int
    conflicts: int
    skipped: int

class ChangeSetHeader(NamedTuple):
    id: str
    made_at: str
    made_by: str
    command: str

class ChangeReport:
    kind: Literal["deploy", "undo"]
    command: str
    started_at: str
    applied: bool
    change_set: str | None
    undoes: ChangeSetHeader | None
    files: list[ChangedFile]
    totals: ChangeTotals
    unreadable: list[SkippedEntry]
    exit_status: int
    @property
    def skipped(self) -> list[ChangedFile]: ...
    @property
    def conflicts(self) -> list[Conflict]: ...
    def to_json(self) -> str: ...

class DeployPreview(ChangeReport):
    def apply(self, *, jobs: int | None = ..., progress: _Progress | None = ...) -> ChangeReport: ...

class UndoPreview(ChangeReport):
    def apply(self, *, jobs: int | None = ..., progress: _Progress | None = ...) -> ChangeReport: ...

class ChangeSetSetup:
    name_before: str | None
    name_after: str | None
    values: list[Change]
    provenance_changed: bool
    @property
    def name(self) -> str: ...
    @property
    def created(self) -> bool: ...
    @property
    def deleted(self) -> bool: ...

class ChangeSetFile:
    path: str
    setups: list[ChangeSetSetup]

class ChangeSet:
    id: str
    made_at: str
    made_by: str
    command: str
    files: int
    setups: int
    values: int
    paths: tuple[str, ...]
    drawings: tuple[ChangeSetFile, ...] | None
    def detail(self) -> ChangeSet: ...
    def undo(self, *, take_change_set: bool = ..., jobs: int | None = ...,
             progress: _Progress | None = ...) -> UndoPreview: ...

class ChangeSets(list[ChangeSet]):
    unreadable: list[SkippedEntry]

class Forgotten(NamedTuple):
    id: str
    files: list[str]
    skipped: list[SkippedEntry]

def deploy(
    library_setup: str,
    paths: _Path | Iterable[_Path],
    libraries: _Path | Iterable[_Path],
    *,
    from_library: _Path | None = ...,
    linked: bool = ...,
    to: str | Iterable[str] = ...,
    every_setup: bool = ...,
    create: bool = ...,
    take: Literal["library", "local"] | None = ...,
    jobs: int | None = ...,
    progress: _Progress | None = ...,
) -> DeployPreview: ...
def undo(
    change_set: str,
    paths: _Path | Iterable[_Path],
    *,
    take_change_set: bool = ...,
    jobs: int | None = ...,
    progress: _Progress | None = ...,
) -> UndoPreview: ...
@overload
def changes(paths: _Path | Iterable[_Path], change_set: None = ..., *,
            progress: _Progress | None = ...) -> ChangeSets: ...
@overload
def changes(paths: _Path | Iterable[_Path], change_set: str, *,
            progress: _Progress | None = ...) -> ChangeSet: ...
def forget(change_set: str, paths: _Path | Iterable[_Path]) -> Forgotten: ...
