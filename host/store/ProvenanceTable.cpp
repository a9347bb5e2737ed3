#include "host/store/ProvenanceTable.h"

#include <sqlite3.h>

#include <ctime>
#include <memory>
#include <string>

#include "host/controls/HostControls.h"
#include "host/store/DesignFileLayout.h"
#include "host/store/DesignFileStatements.h"
#include "host/store/SettingsColumns.h"
#include "host/store/SettingsText.h"
#include "host/store/StandardsTable.h"
#include "support/Utf.h"

using Teskor::ZelPlatform::OrnSettings;

namespace ornhost::detail {

namespace {

std::string Column(sqlite3_stmt* row, int i) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row, i));
  return text != nullptr ? std::string(text, sqlite3_column_bytes(row, i)) : std::string();
}

std::u16string NameColumn(sqlite3_stmt* row, int i) {
  std::u16string name;
  const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(row, i));
  const int size = sqlite3_column_bytes(row, i);
  for (int k = 0; k + 1 < size; k += 2) {
    name.push_back(static_cast<char16_t>(bytes[k] | (bytes[k + 1] << 8)));
  }
  return name;
}

}  // namespace

std::string UtcNowText() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

namespace {

// The statements of ReadAll, and those of Read: the same with the setup's position as ?1, kept
// prepared since a write reads a setup's record before and after it.
constexpr const char* kSelectRecords[2] = {
    "SELECT position, library_file, library_path, library_setup, taken_at FROM setup_provenance",
    "SELECT position, library_file, library_path, library_setup, taken_at FROM setup_provenance"
    " WHERE position = ?1"};
constexpr const char* kSelectValues[2] = {
    "SELECT position, property, value FROM setup_provenance_values ORDER BY position",
    "SELECT position, property, value FROM setup_provenance_values WHERE position = ?1"};
constexpr const char* kSelectScopes[2] = {
    "SELECT position, property FROM setup_provenance_scope",
    "SELECT position, property FROM setup_provenance_scope WHERE position = ?1"};

}  // namespace

std::map<std::int64_t, Provenance> ProvenanceTable::ReadAll(DesignFile& file) {
  return ReadRecords(file, std::nullopt);
}

std::optional<Provenance> ProvenanceTable::Read(DesignFile& file, std::int64_t position) {
  auto records = ReadRecords(file, position);
  if (records.empty()) return std::nullopt;
  return std::move(records.begin()->second);
}

std::map<std::int64_t, Provenance> ProvenanceTable::ReadRecords(
    DesignFile& file, std::optional<std::int64_t> position) {
  std::map<std::int64_t, Provenance> records;
  if (file.version_ < 3) return records;
  const int one = position ? 1 : 0;
  const auto select = [&](const char* const* sql) {
    auto statement = std::make_unique<Statement>(file, sql[one], true);
    if (position) statement->Bind(1, *position);
    return statement;
  };
  {
    const auto statement = select(kSelectRecords);
    while (statement->Step()) {
      sqlite3_stmt* row = statement->get();
      Provenance& record = records[sqlite3_column_int64(row, 0)];
      record.libraryFile = ornr::Utf8ToUtf16(Column(row, 1));
      record.libraryPath = Column(row, 2);
      record.librarySetup = NameColumn(row, 3);
      record.takenAt = Column(row, 4);
    }
  }
  if (records.empty()) return records;
  // The values as one settings record each, so that a missing or damaged value is noticed.
  std::map<std::int64_t, std::string> values;
  {
    const auto statement = select(kSelectValues);
    // The rows come by position: each record is appended to in place, without a copy a value.
    std::string* record = nullptr;
    std::int64_t recordPosition = 0;
    while (statement->Step()) {
      sqlite3_stmt* row = statement->get();
      const std::int64_t at = sqlite3_column_int64(row, 0);
      if (record == nullptr || at != recordPosition) {
        record = &values[at];
        record->reserve(2048);
        recordPosition = at;
      }
      record->append(ColumnText(row, 1)).append(1, '=').append(ColumnText(row, 2)).append(1, '\n');
    }
  }
  if (file.version_ >= kStandardsFormat) {
    const auto scope = select(kSelectScopes);
    while (scope->Step()) {
      const auto found = records.find(sqlite3_column_int64(scope->get(), 0));
      const auto index = SettingIndex(ColumnText(scope->get(), 1));
      if (found == records.end() || !index) continue;
      if (!found->second.governed) found->second.governed.emplace();
      found->second.governed->set(*index);
    }
  }
  for (auto it = records.begin(); it != records.end();) {
    const auto text = values.find(it->first);
    const auto base =
        text != values.end() ? ParseSettingsRecord(text->second) : std::optional<OrnSettings>();
    if (!base) {
      it = records.erase(it);
      continue;
    }
    it->second.base = *base;
    ++it;
  }
  return records;
}

