#include "host/store/DesignFile.h"

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <tuple>
#include <unordered_set>

#include "host/controls/HostControls.h"
#include "host/store/DesignFileLayout.h"
#include "host/store/DesignFileStatements.h"
#include "host/store/FileCheck.h"
#include "host/store/ProvenanceTable.h"
#include "host/store/SettingsColumns.h"
#include "host/store/SettingsText.h"
#include "host/store/SetupNames.h"
#include "host/store/StandardsTable.h"
#include "host/store/VersionTable.h"
#include "support/Utf.h"

namespace ornhost::detail {

namespace {

// A setup record is a few kilobytes; nothing in a design file needs more.
constexpr int kMaxValueBytes = 1 << 20;

using ornr::Quoted;

std::int64_t NewRevision() {
  std::int64_t revision = 0;
  while (revision == 0) {
    sqlite3_randomness(sizeof revision, &revision);
    revision &= INT64_MAX;
  }
  return revision;
}

// Sessions that share a file take turns at writing. A write holds the file for milliseconds; a
// session that writes back to back lets go of it for microseconds only. SQLite's own waiting
// looks again after up to 100 ms and so may miss every such moment for as long as it waits.
// Waiting sessions look every millisecond at most, and a session that has written back to back
// for a while leaves the file free for longer than that, so that whoever waits gets in.
constexpr auto kLookAgainAfter = std::chrono::microseconds(1000);
constexpr auto kTurnGap = std::chrono::microseconds(2000);
constexpr auto kLongestTurn = std::chrono::milliseconds(100);

int BusyTimeoutMs() {
  const char* text = std::getenv("ORNHOST_BUSY_TIMEOUT_MS");
  if (text != nullptr && *text != '\0') {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end == '\0' && value >= 0 && value <= 600000) return static_cast<int>(value);
  }
  return 5000;
}

}  // namespace

std::string PlainReason(sqlite3* db) {
  const int code = sqlite3_extended_errcode(db);
  const int error = sqlite3_system_errno(db);
  switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return "the file is locked by another program";
    case SQLITE_FULL:
      return "the disk is full";
    case SQLITE_READONLY:
      if (code == SQLITE_READONLY_DBMOVED) {
        return "the file was moved, replaced or deleted while it was open";
      }
      if (code == SQLITE_READONLY_ROLLBACK) {
        return "a program stopped while writing it; open it once as the master file to repair it";
      }
      if (code == SQLITE_READONLY_DIRECTORY) return "its folder is read-only";
      return "the file is read-only";
    case SQLITE_CANTOPEN:
      if (error == EACCES || error == EROFS || error == EPERM) {
        return "the file or its folder is read-only";
      }
      return std::string("the file cannot be opened (") + std::strerror(error) + ")";
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return "permission denied";
    case SQLITE_CORRUPT:
      return "the file is damaged";
    case SQLITE_NOTADB:
      return "it is not a design file";
    case SQLITE_TOOBIG:
      return "it holds a record too large for a design file";
    case SQLITE_NOMEM:
      return "out of memory";
    case SQLITE_IOERR:
      if (error == ENOSPC || error == EDQUOT) return "the disk is full";
      if (error == EFBIG) {
        rlimit limit{};
        const bool limited =
            getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY;
        return limited ? "the file has reached this process's file-size limit, ulimit -f"
                       : "the file has reached the largest size allowed";
      }
      if (error == EACCES || error == EROFS || error == EPERM) return "the file is read-only";
      if (error == ENOENT) return "the file was moved, replaced or deleted while it was open";
      return std::string("the disk reported an error (") +
             (error != 0 ? std::strerror(error) : sqlite3_errmsg(db)) + ")";
    default:
      return sqlite3_errmsg(db);
  }
}

