#include "python/src/Values.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "host/store/SettingFields.h"
#include "host/store/SettingsColumns.h"
#include "python/src/Objects.h"
#include "python/src/Python.h"
#include "support/Utf.h"

namespace ornr::python {

namespace {

using ornhost::detail::Fields;
using ornhost::detail::FieldValue;
using ornhost::detail::kSettingCount;
using ornhost::detail::SettingKind;
using ornhost::detail::SettingValue;
using ornhost::detail::StoredValue;

// The classes and members made by ornr/_enums.py, kept for the process: values are read by the
// hundred thousand, and a member found here costs no call into the enum machinery.
struct EnumTable {
  PyObject* type = nullptr;
  /// Named members by value, for the small enumerations.
  std::vector<PyObject*> members;
  /// Flags made so far by value, for the output channels.
  std::unordered_map<std::uint64_t, PyObject*> flags;
  bool isFlag = false;
};

std::array<EnumTable, kSettingCount>& Enums() {
  static auto* tables = new std::array<EnumTable, kSettingCount>();
  return *tables;
}

// Enough for every combination of the named channels; more only costs a call each.
constexpr std::size_t kMostFlagsKept = 1 << 14;

py::object EnumMember(std::size_t field, std::uint64_t value) {
  EnumTable& table = Enums()[field];
  if (table.type == nullptr) return {};
  if (!table.isFlag) {
    // A value the renderer has no name for stays a plain int.
    if (value >= table.members.size() || table.members[value] == nullptr) return {};
    return py::reinterpret_borrow<py::object>(table.members[value]);
  }
  if (const auto found = table.flags.find(value); found != table.flags.end()) {
    return py::reinterpret_borrow<py::object>(found->second);
  }
  py::object number = py::reinterpret_steal<py::object>(PyLong_FromUnsignedLongLong(value));
  py::object member =
      py::reinterpret_steal<py::object>(PyObject_CallOneArg(table.type, number.ptr()));
  if (!member) throw py::error_already_set();
  if (table.flags.size() < kMostFlagsKept) table.flags.emplace(value, member.inc_ref().ptr());
  return member;
}

std::array<PyObject*, kSettingCount>& Keys() {
  static auto* keys = [] {
    auto* made = new std::array<PyObject*, kSettingCount>();
    for (std::size_t i = 0; i < kSettingCount; ++i) {
      (*made)[i] = PyUnicode_InternFromString(Fields()[i].key);
    }
    return made;
  }();
  return *keys;
}

[[noreturn]] void Refuse(std::size_t field, const std::string& why) {
  throw Failure(ErrorKind::ValueRefused, std::string(Fields()[field].key) + ": " + why);
}

std::string TypeName(py::handle value) {
  if (PyBool_Check(value.ptr())) return "bool";
  return Py_TYPE(value.ptr())->tp_name;
}

std::string Shown(py::handle value) {
  return py::repr(value).cast<std::string>();
}

}  // namespace

py::str KeyObject(std::size_t field) {
  return py::reinterpret_borrow<py::str>(Keys()[field]);
}

namespace {

// The kinds by field, read once: Fields() is a call into the host's library.
const std::array<SettingKind, kSettingCount>& Kinds() {
  static const auto kinds = [] {
    std::array<SettingKind, kSettingCount> made{};
    for (std::size_t i = 0; i < kSettingCount; ++i) made[i] = Fields()[i].kind;
    return made;
  }();
  return kinds;
}

// The last float or int made for each field, by its bits: most setups share most values, and a
// Python number is immutable, so handing out the same object again is exact and saves an
// allocation per value. Touched only with the GIL held.
struct LastNumber {
  std::uint64_t bits = 0;
  bool real = false;
  PyObject* object = nullptr;
};

std::array<LastNumber, kSettingCount>& LastNumbers() {
  static auto* last = new std::array<LastNumber, kSettingCount>();
  return *last;
}

template <typename Make>
PyObject* Remembered(std::size_t field, std::uint64_t bits, bool real, Make make) {
  LastNumber& last = LastNumbers()[field];
  if (last.object != nullptr && last.bits == bits && last.real == real) {
    Py_INCREF(last.object);
    return last.object;
  }
  PyObject* made = make();
  if (made == nullptr) throw py::error_already_set();
  Py_XDECREF(last.object);
  Py_INCREF(made);
  last = {bits, real, made};
  return made;
}

// A new reference to the value of field.
PyObject* NewValue(std::size_t field, const StoredValue& value) {
  const SettingKind kind = Kinds()[field];
  if (value.type == StoredValue::Type::Other) Py_RETURN_NONE;
  if (kind == SettingKind::Double || value.type == StoredValue::Type::Real) {
    const double real =
        value.type == StoredValue::Type::Real ? value.real : static_cast<double>(value.integer);
    const auto bits = std::bit_cast<std::uint64_t>(real);
    return Remembered(field, bits, true, [real] { return PyFloat_FromDouble(real); });
  }
  if (kind == SettingKind::Bool && (value.integer == 0 || value.integer == 1)) {
    return PyBool_FromLong(static_cast<long>(value.integer));
  }
  const std::uint64_t bits = static_cast<std::uint64_t>(value.integer);
  if (kind != SettingKind::Int32 || value.integer >= 0) {
    if (py::object member = EnumMember(field, bits)) return member.release().ptr();
  }
  // Python keeps the small ints itself.
  if (value.integer >= 0 && value.integer <= 256) return PyLong_FromLongLong(value.integer);
  if (kind == SettingKind::UInt64) {
    return Remembered(field, bits, false, [bits] { return PyLong_FromUnsignedLongLong(bits); });
  }
  return Remembered(field, bits, false, [&value] { return PyLong_FromLongLong(value.integer); });
}

}  // namespace

py::object ValueObject(std::size_t field, const StoredValue& value) {
  PyObject* made = NewValue(field, value);
  if (made == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(made);
}

namespace {

// The renderer's defaults as a dict, made once: most values of most setups are the defaults, and
// a copy of a dict with its keys laid out is a copy of its table, far less than filling one.
struct DefaultsDict {
  ornhost::detail::StoredValues values;
  PyObject* dict = nullptr;
};

// Made when ornr registers its enumerations, as the module is imported: made later, behind a
// static's guard, the enum calls it makes could let another thread in to wait on that guard
// holding the GIL.
const DefaultsDict* madeDefaults = nullptr;

void MakeDefaults() {
  auto defaults = std::make_unique<DefaultsDict>();
  defaults->values = ornhost::detail::SettingValues(Settings());
  auto dict = py::reinterpret_steal<py::dict>(_PyDict_NewPresized(kSettingCount));
  if (!dict) throw py::error_already_set();
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    dict[py::handle(Keys()[i])] = ValueObject(i, defaults->values[i]);
  }
  defaults->dict = dict.release().ptr();
  madeDefaults = defaults.release();
}

}  // namespace

void RegisterEnums(const py::dict& classes) {
  py::module_ enumModule = py::module_::import("enum");
  py::object flagBase = enumModule.attr("Flag");
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (!classes.contains(Fields()[i].key)) continue;
    py::object type = classes[Fields()[i].key];
    EnumTable& table = Enums()[i];
    table.type = type.inc_ref().ptr();
    table.isFlag = PyObject_IsSubclass(type.ptr(), flagBase.ptr()) == 1;
    if (table.isFlag) continue;
    for (py::handle member : type) {
      const auto value = member.cast<std::uint64_t>();
      if (value >= 64) continue;
      if (table.members.size() <= value) table.members.resize(value + 1, nullptr);
      table.members[value] = member.inc_ref().ptr();
    }
  }
  if (madeDefaults == nullptr) MakeDefaults();
}

