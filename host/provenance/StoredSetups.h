// A design file's stored setups with where each came from, read in one go without a session: what
// a look over many files needs, one file at a time.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/OrnSettings.h"
#include "host/provenance/Provenance.h"
#include "host/store/ChangeSetTable.h"
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
/// The same through a file the caller opened, which may then be written: one opening for both.
StoredFile ReadStoredFile(detail::DesignFile& file);

/// A merge of a stored setup with its library setup, to be stored.
struct StoredMerge {
  std::u16string name;
  /// The record and its provenance as they were read; no provenance for a setup that has only
  /// overlays.
  detail::RowRef row;
  std::optional<Provenance> origin;
  /// The setup's values after the merge, and its new merge base: the library's values.
  Teskor::ZelPlatform::OrnSettings values;
  Teskor::ZelPlatform::OrnSettings base;
};

/// A merge, or a write of values alone, with what the office standards keep beside the setup.
struct StoredFix {
  StoredMerge merge;
  /// What the library setup governs now, which the new base covers (nothing: every value).
  std::optional<PropertySet> governed;
  /// A write of values only: the provenance stays as it was read, base and time too.
  bool valuesOnly = false;
  /// Format 6: the overlays and overrides as read and as the write leaves them (an overlay
  /// without a time taken now); nothing leaves them as they are.
  struct Standards {
    std::vector<Provenance> overlaysRead;
    std::vector<Provenance> overlays;
    std::map<std::string, OverrideRecord> overridesRead;
    std::map<std::string, OverrideRecord> overrides;
  };
  std::optional<Standards> standards;
  /// A setup that had no same-name library setup as read and is linked to one now: its
  /// provenance, taken now.
  std::optional<Provenance> newOrigin;
};

/// A setup to add, with its provenance (taken now).
struct StoredNew {
  std::u16string name;
  Teskor::ZelPlatform::OrnSettings values;
  Provenance origin;
};

/// Stores the merges in the design file at path in one transaction, all or nothing: each setup's
/// values (what they replace kept as a version of action) and its provenance with the new base,
/// taken now. Throws DesignFileError, having written nothing, when the file is gone or may not
/// be written (an older format, damage found by the check before its first write, tables of
/// others), or when another session changed, renamed or deleted one of the setups, merged it or
/// changed its overlays or overrides, since it was read.
void StoreMerges(const std::filesystem::path& path, const std::vector<StoredMerge>& merges,
                 std::string_view action);
/// The same for fixes, whose provenance keeps what they govern; a setup without provenance is
/// refused when the file holds one for it by then. Given changeSet, the same transaction records
/// the fixes as that change set, and the versions they keep carry its id. Each of added is stored
/// as a new setup in the same transaction, refused when the file holds its name by then.
void StoreFixes(const std::filesystem::path& path, const std::vector<StoredFix>& fixes,
                std::string_view action, const detail::ChangeSetHeader* changeSet = nullptr,
                const std::vector<StoredNew>& added = {});
/// The same through file, opened for writing at path by the caller (and maybe read through
/// already: what a write checks is read again inside its transaction).
void StoreFixes(detail::DesignFile& file, const std::filesystem::path& path,
                const std::vector<StoredFix>& fixes, std::string_view action,
                const detail::ChangeSetHeader* changeSet = nullptr,
                const std::vector<StoredNew>& added = {});

}  // namespace ornhost