DesignFile::DesignFile(const std::filesystem::path& path, Access access)
    : path_(path.string()), label_("design file \"" + path.string() + "\"") {
  // SQLite would make a journal beside a device and read a pipe to its end.
  struct stat info {};
  const bool existed = stat(path.c_str(), &info) == 0;
  if (existed && !S_ISREG(info.st_mode)) {
    throw DesignFileError(label_, S_ISDIR(info.st_mode)    ? "is a folder, not a design file"
                                  : S_ISFIFO(info.st_mode) ? "is a pipe, not a design file"
                                  : S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)
                                      ? "is a device, not a design file"
                                      : "is not a regular file");
  }
  if (!existed && errno != ENOENT) {
    throw DesignFileError(label_, std::string("cannot be read (") + std::strerror(errno) + ")");
  }
  if (access != Access::ReadWrite && !existed) throw DesignFileError(label_, "does not exist");
  if (existed) openedBytes_ = info.st_size;
  // A connection is used by one thread at a time, so it needs no lock of its own around each call.
  int flags = (access == Access::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) |
              SQLITE_OPEN_NOMUTEX;
  if (!existed) flags |= SQLITE_OPEN_CREATE;
  if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    const std::string reason = db_ != nullptr ? PlainReason(db_) : "out of memory";
    sqlite3_close_v2(db_);
    throw DesignFileError(label_, "cannot be opened: " + reason);
  }
  try {
    Harden();
    CheckOrLayOut(access != Access::ReadOnly);
  } catch (...) {
    for (auto& [sql, stmt] : prepared_) sqlite3_finalize(stmt);
    sqlite3_close_v2(db_);
    throw;
  }
}

DesignFile::~DesignFile() {
  background_.reset();
  for (auto& [sql, stmt] : prepared_) sqlite3_finalize(stmt);
  sqlite3_close_v2(db_);
}

sqlite3_stmt* DesignFile::Prepared(const char* sql) {
  for (const auto& [text, stmt] : prepared_) {
    if (text == sql) return stmt;
  }
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
    Fail();
  }
  prepared_.emplace_back(sql, stmt);
  return stmt;
}

int DesignFile::WaitForLock(void* file, int attempt) {
  auto& self = *static_cast<DesignFile*>(file);
  const auto now = std::chrono::steady_clock::now();
  // SQLite counts the attempts of each statement from 0.
  if (attempt == 0) self.waitingSince_ = now;
  if (now - self.waitingSince_ >= self.busyTimeout_) return 0;
  // Most waits end within one write: the first looks come sooner.
  std::this_thread::sleep_for(
      std::min(std::chrono::microseconds(100 << std::min(attempt, 4)), kLookAgainAfter));
  return 1;
}

void DesignFile::TakeTurn() {
  const auto now = std::chrono::steady_clock::now();
  const auto since = now - released_;
  if (since >= kTurnGap) {
    turnStart_ = now;
    return;
  }
  if (now - turnStart_ < kLongestTurn) return;
  std::this_thread::sleep_for(kTurnGap - since);
  turnStart_ = std::chrono::steady_clock::now();
}

void DesignFile::Fail() const {
  throw DesignFileError(label_, PlainReason(db_));
}

void DesignFile::Refuse(const std::string& reason) const {
  throw DesignFileError(label_, reason);
}

void DesignFile::Exec(const char* sql) {
  if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail();
}

std::int64_t DesignFile::QueryInteger(const char* sql) {
  Statement statement(*this, sql);
  return statement.Step() ? sqlite3_column_int64(statement.get(), 0) : 0;
}

// Design files come from colleagues and downloads: nothing in one may run code, change how
// SQLite works or make it allocate without bound.
void DesignFile::Harden() {
  sqlite3_extended_result_codes(db_, 1);
  busyTimeout_ = std::chrono::milliseconds(BusyTimeoutMs());
  sqlite3_busy_handler(db_, &DesignFile::WaitForLock, this);
  sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
  sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
  sqlite3_limit(db_, SQLITE_LIMIT_LENGTH, kMaxValueBytes);
  sqlite3_limit(db_, SQLITE_LIMIT_SQL_LENGTH, 100000);
  sqlite3_limit(db_, SQLITE_LIMIT_COLUMN, 100);
  sqlite3_limit(db_, SQLITE_LIMIT_EXPR_DEPTH, 100);
  sqlite3_limit(db_, SQLITE_LIMIT_COMPOUND_SELECT, 3);
  sqlite3_limit(db_, SQLITE_LIMIT_VDBE_OP, 25000);
  sqlite3_limit(db_, SQLITE_LIMIT_FUNCTION_ARG, 8);
  sqlite3_limit(db_, SQLITE_LIMIT_ATTACHED, 0);
  sqlite3_limit(db_, SQLITE_LIMIT_LIKE_PATTERN_LENGTH, 50);
  sqlite3_limit(db_, SQLITE_LIMIT_TRIGGER_DEPTH, 1);
  Exec("PRAGMA cell_size_check = ON");
  Exec("PRAGMA mmap_size = 0");
}

