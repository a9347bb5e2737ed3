#include "host/store/DesignFileLayout.h"

#include <algorithm>
#include <functional>

#include "host/controls/HostControls.h"
#include "host/store/ChangeSetTable.h"
#include "host/store/DesignFileStatements.h"
#include "host/store/FileCheck.h"
#include "host/store/ProvenanceTable.h"
#include "host/store/SettingsColumns.h"
#include "host/store/SettingsText.h"
#include "host/store/StandardsTable.h"
#include "host/store/VersionTable.h"
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
    make(4, {kMarksTable, SetupsTable(4), kProvenanceLayOut});
    std::vector<std::string> format5 = {kMarksTable, SetupsTable(5), kProvenanceLayOut};
    for (const std::string& sql : VersionsLayOut()) format5.push_back(sql);
    make(5, format5);
    std::vector<std::string> format6 = format5;
    for (const std::string& sql : StandardsLayOut()) format6.push_back(sql);
    make(6, format6);
    make(7, LayOutColumns());
    return schemas;
  }();
  return known;
}

std::uint64_t NameHash(std::u16string_view name) {
  return std::hash<std::u16string_view>()(name);
}

}  // namespace

// Format 4: one column per property, so that plain SQL reads and changes one value by its name,
// and the table's types and checks refuse what the host could not read.
const char* const kMarksTable =
    "CREATE TABLE design_file ( -- what this file is; kept beside the header so that a dump keeps "
    "it\n"
    "  only_row INTEGER PRIMARY KEY CHECK (only_row = 1),\n"
    "  application_id INTEGER NOT NULL, -- 1330794033 (\"ORN1\"), as PRAGMA application_id\n"
    "  format_version INTEGER NOT NULL  -- as PRAGMA user_version\n"
    ") STRICT";

std::string SetupsTable(int version) {
  // From format 5 a position is never given out twice, so versions of a deleted setup stay its.
  return std::string(
             "CREATE TABLE render_setups ( -- one row a setup, one column a property\n"
             "  position INTEGER PRIMARY KEY") +
         (version >= kVersionsFormat ? " AUTOINCREMENT" : "") +
         ", -- the host's order of the setups\n"
         "  name TEXT NOT NULL UNIQUE CHECK (length(name) BETWEEN 1 AND 254), -- renames when "
         "changed\n"
         "  revision INTEGER NOT NULL, -- new with every write of the host, so sessions see each "
         "other's\n" +
         SettingColumnDefinitions() + "\n) STRICT";
}

std::vector<std::string> LayOutColumns() {
  std::vector<std::string> statements = {kMarksTable, SetupsTable(kDesignFileSchemaVersion),
                                         kProvenanceLayOut};
  for (const std::string& sql : VersionsLayOut()) statements.push_back(sql);
  for (const std::string& sql : StandardsLayOut()) statements.push_back(sql);
  for (const std::string& sql : ChangeSetsLayOut()) statements.push_back(sql);
  return statements;
}

std::string MarksRow(int version) {
  return "INSERT OR REPLACE INTO design_file (only_row, application_id, format_version) VALUES "
         "(1, " +
         std::to_string(kDesignFileApplicationId) + ", " + std::to_string(version) + ")";
}

std::string HeaderMarks(int version) {
  return "PRAGMA application_id=" + std::to_string(static_cast<int>(kDesignFileApplicationId)) +
         "; PRAGMA user_version=" + std::to_string(version);
}

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

bool IsKnownSchema(int version, const std::vector<SchemaRow>& schema) {
  const auto& known = KnownSchemas();
  return std::any_of(known.begin(), known.end(), [&](const auto& entry) {
    return entry.first == version && entry.second == schema;
  });
}

std::string_view ColumnText(sqlite3_stmt* row, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row, column));
  return text != nullptr ? std::string_view(text, sqlite3_column_bytes(row, column))
                         : std::string_view();
}

StoredValue StoredValueOf(sqlite3_value* column) {
  StoredValue value;
  switch (sqlite3_value_type(column)) {
    case SQLITE_INTEGER:
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
  return value;
}

// One lock of the connection a column: its value is read without another.
void ReadStoredValues(sqlite3_stmt* row, int first, StoredValues& values) {
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    values[i] = StoredValueOf(sqlite3_column_value(row, static_cast<int>(i) + first));
  }
}

void BindStoredValue(sqlite3_stmt* statement, int index, const StoredValue& value) {
  if (value.type == StoredValue::Type::Real) {
    sqlite3_bind_double(statement, index, value.real);
  } else if (value.type == StoredValue::Type::Integer) {
    sqlite3_bind_int64(statement, index, value.integer);
  } else {
    sqlite3_bind_null(statement, index);
  }
}

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

struct DesignFile::Marks {
  std::int64_t applicationId = 0;
  std::int64_t version = 0;
};

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

namespace {

// The tables a write touches that grow with the setups, not with their history: what the first
// write checks while the whole file is checked beside the session.
constexpr const char* kCheckedBeforeFirstWrite[] = {"render_setups",    "design_file",
                                                    "sqlite_sequence",  "version_limits",
                                                    "setup_provenance", "setup_provenance_values"};

}  // namespace

void DesignFile::CheckIntegrityAndSchema(bool whole) {
  std::string verdict;
  std::string failed;
  if (whole) {
    verdict = QuickCheck(db_, nullptr, failed);
  } else {
    for (const char* table : kCheckedBeforeFirstWrite) {
      verdict = QuickCheck(db_, table, failed);
      if (!verdict.empty() || !failed.empty()) break;
    }
  }
  // Locked or unreadable for a moment: this write fails, the next one checks again.
  if (!failed.empty()) Refuse(failed);
  if (!verdict.empty()) {
    refusal_ = "the file is damaged, so nothing is written to it (" + verdict + ")";
    Refuse(refusal_);
  }
  const auto schema = SchemaOf(db_);
  if (!IsKnownSchema(version_, schema)) {
    std::string extra;
    for (const auto& [type, name, table, sql] : schema) {
      const bool ours =
          name == "render_setups" || name == "design_file" ||
          name.starts_with("sqlite_autoindex_render_setups") ||
          name.starts_with("setup_provenance") || name.starts_with("setup_version") ||
          name.starts_with("sqlite_autoindex_setup_versions") || name == "version_limits" ||
          name == "sqlite_sequence" || name == "setup_scopes" || name == "setup_locks" ||
          name == "setup_notes" || name == "setup_overrides" || name.starts_with("setup_overlay") ||
          name.starts_with("sqlite_autoindex_setup_overlays") || name.starts_with("change_set") ||
          name.starts_with("sqlite_autoindex_change_set");
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

}  // namespace ornhost::detail
