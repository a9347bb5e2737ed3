#include "platform/DesignFile.h"

#include <sqlite3.h>

#include <cstdio>

#include "platform/HostControls.h"
#include "platform/SettingsText.h"
#include "support/Utf.h"

namespace ornhost::detail {

namespace {

// The comments stay in the schema, for people reading the file with the sqlite3 tool.
constexpr const char* kLayOut =
    "CREATE TABLE render_setups (\n"
    "  position INTEGER PRIMARY KEY, -- the host's order of the setups\n"
    "  name BLOB NOT NULL UNIQUE,    -- UTF-16LE code units, exactly as the host holds them\n"
    "  name_utf8 TEXT NOT NULL,      -- the same name, readable\n"
    "  settings TEXT NOT NULL        -- one Key=value line a field\n"
    ")";

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

}  // namespace

class DesignFile::Statement {
 public:
  Statement(const DesignFile& file, const char* sql) : file_(file) {
    if (sqlite3_prepare_v2(file.db_, sql, -1, &stmt_, nullptr) != SQLITE_OK) file.Fail(sql);
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
    file_.Fail(sqlite3_sql(stmt_));
  }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  void Check(int rc) {
    if (rc != SQLITE_OK) file_.Fail(sqlite3_sql(stmt_));
  }
  const DesignFile& file_;
  sqlite3_stmt* stmt_ = nullptr;
};

DesignFile::DesignFile(const std::filesystem::path& path, Access access)
    : label_("design file \"" + path.string() + "\"") {
  std::error_code ec;
  const bool existed = std::filesystem::exists(path, ec);
  if (access == Access::ReadOnly && !existed) throw DesignFileError(label_ + ": does not exist");
  int flags = access == Access::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  if (!existed) flags |= SQLITE_OPEN_CREATE;
  if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    const std::string reason = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close_v2(db_);
    throw DesignFileError(label_ + ": cannot open: " + reason);
  }
  try {
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, 2000);
    CheckOrLayOut(access == Access::ReadWrite);
  } catch (...) {
    sqlite3_close_v2(db_);
    throw;
  }
}

DesignFile::~DesignFile() {
  sqlite3_close_v2(db_);
}

void DesignFile::Fail(const std::string& what) const {
  throw DesignFileError(label_ + ": " + sqlite3_errmsg(db_) + " (in: " + what + ")");
}

void DesignFile::Exec(const char* sql) {
  if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
}

std::int64_t DesignFile::QueryInteger(const char* sql) {
  Statement statement(*this, sql);
  return statement.Step() ? sqlite3_column_int64(statement.get(), 0) : 0;
}

void DesignFile::CheckOrLayOut(bool writable) {
  std::int64_t pages = 0;
  try {
    pages = QueryInteger("PRAGMA page_count");
  } catch (const DesignFileError&) {
    if ((sqlite3_extended_errcode(db_) & 0xFF) != SQLITE_NOTADB) throw;
    throw DesignFileError(label_ + ": is not a design file (" + sqlite3_errmsg(db_) + ")");
  }
  if (writable) Exec("PRAGMA synchronous=FULL");
  // A database without a single page is what a crash between creating and laying out leaves.
  if (pages == 0 && writable) {
    char sql[160];
    std::snprintf(sql, sizeof sql,
                  "BEGIN IMMEDIATE; PRAGMA application_id=%d; PRAGMA user_version=%d; ",
                  static_cast<int>(kDesignFileApplicationId), kDesignFileSchemaVersion);
    try {
      Exec((std::string(sql) + kLayOut + "; COMMIT").c_str());
    } catch (...) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
    return;
  }
  const auto id = static_cast<std::uint32_t>(QueryInteger("PRAGMA application_id"));
  const std::int64_t version = QueryInteger("PRAGMA user_version");
  if (id != kDesignFileApplicationId || version < 1) {
    throw DesignFileError(label_ + ": is not a design file");
  }
  if (version > kDesignFileSchemaVersion) {
    throw DesignFileError(label_ + ": has schema version " + std::to_string(version) +
                          ", newer than version " + std::to_string(kDesignFileSchemaVersion) +
                          " that this host reads");
  }
}

std::vector<SetupRecord> DesignFile::Load() {
  std::vector<SetupRecord> records;
  Statement statement(*this,
                      "SELECT position, name, settings FROM render_setups ORDER BY position");
  sqlite3_stmt* row = statement.get();
  while (statement.Step()) {
    SetupRecord record;
    record.position = sqlite3_column_int64(row, 0);
    // A name that is not whole UTF-16 marks the record as damaged; what is there still names it.
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
    records.push_back(std::move(record));
  }
  return records;
}

std::optional<std::int64_t> DesignFile::FindPosition(std::u16string_view name) {
  Statement statement(*this, "SELECT position FROM render_setups WHERE name = ?1");
  statement.BindBlob(1, NameBytes(name));
  if (!statement.Step()) return std::nullopt;
  return sqlite3_column_int64(statement.get(), 0);
}

std::int64_t DesignFile::NextPosition() {
  return QueryInteger("SELECT coalesce(max(position), 0) + 1 FROM render_setups");
}

// Each write is a single statement, which SQLite runs as one transaction of its own.
void DesignFile::Put(std::int64_t position, std::u16string_view name,
                     const Teskor::ZelPlatform::OrnSettings& settings) {
  Statement statement(*this,
                      "INSERT INTO render_setups (position, name, name_utf8, settings)"
                      " VALUES (?1, ?2, ?3, ?4) ON CONFLICT (position) DO UPDATE SET"
                      " name = excluded.name, name_utf8 = excluded.name_utf8,"
                      " settings = excluded.settings");
  statement.Bind(1, position)
      .BindBlob(2, NameBytes(name))
      .BindText(3, ornr::Utf16ToUtf8(name))
      .BindText(4, FormatSettingsRecord(settings));
  statement.Step();
}

void DesignFile::PutAll(
    const std::vector<std::pair<std::u16string, Teskor::ZelPlatform::OrnSettings>>& records) {
  Exec("BEGIN IMMEDIATE");
  try {
    std::int64_t next = NextPosition();
    for (const auto& [name, settings] : records) {
      const auto stored = FindPosition(name);
      Put(stored ? *stored : next++, name, settings);
    }
    Exec("COMMIT");
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

void DesignFile::Rename(std::int64_t position, std::u16string_view newName) {
  Statement statement(*this,
                      "UPDATE render_setups SET name = ?2, name_utf8 = ?3 WHERE position = ?1");
  statement.Bind(1, position)
      .BindBlob(2, NameBytes(newName))
      .BindText(3, ornr::Utf16ToUtf8(newName));
  statement.Step();
}

void DesignFile::Remove(std::int64_t position) {
  Statement statement(*this, "DELETE FROM render_setups WHERE position = ?1");
  statement.Bind(1, position);
  statement.Step();
}

bool DesignFile::Damage(std::u16string_view name) {
  // Half a record, as a torn write would leave it.
  Statement statement(
      *this,
      "UPDATE render_setups SET settings = substr(settings, 1, length(settings) / 2)"
      " WHERE name = ?1");
  statement.BindBlob(1, NameBytes(name));
  statement.Step();
  return sqlite3_changes(db_) > 0;
}

}  // namespace ornhost::detail
