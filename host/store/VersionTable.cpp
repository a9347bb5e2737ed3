#include "host/store/VersionTable.h"

#include <pwd.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <bitset>
#include <cstdlib>
#include <ctime>
#include <map>

#include "host/controls/HostControls.h"
#include "host/store/ChangeSetTable.h"
#include "host/store/DesignFileLayout.h"
#include "host/store/DesignFileStatements.h"
#include "host/store/ProvenanceTable.h"
#include "host/store/StandardsTable.h"
#include "support/Utf.h"

namespace ornhost::detail {

namespace {

// The comments stay in the schema, for people reading the file with the sqlite3 tool.
constexpr const char* kVersionsTable =
    "CREATE TABLE setup_versions ( -- each stored state of a setup that a write of the host "
    "replaced\n"
    "  version INTEGER PRIMARY KEY, -- its key in setup_version_values\n"
    "  position INTEGER NOT NULL, -- render_setups.position of the setup, kept after a delete\n"
    "  number INTEGER NOT NULL CHECK (number >= 1), -- 1, 2, ... for each setup, newest highest\n"
    "  made_at TEXT NOT NULL CHECK (made_at IS strftime('%Y-%m-%dT%H:%M:%SZ', made_at)), -- "
    "when it was replaced, UTC\n"
    "  action TEXT NOT NULL CHECK (length(action) BETWEEN 1 AND 40), -- what replaced it: save, "
    "rename, delete, reset, ...\n"
    "  made_by TEXT NOT NULL CHECK (length(made_by) <= 256), -- the operating system's user\n"
    "  name TEXT NOT NULL CHECK (length(name) BETWEEN 1 AND 254), -- the setup's name then\n"
    "  UNIQUE (position, number)\n"
    ") STRICT";
constexpr const char* kDeletedIndex =
    "CREATE INDEX setup_versions_deleted ON setup_versions (made_at) WHERE action = 'delete'";
constexpr const char* kLimitsTable =
    "CREATE TABLE version_limits ( -- how much history the file keeps; no row: 50 versions, 30 "
    "days\n"
    "  only_row INTEGER PRIMARY KEY CHECK (only_row = 1),\n"
    "  versions_per_setup INTEGER NOT NULL CHECK (versions_per_setup BETWEEN 0 AND 1000000), -- "
    "the newest of each setup; 0 keeps none\n"
    "  deleted_days INTEGER NOT NULL CHECK (deleted_days BETWEEN 0 AND 36500) -- how long "
    "deleted setups are kept; 0 keeps none\n"
    ") STRICT";

std::string ValuesTable() {
  std::string properties;
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    properties += (i == 0 ? "'" : ", '") + std::string(SettingKey(i)) + "'";
  }
  return "CREATE TABLE setup_version_values ( -- the values each version changed, one row each\n"
         "  version INTEGER NOT NULL, -- setup_versions.version\n"
         "  property TEXT NOT NULL CHECK (property IN (" +
         properties +
         ")), -- its column in render_setups\n"
         "  old_value ANY NOT NULL CHECK (typeof(old_value) IN ('integer', 'real')), -- in the "
         "state the version keeps\n"
         "  new_value ANY CHECK (new_value IS NULL OR typeof(new_value) IN ('integer', 'real')), "
         "-- what replaced it; NULL when the setup was deleted\n"
         "  PRIMARY KEY (version, property)\n"
         ") STRICT, WITHOUT ROWID";
}

// ?2 is kLastVersionNumber wherever it appears: numbers beyond it are no numbers the host gave.
constexpr const char* kNewest =
    "SELECT max(number) FROM setup_versions WHERE position = ?1 AND number BETWEEN 1 AND ?2";
// The highest number any setup had when the history was dropped whole (history-limit 0), kept in
// SQLite's own table of highest keys given out, so that numbers go on from it.
constexpr const char* kDroppedNumbers =
    "SELECT max(seq) FROM sqlite_sequence WHERE name = 'setup_versions' AND seq BETWEEN 1 AND ?1";
constexpr const char* kInsertVersion =
    "INSERT INTO setup_versions (position, number, made_at, action, made_by, name)"
    " VALUES (?1, ?2, ?3, ?4, ?5, ?6)";
constexpr const char* kInsertValue =
    "INSERT INTO setup_version_values (version, property, old_value, new_value)"
    " VALUES (?1, ?2, ?3, ?4)";
constexpr const char* kTrimValues =
    "DELETE FROM setup_version_values WHERE version IN"
    " (SELECT version FROM setup_versions WHERE position = ?1 AND number <= ?2)";
constexpr const char* kTrimVersions =
    "DELETE FROM setup_versions WHERE position = ?1 AND number <= ?2";
constexpr const char* kTrimMarks =
    "DELETE FROM setup_version_marks WHERE version IN"
    " (SELECT version FROM setup_versions WHERE position = ?1 AND number <= ?2)";
constexpr const char* kTrimChangeSets =
    "DELETE FROM setup_version_change_sets WHERE version IN"
    " (SELECT version FROM setup_versions WHERE position = ?1 AND number <= ?2)";
constexpr const char* kChangeSetsFrom =
    "SELECT v.number, c.change_set, s.command FROM setup_versions v"
    " JOIN setup_version_change_sets c ON c.version = v.version"
    " LEFT JOIN change_sets s ON s.id = c.change_set WHERE v.position = ?1";
constexpr const char* kInsertMark =
    "INSERT OR REPLACE INTO setup_version_marks (version, kind, property, old_text, new_text)"
    " VALUES (?1, ?2, ?3, ?4, ?5)";
constexpr const char* kMarksFrom =
    "SELECT v.number, m.kind, m.property, m.old_text, m.new_text FROM setup_versions v"
    " JOIN setup_version_marks m ON m.version = v.version WHERE v.position = ?1"
    " ORDER BY v.number DESC, m.kind, m.property";
constexpr const char* kLimits = "SELECT versions_per_setup, deleted_days FROM version_limits";
constexpr const char* kVersionsFrom =
    "SELECT v.number, v.action, v.name, p.property, p.old_value, v.made_at, v.made_by,"
    " p.new_value FROM setup_versions v LEFT JOIN setup_version_values p ON p.version = v.version"
    " WHERE v.position = ?1 AND v.number BETWEEN ?2 AND ?3 ORDER BY v.number DESC";
// Setups deleted and not stored again: the newest readable version of their position is the
// delete.
constexpr const char* kDeletedWhere =
    " FROM setup_versions v WHERE v.action = 'delete'"
    " AND v.number = (SELECT max(number) FROM setup_versions w"
    " WHERE w.position = v.position AND w.number BETWEEN 1 AND ?2)"
    " AND NOT EXISTS (SELECT 1 FROM render_setups r WHERE r.position = v.position)";

std::u16string NameOf(sqlite3_stmt* row, int column) {
  return ornr::Utf8ToUtf16(ColumnText(row, column));
}

std::string Text(sqlite3_stmt* row, int column) {
  return std::string(ColumnText(row, column));
}

std::string UtcAt(std::time_t when) {
  std::tm utc{};
  gmtime_r(&when, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

// Deleted setups made before this are past keeping.
std::string Cutoff(std::int64_t days) {
  if (days <= 0) return "9999-12-31T23:59:59Z";
  return UtcAt(std::time(nullptr) -
               static_cast<std::time_t>(std::min(days, kMostDeletedDays)) * 86400);
}

}  // namespace

const std::string& OsUser() {
  static const std::string user = [] {
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_name != nullptr && *found->pw_name != '\0') {
      return std::string(found->pw_name);
    }
    for (const char* variable : {"USER", "LOGNAME"}) {
      const char* value = std::getenv(variable);
      if (value != nullptr && *value != '\0') return std::string(value).substr(0, 256);
    }
    return "uid " + std::to_string(geteuid());
  }();
  return user;
}

std::string UtcNow() {
  return UtcAt(std::time(nullptr));
}

const std::vector<std::string>& VersionsLayOut() {
  static const std::vector<std::string> statements = {kVersionsTable, kDeletedIndex, ValuesTable(),
                                                      kLimitsTable};
  return statements;
}

VersionLimits VersionTable::Limits(DesignFile& file, std::string* problem) {
  if (file.version_ < kVersionsFormat) return {0, 0};
  Statement limits(file, kLimits, true);
  if (!limits.Step()) return {};
  // Only an edit with the table's checks off leaves a limit out of range; obeyed, one would
  // drop every version or every deleted setup at the next write. The table is STRICT: both are
  // integers.
  const VersionLimits defaults;
  VersionLimits read{sqlite3_column_int64(limits.get(), 0), sqlite3_column_int64(limits.get(), 1)};
  std::string outOfRange;
  if (read.versionsPerSetup < 0 || read.versionsPerSetup > kMostVersionsPerSetup) {
    outOfRange = "versions_per_setup = " + std::to_string(read.versionsPerSetup);
    read.versionsPerSetup = defaults.versionsPerSetup;
  }
  if (read.deletedDays < 0 || read.deletedDays > kMostDeletedDays) {
    outOfRange += (outOfRange.empty() ? "" : ", ") + std::string("deleted_days = ") +
                  std::to_string(read.deletedDays);
    read.deletedDays = defaults.deletedDays;
  }
  if (problem != nullptr) {
    problem->clear();
    if (!outOfRange.empty()) {
      *problem = "the history limits it holds are out of range (" + outOfRange +
                 "), so these count instead: " + std::to_string(read.versionsPerSetup) +
                 " versions a setup, deleted setups kept " + std::to_string(read.deletedDays) +
                 " days (history-limit sets them)";
    }
  }
  return read;
}

std::int64_t VersionTable::Newest(DesignFile& file, std::int64_t position) {
  Statement newest(file, kNewest, true);
  newest.Bind(1, position).Bind(2, kLastVersionNumber);
  return newest.Step() ? sqlite3_column_int64(newest.get(), 0) : 0;
}

std::optional<std::int64_t> VersionTable::NextNumber(DesignFile& file, std::int64_t position) {
  std::int64_t newest = Newest(file, position);
  Statement dropped(file, kDroppedNumbers, true);
  dropped.Bind(1, kLastVersionNumber);
  if (dropped.Step())
    newest = std::max<std::int64_t>(newest, sqlite3_column_int64(dropped.get(), 0));
  if (newest >= kLastVersionNumber) return std::nullopt;
  return newest + 1;
}

std::int64_t VersionTable::Insert(DesignFile& file, std::int64_t position, std::int64_t number,
                                  std::string_view action, std::u16string_view name) {
  // Once a session, deleted setups past keeping go first: their versions are never read again.
  if (!file.expiredDropped_) {
    DropExpired(file);
    file.expiredDropped_ = true;
  }
  Statement insert(file, kInsertVersion, true);
  insert.Bind(1, position)
      .Bind(2, number)
      .BindText(3, UtcNow())
      .BindText(4, action)
      .BindText(5, OsUser())
      .BindText(6, ornr::Utf16ToUtf8(name));
  insert.Step();
  const std::int64_t version = sqlite3_last_insert_rowid(file.db_);
  if (!file.changeSet_.empty() && file.version_ >= kChangeSetsFormat) {
    Statement tag(
        file, "INSERT INTO setup_version_change_sets (version, change_set) VALUES (?1, ?2)", true);
    tag.Bind(1, version).BindText(2, file.changeSet_);
    tag.Step();
  }
  return version;
}

void VersionTable::TrimTo(DesignFile& file, std::int64_t position, std::int64_t newest,
                          std::int64_t keep) {
  if (newest <= keep) return;
  if (file.version_ >= kStandardsFormat) {
    Statement trim(file, kTrimMarks, true);
    trim.Bind(1, position).Bind(2, newest - keep);
    trim.Step();
  }
  if (file.version_ >= kChangeSetsFormat) {
    Statement trim(file, kTrimChangeSets, true);
    trim.Bind(1, position).Bind(2, newest - keep);
    trim.Step();
  }
  for (const char* sql : {kTrimValues, kTrimVersions}) {
    Statement trim(file, sql, true);
    trim.Bind(1, position).Bind(2, newest - keep);
    trim.Step();
  }
}

void VersionTable::Forget(DesignFile& file, std::int64_t position) {
  TrimTo(file, position, INT64_MAX, 0);
  ProvenanceTable::ForgetAt(file, position);
  StandardsTable::Forget(file, position);
}

void VersionTable::KeepReplaced(DesignFile& file, std::int64_t position,
                                const VersionState& replaced, const VersionState& written,
                                std::string_view action, const std::vector<VersionMark>& marks) {
  const VersionLimits limits = Limits(file);
  if (limits.versionsPerSetup == 0) return;
  std::vector<std::size_t> changed;
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    // A value the table's checks would refuse cannot be kept; the version keeps the rest.
    if (replaced.values[i].type == StoredValue::Type::Other) continue;
    if (!SameStoredValue(replaced.values[i], written.values[i])) changed.push_back(i);
  }
  // A file without standards has no place for marks: what they say is not kept there.
  const bool withMarks = !marks.empty() && file.version_ >= kStandardsFormat;
  if (changed.empty() && replaced.name == written.name && !withMarks) return;
  const auto number = NextNumber(file, position);
  if (!number) return;
  const std::int64_t version = Insert(file, position, *number, action, replaced.name);
  Statement value(file, kInsertValue, true);
  for (const std::size_t i : changed) {
    value.Bind(1, version).BindText(2, SettingKey(i));
    BindStoredValue(value.get(), 3, replaced.values[i]);
    BindStoredValue(value.get(), 4, written.values[i]);
    value.Step();
  }
  if (withMarks) {
    Statement mark(file, kInsertMark, true);
    for (const VersionMark& each : marks) {
      mark.Bind(1, version)
          .BindText(2, each.kind)
          .BindText(3, each.property)
          .BindText(4, each.before)
          .BindText(5, each.after);
      mark.Step();
    }
  }
  TrimTo(file, position, *number, limits.versionsPerSetup);
}

