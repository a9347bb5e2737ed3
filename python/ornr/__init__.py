"""ornr: render setups in design files, from Python.

Open a design file with ``ornr.open(path, mode)``; its ``setups`` map names to Setup objects,
whose ``values`` are the 68 render settings with their exact stored values. Writes go inside
``with f.transaction():``. ``ornr.audit`` holds a project against its design libraries as
rsm-audit does, ``ornr.deploy`` and ``ornr.undo`` plan project-wide changes whose ``apply()``
writes them as one change set, ``ornr.changes`` lists the change sets a project keeps,
``ornr.export`` and ``ornr.import_`` read and write setups documents. Every
error is an ``ornr.Error``. docs/python.md describes it all, with examples.
"""

from __future__ import annotations

from . import _ornr
from ._changes import (
    ChangedFile,
    ChangedSetup,
    ChangedValue,
    ChangeReport,
    ChangeSet,
    ChangeSetFile,
    ChangeSetHeader,
    ChangeSets,
    ChangeSetSetup,
    ChangeTotals,
    Conflict,
    DeployPreview,
    Forgotten,
    UndoPreview,
    changes,
    deploy,
    forget,
    undo,
)
from ._enums import ENUMERATIONS as _ENUMERATIONS
from ._enums import OutputChannels
from ._errors import (
    Busy,
    ChangedSinceRead,
    DamagedFile,
    Error,
    FileError,
    ImportFailed,
    ImportProblem,
    LockedValue,
    NameRefused,
    NoSuchChangeSet,
    NoSuchProperty,
    NoSuchSetup,
    NoSuchVersion,
    OlderFormat,
    TransactionError,
    ValueRefused,
)
from ._ornr import (
    AuditedFile,
    AuditedSetup,
    DeletedSetup,
    DesignFile,
    Drift,
    FixPreview,
    Origin,
    Report,
    Setup,
    Setups,
    Transaction,
    Values,
    Version,
    audit,
    export,
    import_,
    open,
    upgrade,
)
from ._types import (
    AuditedLock,
    AuditedProperty,
    Change,
    Difference,
    DriftRow,
    DriftState,
    FileFix,
    FixTotals,
    HistoryLimits,
    LibraryRef,
    Lock,
    Mark,
    Notes,
    Override,
    Property,
    PropertyTotals,
    SetupFix,
    SkippedEntry,
    Totals,
    UpgradeResult,
    Value,
    Why,
    WhyChange,
)

BlurMethod = _ENUMERATIONS["BlurMethod"]
ShadowQuality = _ENUMERATIONS["ShadowQuality"]
CameraProjection = _ENUMERATIONS["CameraProjection"]
AntiAliasStrategy = _ENUMERATIONS["AntiAliasStrategy"]
LightingModel = _ENUMERATIONS["LightingModel"]
JitterMode = _ENUMERATIONS["JitterMode"]
JitterBucketSize = _ENUMERATIONS["JitterBucketSize"]

__version__: str = _ornr.__version__
FORMAT: int = _ornr.FORMAT
"""The design-file format this package writes; older ones it reads, and ``upgrade`` converts."""

_ENUM_OF = {**_ENUMERATIONS, "Outputs": OutputChannels}

PROPERTIES: tuple[Property, ...] = tuple(
    Property(name, kind, default, _ENUM_OF.get(name)) for name, kind, default in _ornr._properties()
)
"""Every render setting in the catalogue's order, with its type and the renderer's default."""

__all__ = [
    "AntiAliasStrategy", "AuditedFile", "AuditedLock", "AuditedProperty", "AuditedSetup", "BlurMethod", "Busy",
    "CameraProjection", "Change", "ChangedSinceRead", "DamagedFile", "DeletedSetup", "DesignFile",
    "Difference", "Drift", "DriftRow", "DriftState", "Error", "FORMAT", "FileError", "FileFix",
    "FixPreview", "FixTotals", "HistoryLimits", "ImportFailed", "ImportProblem",
    "JitterBucketSize", "JitterMode", "LibraryRef", "LightingModel", "Lock", "LockedValue", "Mark",
    "NameRefused", "Notes", "Override",
    "NoSuchProperty", "NoSuchSetup", "NoSuchVersion", "OlderFormat", "Origin", "OutputChannels",
    "PROPERTIES", "Property", "PropertyTotals", "Report", "Setup", "SetupFix", "Setups",
    "ShadowQuality", "SkippedEntry", "Totals", "Transaction", "TransactionError", "UpgradeResult",
    "Value", "ValueRefused", "Values", "Version", "Why", "WhyChange", "audit", "export", "import_",
    "open", "upgrade",
    "ChangeReport", "ChangeSet", "ChangeSetFile", "ChangeSetHeader", "ChangeSetSetup", "ChangeSets",
    "ChangeTotals", "ChangedFile", "ChangedSetup", "ChangedValue", "Conflict", "DeployPreview",
    "Forgotten", "NoSuchChangeSet", "UndoPreview", "changes", "deploy", "forget", "undo",
]
