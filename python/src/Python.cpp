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

namespace {

// The character that starts at bytes[at], as UTF-8 with unpaired surrogates allowed, and its
// length; 0 when no character starts there.
std::size_t CharacterAt(std::string_view bytes, std::size_t at, char32_t& code) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[at + i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > bytes.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i) & 0x3F);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  return overlong || code > 0x10FFFF ? 0 : length;
}

}  // namespace

py::str TextObject(std::string_view text) {
  const auto size = static_cast<Py_ssize_t>(text.size());
  PyObject* made = PyUnicode_DecodeUTF8(text.data(), size, "surrogatepass");
  if (made != nullptr) return py::reinterpret_steal<py::str>(made);
  PyErr_Clear();
  // A message can name a path and a setup at once: each byte that starts no character becomes
  // the surrogate os.fsdecode makes of it, and a name's unpaired surrogate stays itself.
  std::u32string codes;
  codes.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    char32_t code = 0;
    const std::size_t length = CharacterAt(text, at, code);
    if (length == 0) {
      codes.push_back(0xDC00 + static_cast<unsigned char>(text[at]));
      ++at;
      continue;
    }
    codes.push_back(code);
    at += length;
  }
  made = PyUnicode_FromKindAndData(PyUnicode_4BYTE_KIND, codes.data(),
                                   static_cast<Py_ssize_t>(codes.size()));
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

py::str PathObject(std::string_view path) {
  PyObject* made =
      PyUnicode_DecodeFSDefaultAndSize(path.data(), static_cast<Py_ssize_t>(path.size()));
  if (made == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(made);
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
        problems.append(
            type(PathObject(each.file), each.line, each.property, TextObject(each.message)));
      }
      py::object failed = errors.attr("ImportFailed");
      PyErr_SetObject(failed.ptr(),
                      failed(TextObject(error.what()), problems, error.Unlisted()).ptr());
    } catch (const ornhost::SetupNameError& error) {
      SetPythonError(Failure(ErrorKind::NameRefused, error.what()));
    } catch (const ornhost::DesignFileError& error) {
      SetPythonError(Classified(error, ""));
    }
  });
}

}  // namespace ornr::python