bool VersionTable::KeepDeleted(DesignFile& file, std::int64_t position,
                               const VersionState& removed) {
  const VersionLimits limits = Limits(file);
  if (limits.versionsPerSetup == 0 || limits.deletedDays == 0) {
    Forget(file, position);
    return false;
  }
  // Without a number the versions and provenance stay as they are, unlisted.
  const auto number = NextNumber(file, position);
  if (!number) return true;
  const std::int64_t version = Insert(file, position, *number, actions::kDelete, removed.name);
  Statement value(file, kInsertValue, true);
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (removed.values[i].type == StoredValue::Type::Other) continue;
    value.Bind(1, version).BindText(2, SettingKey(i));
    BindStoredValue(value.get(), 3, removed.values[i]);
    sqlite3_bind_null(value.get(), 4);
    value.Step();
  }
  TrimTo(file, position, *number, limits.versionsPerSetup);
  return true;
}

void VersionTable::KeepUndeleted(DesignFile& file, std::int64_t position,
                                 std::u16string_view name) {
  const VersionLimits limits = Limits(file);
  if (limits.versionsPerSetup == 0) return;
  const auto number = NextNumber(file, position);
  if (!number) return;
  Insert(file, position, *number, actions::kUndelete, name);
  TrimTo(file, position, *number, limits.versionsPerSetup);
}

