#include "python/src/Failure.h"

namespace ornr::python {

const char* ErrorClassName(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::Error:
      return "Error";
    case ErrorKind::FileError:
      return "FileError";
    case ErrorKind::DamagedFile:
      return "DamagedFile";
    case ErrorKind::OlderFormat:
      return "OlderFormat";
    case ErrorKind::Busy:
      return "Busy";
    case ErrorKind::ChangedSinceRead:
      return "ChangedSinceRead";
    case ErrorKind::NoSuchSetup:
      return "NoSuchSetup";
    case ErrorKind::NoSuchVersion:
      return "NoSuchVersion";
    case ErrorKind::NoSuchProperty:
      return "NoSuchProperty";
    case ErrorKind::NameRefused:
      return "NameRefused";
    case ErrorKind::ValueRefused:
      return "ValueRefused";
    case ErrorKind::TransactionError:
      return "TransactionError";
    case ErrorKind::LockedValue:
      return "LockedValue";
  }
  return "Error";
}

Failure Classified(const ornhost::DesignFileError& error, const std::string& path) {
  const std::string& reason = error.Reason();
  // The host says these in fixed words (host/store/DesignFile.cpp, DesignFileLayout.cpp), as
  // rsm-audit reads them too; the tests raise each for real, so a change of wording shows.
  ErrorKind kind = ErrorKind::FileError;
  if (reason.find("damaged") != std::string::npos) {
    kind = ErrorKind::DamagedFile;
  } else if (reason == "the file is locked by another program") {
    kind = ErrorKind::Busy;
  } else if (reason.find("which this host reads but no longer writes") != std::string::npos) {
    kind = ErrorKind::OlderFormat;
  } else if (reason.starts_with("another session")) {
    kind = ErrorKind::ChangedSinceRead;
  }
  return Failure(kind, error.what(), path, reason);
}

Failure FileFailure(ErrorKind kind, const std::string& path, const std::string& reason) {
  return Failure(kind, "design file \"" + path + "\": " + reason, path, reason);
}

}  // namespace ornr::python
