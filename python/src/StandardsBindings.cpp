// A setup's office standards: the locks of its library setups with their reasons, its overrides,
// overlays and notes, why a value is what it is; and, for a library setup, what it governs and
// locks. The writes go in the file's transaction, under the rules the workbench keeps.
#include <pybind11/stl.h>

#include "host/controls/ValueWhy.h"
#include "host/provenance/Standards.h"
#include "host/store/SettingsColumns.h"
#include "python/src/Objects.h"
#include "python/src/Python.h"
#include "support/Utf.h"

namespace ornr::python {

namespace {

py::object TextOrNone(const std::string& text) {
  if (text.empty()) return py::none();
  return py::str(text);
}

py::object OverrideObject(const std::optional<ornhost::OverrideRecord>& record) {
  if (!record) return py::none();
  return TypesAttr("Override")(record->reason, TextOrNone(record->madeBy),
                               TextOrNone(record->madeAt));
}

py::object LibraryRefOfLayer(const ornhost::Layer& layer) {
  return TypesAttr("LibraryRef")(NameObject(layer.origin.libraryFile), layer.origin.libraryPath,
                                 NameObject(layer.origin.librarySetup),
                                 TextOrNone(layer.origin.takenAt));
}

// One property name, or an iterable of them, each checked to be a property.
std::vector<std::string> PropertyList(py::handle properties) {
  std::vector<std::string> names;
  if (PyUnicode_Check(properties.ptr())) {
    names.emplace_back(ornhost::detail::SettingKey(FieldOf(properties)));
    return names;
  }
  for (py::handle property : properties) {
    names.emplace_back(ornhost::detail::SettingKey(FieldOf(property)));
  }
  if (names.empty()) throw Failure(ErrorKind::ValueRefused, "name a property at least");
  return names;
}

std::string TextOf(py::handle text, const char* what) {
  if (!PyUnicode_Check(text.ptr())) {
    throw py::type_error(std::string(what) + " is a str, not " +
                         py::str(py::type::of(text).attr("__name__")).cast<std::string>());
  }
  return text.cast<std::string>();
}

py::object WhyObject(const ornhost::ValueWhy& why, const std::u16string& setup) {
  const std::string& property = why.property;
  const auto value = [&](const std::string& text) { return ValueOfText(property, text); };
  py::object library = py::none();
  py::object gone = py::none();
  py::object libraryValue = py::none();
  bool overlay = false;
  if (why.layer) {
    library = LibraryRefOfLayer(*why.layer);
    overlay = why.layer->kind == ornhost::LayerKind::Overlay;
    if (why.layer->libraryGone) {
      gone = py::str(why.layer->goneReason);
    } else {
      libraryValue = value(why.governed.library);
    }
  }
  py::object change = py::none();
  if (why.lastChange) {
    const auto& last = *why.lastChange;
    change = TypesAttr("WhyChange")(
        last.number, last.madeAt, last.madeBy, last.action,
        last.before.empty() ? py::object(py::none()) : value(last.before),
        last.after.empty() ? py::object(py::none()) : value(last.after),
        last.overrideReason ? py::object(py::str(*last.overrideReason)) : py::object(py::none()));
  }
  py::list lines;
  for (const std::string& line : ornhost::WhyLines(why, "\"" + Utf16ToUtf8(setup) + "\"")) {
    lines.append(TextObject(line));
  }
  return TypesAttr("Why")(
      KeyObject(*ornhost::detail::SettingIndex(property)), value(why.now),
      why.saved ? value(*why.saved) : py::object(py::none()), value(why.defaultValue), library,
      overlay, gone, libraryValue, why.libraryChanged, !why.governed.shadowed.empty(),
      why.governed.lockReason ? py::object(py::str(*why.governed.lockReason))
                              : py::object(py::none()),
      OverrideObject(why.governed.override), change, TextOrNone(why.libraryDescription),
      TextOrNone(why.libraryNote), TextOrNone(why.note), TextOrNone(why.description), lines);
}

// Runs read with the file's lock held and the GIL released.
template <typename Read>
auto ReadLocked(const SetupObject& self, Read read) {
  LockHeld lock(self.file->Mutex());
  py::gil_scoped_release release;
  self.file->RequireAlive(*self.entry);
  return read(*self.file, *self.entry);
}

}  // namespace

void BindStandards(py::module_& module) {
  auto setup = py::reinterpret_borrow<py::class_<SetupObject>>(module.attr("Setup"));
  setup
      .def_property_readonly(
          "notes",
          [](const SetupObject& self) {
            const auto standards = ReadLocked(self, [](OpenFile& file, const Entry& entry) {
              return file.StandardsOf(entry).standards;
            });
            py::dict values;
            for (const auto& [property, note] : standards.notes) values[py::str(property)] = note;
            return TypesAttr("Notes")(TextOrNone(standards.description), values);
          },
          "Its notes (Notes): its description and the reasons given for single values.")
      .def(
          "why",
          [](const SetupObject& self, py::handle property) {
            const std::string key = ornhost::detail::SettingKey(FieldOf(property));
            ornhost::ValueWhy why;
            std::u16string name;
            ReadLocked(self, [&](OpenFile& file, const Entry& entry) {
              why = file.WhyOf(entry, key);
              name = entry.name;
            });
            return WhyObject(why, name);
          },
          py::arg("property"),
          R"doc(why(property: str) -> Why

Why the value is what it is, as the workbench's ``why`` says it, fact by fact and in its lines:
the value now, as stored and the default; the library setup that governs it (by name or as an
overlay), whether the library changed it since, its lock and the setup's override; the last
version that changed it; the notes.
)doc")
      .def_property_readonly(
          "locks",
          [](const SetupObject& self) {
            const auto locks = ReadLocked(
                self, [](OpenFile& file, const Entry& entry) { return file.LocksOf(entry); });
            const auto here = ornhost::detail::SettingValues(self.Values().Current());
            py::list list;
            py::object row = TypesAttr("Lock");
            for (const ornhost::ValueLock& lock : locks) {
              const auto index = *ornhost::detail::SettingIndex(lock.property);
              list.append(row(KeyObject(index), LibraryRefOfLayer(lock.layer), lock.reason,
                              ValueObject(index, here[index]),
                              ValueOfText(lock.property,
                                          ornhost::SettingTexts(lock.layer.library)[index].second),
                              OverrideObject(lock.override), lock.breached));
            }
            return list;
          },
          "The values its library setups lock (Lock), in the record's order: each with the "
          "library setup and its reason, the value here and there, the setup's override, and "
          "whether the lock is broken.")
      .def_property_readonly(
          "overrides",
          [](const SetupObject& self) {
            const auto standards = ReadLocked(self, [](OpenFile& file, const Entry& entry) {
              return file.StandardsOf(entry).standards;
            });
            py::dict overrides;
            for (const auto& [property, record] : standards.overrides) {
              overrides[py::str(property)] = OverrideObject(record);
            }
            return overrides;
          },
          "Its overrides of locked values by property (Override), those given in the open "
          "transaction too.")
      .def_property_readonly(
          "overlays",
          [](const SetupObject& self) {
            auto standards = ReadLocked(
                self, [](OpenFile& file, const Entry& entry) { return file.StandardsOf(entry); });
            py::list overlays;
            for (auto& overlay : standards.overlays) overlays.append(py::cast(std::move(overlay)));
            return overlays;
          },
          "The library setups applied to it, in the order applied (Origin; the last wins where "
          "two govern a value). Its base holds the values each governed when applied.")
      .def_property_readonly(
          "scope",
          [](const SetupObject& self) -> py::object {
            const auto standards = ReadLocked(self, [](OpenFile& file, const Entry& entry) {
              return file.StandardsOf(entry).standards;
            });
            if (!standards.scope) return py::none();
            py::list names;
            for (const std::string& name : ornhost::PropertyNames(*standards.scope)) {
              names.append(py::str(name));
            }
            return py::tuple(names);
          },
          "The properties it governs as a library setup, in the record's order; None when it "
          "governs all 68.")
      .def_property_readonly(
          "library_locks",
          [](const SetupObject& self) {
            const auto standards = ReadLocked(self, [](OpenFile& file, const Entry& entry) {
              return file.StandardsOf(entry).standards;
            });
            py::dict locks;
            for (const auto& [property, reason] : standards.locks)
              locks[py::str(property)] = reason;
            return locks;
          },
          "The values it locks as a library setup, with their reasons, by property.")
      .def(
          "override",
          [](const SetupObject& self, py::handle property, py::handle reason) {
            const std::string key = ornhost::detail::SettingKey(FieldOf(property));
            const std::string text = TextOf(reason, "a reason");
            LockHeld lock(self.file->Mutex());
            self.file->SetOverride(*self.entry, key, text);
          },
          py::arg("property"), py::arg("reason"),
          R"doc(override(property: str, reason: str) -> None

Gives a value a library setup locks an override with its reason, in the transaction, so that
setting it afterwards is not refused (LockedValue). It is stored with the setup's values when
the transaction commits, with who and when, and marked in the version that write keeps.
ValueRefused for a value not locked or a reason empty or over 1000 characters.
)doc")
      .def(
          "drop_override",
          [](const SetupObject& self, py::handle property) {
            const std::size_t field = FieldOf(property);
            const std::string key = ornhost::detail::SettingKey(field);
            LockHeld lock(self.file->Mutex());
            self.file->DropOverride(*self.entry, key,
                                    [&](Settings& values, const std::string& library) {
                                      SetValue(values, field, ValueOfText(key, library));
                                    });
          },
          py::arg("property"),
          R"doc(drop_override(property: str) -> None

Drops the override of a locked value and puts the library's value back, in the transaction, as
``fix="locks"`` with ``include_overrides=True`` does for a whole project: both are stored with
the setup's values when the transaction commits, the override's end marked in that version (a
rollback keeps the override). ValueRefused for a value not locked or not overridden.
)doc")
      .def(
          "set_note",
          [](const SetupObject& self, py::handle text, py::handle property) {
            const std::string key =
                property.is_none() ? std::string() : ornhost::detail::SettingKey(FieldOf(property));
            const std::string note = TextOf(text, "a note");
            LockHeld lock(self.file->Mutex());
            py::gil_scoped_release release;
            self.file->SetNote(*self.entry, key, note);
          },
          py::arg("text"), py::arg("property") = py::none(),
          R"doc(set_note(text: str, property: str | None = None) -> None

Sets its description, or with property the reason for that value; "" removes it. Written in the
transaction at once, with a version "note" (nothing when it holds that note already). A note is
at most 4000 characters (ValueRefused).
)doc")
      .def(
          "set_scope",
          [](const SetupObject& self, py::handle words) {
            std::optional<ornhost::PropertySet> scope;
            if (!words.is_none()) {
              std::vector<std::string> list;
              if (PyUnicode_Check(words.ptr())) {
                list.push_back(words.cast<std::string>());
              } else {
                for (py::handle word : words) list.push_back(TextOf(word, "a scope's word"));
              }
              try {
                scope = ornhost::ScopeOfWords(list);
              } catch (const ornhost::StandardsError& error) {
                throw Failure(ErrorKind::ValueRefused, error.what());
              }
            }
            LockHeld lock(self.file->Mutex());
            py::gil_scoped_release release;
            return self.file->SetScope(*self.entry, scope);
          },
          py::arg("words"),
          R"doc(set_scope(words: str | Iterable[str] | None) -> list[str]

What it governs as a library setup: properties and sections of the catalogue by name
("Lighting"), or None for all 68. Written in the transaction at once, with a version "scope";
its locks of values it no longer governs go with it, and their properties are returned.
)doc")
      .def(
          "lock",
          [](const SetupObject& self, py::handle properties, py::handle reason) {
            const auto names = PropertyList(properties);
            const std::string text = TextOf(reason, "a reason");
            LockHeld lock(self.file->Mutex());
            py::gil_scoped_release release;
            self.file->Lock(*self.entry, names, text);
          },
          py::arg("properties"), py::kw_only(), py::arg("reason"),
          R"doc(lock(properties: str | Iterable[str], *, reason: str) -> None

Locks values it governs as a library setup, with the reason drawings are shown (1 to 1000
characters); a locked one takes the new reason. Written in the transaction at once, with a
version "lock". ValueRefused for a value it does not govern: nothing is locked then.
)doc")
      .def(
          "unlock",
          [](const SetupObject& self, py::handle properties) {
            const auto names = PropertyList(properties);
            LockHeld lock(self.file->Mutex());
            py::gil_scoped_release release;
            self.file->Unlock(*self.entry, names);
          },
          py::arg("properties"),
          R"doc(unlock(properties: str | Iterable[str]) -> None

Takes its locks off those values, in the transaction at once, with a version "unlock".
ValueRefused for a value not locked: nothing is unlocked then.
)doc");

  auto origin = py::reinterpret_borrow<py::class_<ornhost::Provenance>>(module.attr("Origin"));
  origin.def_property_readonly(
      "governed",
      [](const ornhost::Provenance& self) -> py::object {
        if (!self.governed || self.governed->all()) return py::none();
        py::list names;
        for (const std::string& name : ornhost::PropertyNames(*self.governed)) {
          names.append(py::str(name));
        }
        return py::tuple(names);
      },
      "The properties the library setup governed when it was taken (only those of base count); "
      "None for all 68.");
}

}  // namespace ornr::python