std::optional<VersionState> VersionTable::Current(DesignFile& file, std::int64_t position) {
  Statement current(file, file.KeptRecordSelect(false), true);
  current.Bind(1, position);
  if (!current.Step()) return std::nullopt;
  VersionState state;
  state.name = NameOf(current.get(), 1);
  ReadStoredValues(current.get(), 3, state.values);
  return state;
}

std::optional<VersionState> VersionTable::DeletedState(DesignFile& file, std::int64_t position) {
  const std::int64_t newest = Newest(file, position);
  if (newest == 0) return std::nullopt;
  Statement rows(file, kVersionsFrom, true);
  rows.Bind(1, position).Bind(2, newest).Bind(3, newest);
  VersionState state;
  std::bitset<kSettingCount> known;
  while (rows.Step()) {
    sqlite3_stmt* row = rows.get();
    if (ColumnText(row, 1) != actions::kDelete) return std::nullopt;
    state.name = NameOf(row, 2);
    const auto field = SettingIndex(ColumnText(row, 3));
    if (!field) continue;
    state.values[*field] = StoredValueOf(sqlite3_column_value(row, 4));
    known.set(*field);
  }
  if (!known.all()) {
    file.Refuse("the values of \"" + ornr::Utf16ToUtf8(state.name) +
                "\" were not all kept when it was deleted");
  }
  return state;
}

