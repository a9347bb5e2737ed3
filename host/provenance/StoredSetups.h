// A design file's stored setups with where each came from, read in one go without a session: what
// a look over many files needs, one file at a time.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/OrnSettings.h"
#include "host/provenance/Provenance.h"
#include "host/store/DesignFile.h"
#include "host/store/StandardsRecord.h"

namespace ornhost {

struct StoredSetupRecord {
  std::u16string name;
  /// Nothing when the stored record cannot be read; problem then says why.
  std::optional<Teskor::ZelPlatform::OrnSettings> settings;
  std::string problem;
  /// Nothing for a setup not taken from a library (or whose record does not read back).
  std::optional<Provenance> origin;
  /// Its office standards and the library setups applied to it, in order (format 6).
  SetupStandards standards;
  std::vector<Provenance> overlays;
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

/// A merge of a stored setup with its library setup, to be stored.
struct StoredMerge {
  std::u16string name;
  /// The record and its provenance as they were read.
  detail::RowRef row;
  Provenance origin;
  /// The setup's values after the merge, and its new merge base: the library's values.
  Teskor::ZelPlatform::OrnSettings values;
  Teskor::ZelPlatform::OrnSettings base;
};

/// Stores the merges in the design file at path in one transaction, all or nothing: each setup's
/// values (what they replace kept as a version of action) and its provenance with the new base,
/// taken now. Throws DesignFileError, having written nothing, when the file is gone or may not
/// be written (an older format, damage found by the check before its first write, tables of
/// others), or when another session changed, renamed or deleted one of the setups, or merged
/// it, since it was read.
void StoreMerges(const std::filesystem::path& path, const std::vector<StoredMerge>& merges,
                 std::string_view action);

}  // namespace ornhost
