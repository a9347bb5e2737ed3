"""Values: every setting read as its exact typed value, written back bit for bit, and anything
that is not a value of its type refused with the setting named."""

from __future__ import annotations

import math
import sqlite3
import struct

import pytest

import ornr
from conftest import DEFAULTS, settings

EDGE_DOUBLES = [0.0, -0.0, 0.1, 1 / 3, 5e-324, 2.2250738585072014e-308, 1.7976931348623157e308,
                -123456.789e-300, 0.30000000000000004, 1e16 + 2.0, 0.5, -1.0]


def bits(value: float) -> bytes:
    return struct.pack("<d", value)


class TestReading:
    def test_types_follow_the_catalogue(self, tower):
        with ornr.open(tower) as f:
            values = f.setups["Hall"].values.to_dict()
        assert list(values) == [p.name for p in ornr.PROPERTIES]
        expected = {"Bool": bool, "UInt32": int, "Int32": int, "UInt64": int, "Double": float}
        for prop in ornr.PROPERTIES:
            assert type(values[prop.name]) is (prop.enum or expected[prop.kind]) or (
                prop.kind != "Bool" and isinstance(values[prop.name], int)), prop.name
            if prop.kind == "Bool":
                assert type(values[prop.name]) is bool, prop.name
            if prop.kind == "Double":
                assert type(values[prop.name]) is float, prop.name

    def test_enumerations_and_channels(self, tower):
        with ornr.open(tower) as f:
            hall = f.setups["Hall"].values
            assert hall["LightingModel"] is ornr.LightingModel.PATH_TRACING
            assert hall["LightingModel"].label == "Path tracing"
            assert hall["Outputs"] == ornr.OutputChannels.COLOUR | ornr.OutputChannels.ALPHA | \
                ornr.OutputChannels.OBJECT_ID
            assert isinstance(hall["Outputs"], ornr.OutputChannels)

    def test_values_read_as_plain_sql_stored_them(self, make):
        path = make.file("raw.zel", {"A": settings()})
        # What a renderer without names for it, or a newer one, may store.
        with sqlite3.connect(path) as db:
            db.execute("UPDATE render_setups SET BlurMethod = 7, Outputs = -1,"
                       " ShadowQuality = -2, ConvergenceDistance = 3")
        with ornr.open(path) as f:
            values = f.setups["A"].values
            assert values["BlurMethod"] == 7 and type(values["BlurMethod"]) is int
            assert values["Outputs"] == 2**64 - 1
            assert values["ShadowQuality"] == -2 and type(values["ShadowQuality"]) is int
            # An integer in a double's column is the double it stands for.
            assert values["ConvergenceDistance"] == 3.0 and type(values["ConvergenceDistance"]) is float

    def test_doubles_round_trip_bit_for_bit(self, make):
        path = make.file("d.zel", {"A": settings()})
        with ornr.open(path, "rw") as f:
            with f.transaction():
                for i, value in enumerate(EDGE_DOUBLES):
                    f.new(f"D{i}", {"QualityThreshold": value, "AlbedoScale": -value})
        with sqlite3.connect(path) as db:
            stored = dict(db.execute("SELECT name, QualityThreshold FROM render_setups"))
        with ornr.open(path) as f:
            for i, value in enumerate(EDGE_DOUBLES):
                read = f.setups[f"D{i}"].values
                whole = read.to_dict()
                assert bits(read["QualityThreshold"]) == bits(value)
                assert bits(read["AlbedoScale"]) == bits(-value)
                # to_dict starts from the defaults (0.5 and 1.0 here) and makes what differs.
                assert bits(whole["QualityThreshold"]) == bits(value)
                assert bits(whole["AlbedoScale"]) == bits(-value)
                assert bits(stored[f"D{i}"]) == bits(value)


