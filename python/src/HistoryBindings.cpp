// What a setup was and where it came from: its versions, the deleted setups a file keeps, its
// origin in a library and its drift since, and comparisons of any two sets of values.
#include <pybind11/stl.h>

#include "host/store/SettingsColumns.h"
#include "python/src/Objects.h"
#include "python/src/Python.h"

namespace ornr::python {

namespace {

using ornhost::detail::kSettingCount;

py::object DriftStateObject(ornhost::DriftState state) {
  return TypesAttr("DriftState")(ornhost::DriftStateName(state));
}

py::list ChangeList(const ornhost::detail::VersionEntry& entry) {
  py::object change = TypesAttr("Change");
  py::list changes;
  for (const auto& each : entry.changes) {
    changes.append(change(KeyObject(each.field), ValueObject(each.field, each.before),
                          each.after ? ValueObject(each.field, *each.after) : py::none()));
  }
  return changes;
}

// The version a caller means: a Version of this setup, or its number.
std::int64_t VersionNumber(py::handle version) {
  if (py::isinstance<VersionObject>(version))
    return version.cast<const VersionObject&>().info.entry.number;
  if (PyBool_Check(version.ptr()) || !PyLong_Check(version.ptr())) {
    throw py::type_error("a version is a Version or its number");
  }
  return version.cast<std::int64_t>();
}

}  // namespace

const Settings& VersionObject::ValuesNow() {
  if (values) return *values;
  LockHeld lock(file->Mutex());
  Settings read;
  {
    py::gil_scoped_release release;
    read = file->VersionValues(place, info.entry.number);
  }
  values = read;
  return *values;
}

py::list VersionList(const std::shared_ptr<OpenFile>& file, const HistoryPlace& place) {
  std::vector<VersionInfo> versions;
  {
    LockHeld lock(file->Mutex());
    py::gil_scoped_release release;
    versions = file->History(place);
  }
  py::list list;
  for (auto& version : versions) list.append(VersionObject{file, place, std::move(version), {}});
  return list;
}

py::list Differences(const Settings& a, const Settings& b) {
  const auto left = ornhost::detail::SettingValues(a);
  const auto right = ornhost::detail::SettingValues(b);
  py::object row = TypesAttr("Difference");
  py::list rows;
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    // Exactly: the same bits, so -0.0 differs from 0.0.
    if (ornhost::detail::SameStoredValue(left[i], right[i])) continue;
    rows.append(row(KeyObject(i), ValueObject(i, left[i]), ValueObject(i, right[i])));
  }
  return rows;
}

