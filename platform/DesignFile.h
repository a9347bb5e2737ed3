// One design file on disk: a SQLite 3 database that holds a table of render setups.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/OrnSettings.h"

struct sqlite3;

namespace ornhost::detail {

/// "ORN1": marks a SQLite database as a design file.
inline constexpr std::uint32_t kDesignFileApplicationId = 0x4F524E31;
/// The layout this host reads and writes; a file of a higher version is refused.
inline constexpr int kDesignFileSchemaVersion = 1;

struct SetupRecord {
  /// Orders the setups: the host's order is ascending position.
  std::int64_t position = 0;
  std::u16string name;
  /// Nothing when the stored record cannot be read.
  std::optional<Teskor::ZelPlatform::OrnSettings> settings;
};

/// Every failure throws ornhost::DesignFileError with a message that names the file. Every write
/// is one transaction with full synchronisation, so a kill leaves the file before or after it.
class DesignFile {
 public:
  enum class Access { ReadOnly, ReadWrite };

  /// Opens and checks the file. ReadWrite creates a missing file (and lays out an empty one);
  /// ReadOnly refuses a missing file. A file that is refused has not been written to.
  DesignFile(const std::filesystem::path& path, Access access);
  ~DesignFile();
  DesignFile(const DesignFile&) = delete;
  DesignFile& operator=(const DesignFile&) = delete;

  /// Every record in host order.
  std::vector<SetupRecord> Load();
  /// The position of the record of exactly that name, if there is one.
  std::optional<std::int64_t> FindPosition(std::u16string_view name);
  /// One past the highest position stored (1 for an empty file).
  std::int64_t NextPosition();
  /// Writes the record at position, replacing what was stored there. Throws when another record
  /// has that name.
  void Put(std::int64_t position, std::u16string_view name,
           const Teskor::ZelPlatform::OrnSettings& settings);
  /// Writes the records in one transaction, at positions after the highest stored one; a record
  /// whose name is stored replaces it. All or nothing.
  void PutAll(
      const std::vector<std::pair<std::u16string, Teskor::ZelPlatform::OrnSettings>>& records);
  void Rename(std::int64_t position, std::u16string_view newName);
  void Remove(std::int64_t position);
  /// Cuts the settings record of that name so that it no longer reads; false when there is none.
  bool Damage(std::u16string_view name);

 private:
  class Statement;
  [[noreturn]] void Fail(const std::string& what) const;
  void Exec(const char* sql);
  std::int64_t QueryInteger(const char* sql);
  void CheckOrLayOut(bool writable);

  std::string label_;
  sqlite3* db_ = nullptr;
};

}  // namespace ornhost::detail
