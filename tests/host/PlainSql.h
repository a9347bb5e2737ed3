// A design file in the hands of another program that speaks plain SQL.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

/// Runs the statements; returns SQLite's result and, given error, its message.
inline int Sql(const std::filesystem::path& path, const std::string& sql,
               std::string* error = nullptr) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  if (error != nullptr) *error = sqlite3_errmsg(db);
  sqlite3_close(db);
  return rc;
}

/// The query's first column, each row's text followed by ";"; "(failed)" when it cannot run.
inline std::string SqlRows(const std::filesystem::path& path, const std::string& query) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* stmt = nullptr;
  std::string rows = "(failed)";
  if (sqlite3_prepare_v2(db, query.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
    rows.clear();
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      const auto* text = sqlite3_column_text(stmt, 0);
      rows += std::string(text ? reinterpret_cast<const char*>(text) : "NULL") + ";";
    }
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return rows;
}

/// The query's first value as a number; -1 when there is none.
inline std::int64_t SqlNumber(const std::filesystem::path& path, const std::string& query) {
  const std::string rows = SqlRows(path, query);
  return rows.empty() || rows == "(failed)" ? -1 : std::strtoll(rows.c_str(), nullptr, 10);
}
