// Office standards inside a design file of format 6: scopes, locks, notes, overrides and overlays
// of its setups, keyed by the setup's position, and the coverage of provenance bases.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "host/store/DesignFile.h"
#include "host/store/ProvenanceRecord.h"
#include "host/store/StandardsRecord.h"

namespace ornhost::detail {

/// The first format that keeps office standards.
inline constexpr int kStandardsFormat = 6;

/// The statements that lay out the tables of office standards of an empty file.
const std::vector<std::string>& StandardsLayOut();

struct VersionMark;

/// What one setup of a file holds beside its values.
struct StandardsOfSetup {
  SetupStandards standards;
  /// Its overlays in the order applied (the last wins).
  std::vector<Provenance> overlays;
};

/// Every failure throws DesignFileError. A file of a format without standards has none: reads
/// give nothing and writes are refused.
class StandardsTable {
 public:
  /// Every setup's standards by position; setups without any are left out.
  static std::map<std::int64_t, StandardsOfSetup> ReadAll(DesignFile& file);
  /// Those of the setup at position only.
  static StandardsOfSetup Read(DesignFile& file, std::int64_t position);
  /// Changes whenever what ReadAll would read may have changed.
  static std::string Stamp(DesignFile& file);

  // --- Inside a write transaction of the file ---
  /// The setup at position holds exactly standards and overlays from now on.
  static void Put(DesignFile& file, std::int64_t position, const StandardsOfSetup& standards);
  /// Its overrides only, and its overlays only.
  static void PutOverrides(DesignFile& file, std::int64_t position,
                           const std::map<std::string, OverrideRecord>& overrides);
  static void PutOverlays(DesignFile& file, std::int64_t position,
                          const std::vector<Provenance>& overlays);
  /// Removes everything of the setup at position; nothing for a file without standards.
  static void Forget(DesignFile& file, std::int64_t position);

  // --- A write of its own ---
  /// Reads the standards of the setup stored under name inside one transaction, lets change
  /// change them (it returns what it changed, for the version), writes them and keeps a version
  /// of action that marks it. Nothing is written when change returns no marks. Refused when the
  /// file holds no such setup or keeps no standards. Returns the marks.
  static std::vector<VersionMark> Change(
      DesignFile& file, std::u16string_view name,
      const std::function<std::vector<VersionMark>(StandardsOfSetup&)>& change,
      std::string_view action);

 private:
  using Statement = DesignFile::Statement;
  using Transaction = DesignFile::Transaction;
};

}  // namespace ornhost::detail
