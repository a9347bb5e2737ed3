// What goes wrong in the Python package, as the kind of error Python raises for it, before any
// Python object is made: the core below the bindings throws these with the GIL released.
#pragma once

#include <stdexcept>
#include <string>

#include "host/controls/HostControls.h"

namespace ornr::python {

/// Each is a class of ornr/_errors.py of the same name.
enum class ErrorKind {
  Error,
  FileError,
  DamagedFile,
  OlderFormat,
  Busy,
  ChangedSinceRead,
  NoSuchSetup,
  NoSuchVersion,
  NoSuchProperty,
  NameRefused,
  ValueRefused,
  TransactionError,
  LockedValue,
};

/// The class name in ornr/_errors.py.
const char* ErrorClassName(ErrorKind kind);

class Failure : public std::runtime_error {
 public:
  Failure(ErrorKind kind, const std::string& message, std::string path = {},
          std::string reason = {})
      : std::runtime_error(message),
        kind_(kind),
        path_(std::move(path)),
        reason_(reason.empty() ? message : std::move(reason)) {}
  ErrorKind Kind() const noexcept { return kind_; }
  /// The design file concerned, as given; empty when none.
  const std::string& Path() const noexcept { return path_; }
  /// What is wrong without the file's name.
  const std::string& Reason() const noexcept { return reason_; }

 private:
  ErrorKind kind_;
  std::string path_;
  std::string reason_;
};

/// The host's error about the file at path as what it means to a caller: a damaged file, one of
/// an older format, one another program holds, a setup another session changed, or else any.
Failure Classified(const ornhost::DesignFileError& error, const std::string& path);

/// A failure about the file at path, its message the host's "design file "PATH": REASON".
Failure FileFailure(ErrorKind kind, const std::string& path, const std::string& reason);

}  // namespace ornr::python
