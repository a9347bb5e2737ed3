"""The renderer's enumerated settings as IntEnum classes, and its output channels as an IntFlag,
made from the host's own tables of its names for the values."""

from __future__ import annotations

import enum
import re

from . import _ornr


def member_name(label: str, setting: str) -> str:
    """The renderer's name for a value as an enum member: upper case, words joined by ``_``, a
    remark in parentheses left out, ``16 × 16`` written ``16X16``; a name that starts with a
    digit takes the last word of the setting's name in front (``SIZE_16X16``)."""
    text = re.sub(r"\s*\([^)]*\)", "", label)
    text = re.sub(r"\s*×\s*", "X", text)
    words = re.findall(r"[A-Za-z0-9]+", text)
    name = "_".join(word.upper() for word in words)
    if name[:1].isdigit():
        last = re.findall(r"[A-Z][a-z0-9]*", setting)[-1]
        name = f"{last.upper()}_{name}"
    return name


# The renderer's words for each value, by class.
_LABELS: dict[type, dict[int, str]] = {}


class _RendererEnum(enum.IntEnum):
    @property
    def label(self) -> str:
        """The renderer's own words for the value, as the panel shows them."""
        return _LABELS[type(self)][int(self)]


def _make_enum(setting: str, labels: list[tuple[int, str]]) -> type[enum.IntEnum]:
    members = [(member_name(label, setting), value) for value, label in labels]
    cls = _RendererEnum(setting, members, module="ornr")
    _LABELS[cls] = dict(labels)
    cls.__doc__ = (f"The renderer's values of {setting}: "
                   + ", ".join(f"{name} ({value}, \"{label}\")"
                               for (name, value), (_, label) in zip(members, labels))
                   + ". A stored value without a name reads as a plain int.")
    return cls


def _make_channels(labels: list[tuple[int, str]]) -> type[enum.IntFlag]:
    members = [(member_name(label, "OutputChannels"), 1 << bit) for bit, label in labels]
    cls = enum.IntFlag("OutputChannels", members, module="ornr", boundary=enum.KEEP)
    cls.__doc__ = ("The renderer's output channels, the bits of Outputs: "
                   + ", ".join(f"{name} (bit {bit}, \"{label}\")"
                               for (name, _), (bit, label) in zip(members, labels))
                   + ". Bits without a name are kept.")
    return cls


ENUMERATIONS: dict[str, type[enum.IntEnum]] = {
    setting: _make_enum(setting, labels) for setting, labels in _ornr._enumerations().items()
}
OutputChannels = _make_channels(_ornr._output_channels())

_ornr._register_enums({**ENUMERATIONS, "Outputs": OutputChannels})
