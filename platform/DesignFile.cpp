#include "platform/DesignFile.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <tuple>

#include "platform/HostControls.h"
#include "platform/ProvenanceTable.h"
#include "platform/SettingsText.h"
#include "support/Utf.h"

namespace ornhost::detail {

namespace {

// The comments stay in the schema, for people reading the file with the sqlite3 tool.
constexpr const char* kLayOutV1 =
    "CREATE TABLE render_setups (\n"
    "  position INTEGER PRIMARY KEY, -- the host's order of the setups\n"
    "  name BLOB NOT NULL UNIQUE,    -- UTF-16LE code units, exactly as the host holds them\n"
    "  name_utf8 TEXT NOT NULL,      -- the same name, readable\n"
    "  settings TEXT NOT NULL        -- one Key=value line a field\n"
    ")";
constexpr const char* kLayOut =
    "CREATE TABLE render_setups (\n"
    "  position INTEGER PRIMARY KEY, -- the host's order of the setups\n"
    "  name BLOB NOT NULL UNIQUE,    -- UTF-16LE code units, exactly as the host holds them\n"
    "  name_utf8 TEXT NOT NULL,      -- the same name, readable\n"
    "  settings TEXT NOT NULL,       -- one Key=value line a field\n"
    "  revision INTEGER NOT NULL DEFAULT 0 -- new with every write, so sessions see each other's\n"
    ")";
constexpr const char* kUpgradeToV2 =
    "ALTER TABLE render_setups ADD COLUMN revision INTEGER NOT NULL DEFAULT 0";

// A setup record is a few kilobytes; nothing in a design file needs more.
constexpr int kMaxValueBytes = 1 << 20;

// Little-endian whatever the machine, so that files move between machines.
std::string NameBytes(std::u16string_view name) {
  std::string bytes;
  bytes.reserve(name.size() * 2);
  for (const char16_t unit : name) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

std::string Quoted(std::u16string_view name) {
  return "\"" + ornr::Utf16ToUtf8(name) + "\"";
}

std::int64_t NewRevision() {
  std::int64_t revision = 0;
  while (revision == 0) {
    sqlite3_randomness(sizeof revision, &revision);
    revision &= INT64_MAX;
  }
  return revision;
}

int BusyTimeoutMs() {
  const char* text = std::getenv("ORNHOST_BUSY_TIMEOUT_MS");
  if (text != nullptr && *text != '\0') {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end == '\0' && value >= 0 && value <= 600000) return static_cast<int>(value);
  }
  return 5000;
}

// What went wrong, in the words of someone who keeps files, not of the database.
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
      if (error == EFBIG) return "the file has reached the largest size allowed";
      if (error == EACCES || error == EROFS || error == EPERM) return "the file is read-only";
      if (error == ENOENT) return "the file was moved, replaced or deleted while it was open";
      return std::string("the disk reported an error (") +
             (error != 0 ? std::strerror(error) : sqlite3_errmsg(db)) + ")";
    default:
      return sqlite3_errmsg(db);
  }
}

using SchemaRow = std::tuple<std::string, std::string, std::string, std::string>;

std::vector<SchemaRow> SchemaOf(sqlite3* db) {
  std::vector<SchemaRow> rows;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT type, name, tbl_name, coalesce(sql, '') FROM sqlite_schema",
                         -1, &stmt, nullptr) != SQLITE_OK) {
    return rows;
  }
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    auto text = [&](int i) {
      const auto* value = sqlite3_column_text(stmt, i);
      return value != nullptr ? std::string(reinterpret_cast<const char*>(value)) : std::string();
    };
    rows.emplace_back(text(0), text(1), text(2), text(3));
  }
  sqlite3_finalize(stmt);
  std::sort(rows.begin(), rows.end());
  return rows;
}

// The schemas our own statements make, as SQLite records them: a fresh file of each version
// and a file upgraded from version 1.
const std::vector<std::pair<int, std::vector<SchemaRow>>>& KnownSchemas() {
  static const auto known = [] {
    std::vector<std::pair<int, std::vector<SchemaRow>>> schemas;
    auto make = [&](int version, std::initializer_list<const char*> statements) {
      sqlite3* db = nullptr;
      sqlite3_open(":memory:", &db);
      for (const char* sql : statements) sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
      schemas.emplace_back(version, SchemaOf(db));
      sqlite3_close(db);
    };
    make(1, {kLayOutV1});
    make(2, {kLayOut});
    make(2, {kLayOutV1, kUpgradeToV2});
    make(3, {kLayOut, kProvenanceLayOut});
    make(3, {kLayOutV1, kUpgradeToV2, kProvenanceLayOut});
    return schemas;
  }();
  return known;
}

}  // namespace

