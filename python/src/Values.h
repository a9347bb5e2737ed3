// The 68 render settings as Python values: bool, int (the renderer's enumerations as IntEnum
// members, the output channels as an IntFlag) and float, each exactly the stored value; and the
// Values mapping over a setup's values, live or frozen.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "host/store/SettingsColumns.h"
#include "python/src/OpenFile.h"

namespace ornr::python {

namespace py = pybind11;

/// Takes the classes ornr made for the enumerated settings, by property name.
void RegisterEnums(const py::dict& classes);

/// The value of field as Python holds it.
py::object ValueObject(std::size_t field, const ornhost::detail::StoredValue& value);
/// Every value by property name, in the record's order.
py::dict ValuesDict(const Settings& settings);
/// The field a key names. Throws Failure (NoSuchProperty), py::type_error.
std::size_t FieldOf(py::handle key);
/// Sets field from a Python value. Throws Failure (ValueRefused) for anything that is not exactly
/// a value of the field's type.
void SetValue(Settings& settings, std::size_t field, py::handle value);
/// Settings from a mapping of some properties, the rest as in start.
Settings SettingsFrom(py::handle mapping, const Settings& start);
/// A lossless text of the reports and the standards ("true", "12", "0.25") as the property's
/// Python value; the text itself for no property.
py::object ValueOfText(const std::string& property, const std::string& text);
/// The property name as an interned Python str.
py::str KeyObject(std::size_t field);

/// A setup's values: live (they are the entry's, and setting one writes it in the transaction) or
/// frozen (a version's, a base's: read-only).
class Values {
 public:
  Values(std::shared_ptr<OpenFile> file, std::shared_ptr<Entry> entry)
      : file_(std::move(file)), entry_(std::move(entry)) {}
  explicit Values(const Settings& frozen) : frozen_(std::make_shared<const Settings>(frozen)) {}

  /// The values now; throws Failure when the setup is gone or its record unreadable.
  Settings Current() const;
  py::object Get(py::handle key) const;
  void Set(py::handle key, py::handle value);
  void Update(py::handle mapping);
  py::dict Dict() const;
  bool Frozen() const { return frozen_ != nullptr; }

 private:
  /// The same, with the file's lock held.
  const Settings& Read() const;

  std::shared_ptr<OpenFile> file_;
  std::shared_ptr<Entry> entry_;
  /// Held apart, so that the live values a Setup hands out, one object per call, stay small.
  std::shared_ptr<const Settings> frozen_;
};

/// The settings of a Values, a Setup or a Python mapping of all 68 properties.
Settings SettingsOfObject(py::handle object);

void BindValues(py::module_& module);

}  // namespace ornr::python