void VersionTable::DropExpired(DesignFile& file) {
  const VersionLimits limits = Limits(file);
  std::vector<std::int64_t> expired;
  {
    static const std::string sql =
        std::string("SELECT v.position") + kDeletedWhere + " AND v.made_at < ?1";
    Statement find(file, sql);
    find.BindText(1, Cutoff(limits.versionsPerSetup == 0 ? 0 : limits.deletedDays));
    find.Bind(2, kLastVersionNumber);
    while (find.Step()) expired.push_back(sqlite3_column_int64(find.get(), 0));
  }
  for (const std::int64_t position : expired) Forget(file, position);
}

std::vector<VersionEntry> VersionTable::History(DesignFile& file, std::int64_t position) {
  std::vector<VersionEntry> entries;
  if (file.version_ < kVersionsFormat) return entries;
  Statement rows(file, kVersionsFrom, true);
  rows.Bind(1, position).Bind(2, 1).Bind(3, kLastVersionNumber);
  while (rows.Step()) {
    sqlite3_stmt* row = rows.get();
    const std::int64_t number = sqlite3_column_int64(row, 0);
    if (entries.empty() || entries.back().number != number) {
      VersionEntry& entry = entries.emplace_back();
      entry.number = number;
      entry.action = Text(row, 1);
      entry.name = NameOf(row, 2);
      entry.madeAt = Text(row, 5);
      entry.madeBy = Text(row, 6);
    }
    const auto field = SettingIndex(ColumnText(row, 3));
    if (!field) continue;
    VersionChange change;
    change.field = *field;
    change.before = StoredValueOf(sqlite3_column_value(row, 4));
    if (sqlite3_column_type(row, 7) != SQLITE_NULL) {
      change.after = StoredValueOf(sqlite3_column_value(row, 7));
    }
    entries.back().changes.push_back(change);
  }
  if (file.version_ >= kStandardsFormat && !entries.empty()) {
    Statement marks(file, kMarksFrom, true);
    marks.Bind(1, position);
    auto entry = entries.begin();
    while (marks.Step()) {
      sqlite3_stmt* row = marks.get();
      const std::int64_t number = sqlite3_column_int64(row, 0);
      while (entry != entries.end() && entry->number > number) ++entry;
      if (entry == entries.end()) break;
      if (entry->number != number) continue;
      entry->marks.push_back({Text(row, 1), Text(row, 2), Text(row, 3), Text(row, 4)});
    }
  }
  if (file.version_ >= kChangeSetsFormat && !entries.empty()) {
    std::map<std::int64_t, std::pair<std::string, std::string>> ids;
    Statement tags(file, kChangeSetsFrom, true);
    tags.Bind(1, position);
    while (tags.Step()) {
      ids[sqlite3_column_int64(tags.get(), 0)] = {Text(tags.get(), 1), Text(tags.get(), 2)};
    }
    for (VersionEntry& entry : entries) {
      if (const auto found = ids.find(entry.number); found != ids.end()) {
        entry.changeSet = found->second.first;
        entry.changeSetCommand = found->second.second;
      }
    }
  }
  // Rows come in the order of their key, by property name.
  for (VersionEntry& entry : entries) {
    std::sort(entry.changes.begin(), entry.changes.end(),
              [](const VersionChange& a, const VersionChange& b) { return a.field < b.field; });
  }
  return entries;
}

