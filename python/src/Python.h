// What the bindings share: names between UTF-16 and Python, the classes defined in ornr's own
// Python files, and holding a file's lock without ever waiting for it while holding the GIL.
#pragma once

#include <pybind11/pybind11.h>

#include <mutex>
#include <string>
#include <string_view>

#include "python/src/Failure.h"

namespace ornr::python {

namespace py = pybind11;

/// A setup name as Python text: surrogate pairs become one character, a lone surrogate stays
/// one, so that every name a file holds comes back to it unchanged.
py::str NameObject(std::u16string_view name);
/// The other way; throws py::type_error for anything but str.
std::u16string NameOf(py::handle text);
/// Text the core made with Utf16ToUtf8 (a setup name, or a message or command line naming one)
/// as Python text: the three bytes of an unpaired surrogate come back as that surrogate, and a
/// byte that starts nothing (a path's) as os.fsdecode gives it.
py::str TextObject(std::string_view text);
/// A path, str or os.PathLike, as the file system takes it.
std::string PathOf(py::handle path);
/// A path the file system gave (or PathOf took) as Python text, as os.fsdecode gives it: bytes
/// that are not UTF-8 come back as the surrogates os.fsencode turns into them again.
py::str PathObject(std::string_view path);

/// An attribute of ornr._errors or ornr._types (imported once, kept for the process).
py::object ErrorClass(ErrorKind kind);
py::object TypesAttr(const char* name);

/// Sets up the extension's own SQLite, once, before anything opens a file; throws
/// std::runtime_error when the process's SQLite, which opens and locks the files, is not there.
/// Does nothing when the extension runs on the process's SQLite (RunsOwnSqlite() is false).
void UseOwnSqlite();
bool RunsOwnSqlite();

/// Sets the Python error for failure.
void SetPythonError(const Failure& failure);
/// Translates the core's failures and the host's errors into ornr's exceptions.
void RegisterTranslators();

/// Holds a lock taken with the GIL held: when another thread has it, waits with the GIL released,
/// so that no thread ever waits for the lock while holding the GIL.
class LockHeld {
 public:
  explicit LockHeld(std::mutex& mutex) : mutex_(mutex) {
    if (mutex_.try_lock()) return;
    py::gil_scoped_release release;
    mutex_.lock();
  }
  ~LockHeld() { mutex_.unlock(); }
  LockHeld(const LockHeld&) = delete;
  LockHeld& operator=(const LockHeld&) = delete;

 private:
  std::mutex& mutex_;
};

}  // namespace ornr::python
