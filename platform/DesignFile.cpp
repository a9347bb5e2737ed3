#include "platform/DesignFile.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <unordered_set>

#include "platform/DesignFileSql.h"
#include "platform/HostControls.h"
#include "platform/ProvenanceTable.h"
#include "platform/SettingsColumns.h"
#include "platform/SettingsText.h"
#include "platform/SetupNames.h"
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
constexpr const char* kLayOutV2 =
    "CREATE TABLE render_setups (\n"
    "  position INTEGER PRIMARY KEY, -- the host's order of the setups\n"
    "  name BLOB NOT NULL UNIQUE,    -- UTF-16LE code units, exactly as the host holds them\n"
    "  name_utf8 TEXT NOT NULL,      -- the same name, readable\n"
    "  settings TEXT NOT NULL,       -- one Key=value line a field\n"
    "  revision INTEGER NOT NULL DEFAULT 0 -- new with every write, so sessions see each other's\n"
    ")";
constexpr const char* kUpgradeToV2 =
    "ALTER TABLE render_setups ADD COLUMN revision INTEGER NOT NULL DEFAULT 0";

// Format 3: one column per property, so that plain SQL reads and changes one value by its name,
// and the table's types and checks refuse what the host could not read.
constexpr const char* kMarksTable =
    "CREATE TABLE design_file ( -- what this file is; kept beside the header so that a dump keeps "
    "it\n"
    "  only_row INTEGER PRIMARY KEY CHECK (only_row = 1),\n"
    "  application_id INTEGER NOT NULL, -- 1330794033 (\"ORN1\"), as PRAGMA application_id\n"
    "  format_version INTEGER NOT NULL  -- as PRAGMA user_version\n"
    ") STRICT";

const std::string& SetupsTable() {
  static const std::string sql =
      "CREATE TABLE render_setups ( -- one row a setup, one column a property\n"
      "  position INTEGER PRIMARY KEY, -- the host's order of the setups\n"
      "  name TEXT NOT NULL UNIQUE CHECK (length(name) BETWEEN 1 AND 254), -- renames when "
      "changed\n"
      "  revision INTEGER NOT NULL, -- new with every write of the host, so sessions see each "
      "other's\n" +
      SettingColumnDefinitions() + "\n) STRICT";
  return sql;
}

std::vector<std::string> LayOutColumns() {
  return {kMarksTable, SetupsTable(), kProvenanceLayOut};
}

// The first layout that keeps a column per property; the ones before keep a text of them all.
constexpr int kColumnsVersion = 4;

std::string MarksRow(int version) {
  return "INSERT OR REPLACE INTO design_file (only_row, application_id, format_version) VALUES "
         "(1, " +
         std::to_string(kDesignFileApplicationId) + ", " + std::to_string(version) + ")";
}

std::string HeaderMarks(int version) {
  return "PRAGMA application_id=" + std::to_string(static_cast<int>(kDesignFileApplicationId)) +
         "; PRAGMA user_version=" + std::to_string(version);
}

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
    // ANALYZE leaves planner statistics: SQLite's own tables, holding numbers, not statements.
    if (text(1).starts_with("sqlite_stat")) continue;
    rows.emplace_back(text(0), text(1), text(2), text(3));
  }
  sqlite3_finalize(stmt);
  std::sort(rows.begin(), rows.end());
  return rows;
}

// The schemas our own statements make, as SQLite records them: a fresh file of each version
// and a file upgraded from version 1 to 2.
const std::vector<std::pair<int, std::vector<SchemaRow>>>& KnownSchemas() {
  static const auto known = [] {
    std::vector<std::pair<int, std::vector<SchemaRow>>> schemas;
    auto make = [&](int version, const std::vector<std::string>& statements) {
      sqlite3* db = nullptr;
      sqlite3_open(":memory:", &db);
      for (const std::string& sql : statements) {
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
      }
      schemas.emplace_back(version, SchemaOf(db));
      sqlite3_close(db);
    };
    make(1, {kLayOutV1});
    make(2, {kLayOutV2});
    make(2, {kLayOutV1, kUpgradeToV2});
    make(3, {kLayOutV2, kProvenanceLayOut});
    make(3, {kLayOutV1, kUpgradeToV2, kProvenanceLayOut});
    make(4, LayOutColumns());
    return schemas;
  }();
  return known;
}

std::string_view ColumnText(sqlite3_stmt* row, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row, column));
  return text != nullptr ? std::string_view(text, sqlite3_column_bytes(row, column))
                         : std::string_view();
}

