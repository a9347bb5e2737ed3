// Writing design files directly, open or not, as a test or the workbench prepares them; an open
// file's store is kept in step with what is written.
#include "host/controls/HostControls.h"

#include "host/session/FileWriter.h"
#include "host/session/HostState.h"
#include "host/store/SetupNames.h"

using Teskor::ZelPlatform::OrnSettings;

namespace ornhost {

void WriteSetup(const std::filesystem::path& path, const std::u16string& name,
                const OrnSettings& settings, const std::string& action) {
  if (const auto refusal = RefusalOfSetupName(name)) throw SetupNameError(*refusal);
  detail::FileWriter writer(path);
  const detail::RowRef row = writer.Db().Upsert(name, settings, action);
  for (detail::HostFile* file : writer.OpenFiles()) file->Adopt(row, name, settings);
}

void WriteSetups(const std::filesystem::path& path, const std::vector<StoredSetup>& setups) {
  std::vector<std::pair<std::u16string, OrnSettings>> records;
  records.reserve(setups.size());
  for (const StoredSetup& setup : setups) records.emplace_back(setup.name, setup.settings);
  detail::StoreSetups(path, records, {}, detail::actions::kHostWrite);
}

UpgradeResult UpgradeDesignFile(const std::filesystem::path& path) {
  // Opening for writing would make a missing file.
  detail::DesignFile(path, detail::DesignFile::Access::ReadOnly);
  detail::FileWriter writer(path);
  const detail::UpgradeReport report = writer.Db().Upgrade();
  // Records carried over have new revisions: the open master's copies stand on them now.
  if (writer.Master() != nullptr && !report.backup.empty()) {
    for (auto& entry : writer.Master()->Entries()) {
      if (!entry.row) continue;
      if (const auto record = writer.Db().Read(*entry.row)) entry.row = record->row;
    }
  }
  return {report.fromVersion, report.backup, report.problems};
}

bool InvalidateSetup(const std::filesystem::path& path, const std::u16string& name) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return false;
  detail::FileWriter writer(path);
  if (!writer.Db().Damage(name)) return false;
  for (detail::HostFile* file : writer.OpenFiles()) {
    detail::StoreEntry* entry = file->Find(name);
    if (entry == nullptr || !entry->stored) continue;
    entry->stored->valid = false;
    entry->working->valid = false;
  }
  return true;
}

}  // namespace ornhost
