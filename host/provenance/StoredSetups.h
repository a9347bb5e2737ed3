// A design file's stored setups with where each came from, read in one go without a session: what
// a look over many files needs, one file at a time.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/OrnSettings.h"
#include "host/provenance/Provenance.h"
#include "host/store/DesignFile.h"

namespace ornhost {

struct StoredSetupRecord {
  std::u16string name;
  /// Nothing when the stored record cannot be read; problem then says why.
  std::optional<Teskor::ZelPlatform::OrnSettings> settings;
  std::string problem;
  /// Nothing for a setup not taken from a library (or whose record does not read back).
  std::optional<Provenance> origin;
  /// Where the record stands in the file as read: a later write of it, by any session, changes it.
  detail::RowRef row;
};

struct StoredFile {
  int format = 0;
  /// Why nothing may be written to the file although it reads (an older format); empty when it may.
  std::string refusal;
  /// What could not be read, in one line (a damaged part: the setups after it are missing); empty
  /// when everything was.
  std::string readProblem;
  /// In the host's order.
  std::vector<StoredSetupRecord> setups;
};

/// Reads the file read-only: it is not written, not even to mark it checked. Throws
/// DesignFileError when it cannot be opened, is no design file or one of a newer format.
StoredFile ReadStoredFile(const std::filesystem::path& path);

}  // namespace ornhost