std::uint64_t NameHash(std::u16string_view name) {
  return std::hash<std::u16string_view>()(name);
}

// Beside the file, keeping its extension so that file dialogs still show it.
std::filesystem::path FreeBackupPath(const std::filesystem::path& path, int version) {
  const std::string stem = path.stem().string() + ".format" + std::to_string(version) + "-backup";
  for (int n = 1; n < 1000; ++n) {
    std::filesystem::path candidate = path;
    candidate.replace_filename(stem + (n > 1 ? "-" + std::to_string(n) : "") +
                               path.extension().string());
    std::error_code ec;
    if (!std::filesystem::exists(candidate, ec) && !ec) return candidate;
  }
  return {};
}

}  // namespace

struct DesignFile::Marks {
  std::int64_t applicationId = 0;
  std::int64_t version = 0;
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
    for (auto& [sql, stmt] : prepared_) sqlite3_finalize(stmt);
    sqlite3_close_v2(db_);
    throw;
  }
}

DesignFile::~DesignFile() {
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
    Exec(HeaderMarks(kDesignFileSchemaVersion).c_str());
    for (const std::string& sql : LayOutColumns()) Exec(sql.c_str());
    Exec(MarksRow(kDesignFileSchemaVersion).c_str());
    transaction.Commit();
    return;
  }
  auto id = static_cast<std::uint32_t>(QueryInteger("PRAGMA application_id"));
  std::int64_t version = QueryInteger("PRAGMA user_version");
  // The table is only consulted: a file without it is read by its header alone.
  std::optional<Marks> marks;
  bool hasMarksTable = false;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db_, "SELECT application_id, format_version FROM design_file", -1, &stmt,
                         nullptr) == SQLITE_OK) {
    hasMarksTable = true;
    if (sqlite3_step(stmt) == SQLITE_ROW) {
      marks = Marks{sqlite3_column_int64(stmt, 0), sqlite3_column_int64(stmt, 1)};
    }
  }
  sqlite3_finalize(stmt);
  // A dump restored into a new file keeps the table but not the header's marks.
  if (id == 0 && version == 0 && marks) {
    id = static_cast<std::uint32_t>(marks->applicationId);
    version = marks->version;
    marksToRestore_ = true;
  }
  if (id != kDesignFileApplicationId || version < 1) Refuse("is not a design file");
  if (version > kDesignFileSchemaVersion) {
    Refuse("has format version " + std::to_string(version) + ", newer than version " +
           std::to_string(kDesignFileSchemaVersion) + " that this host reads");
  }
  if (marks && (marks->applicationId != kDesignFileApplicationId || marks->version != version)) {
    Refuse("is damaged: its header says format version " + std::to_string(version) +
           ", its design_file table format version " + std::to_string(marks->version));
  }
  if (version >= kColumnsVersion && hasMarksTable && !marks) marksToRestore_ = true;
  version_ = static_cast<int>(version);
  if (version_ < kDesignFileSchemaVersion) {
    refusal_ = "it has format version " + std::to_string(version_) +
               ", which this host reads but no longer writes; \"upgrade " + path_ +
               "\" converts it, keeping a copy of it beside it";
  }
}

void DesignFile::CheckIntegrityAndSchema() {
  std::string verdict;
  try {
    Statement check(*this, "PRAGMA quick_check(100)");
    while (check.Step()) {
      const std::string_view line = ColumnText(check.get(), 0);
      // A value out of its range makes its own record unreadable, not the file.
      if (line.starts_with("CHECK constraint failed in")) continue;
      verdict = line;
      if (line != "ok") break;
    }
    if (verdict.empty()) verdict = "ok";
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
      const bool ours = name == "render_setups" || name == "design_file" ||
                        name.starts_with("sqlite_autoindex_render_setups") ||
                        name.starts_with("setup_provenance");
      if (!ours) {
        extra = " (" + type + " \"" + name + "\")";
        break;
      }
    }
    refusal_ = extra.empty() ? "its tables are not those of a design file of format version " +
                                   std::to_string(version_) + ", so nothing is written to it"
                             : "the file holds more than a design file does" + extra +
                                   ", so nothing is written to it";
    Refuse(refusal_);
  }
}