py::dict ValuesDict(const Settings& settings) {
  if (madeDefaults == nullptr) throw Failure(ErrorKind::Error, "ornr's enumerations are not made");
  const auto values = ornhost::detail::SettingValues(settings);
  const DefaultsDict& defaults = *madeDefaults;
  auto dict = py::reinterpret_steal<py::dict>(PyDict_Copy(defaults.dict));
  if (!dict) throw py::error_already_set();
  auto& keys = Keys();
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    // The same type and bits as the default: the default's value object is this value.
    const StoredValue& value = values[i];
    const StoredValue& fallback = defaults.values[i];
    if (value.type == fallback.type &&
        (value.type == StoredValue::Type::Integer
             ? value.integer == fallback.integer
             : value.type == StoredValue::Type::Real &&
                   std::bit_cast<std::uint64_t>(value.real) ==
                       std::bit_cast<std::uint64_t>(fallback.real))) {
      continue;
    }
    PyObject* made = NewValue(i, value);
    if (made == nullptr) throw py::error_already_set();
    const int stored = PyDict_SetItem(dict.ptr(), keys[i], made);
    Py_DECREF(made);
    if (stored != 0) throw py::error_already_set();
  }
  return dict;
}

std::size_t FieldOf(py::handle key) {
  if (!PyUnicode_Check(key.ptr())) {
    throw py::type_error("a property name is a str, not " + TypeName(key));
  }
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(key.ptr(), &size);
  if (text == nullptr) throw py::error_already_set();
  const std::string_view name(text, static_cast<std::size_t>(size));
  const auto field = ornhost::detail::SettingIndex(name);
  if (!field) {
    throw Failure(ErrorKind::NoSuchProperty,
                  "no render setting is named \"" + std::string(name) + "\"");
  }
  return *field;
}