std::optional<VersionState> VersionTable::StateAt(DesignFile& file, std::int64_t position,
                                                  std::int64_t number) {
  if (file.version_ < kVersionsFormat) return std::nullopt;
  std::optional<VersionState> current = Current(file, position);
  VersionState state = current.value_or(VersionState{});
  std::bitset<kSettingCount> known;
  if (current) known.set();
  Statement rows(file, kVersionsFrom, true);
  rows.Bind(1, position).Bind(2, number).Bind(3, kLastVersionNumber);
  bool found = false;
  while (rows.Step()) {
    sqlite3_stmt* row = rows.get();
    const std::int64_t at = sqlite3_column_int64(row, 0);
    // A reset kept unsaved values beside the stored states, not between them.
    if (at != number && ColumnText(row, 1) == actions::kReset) continue;
    found = found || at == number;
    state.name = NameOf(row, 2);
    const auto field = SettingIndex(ColumnText(row, 3));
    if (!field) continue;
    state.values[*field] = StoredValueOf(sqlite3_column_value(row, 4));
    known.set(*field);
  }
  if (!found) return std::nullopt;
  if (!known.all()) {
    file.Refuse("version " + std::to_string(number) + " of \"" + ornr::Utf16ToUtf8(state.name) +
                "\" cannot be rebuilt: the setup was removed without a version, in plain SQL");
  }
  return state;
}

