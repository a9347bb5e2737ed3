// The extension module ornr._ornr; ornr/__init__.py is the package people import.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "host/controls/HostControls.h"
#include "host/store/DesignFile.h"
#include "host/store/SettingFields.h"
#include "host/store/SettingsColumns.h"
#include "python/src/Objects.h"
#include "python/src/Python.h"

namespace ornr::python {

void BindExchange(py::module_& module);
void BindAudit(py::module_& module);
void BindChangeSets(py::module_& module);

namespace {

py::object OpenDesignFile(py::handle path, const std::string& mode, bool create) {
  if (mode != "r" && mode != "rw") {
    throw py::value_error("mode is \"r\" or \"rw\", not \"" + mode + "\"");
  }
  if (create && mode != "rw") throw py::value_error("create=True needs mode \"rw\"");
  const std::string file = PathOf(path);
  std::shared_ptr<OpenFile> open;
  {
    py::gil_scoped_release release;
    open = std::make_shared<OpenFile>(
        file, mode == "r" ? OpenFile::Mode::Read : OpenFile::Mode::ReadWrite, create);
  }
  return py::cast(FileObject{std::move(open)});
}

}  // namespace

}  // namespace ornr::python

PYBIND11_MODULE(_ornr, module) {
  using namespace ornr::python;
  UseOwnSqlite();
  module.doc() = "The C++ side of ornr; import ornr instead.";
  // Each docstring starts with its signature in Python's words, as the stubs have it.
  py::options options;
  options.disable_function_signatures();
  module.attr("__version__") = ORNR_VERSION;
  module.attr("FORMAT") = ornhost::detail::kDesignFileSchemaVersion;
  RegisterTranslators();
  BindValues(module);
  BindFile(module);
  BindHistory(module);
  BindStandards(module);
  BindExchange(module);
  BindAudit(module);
  BindChangeSets(module);

  module.def(
      "open", &OpenDesignFile, py::arg("path"), py::arg("mode") = "r", py::kw_only(),
      py::arg("create") = false,
      R"doc(open(path: str | PathLike, mode: str = "r", *, create: bool = False) -> DesignFile

Opens a design file and reads its setups; returns a DesignFile (a context manager).

``mode="r"`` reads (also files of an older format, and what can be read of a damaged one);
``mode="rw"`` also writes, in ``with f.transaction():``, and refuses at once a file of an older
format (OlderFormat: ``ornr.upgrade`` converts it) or one found damaged (DamagedFile).
``create=True`` (with "rw") makes a missing file. Devices, pipes and folders are refused before
anything touches them; a file that is no design file, or of a newer format, raises FileError.
)doc");

  module.def(
      "_register_enums", [](const py::dict& classes) { RegisterEnums(classes); },
      py::arg("classes"));
  module.def("_enumerations", [] {
    py::dict tables;
    for (const auto& setting : ornhost::EnumerationLabels()) {
      py::list labels;
      for (const auto& label : setting.labels)
        labels.append(py::make_tuple(label.value, label.label));
      tables[py::str(setting.key)] = labels;
    }
    return tables;
  });
  module.def("_own_sqlite", &RunsOwnSqlite);
  module.def("_output_channels", [] {
    py::list labels;
    for (const auto& label : ornhost::OutputChannelLabels()) {
      labels.append(py::make_tuple(label.value, label.label));
    }
    return labels;
  });
  module.def("_properties", [] {
    const Settings defaults;
    const auto values = ornhost::detail::SettingValues(defaults);
    py::list properties;
    for (std::size_t i = 0; i < ornhost::detail::kSettingCount; ++i) {
      const auto& field = ornhost::detail::Fields()[i];
      properties.append(py::make_tuple(KeyObject(i), ornhost::detail::KindName(field.kind),
                                       ValueObject(i, values[i])));
    }
    return properties;
  });
}