void SetValue(Settings& settings, std::size_t field, py::handle value) {
  const auto& descriptor = Fields()[field];
  PyObject* object = value.ptr();
  FieldValue checked;
  if (descriptor.kind == SettingKind::Bool) {
    if (!PyBool_Check(object)) Refuse(field, "expected True or False, got " + TypeName(value));
    checked.boolean = object == Py_True;
    descriptor.set(settings, checked);
    return;
  }
  if (PyBool_Check(object) || !(PyLong_Check(object) || PyFloat_Check(object))) {
    Refuse(field, "expected a number, got " + TypeName(value));
  }
  if (descriptor.kind == SettingKind::Double) {
    double real = 0;
    if (PyFloat_Check(object)) {
      real = PyFloat_AS_DOUBLE(object);
    } else {
      real = PyLong_AsDouble(object);
      if (real == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();
        Refuse(field, "out of the range of Double: " + Shown(value));
      }
      // An int only when the double holds it exactly, so that what is stored is what was given.
      py::object back = py::reinterpret_steal<py::object>(PyLong_FromDouble(real));
      if (PyObject_RichCompareBool(back.ptr(), object, Py_EQ) != 1) {
        Refuse(field, "the int " + Shown(value) + " has no exact double; give a float");
      }
    }
    if (!std::isfinite(real)) Refuse(field, "out of the range of Double: " + Shown(value));
    checked.real = real;
    descriptor.set(settings, checked);
    return;
  }
  if (PyFloat_Check(object)) Refuse(field, "expected an integer, got float " + Shown(value));
  // A member of another enumeration is a mistake even when its number would do.
  const EnumTable& table = Enums()[field];
  static PyObject* enumBase = py::object(py::module_::import("enum").attr("Enum")).release().ptr();
  if (PyObject_IsInstance(object, enumBase) == 1 &&
      (table.type == nullptr || PyObject_IsInstance(object, table.type) != 1)) {
    Refuse(field,
           "expected " +
               (table.type != nullptr
                    ? std::string("a ") + reinterpret_cast<PyTypeObject*>(table.type)->tp_name
                    : std::string("a number")) +
               ", got " + Shown(value));
  }
  const char* kind = ornhost::detail::KindName(descriptor.kind);
  if (descriptor.kind == SettingKind::UInt64) {
    const unsigned long long number = PyLong_AsUnsignedLongLong(object);
    if (number == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
      PyErr_Clear();
      Refuse(field, std::string("out of the range of ") + kind +
                        " (0 to 18446744073709551615): " + Shown(value));
    }
    checked.unsignedInteger = number;
    descriptor.set(settings, checked);
    return;
  }
  int overflow = 0;
  const long long number = PyLong_AsLongLongAndOverflow(object, &overflow);
  const bool isSigned = descriptor.kind == SettingKind::Int32;
  const long long low = isSigned ? std::numeric_limits<std::int32_t>::min() : 0;
  const long long high = isSigned ? std::numeric_limits<std::int32_t>::max()
                                  : std::numeric_limits<std::uint32_t>::max();
  if (overflow != 0 || number < low || number > high) {
    Refuse(field, std::string("out of the range of ") + kind + " (" + std::to_string(low) + " to " +
                      std::to_string(high) + "): " + Shown(value));
  }
  checked.integer = number;
  checked.unsignedInteger = static_cast<std::uint64_t>(number);
  descriptor.set(settings, checked);
}