void DesignFile::CheckBeforeFirstWrite() {
  FollowUpgrade();
  if (!refusal_.empty()) Refuse(refusal_);
  if (background_) {
    if (const auto verdict = background_->Verdict(); verdict && !verdict->empty()) {
      refusal_ = "the file is damaged, so nothing is written to it (" + *verdict + ")";
      Refuse(refusal_);
    }
  }
  if (checked_) return;
  // An empty file being laid out has nothing to check.
  if (QueryInteger("PRAGMA page_count") == 0) return;
  CheckIntegrityAndSchema(background_ == nullptr);
  if (marksToRestore_) {
    Transaction transaction(*this, false);
    Exec(HeaderMarks(version_).c_str());
    Exec(MarksRow(version_).c_str());
    transaction.Commit();
    marksToRestore_ = false;
  }
  checked_ = true;
}

void DesignFile::CheckInBackground() {
  checkInBackground_ = true;
  if (background_ || version_ < kDesignFileSchemaVersion || !readProblem_.empty()) return;
  background_ = std::make_unique<FileCheck>(path_);
}

std::string DesignFile::AwaitCheck() {
  return background_ ? background_->Wait() : std::string();
}

std::string DesignFile::RecordSelect(const char* where) const {
  std::string sql;
  if (version_ >= kColumnsVersion) {
    sql = "SELECT position, name, revision, " + SettingColumnList() + " FROM render_setups";
  } else {
    sql = std::string("SELECT position, name, ") + (version_ >= 2 ? "revision" : "0") +
          ", settings FROM render_setups";
  }
  if (where != nullptr) sql += std::string(" WHERE ") + where;
  return sql + " ORDER BY position";
}

namespace {

// The name of a record as the host holds it; problem says why it cannot be used.
void ReadName(sqlite3_stmt* row, SetupRecord& record) {
  if (sqlite3_column_type(row, 1) != SQLITE_TEXT) {
    record.problem = "its name is not text";
    return;
  }
  const std::string_view bytes = ColumnText(row, 1);
  const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) {
    record.name.assign(bytes.begin(), bytes.end());
    return;
  }
  record.name = ornr::Utf8ToUtf16(bytes);
  // Lookups go by these bytes: a name they do not spell exactly could not be found again.
  if (ornr::Utf16ToUtf8(record.name) != bytes) record.problem = "its name is not valid UTF-8";
}

}  // namespace

template <typename Each>
void DesignFile::ReadRecords(Statement& statement, Each&& each) {
  sqlite3_stmt* row = statement.get();
  if (version_ < kColumnsVersion) {
    while (statement.Step()) {
      SetupRecord record = OldRecordFrom(row);
      each(record);
    }
    return;
  }
  StoredValues values;
  SetupRecord record;
  while (statement.Step()) {
    record.row.position = sqlite3_column_int64(row, 0);
    record.row.revision = sqlite3_column_int64(row, 2);
    record.name.clear();
    record.problem.clear();
    record.settings.reset();
    ReadName(row, record);
    ReadStoredValues(row, 3, values);
    if (record.problem.empty()) record.settings = ReadSettingValues(values, record.problem);
    record.row.digest = record.settings ? RecordDigest(record.name, *record.settings)
                                        : RecordDigest(record.name, values);
    each(record);
  }
}

std::vector<SetupRecord> DesignFile::Load() {
  std::vector<SetupRecord> records;
  Load([&](SetupRecord& record) { records.push_back(std::move(record)); });
  return records;
}

