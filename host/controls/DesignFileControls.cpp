// Reading and writing design files directly, open or not, as a test or the workbench prepares
// them; an open file's store is kept in step with what is written.
#include "host/controls/HostControls.h"

#include <memory>

#include "host/session/HostState.h"
#include "host/store/SetupNames.h"

using Teskor::ZelPlatform::OrnSettings;

namespace ornhost {

namespace {

// The open master's own connection when path is the master, so that the check before its first
// write is made once; otherwise a connection of our own.
struct Writer {
  detail::HostFile* master = nullptr;
  std::unique_ptr<detail::DesignFile> own;
  detail::DesignFile& Db() { return master != nullptr ? *master->Db() : *own; }
};

Writer OpenWriter(const std::filesystem::path& path, const std::vector<detail::HostFile*>& open) {
  Writer writer;
  for (detail::HostFile* file : open) {
    if (file->IsWritable()) writer.master = file;
  }
  if (writer.master == nullptr) {
    writer.own = std::make_unique<detail::DesignFile>(path, detail::DesignFile::Access::ReadWrite);
  }
  return writer;
}

}  // namespace

void WriteSetup(const std::filesystem::path& path, const std::u16string& name,
                const OrnSettings& settings, const std::string& action) {
  if (const auto refusal = RefusalOfSetupName(name)) throw SetupNameError(*refusal);
  const auto open = detail::FindOpenFiles(path);
  Writer writer = OpenWriter(path, open);
  const detail::RowRef row = writer.Db().Upsert(name, settings, action);
  for (detail::HostFile* file : open) file->Adopt(row, name, settings);
}

void detail::StoreSetups(
    const std::filesystem::path& path,
    const std::vector<std::pair<std::u16string, OrnSettings>>& records,
    const std::function<void(DesignFile&, std::size_t index, std::int64_t position)>& alongside,
    std::string_view action) {
  for (const auto& [name, settings] : records) {
    if (const auto refusal = RefusalOfSetupName(name)) throw SetupNameError(*refusal);
  }
  const auto open = FindOpenFiles(path);
  Writer writer = OpenWriter(path, open);
  DesignFile& db = writer.Db();
  const std::vector<RowRef> rows = db.PutAll(
      records,
      alongside ? [&](std::size_t index, std::int64_t position) { alongside(db, index, position); }
                : std::function<void(std::size_t, std::int64_t)>(),
      action);
  for (HostFile* file : open) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      file->Adopt(rows[i], records[i].first, records[i].second);
    }
  }
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
  const auto open = detail::FindOpenFiles(path);
  Writer writer = OpenWriter(path, open);
  const detail::UpgradeReport report = writer.Db().Upgrade();
  // Records carried over have new revisions: the open master's copies stand on them now.
  if (writer.master != nullptr && !report.backup.empty()) {
    for (auto& entry : writer.master->Entries()) {
      if (!entry.row) continue;
      if (const auto record = writer.Db().Read(*entry.row)) entry.row = record->row;
    }
  }
  return {report.fromVersion, report.backup, report.problems};
}

bool InvalidateSetup(const std::filesystem::path& path, const std::u16string& name) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return false;
  const auto open = detail::FindOpenFiles(path);
  Writer writer = OpenWriter(path, open);
  if (!writer.Db().Damage(name)) return false;
  for (detail::HostFile* file : open) {
    detail::StoreEntry* entry = file->Find(name);
    if (entry == nullptr || !entry->stored) continue;
    entry->stored->valid = false;
    entry->working->valid = false;
  }
  return true;
}

std::vector<StoredSetup> ReadSetups(const std::filesystem::path& path) {
  detail::DesignFile file(path, detail::DesignFile::Access::ReadOnly);
  std::vector<StoredSetup> setups;
  for (auto& record : file.Load()) {
    StoredSetup setup;
    setup.name = std::move(record.name);
    setup.valid = record.settings.has_value();
    if (setup.valid) setup.settings = *record.settings;
    setups.push_back(std::move(setup));
  }
  return setups;
}

}  // namespace ornhost