class DesignFile::Statement {
 public:
  Statement(const DesignFile& file, const std::string& sql) : file_(file) {
    if (sqlite3_prepare_v2(file.db_, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) file.Fail();
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, std::int64_t value) {
    Check(sqlite3_bind_int64(stmt_, index, value));
    return *this;
  }
  // Copied by SQLite, so temporaries may be passed. An empty blob stays a blob, not NULL.
  Statement& BindBlob(int index, const std::string& bytes) {
    Check(sqlite3_bind_blob64(stmt_, index, bytes.empty() ? "" : bytes.data(), bytes.size(),
                              SQLITE_TRANSIENT));
    return *this;
  }
  Statement& BindText(int index, const std::string& text) {
    Check(
        sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
    return *this;
  }
  /// True while there is a row.
  bool Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    file_.Fail();
  }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  void Check(int rc) {
    if (rc != SQLITE_OK) file_.Fail();
  }
  const DesignFile& file_;
  sqlite3_stmt* stmt_ = nullptr;
};

// One write: checked, immediate (so that what it reads stays true until it commits), rolled
// back unless committed.
class DesignFile::Transaction {
 public:
  explicit Transaction(DesignFile& file) : file_(file) {
    file.CheckBeforeFirstWrite();
    file.Exec("BEGIN IMMEDIATE");
  }
  ~Transaction() {
    if (!done_) sqlite3_exec(file_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit() {
    file_.Exec("COMMIT");
    done_ = true;
  }

 private:
  DesignFile& file_;
  bool done_ = false;
};

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
  if (access == Access::ReadOnly && !existed) throw DesignFileError(label_, "does not exist");
  int flags = access == Access::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  if (!existed) flags |= SQLITE_OPEN_CREATE;
  if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    const std::string reason = db_ != nullptr ? PlainReason(db_) : "out of memory";
    sqlite3_close_v2(db_);
    throw DesignFileError(label_, "cannot be opened: " + reason);
  }
  try {
    Harden();
    CheckOrLayOut(access == Access::ReadWrite);
  } catch (...) {
    sqlite3_close_v2(db_);
    throw;
  }
}

DesignFile::~DesignFile() {
  sqlite3_close_v2(db_);
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
  sqlite3_busy_timeout(db_, BusyTimeoutMs());
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

void DesignFile::CheckOrLayOut(bool writable) {
  std::int64_t pages = 0;
  try {
    pages = QueryInteger("PRAGMA page_count");
  } catch (const DesignFileError&) {
    if ((sqlite3_extended_errcode(db_) & 0xFF) != SQLITE_NOTADB) throw;
    Refuse("is not a design file");
  }
  if (writable) Exec("PRAGMA synchronous=FULL");
  // A database without a single page is what a crash between creating and laying out leaves.
  if (pages == 0 && writable) {
    Transaction transaction(*this);
    Exec(("PRAGMA application_id=" + std::to_string(static_cast<int>(kDesignFileApplicationId)) +
          "; PRAGMA user_version=" + std::to_string(kDesignFileSchemaVersion) + "; " + kLayOut +
          "; " + kProvenanceLayOut)
             .c_str());
    transaction.Commit();
    return;
  }
  const auto id = static_cast<std::uint32_t>(QueryInteger("PRAGMA application_id"));
  const std::int64_t version = QueryInteger("PRAGMA user_version");
  if (id != kDesignFileApplicationId || version < 1) Refuse("is not a design file");
  if (version > kDesignFileSchemaVersion) {
    Refuse("has format version " + std::to_string(version) + ", newer than version " +
           std::to_string(kDesignFileSchemaVersion) + " that this host reads");
  }
  version_ = static_cast<int>(version);
}

void DesignFile::CheckBeforeFirstWrite() {
  if (!refusal_.empty()) Refuse(refusal_);
  if (checked_) return;
  // An empty file being laid out has nothing to check.
  if (QueryInteger("PRAGMA page_count") == 0) return;
  std::string verdict;
  try {
    Statement check(*this, "PRAGMA quick_check(1)");
    if (check.Step()) {
      const auto* text = sqlite3_column_text(check.get(), 0);
      verdict = text != nullptr ? reinterpret_cast<const char*>(text) : "";
    }
  } catch (const DesignFileError& error) {
    verdict = error.Reason();
  }
  if (verdict != "ok") {
    std::replace(verdict.begin(), verdict.end(), '\n', ' ');
    if (verdict.size() > 120) verdict = verdict.substr(0, 117) + "...";
    refusal_ = "the file is damaged, so nothing is written to it (" + verdict + ")";
    Refuse(refusal_);
  }
  const auto schema = SchemaOf(db_);
  const auto& known = KnownSchemas();
  if (std::none_of(known.begin(), known.end(), [&](const auto& entry) {
        return entry.first == version_ && entry.second == schema;
      })) {
    std::string extra;
    for (const auto& [type, name, table, sql] : schema) {
      if (name != "render_setups" && !name.starts_with("sqlite_autoindex_render_setups") &&
          !name.starts_with("setup_provenance")) {
        extra = " (" + type + " \"" + name + "\")";
        break;
      }
    }
    refusal_ =
        "the file holds more than a design file does" + extra + ", so nothing is written to it";
    Refuse(refusal_);
  }
  if (version_ < kDesignFileSchemaVersion) {
    Exec("BEGIN IMMEDIATE");
    try {
      // Another session may have upgraded it since it was opened.
      const std::int64_t found = QueryInteger("PRAGMA user_version");
      if (found > kDesignFileSchemaVersion) Refuse("another program has raised its format version");
      if (found < 2) Exec(kUpgradeToV2);
      if (found < 3) Exec(kProvenanceLayOut);
      Exec(("PRAGMA user_version=" + std::to_string(kDesignFileSchemaVersion)).c_str());
      Exec("COMMIT");
    } catch (...) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
    version_ = kDesignFileSchemaVersion;
  }
  checked_ = true;
}

namespace {

// A name that is not whole UTF-16 marks the record as damaged; what is there still names it.
SetupRecord RecordFrom(sqlite3_stmt* row) {
  SetupRecord record;
  record.row.position = sqlite3_column_int64(row, 0);
  record.row.revision = sqlite3_column_int64(row, 3);
  bool readable = sqlite3_column_type(row, 1) == SQLITE_BLOB;
  const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(row, 1));
  const int size = sqlite3_column_bytes(row, 1);
  if (!readable) {
    record.name = ornr::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(bytes), size));
  } else {
    readable = size % 2 == 0;
    for (int i = 0; i + 1 < size; i += 2) {
      record.name.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
  }
  if (readable && sqlite3_column_type(row, 2) == SQLITE_TEXT) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row, 2));
    record.settings = ParseSettingsRecord(std::string_view(text, sqlite3_column_bytes(row, 2)));
  }
  return record;
}

}  // namespace