std::string ProvenanceTable::Stamp(DesignFile& file) {
  Statement version(file, "PRAGMA data_version");
  version.Step();
  return std::to_string(sqlite3_column_int64(version.get(), 0)) + "/" +
         std::to_string(sqlite3_total_changes64(file.db_)) + "/" + std::to_string(file.version_);
}

void ProvenanceTable::Write(DesignFile& file, std::u16string_view name, const Provenance& record,
                            const OrnSettings* stored) {
  Transaction transaction(file);
  const auto holder = file.ReadWhere("name = ?1", 0, name);
  if (!holder) file.Refuse("it holds no setup \"" + ornr::Utf16ToUtf8(name) + "\"");
  if (stored != nullptr && (!holder->settings || !holder->settings->Equals(*stored))) {
    file.Refuse("another session has changed \"" + ornr::Utf16ToUtf8(name) +
                "\" since this session stored it");
  }
  Put(file, holder->row.position, &record);
  transaction.Commit();
}

void ProvenanceTable::ForgetAt(DesignFile& file, std::int64_t position) {
  static constexpr const char* kForget[] = {
      "DELETE FROM setup_provenance WHERE position = ?1",
      "DELETE FROM setup_provenance_values WHERE position = ?1",
      "DELETE FROM setup_provenance_scope WHERE position = ?1"};
  for (const char* sql : kForget) {
    if (sql == kForget[2] && file.version_ < kStandardsFormat) break;
    Statement forget(file, sql, true);
    forget.Bind(1, position);
    forget.Step();
  }
}

void ProvenanceTable::Put(DesignFile& file, std::int64_t position, const Provenance* record) {
  ForgetAt(file, position);
  if (record == nullptr) return;
  if (record->governed && file.version_ < kStandardsFormat) {
    file.Refuse("its format keeps no scopes; \"upgrade\" converts it");
  }
  // Kept prepared: an import puts one record after another.
  Statement insert(file,
                   "INSERT INTO setup_provenance (position, library_file, library_path,"
                   " library_setup, library_setup_utf8, taken_at)"
                   " VALUES (?1, ?2, ?3, ?4, ?5, ?6)",
                   true);
  insert.Bind(1, position)
      .BindText(2, ornr::Utf16ToUtf8(record->libraryFile))
      .BindText(3, record->libraryPath)
      .BindBlob(4, NameBytes(record->librarySetup))
      .BindText(5, ornr::Utf16ToUtf8(record->librarySetup))
      .BindText(6, record->takenAt);
  insert.Step();
  Statement value(
      file, "INSERT INTO setup_provenance_values (position, property, value) VALUES (?1, ?2, ?3)",
      true);
  for (const auto& [key, text] : SettingTexts(record->base)) {
    value.Bind(1, position).BindText(2, key).BindText(3, text);
    value.Step();
  }
  if (!record->governed) return;
  Statement scope(file, "INSERT INTO setup_provenance_scope (position, property) VALUES (?1, ?2)",
                  true);
  for (const std::string& property : PropertyNames(*record->governed)) {
    scope.Bind(1, position).BindText(2, property);
    scope.Step();
  }
}

void ProvenanceTable::Forget(DesignFile& file, std::u16string_view name) {
  Transaction transaction(file);
  const auto holder = file.ReadWhere("name = ?1", 0, name);
  if (!holder) return;
  ForgetAt(file, holder->row.position);
  transaction.Commit();
}

}  // namespace ornhost::detail
