"""Small value types of ornr: rows of comparisons and histories, and the states of drift."""

from __future__ import annotations

import enum
from typing import NamedTuple, Union

Value = Union[bool, int, float]


class DriftState(str, enum.Enum):
    """How a property of a setup taken from a library moved since it was taken.

    The values are the words ``drift`` prints and the JSON report holds, so a state compares
    equal to its text: ``DriftState.CONFLICT == "conflict"``.
    """

    UNCHANGED = "unchanged"
    CHANGED_HERE = "changed here"
    CHANGED_IN_LIBRARY = "changed in library"
    CONFLICT = "conflict"
    CHANGED_ALIKE = "changed alike"

    def __str__(self) -> str:
        return self.value


class Change(NamedTuple):
    """A value a version's action or a change set changed: ``before`` is the version's, ``after``
    what replaced it (None where the setup was deleted; in a change set ``before`` None where
    it created the setup)."""

    property: str
    before: Value | None
    after: Value | None


class Mark(NamedTuple):
    """What a version's action changed besides values: ``kind`` ("scope", "lock", "note",
    "override", "overlay"), the property concerned (None for the whole setup) and the text before
    and after ("" for none): a scope as its words, a reason, a note, an overlay's library setup as
    "SETUP in FILE"."""

    kind: str
    property: str | None
    before: str
    after: str


class Difference(NamedTuple):
    """A property in which two setups differ, with each one's value."""

    property: str
    this: Value
    other: Value


class DriftRow(NamedTuple):
    """A property of a setup taken from a library: its value here, in the merge base, and in the
    library setup now."""

    property: str
    state: DriftState
    here: Value
    base: Value
    library: Value


class HistoryLimits(NamedTuple):
    """How much history a design file keeps: the newest versions of each setup (0 keeps none)
    and deleted setups for a number of days."""

    versions_per_setup: int
    deleted_days: int


class UpgradeResult(NamedTuple):
    """What ``ornr.upgrade`` did: the format the file had, the copy of it as it was (None when
    there was nothing to do) and a line for each record that could not be carried over whole."""

    from_format: int
    backup: str | None
    problems: list[str]


class Property(NamedTuple):
    """A render setting: its name, its type (``"Bool"``, ``"UInt32"``, ``"Int32"``, ``"UInt64"``
    or ``"Double"``), the renderer's default and, for an enumerated setting, its class."""

    name: str
    kind: str
    default: Value
    enum: type | None


class LibraryRef(NamedTuple):
    """The library setup an audited setup is held against: the library's file name and path,
    the setup's name there, and when it was taken (None when it only shares the name)."""

    file: str
    path: str
    setup: str
    taken_at: str | None


class AuditedProperty(NamedTuple):
    """A property in which an audited setup differs: its DriftState (``"differs"`` for a setup
    that only shares a library setup's name, whose ``base`` is then None) and the values here,
    in the merge base and in the library."""

    property: str
    state: Union[DriftState, str]
    here: Value
    base: Value | None
    library: Value


class SetupFix(NamedTuple):
    """What the planned fix does to a setup: ``action`` ("nothing to do", "merge",
    "conflicts to decide", "library setup gone", "put back locks"), the properties it takes from
    the library, those changed here that it keeps, the conflicts left undecided, the locked
    values it puts back to the library's and the overrides that go with them."""

    action: str
    take: list[str]
    keep: list[str]
    undecided: list[str]
    locks: list[str] = []
    overrides_dropped: list[str] = []


class FileFix(NamedTuple):
    """What the fix does to a file: ``outcome`` ("nothing to do", "would change", "changed",
    "skipped"), how many setups it changes, and why it skipped the file."""

    outcome: str
    setups: int
    reason: str | None


class PropertyTotals(NamedTuple):
    """How often a property differs from its library across the run, by kind."""

    property: str
    setups: int
    changed_here: int
    changed_in_library: int
    conflict: int
    same_name: int


class FixTotals(NamedTuple):
    """The fix across the run: files and setups changed (or that would be), files skipped,
    setups whose conflicts were left undecided, locked values put back (or that would be)."""

    files: int
    setups: int
    files_skipped: int
    setups_undecided: int
    locks_restored: int = 0


class SkippedEntry(NamedTuple):
    """An entry of a folder that an audit does not read (a FIFO, a link to nothing), and why."""

    path: str
    reason: str


class Totals(NamedTuple):
    """What a whole audit found, as the JSON report's ``totals``: with the office standards, how
    many values of the setups are locked, how many were changed without an override
    (violations) and how many are overridden."""

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
    locked_values: int = 0
    locks_changed: int = 0
    overridden: int = 0


class Override(NamedTuple):
    """A setup's override of a value a library setup locks: the reason, and who stored it when
    (UTC). ``made_by`` and ``made_at`` are None for one given in the open transaction."""

    reason: str
    made_by: str | None
    made_at: str | None


class Lock(NamedTuple):
    """A value of a setup that a library setup governing it locks: the property, that library
    setup (LibraryRef; ``taken_at`` None for an overlay not stored yet), the lock's reason, the
    value here and the library's, the setup's Override if it has one, and whether the lock is
    broken: changed here (from the library's value and the merge base) without an override."""

    property: str
    library: LibraryRef
    reason: str
    value: Value
    library_value: Value
    override: Override | None
    breached: bool


class Notes(NamedTuple):
    """A setup's notes: its own description (None for none) and the reasons given for single
    values, by property."""

    description: str | None
    values: dict[str, str]


class WhyChange(NamedTuple):
    """The newest version that changed a value or its override: its number, when (UTC), by whom,
    the action, the value before and after (None when only the override changed) and the
    override's reason that version stored."""

    number: int
    made_at: str
    made_by: str
    action: str
    before: Value | None
    after: Value | None
    override: str | None


class Why(NamedTuple):
    """Why a value of a setup is what it is: the facts the workbench's ``why`` gives, in its
    order, and ``lines``, the very lines it prints (without ``why: ``); ``str(why)`` joins them.

    ``value`` is the value now (set in the open transaction too), ``saved`` as the file holds it,
    ``default`` the renderer's. ``library`` is the library setup that governs it (None: the
    drawing's own value), ``overlay`` whether that was applied rather than taken by name,
    ``library_gone`` why it is gone (or None), ``library_value`` its value there and
    ``library_changed`` whether the library changed it since it was taken. ``shadowed``: an
    earlier library setup governs it too. ``locked`` is the lock's reason, ``override`` the
    setup's Override, ``last_change`` a WhyChange; then the notes: the library setup's
    description and note of the value, the setup's own note of it and its description.
    """

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

    def __str__(self) -> str:
        return "\n".join(self.lines)


class AuditedLock(NamedTuple):
    """A locked value of an audited setup that was changed here or is overridden: the values
    here and in the library, the library file and setup that lock it, the reason, whether it was
    changed without an override (a violation) and the setup's Override."""

    property: str
    here: Value
    library: Value
    library_file: str
    library_setup: str
    reason: str
    changed: bool
    override: Override | None
