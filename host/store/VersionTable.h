// The versions of setups inside a design file: for each write of the host that replaced a stored
// setup, a row saying when, by what and by whom, and one row for each value it changed with the
// value before and after. Only what differs from the next state is kept; the newest state is the
// setup's row in render_setups.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/store/DesignFile.h"
#include "host/store/SettingsColumns.h"

namespace ornhost::detail {

/// The first format that keeps versions.
inline constexpr int kVersionsFormat = 5;

/// The statements that lay out the version tables of an empty file.
const std::vector<std::string>& VersionsLayOut();

/// How much history a file keeps: the newest versions of each setup, and deleted setups for a
/// number of days. 0 versions keeps none.
struct VersionLimits {
  std::int64_t versionsPerSetup = 50;
  std::int64_t deletedDays = 30;
};
inline constexpr std::int64_t kMostVersionsPerSetup = 1000000;
inline constexpr std::int64_t kMostDeletedDays = 36500;

/// The highest version number a write of the host gives out. A number outside 1 to this, which
/// only an edit with the table's checks off leaves, makes its version unreadable: it is left in
/// the file as it is and counts for nothing. JavaScript holds every number up to it exactly.
inline constexpr std::int64_t kLastVersionNumber = (std::int64_t{1} << 53) - 1;

struct VersionChange {
  /// The field's index in the record's order.
  std::size_t field = 0;
  StoredValue before;
  /// Nothing where the setup was deleted.
  std::optional<StoredValue> after;
};

struct VersionEntry {
  std::int64_t number = 0;
  /// UTC, "2026-12-06T00:15:02Z".
  std::string madeAt;
  std::string action;
  std::string madeBy;
  /// The setup's name in the state the version keeps.
  std::u16string name;
  /// In the record's order.
  std::vector<VersionChange> changes;
  /// What else it changed, by kind and property.
  std::vector<VersionMark> marks;
  /// The id of the change set that wrote it and its command line (empty once it is forgotten);
  /// empty for none.
  std::string changeSet;
  std::string changeSetCommand;
};

struct DeletedEntry {
  std::int64_t position = 0;
  std::u16string name;
  std::string deletedAt;
  std::string deletedBy;
  /// How many versions it has, its deletion included.
  std::int64_t versions = 0;
};

/// A state of a setup as a version keeps it.
struct VersionState {
  std::u16string name;
  StoredValues values{};
};

/// Every failure throws DesignFileError. A file of a format without versions has none: reads
/// give nothing and writes keep nothing.
class VersionTable {
 public:
  // --- Inside a write transaction of the file ---
  /// Keeps the state that a write of action replaced at position, with marks (a file without
  /// standards keeps none); nothing when it equals the new one and there are no marks, or the
  /// file keeps no versions.
  static void KeepReplaced(DesignFile& file, std::int64_t position, const VersionState& replaced,
                           const VersionState& written, std::string_view action,
                           const std::vector<VersionMark>& marks = {});
  /// Keeps the whole state of a setup removed from position. False when the file keeps no
  /// deleted setups: its versions are gone then too.
  static bool KeepDeleted(DesignFile& file, std::int64_t position, const VersionState& removed);
  /// Marks that the setup deleted from position, once named name, is stored again.
  static void KeepUndeleted(DesignFile& file, std::int64_t position, std::u16string_view name);
  /// The state of the setup deleted from position: nothing when the newest version of position
  /// is no deletion.
  static std::optional<VersionState> DeletedState(DesignFile& file, std::int64_t position);
  /// Drops the versions and provenance of setups deleted longer ago than the file keeps them.
  static void DropExpired(DesignFile& file);

  // --- Reads ---
  /// The file's limits; one out of range counts as its default, and problem, when given, then
  /// says which in one line (else it is left empty).
  static VersionLimits Limits(DesignFile& file, std::string* problem = nullptr);
  /// The versions of the setup at position, newest first.
  static std::vector<VersionEntry> History(DesignFile& file, std::int64_t position);
  /// The state version number of the setup at position keeps; nothing when there is no such
  /// version. Throws DesignFileError when it cannot be rebuilt.
  static std::optional<VersionState> StateAt(DesignFile& file, std::int64_t position,
                                             std::int64_t number);
  /// The deleted setups the file keeps, most recently deleted first.
  static std::vector<DeletedEntry> Deleted(DesignFile& file);

  // --- A write of its own ---
  /// Sets the limits and trims what they no longer keep, in one transaction.
  static void SetLimits(DesignFile& file, const VersionLimits& limits);

 private:
  using Statement = DesignFile::Statement;
  using Transaction = DesignFile::Transaction;
  static void Forget(DesignFile& file, std::int64_t position);
  static void TrimTo(DesignFile& file, std::int64_t position, std::int64_t newest,
                     std::int64_t keep);
  /// The newest readable number of the versions at position; 0 when it has none.
  static std::int64_t Newest(DesignFile& file, std::int64_t position);
  /// The number the next version of position takes: above its newest and above every number
  /// given out before the history was dropped whole. Nothing when none is left, which only a
  /// number put there with the checks off brings about: the write then keeps no version.
  static std::optional<std::int64_t> NextNumber(DesignFile& file, std::int64_t position);
  static std::int64_t Insert(DesignFile& file, std::int64_t position, std::int64_t number,
                             std::string_view action, std::u16string_view name);
  static std::optional<VersionState> Current(DesignFile& file, std::int64_t position);
};

/// The operating system's user of this process, as versions record it.
const std::string& OsUser();
/// Now, UTC, "2026-12-06T00:15:02Z".
std::string UtcNow();

}  // namespace ornhost::detail
