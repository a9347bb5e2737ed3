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
/// The layout this host writes; older layouts are upgraded at the first write, a file of a
/// higher version is refused. 2 added the revision of each record, 3 the provenance of setups.
inline constexpr int kDesignFileSchemaVersion = 3;

/// Where a session's copy of a setup stands in the file: the record it was read from or written
/// to, and that record's revision then. Another session's write changes the revision.
struct RowRef {
  std::int64_t position = 0;
  std::int64_t revision = 0;
};

struct SetupRecord {
  /// Orders the setups: the host's order is ascending position.
  RowRef row;
  std::u16string name;
  /// Nothing when the stored record cannot be read.
  std::optional<Teskor::ZelPlatform::OrnSettings> settings;
};

/// Every failure throws ornhost::DesignFileError with a message that names the file and says in
/// plain words what is wrong. Every write is one transaction with full synchronisation, so a kill
/// leaves the file before or after it. Writes re-read the record they replace inside their
/// transaction and refuse to overwrite another session's newer work.
class DesignFile {
 public:
  enum class Access { ReadOnly, ReadWrite };

  /// Opens and checks the file. ReadWrite creates a missing file (and lays out an empty one);
  /// ReadOnly refuses a missing file. Anything but a regular file is refused before SQLite
  /// opens it. A file that is refused has not been written to.
  DesignFile(const std::filesystem::path& path, Access access);
  ~DesignFile();
  DesignFile(const DesignFile&) = delete;
  DesignFile& operator=(const DesignFile&) = delete;

  /// Every record in host order. A damaged part of the file ends the list early; ReadProblem
  /// then says where, and the file is not written any more.
  std::vector<SetupRecord> Load();
  /// What Load could not read, in one line, or empty.
  const std::string& ReadProblem() const noexcept { return readProblem_; }
  /// The record at row.position as the file holds it now; nothing when it is gone.
  std::optional<SetupRecord> Read(RowRef row);

  /// A new record at a free position. Throws when the file holds that name already or has no
  /// free position left.
  RowRef Insert(std::u16string_view name, const Teskor::ZelPlatform::OrnSettings& settings);
  /// Writes over the record at row. Refused when another session changed, renamed or deleted it
  /// since row was read, unless force: then this session's copy wins (stored anew when deleted).
  RowRef Update(RowRef row, std::u16string_view name,
                const Teskor::ZelPlatform::OrnSettings& settings, bool force);
  RowRef Rename(RowRef row, std::u16string_view newName);
  /// Removes the record at row; nothing to do when another session removed it already.
  void Remove(RowRef row);
  /// Stores name, over the record of that name when there is one: the host's own tools.
  RowRef Upsert(std::u16string_view name, const Teskor::ZelPlatform::OrnSettings& settings);
  /// Stores every record in one transaction, as Upsert would one by one. All or nothing.
  void PutAll(
      const std::vector<std::pair<std::u16string, Teskor::ZelPlatform::OrnSettings>>& records);
  /// Cuts the settings record of that name so that it no longer reads; false when there is none.
  bool Damage(std::u16string_view name);

 private:
  friend class ProvenanceTable;
  class Statement;
  class Transaction;
  [[noreturn]] void Fail() const;
  [[noreturn]] void Refuse(const std::string& reason) const;
  void Exec(const char* sql);
  std::int64_t QueryInteger(const char* sql);
  void Harden();
  void CheckOrLayOut(bool writable);
  /// Once a session: the file passes quick_check, holds only our layout, and is upgraded.
  void CheckBeforeFirstWrite();
  std::optional<SetupRecord> ReadWhere(const char* where, std::int64_t position,
                                       const std::string* nameBytes);
  std::int64_t FreePosition();
  RowRef Write(std::optional<std::int64_t> position, std::u16string_view name,
               const Teskor::ZelPlatform::OrnSettings& settings);

  std::string path_;
  std::string label_;
  sqlite3* db_ = nullptr;
  int version_ = kDesignFileSchemaVersion;
  bool checked_ = false;
  std::string refusal_;
  std::string readProblem_;
};

}  // namespace ornhost::detail