void DesignFile::Load(const std::function<void(SetupRecord&)>& each) {
  // The records of a large file are read once, page after page: pages cached on the way would
  // only hold memory while the setups are loaded, when the host, the module and the panel hold
  // them all at once. The cache is as large again afterwards.
  constexpr std::int64_t kLargeFile = std::int64_t{1} << 20;
  struct RestoreCache {
    sqlite3* db;
    std::optional<std::int64_t> size;
    ~RestoreCache() {
      if (!size) return;
      const std::string sql = "PRAGMA cache_size = " + std::to_string(*size);
      sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    }
  } restore{db_, std::nullopt};
  if (openedBytes_ > kLargeFile) {
    restore.size = QueryInteger("PRAGMA cache_size");
    Exec("PRAGMA cache_size = 16");
  }
  Statement statement(*this, RecordSelect(nullptr));
  // Only for the message when the rest cannot be read.
  std::u16string last;
  bool any = false;
  try {
    ReadRecords(statement, [&](SetupRecord& record) {
      last = record.name;
      any = true;
      each(record);
    });
  } catch (const DesignFileError& error) {
    const int code = sqlite3_extended_errcode(db_) & 0xFF;
    if (code != SQLITE_CORRUPT && code != SQLITE_TOOBIG && code != SQLITE_NOTADB) throw;
    // What was read is shown; the rest is not, and the file is left as it is.
    refusal_ = "the file is damaged, so nothing is written to it";
    readProblem_ = label_ + ": " + error.Reason() + "; setups stored " +
                   (any ? "after " + Quoted(last) : std::string("in it")) +
                   " cannot be read, and nothing is written to it";
  }
}

const char* DesignFile::KeptRecordSelect(bool byName) {
  if (recordSelectVersion_ != version_) {
    // Statements prepared for another layout go with their texts.
    for (const std::string& text : recordSelect_) {
      std::erase_if(prepared_, [&](const auto& entry) {
        if (entry.first != text.c_str()) return false;
        sqlite3_finalize(entry.second);
        return true;
      });
    }
    recordSelect_[0] = RecordSelect("position = ?1");
    recordSelect_[1] = RecordSelect("name = ?1");
    recordSelectVersion_ = version_;
  }
  return recordSelect_[byName ? 1 : 0].c_str();
}

std::optional<SetupRecord> DesignFile::ReadWhere(const char* where, std::int64_t position,
                                                 std::u16string_view name) {
  const bool byName = std::string_view(where).starts_with("name");
  Statement statement(*this, KeptRecordSelect(byName), true);
  if (byName) {
    if (version_ >= kColumnsVersion) {
      statement.BindText(1, ornr::Utf16ToUtf8(name));
    } else {
      statement.BindBlob(1, NameBytes(name));
    }
  } else {
    statement.Bind(1, position);
  }
  std::optional<SetupRecord> found;
  ReadRecords(statement, [&](SetupRecord& record) {
    if (!found) found = std::move(record);
  });
  return found;
}

std::optional<SetupRecord> DesignFile::Read(RowRef row) {
  return ReadWhere("position = ?1", row.position, {});
}

namespace {

constexpr const char* kHighestPosition =
    "SELECT max(coalesce((SELECT seq FROM sqlite_sequence WHERE name = 'render_setups'), 0),"
    " coalesce((SELECT max(position) FROM render_setups), 0))";

const char* UpsertSql() {
  static const std::string sql = [] {
    const std::string columns = SettingColumnList();
    std::string sql =
        "INSERT INTO render_setups (position, name, revision, " + columns + ") VALUES (?1, ?2, ?3";
    for (std::size_t i = 0; i < kSettingCount; ++i) sql += ", ?" + std::to_string(i + 4);
    sql +=
        ") ON CONFLICT (position) DO UPDATE SET name = excluded.name,"
        " revision = excluded.revision";
    std::size_t from = 0;
    while (from < columns.size()) {
      std::size_t comma = columns.find(", ", from);
      if (comma == std::string::npos) comma = columns.size();
      const std::string column = columns.substr(from, comma - from);
      sql += ", " + column + " = excluded." + column;
      from = comma + 2;
    }
    return sql;
  }();
  return sql.c_str();
}

}  // namespace

