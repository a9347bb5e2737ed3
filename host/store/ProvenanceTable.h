// Provenance records inside a design file: one row a setup with where it came from, and one row
// a property with the value it was taken with.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "host/store/DesignFile.h"
#include "host/store/ProvenanceRecord.h"

namespace ornhost::detail {

// The comments stay in the schema, for people reading the file with the sqlite3 tool.
inline constexpr const char* kProvenanceLayOut =
    "CREATE TABLE setup_provenance (\n"
    "  position INTEGER PRIMARY KEY, -- render_setups.position of the setup it describes\n"
    "  library_file TEXT NOT NULL,   -- the library's file name as the panel shows it\n"
    "  library_path TEXT NOT NULL,   -- its absolute path then\n"
    "  library_setup BLOB NOT NULL,  -- the library setup's name, UTF-16LE code units\n"
    "  library_setup_utf8 TEXT NOT NULL, -- the same name, readable\n"
    "  taken_at TEXT NOT NULL        -- when, UTC, ISO 8601\n"
    ") STRICT;\n"
    "CREATE TABLE setup_provenance_values (\n"
    "  position INTEGER NOT NULL,    -- setup_provenance.position\n"
    "  property TEXT NOT NULL,       -- the property's name\n"
    "  value TEXT NOT NULL,          -- its value then, in a form that reads back exactly\n"
    "  PRIMARY KEY (position, property)\n"
    ") STRICT, WITHOUT ROWID";

/// Now in UTC as records keep it: "2026-12-06T00:15:02Z".
std::string UtcNowText();

/// Every failure throws DesignFileError.
class ProvenanceTable {
 public:
  /// Every readable record by the position of its setup; a record whose values do not read back
  /// is left out. Empty for a file of a format without provenance.
  static std::map<std::int64_t, Provenance> ReadAll(DesignFile& file);
  /// The same for the setup at position alone: nothing when it has no readable record.
  static std::optional<Provenance> Read(DesignFile& file, std::int64_t position);
  /// Changes whenever what ReadAll would read may have changed: a write of this connection or
  /// another's.
  static std::string Stamp(DesignFile& file);
  /// Stores the record of the setup stored under name, over an older one, in one transaction.
  /// Refused when the file holds no such setup, or (given stored) its stored values are not
  /// stored: another session changed them.
  static void Write(DesignFile& file, std::u16string_view name, const Provenance& record,
                    const Teskor::ZelPlatform::OrnSettings* stored);
  /// Inside a write of the file: the record of the setup at position becomes record, or none.
  static void Put(DesignFile& file, std::int64_t position, const Provenance* record);
  /// Inside a write of the file: removes the record of the setup at position, if any.
  static void ForgetAt(DesignFile& file, std::int64_t position);
  /// Removes the record of the setup stored under name, if any.
  static void Forget(DesignFile& file, std::u16string_view name);

 private:
  using Statement = DesignFile::Statement;
  using Transaction = DesignFile::Transaction;
  /// Every record, or the one at position.
  static std::map<std::int64_t, Provenance> ReadRecords(DesignFile& file,
                                                        std::optional<std::int64_t> position);
};

}  // namespace ornhost::detail