Settings SettingsFrom(py::handle mapping, const Settings& start) {
  Settings settings = start;
  if (mapping.is_none()) return settings;
  if (!PyMapping_Check(mapping.ptr()) || !py::hasattr(mapping, "items")) {
    throw py::type_error("values are a mapping of property names to values, not " +
                         TypeName(mapping));
  }
  for (py::handle item : mapping.attr("items")()) {
    auto pair = py::reinterpret_borrow<py::tuple>(item);
    SetValue(settings, FieldOf(pair[0]), pair[1]);
  }
  return settings;
}

const Settings& Values::Read() const {
  if (frozen_) return *frozen_;
  file_->RequireAlive(*entry_);
  if (!entry_->values) {
    throw FileFailure(ErrorKind::DamagedFile, file_->PathText(),
                      "the stored record of \"" + Utf16ToUtf8(entry_->name) +
                          "\" cannot be read: " + entry_->problem);
  }
  return *entry_->values;
}

Settings Values::Current() const {
  if (frozen_) return *frozen_;
  LockHeld lock(file_->Mutex());
  return Read();
}

// A lossless text of the reports ("true", "12", "0.25") as the property's Python value.
py::object ValueOfText(const std::string& property, const std::string& text) {
  const auto field = ornhost::detail::SettingIndex(property);
  if (!field) return py::str(text);
  using ornhost::detail::SettingKind;
  using ornhost::detail::StoredValue;
  StoredValue value;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  switch (ornhost::detail::Fields()[*field].kind) {
    case SettingKind::Bool:
      value.integer = text == "true" ? 1 : 0;
      break;
    case SettingKind::Double:
      value.type = StoredValue::Type::Real;
      std::from_chars(first, last, value.real);
      break;
    case SettingKind::UInt64: {
      std::uint64_t bits = 0;
      std::from_chars(first, last, bits);
      value.integer = static_cast<std::int64_t>(bits);
      break;
    }
    default:
      std::from_chars(first, last, value.integer);
  }
  return ValueObject(*field, value);
}

py::object Values::Get(py::handle key) const {
  const std::size_t field = FieldOf(key);
  if (frozen_) return ValueObject(field, SettingValue(*frozen_, field));
  LockHeld lock(file_->Mutex());
  return ValueObject(field, SettingValue(Read(), field));
}

void Values::Set(py::handle key, py::handle value) {
  if (frozen_) {
    throw Failure(ErrorKind::Error, "these values are a record of the past and cannot be set");
  }
  const std::size_t field = FieldOf(key);
  LockHeld lock(file_->Mutex());
  Settings settings = Read();
  SetValue(settings, field, value);
  file_->SetValues(*entry_, settings);
}

void Values::Update(py::handle mapping) {
  if (frozen_) {
    throw Failure(ErrorKind::Error, "these values are a record of the past and cannot be set");
  }
  // The caller's mapping is read before the file's lock is taken: its code may do anything.
  if (!PyMapping_Check(mapping.ptr()) || !py::hasattr(mapping, "items")) {
    throw py::type_error("values are a mapping of property names to values, not " +
                         TypeName(mapping));
  }
  std::vector<std::pair<std::size_t, py::object>> given;
  for (py::handle item : mapping.attr("items")()) {
    auto pair = py::reinterpret_borrow<py::tuple>(item);
    given.emplace_back(FieldOf(pair[0]), pair[1]);
  }
  LockHeld lock(file_->Mutex());
  // All or none: every value is checked before any is set.
  Settings settings = Read();
  for (const auto& [field, value] : given) SetValue(settings, field, value);
  file_->SetValues(*entry_, settings);
}

py::dict Values::Dict() const {
  if (frozen_) return ValuesDict(*frozen_);
  LockHeld lock(file_->Mutex());
  return ValuesDict(Read());
}