RowRef DesignFile::Write(std::optional<std::int64_t> position, std::u16string_view name,
                         const Teskor::ZelPlatform::OrnSettings& settings) {
  if (!position) {
    // SQLite would give out no position past the largest and call the file full.
    Statement highest(*this, kHighestPosition, true);
    if (highest.Step() && sqlite3_column_int64(highest.get(), 0) == INT64_MAX) {
      Refuse("the file has no free position for another setup");
    }
  }
  RowRef row{position.value_or(0), NewRevision(), RecordDigest(name, settings)};
  Statement statement(*this, UpsertSql(), true);
  // Without a position SQLite gives out one above any it gave out before (AUTOINCREMENT), so a
  // new setup never takes over the versions of a deleted one.
  if (position) {
    statement.Bind(1, *position);
  } else {
    sqlite3_bind_null(statement.get(), 1);
  }
  statement.BindText(2, ornr::Utf16ToUtf8(name)).Bind(3, row.revision);
  const StoredValues values = SettingValues(settings);
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    const int index = static_cast<int>(i) + 4;
    if (values[i].type == StoredValue::Type::Real) {
      statement.BindReal(index, values[i].real);
    } else {
      statement.Bind(index, values[i].integer);
    }
  }
  statement.Step();
  if (!position) row.position = sqlite3_last_insert_rowid(db_);
  return row;
}

VersionState DesignFile::StateOf(const SetupRecord& record) {
  VersionState state{record.name, {}};
  if (record.settings) {
    state.values = SettingValues(*record.settings);
    return state;
  }
  // An unreadable record: what of it a version can keep is what the columns hold.
  Statement raw(*this, KeptRecordSelect(false), true);
  raw.Bind(1, record.row.position);
  if (raw.Step()) ReadStoredValues(raw.get(), 3, state.values);
  return state;
}

void DesignFile::KeepReplaced(const SetupRecord& replaced, std::u16string_view name,
                              const Teskor::ZelPlatform::OrnSettings& settings,
                              std::string_view action, const std::vector<VersionMark>& marks) {
  if (version_ < kVersionsFormat) return;
  VersionTable::KeepReplaced(*this, replaced.row.position, StateOf(replaced),
                             VersionState{std::u16string(name), SettingValues(settings)}, action,
                             marks);
}

RowRef DesignFile::Insert(std::u16string_view name,
                          const Teskor::ZelPlatform::OrnSettings& settings,
                          const WriteAlongside& alongside) {
  Transaction transaction(*this);
  if (ReadWhere("name = ?1", 0, name)) {
    Refuse("another session has stored a setup named " + Quoted(name) + " in the meantime");
  }
  const RowRef row = Write(std::nullopt, name, settings);
  // A new setup replaced nothing, so its version is none: what goes with it needs no marks.
  if (alongside) alongside(row.position);
  transaction.Commit();
  return row;
}

namespace {

// Another session's write changes the revision; an edit in plain SQL changes the digest.
bool ChangedSince(const SetupRecord& current, const RowRef& row) {
  return current.row.revision != row.revision || current.row.digest != row.digest;
}

}  // namespace

RowRef DesignFile::Update(RowRef row, std::u16string_view name,
                          const Teskor::ZelPlatform::OrnSettings& settings, bool force,
                          std::string_view action, const WriteAlongside& alongside) {
  Transaction transaction(*this);
  const auto current = Read(row);
  const auto holder = ReadWhere("name = ?1", 0, name);
  std::int64_t position = row.position;
  if (holder && holder->row.position != row.position) {
    if (!force) {
      Refuse("another session has stored a setup named " + Quoted(name) + " in the meantime");
    }
    position = holder->row.position;
  } else if (!force) {
    if (!current) Refuse("another session has deleted it since this session read it");
    if (ChangedSince(*current, row)) {
      if (current->name != name) {
        Refuse("another session has renamed it to " + Quoted(current->name) +
               " since this session read it");
      }
      Refuse(
          "another session has changed it since this session read it (reset takes that "
          "copy, duplicate keeps both, a forced save overwrites it)");
    }
  }
  // Writing what the file holds already would only make other sessions' copies look stale.
  if (holder && holder->row.position == position && holder->settings &&
      holder->settings->Equals(settings)) {
    if (alongside) {
      const std::vector<VersionMark> marks = alongside(position);
      if (!marks.empty()) KeepReplaced(*holder, name, settings, action, marks);
    }
    transaction.Commit();
    return holder->row;
  }
  const RowRef written = Write(position, name, settings);
  const std::vector<VersionMark> marks =
      alongside ? alongside(position) : std::vector<VersionMark>();
  const std::optional<SetupRecord>& replaced = position == row.position ? current : holder;
  if (replaced && replaced->row.position == position) {
    KeepReplaced(*replaced, name, settings, action, marks);
  }
  transaction.Commit();
  return written;
}