void DesignFile::CheckBeforeFirstWrite() {
  if (!refusal_.empty()) Refuse(refusal_);
  if (checked_) return;
  // An empty file being laid out has nothing to check.
  if (QueryInteger("PRAGMA page_count") == 0) return;
  CheckIntegrityAndSchema();
  if (marksToRestore_) {
    Transaction transaction(*this, false);
    Exec(HeaderMarks(version_).c_str());
    Exec(MarksRow(version_).c_str());
    transaction.Commit();
    marksToRestore_ = false;
  }
  checked_ = true;
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

constexpr const char* kNotWholeUtf16 = "its name is not whole UTF-16";

// Formats 1 and 2: the name as UTF-16LE code units, the settings as one text.
SetupRecord OldRecordFrom(sqlite3_stmt* row) {
  SetupRecord record;
  record.row.position = sqlite3_column_int64(row, 0);
  record.row.revision = sqlite3_column_int64(row, 2);
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
  if (!readable) {
    record.problem = kNotWholeUtf16;
  } else if (sqlite3_column_type(row, 3) == SQLITE_TEXT) {
    record.settings = ParseSettingsRecord(ColumnText(row, 3));
  }
  if (readable && !record.settings) record.problem = "its settings record cannot be read";
  record.row.digest =
      record.settings ? RecordDigest(record.name, *record.settings) : NameHash(record.name);
  return record;
}

}  // namespace

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

// One lock of the connection a column: its value is read without another.
void ReadValues(sqlite3_stmt* row, StoredValues& values) {
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    sqlite3_value* column = sqlite3_column_value(row, static_cast<int>(i) + 3);
    StoredValue& value = values[i];
    switch (sqlite3_value_type(column)) {
      case SQLITE_INTEGER:
        value.type = StoredValue::Type::Integer;
        value.integer = sqlite3_value_int64(column);
        break;
      case SQLITE_FLOAT:
        value.type = StoredValue::Type::Real;
        value.real = sqlite3_value_double(column);
        break;
      case SQLITE_TEXT:
        value.type = StoredValue::Type::Other;
        value.other = "text";
        break;
      case SQLITE_BLOB:
        value.type = StoredValue::Type::Other;
        value.other = "a blob";
        break;
      default:
        value.type = StoredValue::Type::Other;
        value.other = "NULL";
    }
  }
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
    ReadValues(row, values);
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