std::vector<DeletedEntry> VersionTable::Deleted(DesignFile& file) {
  std::vector<DeletedEntry> deleted;
  const VersionLimits limits = Limits(file);
  if (limits.versionsPerSetup == 0 || limits.deletedDays == 0) return deleted;
  static const std::string sql =
      std::string(
          "SELECT v.position, v.name, v.made_at, v.made_by,"
          " (SELECT count(*) FROM setup_versions c WHERE c.position = v.position"
          " AND c.number BETWEEN 1 AND ?2)") +
      kDeletedWhere + " AND v.made_at >= ?1 ORDER BY v.made_at DESC, v.version DESC";
  Statement rows(file, sql);
  rows.BindText(1, Cutoff(limits.deletedDays)).Bind(2, kLastVersionNumber);
  while (rows.Step()) {
    sqlite3_stmt* row = rows.get();
    deleted.push_back({sqlite3_column_int64(row, 0), NameOf(row, 1), Text(row, 2), Text(row, 3),
                       sqlite3_column_int64(row, 4)});
  }
  return deleted;
}

void VersionTable::SetLimits(DesignFile& file, const VersionLimits& limits) {
  Transaction transaction(file);
  {
    Statement set(file,
                  "INSERT INTO version_limits (only_row, versions_per_setup, deleted_days)"
                  " VALUES (1, ?1, ?2) ON CONFLICT (only_row) DO UPDATE SET"
                  " versions_per_setup = excluded.versions_per_setup,"
                  " deleted_days = excluded.deleted_days");
    set.Bind(1, limits.versionsPerSetup).Bind(2, limits.deletedDays);
    set.Step();
  }
  // Numbers go on from the highest given out, also when none is kept.
  if (limits.versionsPerSetup == 0) {
    std::int64_t highest = 0;
    for (const char* sql : {"SELECT max(number) FROM setup_versions WHERE number BETWEEN 1 AND ?1",
                            kDroppedNumbers}) {
      Statement read(file, sql, true);
      read.Bind(1, kLastVersionNumber);
      if (read.Step())
        highest = std::max<std::int64_t>(highest, sqlite3_column_int64(read.get(), 0));
    }
    file.Exec("DELETE FROM sqlite_sequence WHERE name = 'setup_versions'");
    if (highest > 0) {
      Statement keep(file, "INSERT INTO sqlite_sequence (name, seq) VALUES ('setup_versions', ?1)");
      keep.Bind(1, highest);
      keep.Step();
    }
  }
  std::vector<std::pair<std::int64_t, std::int64_t>> over;
  {
    Statement find(file,
                   "SELECT position, max(number) FROM setup_versions WHERE number BETWEEN 1 AND ?2"
                   " GROUP BY position HAVING count(*) > ?1");
    find.Bind(1, limits.versionsPerSetup).Bind(2, kLastVersionNumber);
    while (find.Step()) {
      over.emplace_back(sqlite3_column_int64(find.get(), 0), sqlite3_column_int64(find.get(), 1));
    }
  }
  for (const auto& [position, newest] : over) {
    TrimTo(file, position, newest, limits.versionsPerSetup);
  }
  // A deleted setup without versions is gone for good: its provenance goes with it.
  if (limits.versionsPerSetup == 0) {
    file.Exec(
        "DELETE FROM setup_provenance_values WHERE position NOT IN"
        " (SELECT position FROM render_setups)");
    file.Exec(
        "DELETE FROM setup_provenance WHERE position NOT IN (SELECT position FROM render_setups)");
    if (file.version_ >= kStandardsFormat) {
      for (const char* table :
           {"setup_provenance_scope", "setup_scopes", "setup_locks", "setup_notes",
            "setup_overrides", "setup_overlays", "setup_overlay_values"}) {
        file.Exec(("DELETE FROM " + std::string(table) +
                   " WHERE position NOT IN (SELECT position FROM render_setups)")
                      .c_str());
      }
    }
  }
  // Change sets are kept apart from versions: trimming leaves them, keeping no history ends them.
  if (limits.versionsPerSetup == 0) ChangeSetTable::ForgetAll(file);
  DropExpired(file);
  transaction.Commit();
  file.expiredDropped_ = true;
}

}  // namespace ornhost::detail