void BindHistory(py::module_& module) {
  py::class_<ornhost::Provenance>(module, "Origin", R"doc(
Where a setup taken from a design library came from: the library's file name and its absolute
path then, the library setup's name, when (UTC, ISO 8601), and its values then (the merge base).
)doc")
      .def_property_readonly(
          "library_file",
          [](const ornhost::Provenance& self) { return NameObject(self.libraryFile); })
      .def_property_readonly("library_path",
                             [](const ornhost::Provenance& self) { return self.libraryPath; })
      .def_property_readonly(
          "library_setup",
          [](const ornhost::Provenance& self) { return NameObject(self.librarySetup); })
      .def_property_readonly("taken_at",
                             [](const ornhost::Provenance& self) { return self.takenAt; })
      .def_property_readonly(
          "base", [](const ornhost::Provenance& self) { return Values(self.base); },
          "The values as they were taken (frozen Values).")
      .def("__repr__", [](const ornhost::Provenance& self) {
        return "<ornr.Origin " + py::repr(NameObject(self.librarySetup)).cast<std::string>() +
               " of " + py::repr(NameObject(self.libraryFile)).cast<std::string>() + " taken " +
               self.takenAt + ">";
      });

  py::class_<DriftObject>(module, "Drift", R"doc(
How a setup taken from a library, its merge base and the library setup moved apart since it was
taken, value by value and exactly (what the workbench's ``drift`` prints).

``rows`` holds every property that is not unchanged (DriftRow: property, state, here, base,
library); ``counts`` how many properties are in each DriftState; ``summary`` the words ``origin``
prints ("library has 2 newer values, 1 local change, 1 conflict", "up to date", "library setup
gone"). When the library setup is gone, ``library_gone`` is true, ``gone_reason`` says why and
there are no rows.
)doc")
      .def_property_readonly("origin",
                             [](const DriftObject& self) { return py::cast(self.drift.origin); })
      .def_property_readonly("library_gone",
                             [](const DriftObject& self) { return self.drift.libraryGone; })
      .def_property_readonly("gone_reason",
                             [](const DriftObject& self) -> py::object {
                               if (!self.drift.libraryGone) return py::none();
                               return py::str(self.drift.goneReason);
                             })
      .def_property_readonly("library",
                             [](const DriftObject& self) -> py::object {
                               if (self.drift.libraryGone) return py::none();
                               return py::cast(Values(self.drift.library));
                             })
      .def_property_readonly("summary",
                             [](const DriftObject& self) { return self.drift.Summary(); })
      .def_property_readonly("counts",
                             [](const DriftObject& self) {
                               py::dict counts;
                               for (std::size_t i = 0; i < self.drift.counts.size(); ++i) {
                                 counts[DriftStateObject(static_cast<ornhost::DriftState>(i))] =
                                     self.drift.counts[i];
                               }
                               return counts;
                             })
      .def_property_readonly(
          "rows",
          [](const DriftObject& self) {
            const auto here = ornhost::detail::SettingValues(self.here);
            py::object row = TypesAttr("DriftRow");
            py::list rows;
            // One row a field, in the record's order; base and library are those of the layer
            // that governs it (an overlay's for a value it governs), as lossless texts.
            for (std::size_t i = 0; i < self.drift.rows.size(); ++i) {
              const ornhost::DriftRow& each = self.drift.rows[i];
              if (each.state == ornhost::DriftState::Unchanged) continue;
              rows.append(row(KeyObject(i), DriftStateObject(each.state), ValueObject(i, here[i]),
                              ValueOfText(each.property, each.base),
                              ValueOfText(each.property, each.library)));
            }
            return rows;
          })
      .def("__repr__", [](const DriftObject& self) {
        return "<ornr.Drift of " +
               py::repr(NameObject(self.drift.origin.librarySetup)).cast<std::string>() + ": " +
               self.drift.Summary() + ">";
      });

  py::class_<VersionObject>(module, "Version", R"doc(
A stored state of a setup that a write replaced: its number (1, 2, ... newest highest), when
(UTC), the action that replaced it ("save", "rename", "python", "restore", ...) and who, the
name the setup had then and the name the action left, and the values the action changed
(``changes``: Change rows, before being this version's). ``values`` reads the version's 68
values; ``Setup.restore(version)`` brings them back.
)doc")
      .def_property_readonly("number",
                             [](const VersionObject& self) { return self.info.entry.number; })
      .def_property_readonly("made_at",
                             [](const VersionObject& self) { return self.info.entry.madeAt; })
      .def_property_readonly("action",
                             [](const VersionObject& self) { return self.info.entry.action; })
      .def_property_readonly("made_by",
                             [](const VersionObject& self) { return self.info.entry.madeBy; })
      .def_property_readonly(
          "name", [](const VersionObject& self) { return NameObject(self.info.entry.name); })
      .def_property_readonly(
          "name_after",
          [](const VersionObject& self) -> py::object {
            if (self.info.nameAfter.empty()) return py::none();
            return NameObject(self.info.nameAfter);
          },
          "The name the action left the setup with; None when it deleted it.")
      .def_property_readonly("changes",
                             [](const VersionObject& self) { return ChangeList(self.info.entry); })
      .def_property_readonly(
          "marks",
          [](const VersionObject& self) {
            py::object mark = TypesAttr("Mark");
            py::list marks;
            for (const auto& each : self.info.entry.marks) {
              marks.append(mark(each.kind,
                                each.property.empty() ? py::object(py::none())
                                                      : py::object(py::str(each.property)),
                                each.before, each.after));
            }
            return marks;
          },
          "What else the action changed (Mark): a scope, a lock, a note, an override, an "
          "overlay.")
      .def_property_readonly(
          "values", [](VersionObject& self) { return Values(self.ValuesNow()); },
          "The 68 values of this state (frozen). Raises NoSuchVersion for the version that "
          "only marks where a deleted setup came back.")
      .def("__repr__", [](const VersionObject& self) {
        return "<ornr.Version " + std::to_string(self.info.entry.number) + " of " +
               py::repr(NameObject(self.place.name)).cast<std::string>() + ": " +
               self.info.entry.action + " by " + self.info.entry.madeBy + " at " +
               self.info.entry.madeAt + ">";
      });

  py::class_<DeletedObject>(module, "DeletedSetup", R"doc(
A setup deleted from a design file that the file keeps: its name, when and by whom it was
deleted, how many versions it has (the deletion included), its values when deleted and its
history. ``DesignFile.undelete(name)`` stores it again.
)doc")
      .def_property_readonly("name",
                             [](const DeletedObject& self) { return NameObject(self.entry.name); })
      .def_property_readonly("deleted_at",
                             [](const DeletedObject& self) { return self.entry.deletedAt; })
      .def_property_readonly("deleted_by",
                             [](const DeletedObject& self) { return self.entry.deletedBy; })
      .def_property_readonly("versions",
                             [](const DeletedObject& self) { return self.entry.versions; })
      .def_property_readonly(
          "values",
          [](const DeletedObject& self) {
            LockHeld lock(self.file->Mutex());
            Settings values;
            {
              py::gil_scoped_release release;
              values = self.file->DeletedValues({self.entry.position, self.entry.name, true});
            }
            return Values(values);
          })
      .def(
          "history",
          [](const DeletedObject& self) {
            return VersionList(self.file, {self.entry.position, self.entry.name, true});
          },
          "history() -> list[Version]\n\nIts versions, newest first, its deletion the newest.")
      .def("__repr__", [](const DeletedObject& self) {
        return "<ornr.DeletedSetup " + py::repr(NameObject(self.entry.name)).cast<std::string>() +
               " deleted " + self.entry.deletedAt + " by " + self.entry.deletedBy + ">";
      });

  auto setup = py::reinterpret_borrow<py::class_<SetupObject>>(module.attr("Setup"));
  setup
      .def_property_readonly(
          "origin",
          [](const SetupObject& self) -> py::object {
            LockHeld lock(self.file->Mutex());
            std::optional<ornhost::Provenance> origin;
            {
              py::gil_scoped_release release;
              origin = self.file->Origin(*self.entry);
            }
            if (!origin) return py::none();
            return py::cast(std::move(*origin));
          },
          "Where it came from (Origin) when it was taken from a design library; None when it "
          "was made any other way.")
      .def(
          "drift",
          [](const SetupObject& self) -> py::object {
            LockHeld lock(self.file->Mutex());
            std::optional<ornhost::Drift> drift;
            Settings here;
            {
              py::gil_scoped_release release;
              drift = self.file->DriftOf(*self.entry);
              if (drift) here = *self.entry->values;
            }
            if (!drift) return py::none();
            return py::cast(DriftObject{std::move(*drift), here});
          },
          R"doc(drift() -> Drift | None

What changed where since the setup was taken from its library (Drift), reading the library
file at the path recorded (once for the life of this file object, or until refresh()). Its
values now count, those set in an open transaction too. None for a setup not taken from a
library. As the workbench's drift, only values a library setup governs drift: a value its
library setup does not govern is the drawing's own, and one an overlay governs is held against
that overlay (``overlays``).
)doc")
      .def(
          "history",
          [](const SetupObject& self) {
            HistoryPlace place;
            {
              LockHeld lock(self.file->Mutex());
              place = self.file->PlaceOf(*self.entry);
            }
            return VersionList(self.file, place);
          },
          "history() -> list[Version]\n\nIts versions, newest first.")
      .def(
          "diff",
          [](const SetupObject& self, py::handle other) {
            const Settings theirs = SettingsOfObject(other);
            const Settings mine = self.Values().Current();
            return Differences(mine, theirs);
          },
          py::arg("other"),
          "diff(other: Setup | Version | Values | Mapping[str, Value]) -> list[Difference]\n\n"
          "The properties in which its values differ from other's (a Setup of any file, a "
          "Version, Values, or a mapping of all 68), exactly: list of Difference(property, this, "
          "other).")
      .def(
          "restore",
          [](const SetupObject& self, py::handle version) {
            const std::int64_t number = VersionNumber(version);
            LockHeld lock(self.file->Mutex());
            py::gil_scoped_release release;
            self.file->Restore(*self.entry, number);
          },
          py::arg("version"),
          "restore(version: Version | int) -> None\n\n"
          "Brings back the values of one of its versions (a Version or its number), in a "
          "transaction: written at once, what they replace kept as a version (action "
          "\"restore\"). Where it came from stays as it is.");
}

}  // namespace ornr::python