Settings SettingsOfObject(py::handle object) {
  if (py::isinstance<Values>(object)) return object.cast<const Values&>().Current();
  if (py::isinstance<SetupObject>(object))
    return object.cast<const SetupObject&>().Values().Current();
  if (py::isinstance<VersionObject>(object)) return object.cast<VersionObject&>().ValuesNow();
  if (!PyMapping_Check(object.ptr()) || PyUnicode_Check(object.ptr())) {
    throw py::type_error("expected a Setup, a Version, Values or a mapping of all 68 values, not " +
                         TypeName(object));
  }
  Settings settings;
  std::size_t given = 0;
  for (py::handle item : object.attr("items")()) {
    auto pair = py::reinterpret_borrow<py::tuple>(item);
    SetValue(settings, FieldOf(pair[0]), pair[1]);
    ++given;
  }
  if (given != kSettingCount) {
    throw Failure(ErrorKind::ValueRefused,
                  "a setup's values are all 68 properties, not " + std::to_string(given));
  }
  return settings;
}

void BindValues(py::module_& module) {
  py::class_<Values>(module, "Values", R"doc(
The 68 render settings of a setup, by property name, in the catalogue's order.

A mutable mapping: ``values["BlurPasses"]`` is the exact stored value (``bool``, ``int``, an
``IntEnum`` member for the renderer's enumerations, an ``OutputChannels`` flag, or the ``float``
that is the stored double), and ``values["BlurPasses"] = 7`` sets it inside
``with f.transaction():``. Values of a version, of a merge base or of a library setup are frozen:
they read but do not set. ``to_dict()`` makes a plain dict of all 68 in one step.
)doc")
      .def("__getitem__", &Values::Get, py::arg("property"))
      .def("__setitem__", &Values::Set, py::arg("property"), py::arg("value"))
      .def("__delitem__",
           [](Values&, py::handle) {
             throw py::type_error("a setup always has all 68 values; set one instead");
           })
      .def("__len__", [](const Values&) { return kSettingCount; })
      .def("__contains__",
           [](const Values&, py::handle key) {
             if (!PyUnicode_Check(key.ptr())) return false;
             return ornhost::detail::SettingIndex(key.cast<std::string>()).has_value();
           })
      .def("__iter__",
           [](const Values&) {
             py::list keys;
             for (std::size_t i = 0; i < kSettingCount; ++i) keys.append(KeyObject(i));
             return py::iter(keys);
           })
      .def(
          "keys",
          [](const Values&) {
            py::list keys;
            for (std::size_t i = 0; i < kSettingCount; ++i) keys.append(KeyObject(i));
            return keys;
          },
          "keys() -> list[str]\n\nThe 68 property names in the catalogue's order.")
      .def(
          "values", [](const Values& self) { return self.Dict().attr("values")(); },
          "values() -> Iterable[Value]\n\nThe 68 values in the catalogue's order.")
      .def(
          "items", [](const Values& self) { return self.Dict().attr("items")(); },
          "items() -> Iterable[tuple[str, Value]]\n\n(property, value) pairs in the catalogue's "
          "order.")
      .def(
          "get",
          [](const Values& self, py::handle key, py::object fallback) -> py::object {
            if (!PyUnicode_Check(key.ptr()) ||
                !ornhost::detail::SettingIndex(key.cast<std::string>())) {
              return fallback;
            }
            return self.Get(key);
          },
          py::arg("property"), py::arg("default") = py::none())
      .def("update", &Values::Update, py::arg("values"),
           "update(values: Mapping[str, Value]) -> None\n\nSets several values at once: all of "
           "them, or none when one is refused.")
      .def("to_dict", &Values::Dict,
           "to_dict() -> dict[str, Value]\n\nA plain dict of all 68 values, made in one step.")
      .def_property_readonly("frozen", &Values::Frozen,
                             "True for values that only read (a version's, a base's).")
      .def("__eq__",
           [](const Values& self, py::handle other) -> py::object {
             if (!PyMapping_Check(other.ptr()))
               return py::reinterpret_borrow<py::object>(Py_NotImplemented);
             return py::bool_(
                 self.Dict().equal(py::dict(py::reinterpret_borrow<py::object>(other))));
           })
      .def("__repr__", [](const Values& self) {
        return "Values(" + py::repr(self.Dict()).cast<std::string>() + ")";
      });
  py::module_::import("collections.abc")
      .attr("MutableMapping")
      .attr("register")(module.attr("Values"));
}

}  // namespace ornr::python