std::optional<SetupRecord> DesignFile::ReadWhere(const char* where, std::int64_t position,
                                                 std::u16string_view name) {
  Statement statement(*this, RecordSelect(where));
  if (std::string_view(where).starts_with("name")) {
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

std::int64_t DesignFile::FreePosition() {
  Statement statement(*this, "SELECT max(position) FROM render_setups", true);
  statement.Step();
  if (sqlite3_column_type(statement.get(), 0) == SQLITE_NULL) return 1;
  const std::int64_t highest = sqlite3_column_int64(statement.get(), 0);
  if (highest == INT64_MAX) Refuse("the file has no free position for another setup");
  return highest + 1;
}

namespace {

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
  const RowRef row{position ? *position : FreePosition(), NewRevision(),
                   RecordDigest(name, settings)};
  Statement statement(*this, UpsertSql(), true);
  statement.Bind(1, row.position).BindText(2, ornr::Utf16ToUtf8(name)).Bind(3, row.revision);
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
  return row;
}

RowRef DesignFile::Insert(std::u16string_view name,
                          const Teskor::ZelPlatform::OrnSettings& settings) {
  Transaction transaction(*this);
  if (ReadWhere("name = ?1", 0, name)) {
    Refuse("another session has stored a setup named " + Quoted(name) + " in the meantime");
  }
  const RowRef row = Write(std::nullopt, name, settings);
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
                          const Teskor::ZelPlatform::OrnSettings& settings, bool force) {
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
  Statement statement(*this, "DELETE FROM render_setups WHERE position = ?1", true);
  statement.Bind(1, row.position);
  statement.Step();
  // Where a setup came from goes with it.
  for (const char* sql : kForgetProvenance) {
    Statement forget(*this, sql, true);
    forget.Bind(1, row.position);
    forget.Step();
  }
  transaction.Commit();
}

RowRef DesignFile::Upsert(std::u16string_view name,
                          const Teskor::ZelPlatform::OrnSettings& settings) {
  Transaction transaction(*this);
  const auto holder = ReadWhere("name = ?1", 0, name);
  const RowRef row =
      Write(holder ? std::optional(holder->row.position) : std::nullopt, name, settings);
  transaction.Commit();
  return row;
}

std::vector<RowRef> DesignFile::PutAll(
    const std::vector<std::pair<std::u16string, Teskor::ZelPlatform::OrnSettings>>& records,
    const std::function<void(std::size_t index, std::int64_t position)>& alongside) {
  Transaction transaction(*this);
  std::vector<RowRef> rows;
  rows.reserve(records.size());
  Statement find(*this, "SELECT position FROM render_setups WHERE name = ?1", true);
  for (const auto& [name, settings] : records) {
    find.BindText(1, ornr::Utf16ToUtf8(name));
    const std::optional<std::int64_t> position =
        find.Step() ? std::optional(sqlite3_column_int64(find.get(), 0)) : std::nullopt;
    find.Reset();
    rows.push_back(Write(position, name, settings));
    if (alongside) alongside(rows.size() - 1, rows.back().position);
  }
  transaction.Commit();
  return rows;
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

UpgradeReport DesignFile::Upgrade() {
  UpgradeReport report;
  report.fromVersion = version_;
  if (version_ >= kDesignFileSchemaVersion) {
    CheckBeforeFirstWrite();
    return report;
  }
  // Only a whole file of a layout of ours is converted; the check is the one before any write.
  refusal_.clear();
  try {
    CheckIntegrityAndSchema();
  } catch (const DesignFileError& error) {
    Refuse("cannot be upgraded: " + error.Reason());
  }

  report.backup = FreeBackupPath(path_, version_);
  if (report.backup.empty()) Refuse("cannot be upgraded: no free name for its backup copy");
  {
    sqlite3* copy = nullptr;
    int rc = sqlite3_open_v2(report.backup.c_str(), &copy,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite3_backup* backup =
        rc == SQLITE_OK ? sqlite3_backup_init(copy, "main", db_, "main") : nullptr;
    if (backup != nullptr) {
      rc = sqlite3_backup_step(backup, -1);
      sqlite3_backup_finish(backup);
    }
    const bool copied = backup != nullptr && rc == SQLITE_DONE;
    const std::string why = copy != nullptr ? PlainReason(copy) : "out of memory";
    sqlite3_close_v2(copy);
    if (!copied) {
      std::error_code ignored;
      std::filesystem::remove(report.backup, ignored);
      Refuse("cannot be upgraded: its backup copy " + report.backup.string() +
             " cannot be written: " + why);
    }
  }

  try {
    Transaction transaction(*this, false);
    if (QueryInteger("PRAGMA user_version") != version_) {
      Refuse("cannot be upgraded: another program changed it meanwhile");
    }
    std::vector<SetupRecord> records;
    {
      Statement old(*this, RecordSelect(nullptr));
      while (old.Step()) records.push_back(OldRecordFrom(old.get()));
    }
    Exec("DROP TABLE render_setups");
    Exec(kMarksTable);
    Exec(SetupsTable().c_str());
    // Format 3 has them already, under the positions that are kept.
    if (report.fromVersion < 3) Exec(kProvenanceLayOut);
    Exec(HeaderMarks(kDesignFileSchemaVersion).c_str());
    Exec(MarksRow(kDesignFileSchemaVersion).c_str());
    version_ = kDesignFileSchemaVersion;

    std::unordered_set<std::u16string> names;
    const auto keptInBackup = "; it is kept in " + report.backup.string();
    for (const SetupRecord& record : records) {
      const std::string shown = "\"" + PrintableSetupName(record.name) + "\"";
      std::optional<std::string> refusal = RefusalOfSetupName(record.name);
      if (record.problem == kNotWholeUtf16) refusal = record.problem;
      if (!refusal && !names.insert(record.name).second) refusal = "a second record of that name";
      if (!refusal && !record.settings) refusal = record.problem;
      if (refusal) {
        report.problems.push_back("the setup " + shown + " is left out (" + *refusal + ")" +
                                  keptInBackup);
        for (const char* sql : kForgetProvenance) {
          Statement forget(*this, sql);
          forget.Bind(1, record.row.position);
          forget.Step();
        }
        continue;
      }
      Write(record.row.position, record.name, *record.settings);
    }
    transaction.Commit();
  } catch (...) {
    version_ = report.fromVersion;
    std::error_code ignored;
    std::filesystem::remove(report.backup, ignored);
    throw;
  }
  refusal_.clear();
  checked_ = true;
  marksToRestore_ = false;
  return report;
}

}  // namespace ornhost::detail
