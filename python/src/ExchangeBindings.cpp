// Setups as text (export and import of the setups document) and the upgrade of an older design
// file, through the host's own functions, each with the GIL released.
#include <pybind11/stl.h>

#include <filesystem>
#include <vector>

#include "host/controls/HostControls.h"
#include "host/provenance/Standards.h"
#include "python/src/Objects.h"
#include "python/src/Python.h"

namespace ornr::python {

namespace {

// A design file given by path or as an open DesignFile.
std::filesystem::path DesignFilePath(py::handle file) {
  if (py::isinstance<FileObject>(file)) return file.cast<const FileObject&>().file->PathText();
  return PathOf(file);
}

std::vector<std::u16string> NamesOf(py::handle names) {
  std::vector<std::u16string> list;
  if (PyUnicode_Check(names.ptr()) || py::isinstance<SetupObject>(names)) {
    list.push_back(py::isinstance<SetupObject>(names) ? names.cast<const SetupObject&>().entry->name
                                                      : NameOf(names));
    return list;
  }
  for (py::handle name : names) {
    list.push_back(py::isinstance<SetupObject>(name) ? name.cast<const SetupObject&>().entry->name
                                                     : NameOf(name));
  }
  return list;
}

// The host's export, its refusals told as the errors they are.
void ExportNamed(const std::filesystem::path& designFile, const std::vector<std::u16string>& names,
                 const std::filesystem::path& out) {
  try {
    ornhost::ExportSetups(designFile, names, out);
  } catch (const ornhost::DesignFileError& error) {
    const std::string& reason = error.Reason();
    if (reason.starts_with("holds no setup")) {
      throw Failure(ErrorKind::NoSuchSetup, error.what(), designFile.string(), reason);
    }
    if (reason.starts_with("the stored record of")) {
      throw Failure(ErrorKind::DamagedFile, error.what(), designFile.string(), reason);
    }
    throw Classified(error, designFile.string());
  }
}

}  // namespace

void BindExchange(py::module_& module) {
  module.def(
      "export",
      [](py::handle file, py::handle names, py::handle out) {
        const std::filesystem::path designFile = DesignFilePath(file);
        const std::vector<std::u16string> chosen = NamesOf(names);
        const std::filesystem::path target = PathOf(out);
        py::gil_scoped_release release;
        ExportNamed(designFile, chosen, target);
      },
      py::arg("file"), py::arg("names"), py::arg("out"),
      R"doc(export(file: str | PathLike | DesignFile, names: str | Setup | Iterable[str | Setup], out: str | PathLike) -> None

Writes the stored setups of those names (a name, a Setup, or an iterable of them) from a design
file (a path or a DesignFile) to ``out`` as a setups document (docs/setups-as-text.md), with
where each came from. What is written is what the file holds (not what an open transaction has
set). ``out`` is replaced whole, or left as it was when anything fails: NoSuchSetup for a name
the file does not hold, DamagedFile for one it holds only as a damaged record.
)doc");

  module.def(
      "import_",
      [](py::handle document, py::handle file, bool replace, bool holdLocks) {
        const std::filesystem::path in = PathOf(document);
        const std::filesystem::path designFile = DesignFilePath(file);
        std::shared_ptr<OpenFile> open;
        if (py::isinstance<FileObject>(file)) {
          open = file.cast<const FileObject&>().file;
          open->RequireOpen();
          if (open->InTransaction()) {
            throw Failure(ErrorKind::TransactionError,
                          "import_ writes in a transaction of its own: call it outside \"with "
                          "f.transaction():\"");
          }
        }
        std::vector<std::u16string> stored;
        try {
          py::gil_scoped_release release;
          stored = ornhost::ImportSetups(
              designFile, in, replace,
              holdLocks ? ornhost::ImportLocks::InAnyFile : ornhost::ImportLocks::InMasterFile);
        } catch (const ornhost::StandardsError& error) {
          throw Failure(ErrorKind::LockedValue, error.what(), designFile.string());
        }
        if (open) {
          // The file object holds what was just stored, as after a refresh.
          LockHeld lock(open->Mutex());
          py::gil_scoped_release release;
          open->Refresh();
        }
        py::list names;
        for (const auto& name : stored) names.append(NameObject(name));
        return names;
      },
      py::arg("document"), py::arg("file"), py::arg("replace") = false, py::kw_only(),
      py::arg("hold_locks") = true,
      R"doc(import_(document: str | PathLike, file: str | PathLike | DesignFile, replace: bool = False, *, hold_locks: bool = True) -> list[str]

Stores the setups of a setups document in a design file (a path, created when missing, or a
DesignFile, which then reads the file again) in one transaction of its own: all or nothing.
Everything is checked first; ImportFailed lists every problem (``problems``), each as the
command line prints it. A name the file holds already is a problem unless ``replace``; what a
replacing import overwrites is kept as a version (action "import"). A setup with a ``source``
keeps it as its origin. Returns the names stored, in document order.

A setup that would leave a value its library setup locks changed, without an override in the
document, raises LockedValue with the command line's words, and nothing is stored.
``hold_locks=False`` stores the document as it stands (an export made before the lock, say);
the audit then reports the value as a locked value changed.
)doc");

  module.def(
      "upgrade",
      [](py::handle path) {
        const std::filesystem::path file = PathOf(path);
        ornhost::UpgradeResult result;
        {
          py::gil_scoped_release release;
          result = ornhost::UpgradeDesignFile(file);
        }
        return TypesAttr("UpgradeResult")(
            result.fromVersion,
            result.backup.empty() ? py::object(py::none()) : PathObject(result.backup.string()),
            result.problems);
      },
      py::arg("path"), R"doc(upgrade(path: str | PathLike) -> UpgradeResult

Converts a design file of an earlier format to today's in one transaction, after copying it
beside itself ("tower.format2-backup.zel"), as the workbench's ``upgrade FILE`` does. Returns an
UpgradeResult; a file of today's format is left as it is.
)doc");
}

}  // namespace ornr::python