void DesignFile::UpdateAll(
    const std::vector<Rewrite>& rewrites, std::string_view action,
    const std::function<void(std::size_t index, std::int64_t position)>& alongside) {
  Transaction transaction(*this);
  for (std::size_t i = 0; i < rewrites.size(); ++i) {
    const Rewrite& rewrite = rewrites[i];
    const auto current = Read(rewrite.row);
    if (!current)
      Refuse("another session has deleted " + Quoted(rewrite.name) + " since it was read");
    if (ChangedSince(*current, rewrite.row) || current->name != rewrite.name) {
      Refuse("another session has changed " + Quoted(rewrite.name) + " since it was read");
    }
    if (!current->settings || !current->settings->Equals(rewrite.settings)) {
      Write(rewrite.row.position, rewrite.name, rewrite.settings);
      KeepReplaced(*current, rewrite.name, rewrite.settings, action);
    }
    if (alongside) alongside(i, rewrite.row.position);
  }
  transaction.Commit();
}

RowRef DesignFile::Rename(RowRef row, std::u16string_view newName) {
  Transaction transaction(*this);
  const auto current = Read(row);
  if (!current) Refuse("another session has deleted it since this session read it");
  if (ChangedSince(*current, row)) {
    Refuse("another session has changed or renamed it since this session read it");
  }
  if (const auto holder = ReadWhere("name = ?1", 0, newName);
      holder && holder->row.position != row.position) {
    Refuse("it already holds a setup named " + Quoted(newName));
  }
  {
    Statement statement(
        *this, "UPDATE render_setups SET name = ?2, revision = ?3 WHERE position = ?1", true);
    statement.Bind(1, row.position).BindText(2, ornr::Utf16ToUtf8(newName)).Bind(3, NewRevision());
    statement.Step();
  }
  if (version_ >= kVersionsFormat) {
    const VersionState before = StateOf(*current);
    VersionState renamed = before;
    renamed.name = newName;
    VersionTable::KeepReplaced(*this, row.position, before, renamed, actions::kRename);
  }
  const auto renamed = Read(row);
  transaction.Commit();
  return renamed ? renamed->row : row;
}

void DesignFile::Remove(RowRef row) {
  Transaction transaction(*this);
  const auto current = Read(row);
  if (!current) return;
  if (ChangedSince(*current, row)) {
    Refuse("another session has changed it since this session read it");
  }
  const VersionState removed = version_ >= kVersionsFormat ? StateOf(*current) : VersionState{};
  Statement statement(*this, "DELETE FROM render_setups WHERE position = ?1", true);
  statement.Bind(1, row.position);
  statement.Step();
  // Where a setup came from stays while it can be brought back, and goes with it otherwise.
  if (version_ < kVersionsFormat || !VersionTable::KeepDeleted(*this, row.position, removed)) {
    ProvenanceTable::ForgetAt(*this, row.position);
    StandardsTable::Forget(*this, row.position);
  }
  transaction.Commit();
}

RowRef DesignFile::Upsert(std::u16string_view name,
                          const Teskor::ZelPlatform::OrnSettings& settings,
                          std::string_view action) {
  Transaction transaction(*this);
  const auto holder = ReadWhere("name = ?1", 0, name);
  const RowRef row =
      Write(holder ? std::optional(holder->row.position) : std::nullopt, name, settings);
  if (holder) KeepReplaced(*holder, name, settings, action);
  transaction.Commit();
  return row;
}

std::vector<RowRef> DesignFile::PutAll(
    const std::vector<std::pair<std::u16string, Teskor::ZelPlatform::OrnSettings>>& records,
    const std::function<void(std::size_t index, std::int64_t position)>& alongside,
    std::string_view action) {
  Transaction transaction(*this);
  std::vector<RowRef> rows;
  rows.reserve(records.size());
  for (const auto& [name, settings] : records) {
    const auto holder = ReadWhere("name = ?1", 0, name);
    rows.push_back(
        Write(holder ? std::optional(holder->row.position) : std::nullopt, name, settings));
    if (holder) KeepReplaced(*holder, name, settings, action);
    if (alongside) alongside(rows.size() - 1, rows.back().position);
  }
  transaction.Commit();
  return rows;
}

