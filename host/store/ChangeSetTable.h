// Change sets inside a design file of format 7: each run of a batch tool that wrote the file, who
// ran it, when and how, with every setup it touched before and after, and the versions it wrote
// tagged with its id. Kept apart from the versions, so that trimming them leaves change sets be.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/store/DesignFile.h"
#include "host/store/ProvenanceRecord.h"
#include "host/store/SettingsColumns.h"
#include "host/store/StandardsRecord.h"

namespace ornhost::detail {

/// The first format that keeps change sets.
inline constexpr int kChangeSetsFormat = 7;

/// The statements that lay out the change-set tables of an empty file.
const std::vector<std::string>& ChangeSetsLayOut();

/// Where a setup stands beside its values: the library setup it was taken from, the overlays
/// applied to it and the locked values it overrides.
struct SetupStanding {
  std::optional<Provenance> origin;
  std::vector<Provenance> overlays;
  std::map<std::string, OverrideRecord> overrides;
};
/// One line a record: exact, so that two texts are equal when the standings are.
std::string StandingText(const SetupStanding& standing);
/// Nothing when the text is not one StandingText makes.
std::optional<SetupStanding> StandingOfText(std::string_view text);
/// The standing of the setup at position as the file holds it now, as StandingText writes it.
std::string StandingAt(DesignFile& file, std::int64_t position);

struct ChangeSetValue {
  /// The field's index in the record's order.
  std::size_t field = 0;
  /// Nothing where the setup did not exist: before it was created, after it was deleted.
  std::optional<StoredValue> before;
  std::optional<StoredValue> after;
};

struct ChangeSetSetup {
  /// render_setups.position, before and after (a setup brought back may take a new one).
  std::int64_t position = 0;
  /// Nothing before: the change set created it; nothing after: it deleted it.
  std::optional<std::u16string> nameBefore;
  std::optional<std::u16string> nameAfter;
  std::string standingBefore;
  std::string standingAfter;
  /// Only the values that changed, in the record's order; every value of one created or deleted.
  std::vector<ChangeSetValue> values;

  bool Created() const { return !nameBefore.has_value(); }
  bool Deleted() const { return !nameAfter.has_value(); }
};

struct ChangeSetHeader {
  std::string id;
  /// UTC, "2026-12-06T00:15:02Z"; the operating system's user; the command line as a shell
  /// takes it back.
  std::string madeAt;
  std::string madeBy;
  std::string command;
};

struct ChangeSet {
  ChangeSetHeader header;
  std::vector<ChangeSetSetup> setups;
};

/// A fresh id, 15 characters: the time in milliseconds and a random part, in lower-case base 32
/// without the letters people misread, so that ids sort as they were made; those of one process
/// never repeat and always rise.
std::string NewChangeSetId();
/// Whether text could be an id (or the start of one): 1 to 32 of those letters and digits.
bool LooksLikeChangeSetId(std::string_view text);

/// Every failure throws DesignFileError. A file of a format without change sets has none: reads
/// give nothing.
class ChangeSetTable {
 public:
  /// Every change set of the file, newest first.
  static std::vector<ChangeSet> ReadAll(DesignFile& file);
  /// The one whose id is id, or begins with it when only one does.
  static std::optional<ChangeSet> Read(DesignFile& file, std::string_view id);

  // --- Inside a write transaction of the file ---
  static void Put(DesignFile& file, const ChangeSet& changeSet);
  /// Every change set goes, as every version does with history-limit 0.
  static void ForgetAll(DesignFile& file);

  // --- A write of its own ---
  /// Removes the change set of that id; false when the file holds none.
  static bool Forget(DesignFile& file, std::string_view id);

 private:
  using Statement = DesignFile::Statement;
  using Transaction = DesignFile::Transaction;
};

/// Records a batch of writes to a file as one change set: begins one transaction on the file,
/// remembers each setup before the first write that touches it, and at Commit compares each with
/// what it is then, stores the change set (when anything changed) and commits. Versions written
/// meanwhile carry its id. Destroyed uncommitted, everything since it began is rolled back.
class ChangeSetRecorder {
 public:
  /// Throws DesignFileError, having begun nothing, when the file takes no write or keeps no change
  /// sets (an older format).
  ChangeSetRecorder(DesignFile& file, ChangeSetHeader header);
  ~ChangeSetRecorder();
  ChangeSetRecorder(const ChangeSetRecorder&) = delete;
  ChangeSetRecorder& operator=(const ChangeSetRecorder&) = delete;

  /// Before a write to the setup at position: its state now. Only the first call for a position
  /// counts.
  void Touch(std::int64_t position);
  /// A setup the batch created, at position.
  void Created(std::int64_t position);
  /// Stores the change set and commits. Returns what it recorded; nothing stored when no
  /// setup changed.
  ChangeSet Commit();

 private:
  struct Before {
    std::optional<std::u16string> name;
    StoredValues values{};
    std::string standing;
  };
  Before StateAt(std::int64_t position);

  DesignFile& file_;
  ChangeSetHeader header_;
  std::map<std::int64_t, Before> before_;
  std::vector<std::int64_t> order_;
  bool done_ = false;
};

}  // namespace ornhost::detail
