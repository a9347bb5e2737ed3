"""The errors of ornr: one base, and a class for each thing a caller may want to catch."""

from __future__ import annotations

from typing import NamedTuple


class Error(Exception):
    """Base of every error ornr raises on purpose."""


class FileError(Error):
    """A design file that cannot be opened, read or written.

    ``path`` is the file as it was given, ``reason`` what is wrong with it in plain words; the
    message is the command line's: ``design file "tower.zel": the file is locked by another
    program``.
    """

    def __init__(self, message: str, path: str | None = None, reason: str | None = None):
        super().__init__(message)
        self.path = path
        self.reason = reason if reason is not None else message


class DamagedFile(FileError):
    """The file, or the stored record of a setup in it, is damaged: nothing is written to it."""


class OlderFormat(FileError):
    """A design file of an earlier format: it reads, but is written only after ``ornr.upgrade``."""


class Busy(FileError):
    """Another program held the file in a transaction for longer than the host waits (5 seconds,
    or ``ORNHOST_BUSY_TIMEOUT_MS``)."""


class ChangedSinceRead(FileError):
    """Another session changed, renamed or deleted a setup (or stored one of the same name) since
    this file object read it. ``DesignFile.refresh()`` reads the file again."""


class NoSuchSetup(Error, KeyError):
    """No setup of that name."""

    def __str__(self) -> str:
        return str(self.args[0]) if self.args else ""


class NoSuchVersion(Error, KeyError):
    """No version of that number, or one that holds no values."""

    def __str__(self) -> str:
        return str(self.args[0]) if self.args else ""


class NoSuchProperty(Error, KeyError):
    """No render setting of that name."""

    def __str__(self) -> str:
        return str(self.args[0]) if self.args else ""


class NoSuchChangeSet(Error, KeyError):
    """No design file under the paths given keeps a change set of that id (or one it begins)."""

    def __str__(self) -> str:
        return str(self.args[0]) if self.args else ""


class NameRefused(Error, ValueError):
    """A setup name the host does not take, or one the file holds already."""


class ValueRefused(Error, ValueError, TypeError):
    """A value that is not one of its setting's type, or out of its range."""


class LockedValue(Error, ValueError):
    """A write that would change a value a library setup locks, without an override. The message
    is the command line's: ``BlurPasses of "Lobby" is locked by "Night" in
    office-standards.zellib: REASON; ...``. ``Setup.override(property, reason)`` first changes it
    anyway."""


class TransactionError(Error):
    """A write outside ``with f.transaction():``, a second transaction on one file, or a
    transaction used from another thread than the one that opened it."""


class ImportProblem(NamedTuple):
    """One thing wrong with a setups document, where it is."""

    file: str
    line: int
    property: str
    message: str

    def __str__(self) -> str:
        where = f"{self.property}: " if self.property else ""
        return f"{self.file}:{self.line}: {where}{self.message}"


class ImportFailed(Error):
    """A setups document that cannot be imported; nothing of it was.

    ``problems`` lists the first thousand problems in document order, ``unlisted`` how many
    more there are.
    """

    def __init__(self, message: str, problems: list[ImportProblem], unlisted: int = 0):
        super().__init__(message)
        self.problems = problems
        self.unlisted = unlisted
