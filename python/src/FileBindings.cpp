// DesignFile, its setups as a mapping, a Setup, and the transaction its writes go in.
#include <pybind11/stl.h>

#include "host/store/SettingsColumns.h"
#include "python/src/Objects.h"
#include "python/src/Python.h"
#include "support/Utf.h"

namespace ornr::python {

namespace {

using ornhost::detail::kSettingCount;

// A setup given by name or as a Setup of this file.
std::shared_ptr<Entry> EntryOf(OpenFile& file, py::handle setup) {
  if (py::isinstance<SetupObject>(setup)) {
    const auto& object = setup.cast<const SetupObject&>();
    if (object.file.get() != &file) {
      throw Failure(ErrorKind::Error, "that setup belongs to " + object.file->PathText() +
                                          ", not to " + file.PathText());
    }
    file.RequireAlive(*object.entry);
    return object.entry;
  }
  return file.Require(NameOf(setup));
}

std::optional<std::u16string> OptionalName(py::handle name) {
  if (name.is_none()) return std::nullopt;
  return NameOf(name);
}

py::object SetupOf(py::handle owner, const std::shared_ptr<OpenFile>& file,
                   std::shared_ptr<Entry> entry) {
  return py::cast(SetupObject{py::reinterpret_borrow<py::object>(owner), file, std::move(entry)});
}

std::shared_ptr<OpenFile> Open(const FileObject& self) {
  self.file->RequireOpen();
  return self.file;
}

std::string Plural(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

void BindFile(py::module_& module) {
  py::class_<FileObject>(module, "DesignFile", R"doc(
A design file opened by ``ornr.open``: its setups as read, and writes in transactions.

Use it as a context manager (``with ornr.open("tower.zel", "rw") as f:``), or call ``close()``;
a file object dropped by Python is closed too. The setups are read when the file opens and kept:
``refresh()`` reads them again. Writes go inside ``with f.transaction():`` and reach the file as
one SQLite transaction when the block ends without an exception; a setup another session changed
since this object read it raises ``ChangedSinceRead`` at the first write to it.

One file object belongs to one thread at a time; distinct file objects (of the same file or of
others) may be used from distinct threads at once. Calls that read or write the file release the
GIL.
)doc")
      .def_property_readonly(
          "path", [](const FileObject& self) { return PathObject(self.file->PathText()); },
          "The path as given to ornr.open.")
      .def_property_readonly(
          "mode",
          [](const FileObject& self) {
            return self.file->GetMode() == OpenFile::Mode::Read ? "r" : "rw";
          },
          "\"r\" or \"rw\".")
      .def_property_readonly("closed", [](const FileObject& self) { return !self.file->IsOpen(); })
      .def_property_readonly(
          "format", [](const FileObject& self) { return Open(self)->Format(); },
          "The design-file format it has (5 today; 1 to 4 read, and are written after upgrade).")
      .def_property_readonly(
          "problem",
          [](const FileObject& self) -> py::object {
            LockHeld lock(self.file->Mutex());
            const std::string problem = Open(self)->Problem();
            if (problem.empty()) return py::none();
            return py::str(problem);
          },
          "What of the file could not be read, or why nothing is written to it; None when the "
          "whole file was read and may be written.")
      .def_property_readonly(
          "setups",
          [](py::object self) {
            const auto& object = self.cast<const FileObject&>();
            return SetupsObject{self, Open(object)};
          },
          "The setups by name, in the host's order (a Mapping[str, Setup]).")
      .def_property_readonly("in_transaction",
                             [](const FileObject& self) { return self.file->InTransaction(); })
      .def(
          "transaction", [](const FileObject& self) { return TransactionObject{Open(self)}; },
          R"doc(transaction() -> Transaction

The context manager that writes go in: ``with f.transaction(): ...``.

Entering it begins one SQLite transaction, waiting for another program's as the workbench does
(up to 5 seconds, or ORNHOST_BUSY_TIMEOUT_MS, then ``Busy``). Leaving it without an exception
writes the values set (each changed setup as one version of the state it replaced, action
"python") and commits; an exception rolls everything back, here and in the file.
)doc")
      .def(
          "close",
          [](const FileObject& self) {
            LockHeld lock(self.file->Mutex());
            self.file->Close();
          },
          "close() -> None\n\nCloses the file, rolling back an open transaction. Closing twice "
          "does nothing.")
      .def(
          "refresh",
          [](const FileObject& self) {
            auto file = Open(self);
            LockHeld lock(file->Mutex());
            py::gil_scoped_release release;
            file->Refresh();
          },
          "refresh() -> None\n\nReads the setups again (outside a transaction); Setup objects of "
          "setups still there "
          "follow, those of setups gone say so.")
      .def(
          "new",
          [](py::object self, py::handle name, py::handle values) {
            auto file = Open(self.cast<const FileObject&>());
            const std::u16string setupName = NameOf(name);
            const Settings settings = SettingsFrom(values, Settings());
            LockHeld lock(file->Mutex());
            std::shared_ptr<Entry> entry;
            {
              py::gil_scoped_release release;
              entry = file->New(setupName, settings);
            }
            return SetupOf(self, file, std::move(entry));
          },
          py::arg("name"), py::arg("values") = py::none(),
          R"doc(new(name: str, values: Mapping[str, Value] | None = None) -> Setup

Stores a new setup: the values given (a mapping of some properties), the renderer's defaults for
the rest. Raises NameRefused for a name the host does not take or one the file holds.
)doc")
      .def(
          "duplicate",
          [](py::object self, py::handle setup, py::handle newName) {
            auto file = Open(self.cast<const FileObject&>());
            const auto name = OptionalName(newName);
            LockHeld lock(file->Mutex());
            auto source = EntryOf(*file, setup);
            std::shared_ptr<Entry> entry;
            {
              py::gil_scoped_release release;
              entry = file->Duplicate(*source, name);
            }
            return SetupOf(self, file, std::move(entry));
          },
          py::arg("setup"), py::arg("new_name") = py::none(),
          "duplicate(setup: str | Setup, new_name: str | None = None) -> Setup\n\n"
          "A new setup with the values setup has now, named new_name or, as the module names "
          "a duplicate, \"NAME - Copy\" (then \"NAME - Copy-2\", ...).")
      .def(
          "rename",
          [](py::object self, py::handle setup, py::handle newName) {
            auto file = Open(self.cast<const FileObject&>());
            const std::u16string name = NameOf(newName);
            LockHeld lock(file->Mutex());
            auto entry = EntryOf(*file, setup);
            {
              py::gil_scoped_release release;
              file->Rename(*entry, name);
            }
            return SetupOf(self, file, std::move(entry));
          },
          py::arg("setup"), py::arg("new_name"),
          "rename(setup: str | Setup, new_name: str) -> Setup\n\nRenames a setup; its history and "
          "where it came from go with it.")
      .def(
          "delete",
          [](const FileObject& self, py::handle setup) {
            auto file = Open(self);
            LockHeld lock(file->Mutex());
            auto entry = EntryOf(*file, setup);
            py::gil_scoped_release release;
            file->Delete(*entry);
          },
          py::arg("setup"),
          "delete(setup: str | Setup) -> None\n\nDeletes a setup; the file keeps it (deleted()) "
          "while its history limits say.")
      .def(
          "undelete",
          [](py::object self, py::handle name, py::handle newName) {
            auto file = Open(self.cast<const FileObject&>());
            const std::u16string deleted = NameOf(name);
            const auto target = OptionalName(newName);
            LockHeld lock(file->Mutex());
            std::shared_ptr<Entry> entry;
            {
              py::gil_scoped_release release;
              entry = file->Undelete(deleted, target);
            }
            return SetupOf(self, file, std::move(entry));
          },
          py::arg("name"), py::arg("new_name") = py::none(),
          "undelete(name: str, new_name: str | None = None) -> Setup\n\n"
          "Stores the setup most recently deleted under name again, at its old place, with its "
          "values, history and provenance; under new_name when name is in use again.")
      .def(
          "deleted",
          [](const FileObject& self) {
            auto file = Open(self);
            LockHeld lock(file->Mutex());
            std::vector<ornhost::detail::DeletedEntry> entries;
            {
              py::gil_scoped_release release;
              entries = file->Deleted();
            }
            py::list deleted;
            for (auto& entry : entries) deleted.append(DeletedObject{file, std::move(entry)});
            return deleted;
          },
          "deleted() -> list[DeletedSetup]\n\nThe deleted setups the file keeps, most recently "
          "deleted "
          "first.")
      .def_property_readonly(
          "history_limits",
          [](const FileObject& self) {
            auto file = Open(self);
            LockHeld lock(file->Mutex());
            const auto limits = file->Limits();
            return TypesAttr("HistoryLimits")(limits.versionsPerSetup, limits.deletedDays);
          },
          "How much history the file keeps (HistoryLimits: 50 versions a setup and deleted "
          "setups for 30 days unless set).")
      .def(
          "set_history_limits",
          [](const FileObject& self, std::int64_t versions, py::object days) {
            auto file = Open(self);
            LockHeld lock(file->Mutex());
            ornhost::detail::VersionLimits limits = file->Limits();
            limits.versionsPerSetup = versions;
            if (!days.is_none()) limits.deletedDays = days.cast<std::int64_t>();
            py::gil_scoped_release release;
            file->SetLimits(limits);
          },
          py::arg("versions_per_setup"), py::arg("deleted_days") = py::none(),
          "set_history_limits(versions_per_setup: int, deleted_days: int | None = None) -> None\n\n"
          "Sets how much history the file keeps and drops what that no longer keeps; "
          "0 versions keeps none. In a transaction.")
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__",
           [](const FileObject& self, py::handle, py::handle, py::handle) {
             LockHeld lock(self.file->Mutex());
             self.file->Close();
             return false;
           })
      .def("__repr__", [](const FileObject& self) {
        const char* mode = self.file->GetMode() == OpenFile::Mode::Read ? "r" : "rw";
        std::string text = "<ornr.DesignFile " +
                           py::repr(PathObject(self.file->PathText())).cast<std::string>() +
                           " mode='" + mode + "'";
        if (!self.file->IsOpen()) return text + " closed>";
        return text + " " + Plural(self.file->Entries().size(), "setup", "setups") + ">";
      });

  py::class_<SetupsObject>(module, "Setups", R"doc(
The setups of a design file by name, in the host's order: a read-only Mapping[str, Setup].
``f.setups["Lobby"]`` raises NoSuchSetup (a KeyError) for a name the file does not hold.
)doc")
      .def("__getitem__",
           [](const SetupsObject& self, py::handle name) {
             const std::u16string key = NameOf(name);
             LockHeld lock(self.file->Mutex());
             return SetupOf(self.owner, self.file, self.file->Require(key));
           })
      .def("__contains__",
           [](const SetupsObject& self, py::handle name) {
             if (!PyUnicode_Check(name.ptr())) return false;
             LockHeld lock(self.file->Mutex());
             return self.file->Find(NameOf(name)) != nullptr;
           })
      .def("__len__",
           [](const SetupsObject& self) {
             LockHeld lock(self.file->Mutex());
             self.file->RequireOpen();
             return self.file->Entries().size();
           })
      .def("__iter__",
           [](const SetupsObject& self) {
             py::list names;
             LockHeld lock(self.file->Mutex());
             self.file->RequireOpen();
             for (const auto& entry : self.file->Entries()) names.append(NameObject(entry->name));
             return py::iter(names);
           })
      .def("keys",
           [](const SetupsObject& self) {
             py::list names;
             LockHeld lock(self.file->Mutex());
             self.file->RequireOpen();
             for (const auto& entry : self.file->Entries()) names.append(NameObject(entry->name));
             return names;
           })
      .def("values",
           [](const SetupsObject& self) {
             py::list setups;
             LockHeld lock(self.file->Mutex());
             self.file->RequireOpen();
             for (const auto& entry : self.file->Entries()) {
               setups.append(SetupOf(self.owner, self.file, entry));
             }
             return setups;
           })
      .def("items",
           [](const SetupsObject& self) {
             py::list items;
             LockHeld lock(self.file->Mutex());
             self.file->RequireOpen();
             for (const auto& entry : self.file->Entries()) {
               items.append(
                   py::make_tuple(NameObject(entry->name), SetupOf(self.owner, self.file, entry)));
             }
             return items;
           })
      .def(
          "get",
          [](const SetupsObject& self, py::handle name, py::object fallback) -> py::object {
            if (!PyUnicode_Check(name.ptr())) return fallback;
            LockHeld lock(self.file->Mutex());
            auto entry = self.file->Find(NameOf(name));
            if (!entry) return fallback;
            return SetupOf(self.owner, self.file, std::move(entry));
          },
          py::arg("name"), py::arg("default") = py::none(),
          "get(name: str, default=None) -> Setup\n\nThe setup of that name, or default.")
      .def("__repr__", [](const SetupsObject& self) {
        LockHeld lock(self.file->Mutex());
        return "<ornr.Setups of " + py::repr(py::str(self.file->PathText())).cast<std::string>() +
               ": " +
               Plural(self.file->IsOpen() ? self.file->Entries().size() : 0, "setup", "setups") +
               ">";
      });
  py::module_::import("collections.abc").attr("Mapping").attr("register")(module.attr("Setups"));

  py::class_<SetupObject>(module, "Setup", R"doc(
A render setup of a design file: its name and its 68 values, where it came from, what drifted
since, its history.

A Setup follows its setup through renames; after a delete (or when a refresh finds it gone) its
reads and writes raise NoSuchSetup. Two Setup objects of the same setup compare equal.
)doc")
      .def_property_readonly("name",
                             [](const SetupObject& self) {
                               LockHeld lock(self.file->Mutex());
                               return NameObject(self.entry->name);
                             })
      .def_property_readonly(
          "file", [](const SetupObject& self) { return self.owner; },
          "The DesignFile it belongs to.")
      .def_property_readonly(
          "valid",
          [](const SetupObject& self) {
            LockHeld lock(self.file->Mutex());
            return self.entry->values.has_value();
          },
          "False when its stored record cannot be read (problem says why); its values then "
          "raise DamagedFile.")
      .def_property_readonly("problem",
                             [](const SetupObject& self) -> py::object {
                               LockHeld lock(self.file->Mutex());
                               if (self.entry->problem.empty()) return py::none();
                               return py::str(self.entry->problem);
                             })
      .def_property_readonly("values", &SetupObject::Values,
                             "Its 68 values (Values); setting one writes it in the transaction.")
      .def("__eq__",
           [](const SetupObject& self, py::handle other) {
             if (!py::isinstance<SetupObject>(other)) return false;
             return other.cast<const SetupObject&>().entry == self.entry;
           })
      .def("__hash__",
           [](const SetupObject& self) { return std::hash<const Entry*>()(self.entry.get()); })
      .def("__repr__", [](const SetupObject& self) {
        LockHeld lock(self.file->Mutex());
        std::string text = "<ornr.Setup " +
                           py::repr(NameObject(self.entry->name)).cast<std::string>() + " of " +
                           py::repr(py::str(self.file->PathText())).cast<std::string>();
        if (!self.entry->alive) text += ", deleted";
        return text + ">";
      });

  py::class_<TransactionObject>(module, "Transaction", R"doc(
One SQLite transaction on a design file, as a context manager (``with f.transaction():``). Every
write of the block reaches the file when it ends without an exception, and none when it raises.
)doc")
      .def("__enter__",
           [](py::object self) {
             auto file = self.cast<const TransactionObject&>().file;
             LockHeld lock(file->Mutex());
             py::gil_scoped_release release;
             file->Begin();
             return self;
           })
      .def("__exit__", [](const TransactionObject& self, py::handle type, py::handle, py::handle) {
        LockHeld lock(self.file->Mutex());
        py::gil_scoped_release release;
        if (type.is_none()) {
          self.file->Commit();
        } else {
          self.file->Rollback();
        }
        return false;
      });
  (void)kSettingCount;
}

}  // namespace ornr::python