void DesignFile::KeepUnsaved(RowRef row, const Teskor::ZelPlatform::OrnSettings& unsaved) {
  if (version_ < kVersionsFormat) return;
  Transaction transaction(*this);
  const auto stored = Read(row);
  if (!stored || !stored->settings || stored->settings->Equals(unsaved)) return;
  // The unsaved values are what the version keeps; the stored ones what replaced them.
  VersionTable::KeepReplaced(*this, row.position, {stored->name, SettingValues(unsaved)},
                             {stored->name, SettingValues(*stored->settings)}, actions::kReset);
  transaction.Commit();
}

SetupRecord DesignFile::Undelete(std::int64_t position, std::u16string_view name,
                                 const std::function<void(const SetupRecord& record)>& check) {
  Transaction transaction(*this);
  if (const auto holder = ReadWhere("name = ?1", 0, name)) {
    Refuse("it holds a setup named " + Quoted(name) + " already");
  }
  if (const auto taken = Read({position, 0, 0})) {
    Refuse("the place of the deleted setup is held by " + Quoted(taken->name) +
           ", stored there in plain SQL");
  }
  const auto state = VersionTable::DeletedState(*this, position);
  if (!state) Refuse("it keeps no deleted setup at position " + std::to_string(position));
  SetupRecord record;
  record.name = name;
  record.settings = ReadSettingValues(state->values, record.problem);
  if (!record.settings) {
    Refuse("the deleted setup " + Quoted(state->name) +
           " cannot be brought back: " + record.problem);
  }
  record.row = Write(position, name, *record.settings);
  if (check) check(record);
  VersionTable::KeepUndeleted(*this, position, state->name);
  transaction.Commit();
  return record;
}

bool DesignFile::Damage(std::u16string_view name) {
  // A value out of its range, as an edit with the table's checks switched off leaves it.
  Transaction transaction(*this);
  Exec("PRAGMA ignore_check_constraints = ON");
  bool changed = false;
  try {
    Statement statement(*this, "UPDATE render_setups SET BlurPasses = -1 WHERE name = ?1");
    statement.BindText(1, ornr::Utf16ToUtf8(name));
    statement.Step();
    changed = sqlite3_changes(db_) > 0;
  } catch (...) {
    sqlite3_exec(db_, "PRAGMA ignore_check_constraints = OFF", nullptr, nullptr, nullptr);
    throw;
  }
  Exec("PRAGMA ignore_check_constraints = OFF");
  transaction.Commit();
  return changed;
}

void DesignFile::BeginBatch() {
  if (inBatch_) Refuse("a transaction is open on it already");
  CheckBeforeFirstWrite();
  TakeTurn();
  Exec("BEGIN IMMEDIATE");
  inBatch_ = true;
}

void DesignFile::CommitBatch() {
  if (!inBatch_) return;
  if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    // A commit that could not take the file leaves the transaction open: nothing of it stays.
    const std::string reason = PlainReason(db_);
    RollbackBatch();
    Refuse(reason);
  }
  inBatch_ = false;
  released_ = std::chrono::steady_clock::now();
}

void DesignFile::RollbackBatch() noexcept {
  if (!inBatch_) return;
  sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  inBatch_ = false;
  released_ = std::chrono::steady_clock::now();
}

}  // namespace ornhost::detail

namespace ornhost {

std::vector<StoredSetup> ReadSetups(const std::filesystem::path& path) {
  detail::DesignFile file(path, detail::DesignFile::Access::ReadOnly);
  std::vector<StoredSetup> setups;
  for (auto& record : file.Load()) {
    StoredSetup setup;
    setup.name = std::move(record.name);
    setup.valid = record.settings.has_value();
    if (setup.valid) setup.settings = *record.settings;
    setups.push_back(std::move(setup));
  }
  return setups;
}

}  // namespace ornhost