std::vector<SetupRecord> DesignFile::Load() {
  std::vector<SetupRecord> records;
  const std::string sql = std::string("SELECT position, name, settings, ") +
                          (version_ >= 2 ? "revision" : "0") +
                          " FROM render_setups ORDER BY position";
  Statement statement(*this, sql);
  try {
    while (statement.Step()) records.push_back(RecordFrom(statement.get()));
  } catch (const DesignFileError& error) {
    const int code = sqlite3_extended_errcode(db_) & 0xFF;
    if (code != SQLITE_CORRUPT && code != SQLITE_TOOBIG && code != SQLITE_NOTADB) throw;
    // What was read is shown; the rest is not, and the file is left as it is.
    refusal_ = "the file is damaged, so nothing is written to it";
    readProblem_ =
        label_ + ": " + error.Reason() + "; setups stored " +
        (records.empty() ? std::string("in it") : "after " + Quoted(records.back().name)) +
        " cannot be read, and nothing is written to it";
  }
  return records;
}

std::optional<SetupRecord> DesignFile::ReadWhere(const char* where, std::int64_t position,
                                                 const std::string* nameBytes) {
  Statement statement(*this, std::string("SELECT position, name, settings, ") +
                                 (version_ >= 2 ? "revision" : "0") + " FROM render_setups WHERE " +
                                 where);
  if (nameBytes != nullptr) {
    statement.BindBlob(1, *nameBytes);
  } else {
    statement.Bind(1, position);
  }
  if (!statement.Step()) return std::nullopt;
  return RecordFrom(statement.get());
}

std::optional<SetupRecord> DesignFile::Read(RowRef row) {
  return ReadWhere("position = ?1", row.position, nullptr);
}

std::int64_t DesignFile::FreePosition() {
  Statement statement(*this, "SELECT max(position) FROM render_setups");
  statement.Step();
  if (sqlite3_column_type(statement.get(), 0) == SQLITE_NULL) return 1;
  const std::int64_t highest = sqlite3_column_int64(statement.get(), 0);
  if (highest == INT64_MAX) Refuse("the file has no free position for another setup");
  return highest + 1;
}

RowRef DesignFile::Write(std::optional<std::int64_t> position, std::u16string_view name,
                         const Teskor::ZelPlatform::OrnSettings& settings) {
  const RowRef row{position ? *position : FreePosition(), NewRevision()};
  Statement statement(*this,
                      "INSERT INTO render_setups (position, name, name_utf8, settings, revision)"
                      " VALUES (?1, ?2, ?3, ?4, ?5) ON CONFLICT (position) DO UPDATE SET"
                      " name = excluded.name, name_utf8 = excluded.name_utf8,"
                      " settings = excluded.settings, revision = excluded.revision");
  statement.Bind(1, row.position)
      .BindBlob(2, NameBytes(name))
      .BindText(3, ornr::Utf16ToUtf8(name))
      .BindText(4, FormatSettingsRecord(settings))
      .Bind(5, row.revision);
  statement.Step();
  return row;
}