class TestWriting:
    @pytest.mark.parametrize("prop, value, message", [
        ("DoShadows", 1, "DoShadows: expected True or False, got int"),
        ("BlurPasses", True, "BlurPasses: expected a number, got bool"),
        ("BlurPasses", "8", "BlurPasses: expected a number, got str"),
        ("BlurPasses", 8.0, "BlurPasses: expected an integer, got float 8.0"),
        ("BlurPasses", -1, "BlurPasses: out of the range of UInt32 (0 to 4294967295): -1"),
        ("BlurPasses", 2**32, "out of the range of UInt32 (0 to 4294967295): 4294967296"),
        ("ShadowQuality", 2**31, "out of the range of Int32 (-2147483648 to 2147483647)"),
        ("Outputs", -1, "Outputs: out of the range of UInt64"),
        ("Outputs", 2**64, "Outputs: out of the range of UInt64"),
        ("QualityThreshold", math.inf, "QualityThreshold: out of the range of Double: inf"),
        ("QualityThreshold", math.nan, "QualityThreshold: out of the range of Double: nan"),
        ("QualityThreshold", 2**53 + 1, "has no exact double"),
        ("QualityThreshold", 10**400, "out of the range of Double"),
        ("BlurMethod", ornr.JitterMode.RANDOM, "BlurMethod: expected a BlurMethod, got"),
        ("BlurPasses", ornr.BlurMethod.OBJECT, "BlurPasses: expected a number, got"),
    ])
    def test_refused_values_change_nothing(self, tower, prop, value, message):
        with ornr.open(tower, "rw") as f:
            lobby = f.setups["Lobby"]
            before = lobby.values.to_dict()
            with f.transaction():
                with pytest.raises(ornr.ValueRefused) as refused:
                    lobby.values[prop] = value
                assert message in str(refused.value)
                assert isinstance(refused.value, ValueError)
            assert lobby.values.to_dict() == before
        with ornr.open(tower) as f:
            assert f.setups["Lobby"].values.to_dict() == before
            assert f.setups["Lobby"].history() == []

    @pytest.mark.parametrize("prop, value, read", [
        ("BlurPasses", 4294967295, 4294967295),
        ("ShadowQuality", -2147483648, -2147483648),
        ("Outputs", 2**64 - 1, ornr.OutputChannels(2**64 - 1)),
        ("QualityThreshold", 7, 7.0),
        ("QualityThreshold", 2**53, 2.0**53),
        ("BlurMethod", 2, ornr.BlurMethod.CAMERA_AND_OBJECT),
        ("BlurMethod", 9, 9),
        ("JitterBucketSize", ornr.JitterBucketSize.SIZE_64X64, ornr.JitterBucketSize.SIZE_64X64),
        ("Outputs", 4 | (1 << 40), ornr.OutputChannels.DEPTH | (1 << 40)),
    ])
    def test_edges_of_each_type_are_taken(self, tower, prop, value, read):
        with ornr.open(tower, "rw") as f:
            with f.transaction():
                f.setups["Roof"].values[prop] = value
        with ornr.open(tower) as f:
            got = f.setups["Roof"].values[prop]
            assert got == read and type(got) is type(read)

    def test_update_is_all_or_nothing(self, tower):
        with ornr.open(tower, "rw") as f:
            lobby = f.setups["Lobby"]
            with f.transaction():
                with pytest.raises(ornr.ValueRefused):
                    lobby.values.update({"BlurPasses": 3, "DoShadows": "yes"})
                assert lobby.values["BlurPasses"] == 12
                lobby.values.update({"BlurPasses": 3, "DoShadows": False})
            assert (lobby.values["BlurPasses"], lobby.values["DoShadows"]) == (3, False)

    def test_unknown_property(self, tower):
        with ornr.open(tower, "rw") as f:
            values = f.setups["Lobby"].values
            with pytest.raises(ornr.NoSuchProperty, match='no render setting is named "Blur"'):
                values["Blur"]
            with f.transaction(), pytest.raises(KeyError):
                values["Blur"] = 1
            assert values.get("Blur", "none") == "none"
            assert "Blur" not in values and "BlurPasses" in values


class TestMapping:
    def test_acts_as_a_mapping(self, tower):
        from collections.abc import MutableMapping
        with ornr.open(tower) as f:
            values = f.setups["Lobby"].values
            assert isinstance(values, MutableMapping)
            assert len(values) == 68 and list(values) == list(DEFAULTS)
            assert dict(values.items()) == values.to_dict() == dict(values)
            assert values == settings(BlurPasses=12, QualityThreshold=0.25)
            assert values != settings()
            with pytest.raises(TypeError):
                del values["BlurPasses"]

    def test_frozen_values_only_read(self, tower):
        with ornr.open(tower, "rw") as f:
            lobby = f.setups["Lobby"]
            with f.transaction():
                lobby.values["BlurPasses"] = 1
            frozen = lobby.history()[0].values
            assert frozen.frozen and not lobby.values.frozen
            assert frozen["BlurPasses"] == 12
            with f.transaction(), pytest.raises(ornr.Error, match="record of the past"):
                frozen["BlurPasses"] = 3


class TestNames:
    def test_every_renderer_name_is_a_member(self):
        from ornr import _ornr
        for setting, labels in _ornr._enumerations().items():
            cls = getattr(ornr, setting)
            assert [(m.value, m.label) for m in cls] == labels
        assert [(int(m).bit_length() - 1, m.name) for m in ornr.OutputChannels][-1] == (12, "OBJECT_ID")

    @pytest.mark.parametrize("label, setting, name", [
        ("Camera and object", "BlurMethod", "CAMERA_AND_OBJECT"),
        ("Spherical (360°)", "CameraProjection", "SPHERICAL"),
        ("16 × 16", "JitterBucketSize", "SIZE_16X16"),
        ("Ambient occlusion", "OutputChannels", "AMBIENT_OCCLUSION"),
        ("Object ID", "OutputChannels", "OBJECT_ID"),
    ])
    def test_member_names(self, label, setting, name):
        from ornr._enums import member_name
        assert member_name(label, setting) == name

    def test_properties_hold_the_renderer_defaults(self):
        assert len(ornr.PROPERTIES) == 68
        by_name = {p.name: p for p in ornr.PROPERTIES}
        assert by_name["BlurPasses"].default == 8 and by_name["BlurPasses"].kind == "UInt32"
        assert by_name["ShadowQuality"].default is ornr.ShadowQuality.MEDIUM
        assert by_name["InterocularDistance"].default == 0.065
        assert by_name["Outputs"].enum is ornr.OutputChannels
