// Design files as earlier versions of the host wrote them: formats 1 to 3 keep the name as
// UTF-16LE code units and all settings of a setup as one "Key=value" text; 3 adds provenance.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "PlainSql.h"
#include "host/store/DesignFileLayout.h"
#include "host/store/ProvenanceTable.h"

/// Lays out an empty file of that format and stores each (UTF-16LE name bytes as hex, readable
/// name, settings text) at positions 1, 2, ... Returns SQLite's result.
inline int WriteOlderDesignFile(
    const std::filesystem::path& path, int version,
    const std::vector<std::pair<std::pair<std::string, std::string>, std::string>>& records) {
  // One transaction: thousands of records are written at once.
  std::string sql = "BEGIN; PRAGMA application_id = 1330794033; PRAGMA user_version = " +
                    std::to_string(version) +
                    ";\nCREATE TABLE render_setups (\n"
                    "  position INTEGER PRIMARY KEY, -- the host's order of the setups\n"
                    "  name BLOB NOT NULL UNIQUE,    -- UTF-16LE code units, exactly as the host "
                    "holds them\n"
                    "  name_utf8 TEXT NOT NULL,      -- the same name, readable\n";
  sql += version == 1 ? "  settings TEXT NOT NULL        -- one Key=value line a field\n);\n"
                      : "  settings TEXT NOT NULL,       -- one Key=value line a field\n"
                        "  revision INTEGER NOT NULL DEFAULT 0 -- new with every write, so "
                        "sessions see each other's\n);\n";
  if (version == 3) sql += std::string(ornhost::detail::kProvenanceLayOut) + ";\n";
  int position = 0;
  for (const auto& [name, settings] : records) {
    sql += "INSERT INTO render_setups (position, name, name_utf8, settings) VALUES (" +
           std::to_string(++position) + ", x'" + name.first + "', '" + name.second + "', '" +
           settings + "');\n";
  }
  return Sql(path, sql + "COMMIT;");
}

/// Copies the design file current (of today's format) into path as a file of format 4: the same
/// rows at the same positions and revisions, provenance included, without versions. Returns
/// SQLite's result.
inline int WriteFormat4Copy(const std::filesystem::path& current,
                            const std::filesystem::path& path) {
  std::string sql = "PRAGMA application_id = 1330794033; PRAGMA user_version = 4;\n";
  sql += std::string(ornhost::detail::kMarksTable) + ";\n";
  sql += ornhost::detail::SetupsTable(4) + ";\n";
  sql += std::string(ornhost::detail::kProvenanceLayOut) + ";\n";
  sql += ornhost::detail::MarksRow(4) + ";\n";
  sql += "ATTACH '" + current.string() +
         "' AS today;\n"
         "INSERT INTO render_setups SELECT * FROM today.render_setups;\n"
         "INSERT INTO setup_provenance SELECT * FROM today.setup_provenance;\n"
         "INSERT INTO setup_provenance_values SELECT * FROM today.setup_provenance_values;\n"
         "DETACH today;";
  return Sql(path, sql);
}

/// Copies the design file current (of today's format) into path as a file of format 5: every row
/// of every table as it is, without the tables of office standards. Returns SQLite's result.
inline int WriteFormat5Copy(const std::filesystem::path& current,
                            const std::filesystem::path& path) {
  std::filesystem::copy_file(current, path, std::filesystem::copy_options::overwrite_existing);
  std::string sql = "PRAGMA user_version = 5;\n";
  for (const char* table :
       {"setup_scopes", "setup_locks", "setup_notes", "setup_overrides", "setup_overlay_values",
        "setup_overlays", "setup_provenance_scope", "setup_version_marks", "change_sets",
        "change_set_setups", "change_set_values", "setup_version_change_sets"}) {
    sql += std::string("DROP TABLE ") + table + ";\n";
  }
  sql += ornhost::detail::MarksRow(5) + ";";
  return Sql(path, sql);
}

/// Copies the design file current (of today's format) into path as a file of format 6: every row
/// of every table as it is, without the tables of change sets. Returns SQLite's result.
inline int WriteFormat6Copy(const std::filesystem::path& current,
                            const std::filesystem::path& path) {
  std::filesystem::copy_file(current, path, std::filesystem::copy_options::overwrite_existing);
  std::string sql = "PRAGMA user_version = 6;\n";
  for (const char* table :
       {"change_sets", "change_set_setups", "change_set_values", "setup_version_change_sets"}) {
    sql += std::string("DROP TABLE ") + table + ";\n";
  }
  sql += ornhost::detail::MarksRow(6) + ";";
  return Sql(path, sql);
}
