#include "python/src/Python.h"

#include <algorithm>

#include "host/controls/HostControls.h"
#include "host/store/SetupNames.h"

namespace ornr::python {

namespace {

// Kept for the life of the process: dropping them at exit would run after the interpreter.
PyObject* Imported(const char* module) {
  return py::module_::import(module).release().ptr();
}

PyObject* ErrorsModule() {
  static PyObject* module = Imported("ornr._errors");
  return module;
}

PyObject* TypesModule() {
  static PyObject* module = Imported("ornr._types");
  return module;
}

}  // namespace

py::str NameObject(std::u16string_view name) {
  const bool surrogates = std::any_of(
      name.begin(), name.end(), [](char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; });
  PyObject* text = nullptr;
  if (!surrogates) {
    text = PyUnicode_FromKindAndData(PyUnicode_2BYTE_KIND, name.data(),
                                     static_cast<Py_ssize_t>(name.size()));
  } else {
    int order = -1;  // little-endian, as char16_t is here
    text = PyUnicode_DecodeUTF16(reinterpret_cast<const char*>(name.data()),
                                 static_cast<Py_ssize_t>(name.size() * 2), "surrogatepass", &order);
  }
  if (text == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(text);
}

py::str TextObject(std::string_view text) {
  const auto size = static_cast<Py_ssize_t>(text.size());
  PyObject* made = PyUnicode_DecodeUTF8(text.data(), size, "surrogatepass");
  if (made == nullptr) {
    PyErr_Clear();
    made = PyUnicode_DecodeUTF8(text.data(), size, "surrogateescape");
  }
  if (made == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(made);
}

std::u16string NameOf(py::handle text) {
  if (!PyUnicode_Check(text.ptr())) {
    throw py::type_error("a setup name is a str, not " + std::string(Py_TYPE(text.ptr())->tp_name));
  }
  PyObject* object = text.ptr();
  const Py_ssize_t length = PyUnicode_GET_LENGTH(object);
  const int kind = PyUnicode_KIND(object);
  const void* data = PyUnicode_DATA(object);
  std::u16string name;
  name.reserve(static_cast<std::size_t>(length));
  for (Py_ssize_t i = 0; i < length; ++i) {
    const Py_UCS4 code = PyUnicode_READ(kind, data, i);
    if (code < 0x10000) {
      name.push_back(static_cast<char16_t>(code));
    } else {
      name.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
      name.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    }
  }
  return name;
}

std::string PathOf(py::handle path) {
  PyObject* bytes = nullptr;
  if (!PyUnicode_FSConverter(path.ptr(), &bytes)) throw py::error_already_set();
  std::string text(PyBytes_AS_STRING(bytes), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes)));
  Py_DECREF(bytes);
  return text;
}

py::object ErrorClass(ErrorKind kind) {
  return py::reinterpret_borrow<py::object>(ErrorsModule()).attr(ErrorClassName(kind));
}

py::object TypesAttr(const char* name) {
  return py::reinterpret_borrow<py::object>(TypesModule()).attr(name);
}

void SetPythonError(const Failure& failure) {
  py::object type = ErrorClass(failure.Kind());
  py::object error;
  switch (failure.Kind()) {
    case ErrorKind::FileError:
    case ErrorKind::DamagedFile:
    case ErrorKind::OlderFormat:
    case ErrorKind::Busy:
    case ErrorKind::ChangedSinceRead:
      error = type(TextObject(failure.what()),
                   failure.Path().empty() ? py::object(py::none()) : TextObject(failure.Path()),
                   TextObject(failure.Reason()));
      break;
    default:
      error = type(TextObject(failure.what()));
  }
  PyErr_SetObject(type.ptr(), error.ptr());
}

void RegisterTranslators() {
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const Failure& failure) {
      SetPythonError(failure);
    } catch (const ornhost::ImportError& error) {
      py::list problems;
      py::object errors = py::reinterpret_borrow<py::object>(ErrorsModule());
      py::object type = errors.attr("ImportProblem");
      for (const ornhost::ImportProblem& each : error.Problems()) {
        problems.append(type(each.file, each.line, each.property, each.message));
      }
      py::object failed = errors.attr("ImportFailed");
      PyErr_SetObject(failed.ptr(), failed(error.what(), problems, error.Unlisted()).ptr());
    } catch (const ornhost::SetupNameError& error) {
      SetPythonError(Failure(ErrorKind::NameRefused, error.what()));
    } catch (const ornhost::DesignFileError& error) {
      SetPythonError(Classified(error, ""));
    }
  });
}

}  // namespace ornr::python