RowRef DesignFile::Insert(std::u16string_view name,
                          const Teskor::ZelPlatform::OrnSettings& settings) {
  Transaction transaction(*this);
  const std::string bytes = NameBytes(name);
  if (ReadWhere("name = ?1", 0, &bytes)) {
    Refuse("another session has stored a setup named " + Quoted(name) + " in the meantime");
  }
  const RowRef row = Write(std::nullopt, name, settings);
  transaction.Commit();
  return row;
}

RowRef DesignFile::Update(RowRef row, std::u16string_view name,
                          const Teskor::ZelPlatform::OrnSettings& settings, bool force) {
  Transaction transaction(*this);
  const std::string bytes = NameBytes(name);
  const auto current = Read(row);
  const auto holder = ReadWhere("name = ?1", 0, &bytes);
  std::int64_t position = row.position;
  if (holder && holder->row.position != row.position) {
    if (!force) {
      Refuse("another session has stored a setup named " + Quoted(name) + " in the meantime");
    }
    position = holder->row.position;
  } else if (!force) {
    if (!current) Refuse("another session has deleted it since this session read it");
    if (current->row.revision != row.revision) {
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
    transaction.Commit();
    return holder->row;
  }
  const RowRef written = Write(position, name, settings);
  transaction.Commit();
  return written;
}

RowRef DesignFile::Rename(RowRef row, std::u16string_view newName) {
  Transaction transaction(*this);
  const auto current = Read(row);
  if (!current) Refuse("another session has deleted it since this session read it");
  if (current->row.revision != row.revision) {
    Refuse("another session has changed or renamed it since this session read it");
  }
  const std::string bytes = NameBytes(newName);
  if (const auto holder = ReadWhere("name = ?1", 0, &bytes);
      holder && holder->row.position != row.position) {
    Refuse("it already holds a setup named " + Quoted(newName));
  }
  const RowRef renamed{row.position, NewRevision()};
  Statement statement(
      *this,
      "UPDATE render_setups SET name = ?2, name_utf8 = ?3, revision = ?4 WHERE position = ?1");
  statement.Bind(1, row.position)
      .BindBlob(2, bytes)
      .BindText(3, ornr::Utf16ToUtf8(newName))
      .Bind(4, renamed.revision);
  statement.Step();
  transaction.Commit();
  return renamed;
}

void DesignFile::Remove(RowRef row) {
  Transaction transaction(*this);
  const auto current = Read(row);
  if (!current) return;
  if (current->row.revision != row.revision) {
    Refuse("another session has changed it since this session read it");
  }
  Statement statement(*this, "DELETE FROM render_setups WHERE position = ?1");
  statement.Bind(1, row.position);
  statement.Step();
  // Where a setup came from goes with it.
  for (const char* sql : kForgetProvenance) {
    Statement forget(*this, sql);
    forget.Bind(1, row.position);
    forget.Step();
  }
  transaction.Commit();
}

RowRef DesignFile::Upsert(std::u16string_view name,
                          const Teskor::ZelPlatform::OrnSettings& settings) {
  Transaction transaction(*this);
  const std::string bytes = NameBytes(name);
  const auto holder = ReadWhere("name = ?1", 0, &bytes);
  const RowRef row =
      Write(holder ? std::optional(holder->row.position) : std::nullopt, name, settings);
  transaction.Commit();
  return row;
}

void DesignFile::PutAll(
    const std::vector<std::pair<std::u16string, Teskor::ZelPlatform::OrnSettings>>& records) {
  Transaction transaction(*this);
  for (const auto& [name, settings] : records) {
    const std::string bytes = NameBytes(name);
    const auto holder = ReadWhere("name = ?1", 0, &bytes);
    Write(holder ? std::optional(holder->row.position) : std::nullopt, name, settings);
  }
  transaction.Commit();
}

bool DesignFile::Damage(std::u16string_view name) {
  // Half a record, as a torn write would leave it.
  Transaction transaction(*this);
  Statement statement(
      *this,
      "UPDATE render_setups SET settings = substr(settings, 1, length(settings) / 2)"
      " WHERE name = ?1");
  statement.BindBlob(1, NameBytes(name));
  statement.Step();
  const bool changed = sqlite3_changes(db_) > 0;
  transaction.Commit();
  return changed;
}

}  // namespace ornhost::detail
