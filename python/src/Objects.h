// The C++ side of ornr's objects over a design file: DesignFile, its setups, a setup, a version.
// Each holds the open file it belongs to, so that it stays usable (or says the file is closed)
// whatever order Python drops them in.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>
#include <optional>

#include "python/src/OpenFile.h"
#include "python/src/Values.h"

namespace ornr::python {

namespace py = pybind11;

struct FileObject {
  std::shared_ptr<OpenFile> file;
};

struct SetupsObject {
  /// The DesignFile object.
  py::object owner;
  std::shared_ptr<OpenFile> file;
};

struct SetupObject {
  py::object owner;
  std::shared_ptr<OpenFile> file;
  std::shared_ptr<Entry> entry;

  python::Values Values() const { return python::Values(file, entry); }
};

struct TransactionObject {
  std::shared_ptr<OpenFile> file;
};

struct VersionObject {
  std::shared_ptr<OpenFile> file;
  HistoryPlace place;
  VersionInfo info;
  std::optional<Settings> values;

  /// Read from the file when first asked. Throws Failure (NoSuchVersion) for a version that
  /// keeps no values.
  const Settings& ValuesNow();
};

struct DriftObject {
  ornhost::Drift drift;
  /// The values it was held against.
  Settings here;
};

struct DeletedObject {
  std::shared_ptr<OpenFile> file;
  ornhost::detail::DeletedEntry entry;
};

/// The versions of the setup at place, newest first, as Version objects.
py::list VersionList(const std::shared_ptr<OpenFile>& file, const HistoryPlace& place);
/// The properties in which a and b differ, as Difference rows, in the record's order.
py::list Differences(const Settings& a, const Settings& b);

void BindFile(py::module_& module);
void BindHistory(py::module_& module);
void BindStandards(py::module_& module);

}  // namespace ornr::python
