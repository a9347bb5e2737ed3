#include "host/provenance/StoredSetups.h"

#include <algorithm>
#include <map>
#include <optional>

#include "host/controls/HostControls.h"
#include "host/store/ProvenanceTable.h"
#include "host/store/StandardsTable.h"
#include "support/Utf.h"

namespace ornhost {

StoredFile ReadStoredFile(const std::filesystem::path& path) {
  detail::DesignFile file(path, detail::DesignFile::Access::ReadOnly);
  return ReadStoredFile(file);
}

StoredFile ReadStoredFile(detail::DesignFile& file) {
  StoredFile stored;
  stored.format = file.Version();
  file.Load([&](detail::SetupRecord& record) {
    StoredSetupRecord& setup = stored.setups.emplace_back();
    setup.name = std::move(record.name);
    setup.settings = std::move(record.settings);
    setup.problem = std::move(record.problem);
    setup.row = record.row;
  });
  stored.readProblem = file.ReadProblem();
  // Damage found while reading shows in Refusal too; only an older format refuses a readable file.
  if (stored.readProblem.empty()) stored.refusal = file.Refusal();
  if (stored.setups.empty()) return stored;
  std::map<std::int64_t, Provenance> records;
  std::map<std::int64_t, detail::StandardsOfSetup> standards;
  try {
    records = detail::ProvenanceTable::ReadAll(file);
    standards = detail::StandardsTable::ReadAll(file);
  } catch (const DesignFileError& error) {
    // The setups still count; where they came from is what a damaged file could not tell.
    if (stored.readProblem.empty()) {
      stored.readProblem =
          std::string(error.what()) + "; where its setups came from cannot be read";
    }
    return stored;
  }
  for (StoredSetupRecord& setup : stored.setups) {
    const auto found = records.find(setup.row.position);
    if (found != records.end()) setup.origin = std::move(found->second);
    const auto own = standards.find(setup.row.position);
    if (own != standards.end()) {
      setup.standards = std::move(own->second.standards);
      setup.overlays = std::move(own->second.overlays);
    }
  }
  return stored;
}

namespace {

bool SameOrigin(const Provenance& a, const Provenance& b) {
  return a.libraryPath == b.libraryPath && a.librarySetup == b.librarySetup &&
         a.libraryFile == b.libraryFile && a.base.Equals(b.base) && a.governed == b.governed;
}

}  // namespace

void StoreMerges(const std::filesystem::path& path, const std::vector<StoredMerge>& merges,
                 std::string_view action) {
  std::vector<StoredFix> fixes;
  fixes.reserve(merges.size());
  for (const StoredMerge& merge : merges) {
    fixes.push_back({merge, merge.origin ? merge.origin->governed : std::nullopt, false, {}, {}});
  }
  StoreFixes(path, fixes, action);
}

void StoreFixes(const std::filesystem::path& path, const std::vector<StoredFix>& fixes,
                std::string_view action, const detail::ChangeSetHeader* changeSet,
                const std::vector<StoredNew>& added) {
  if (fixes.empty() && added.empty()) return;
  detail::DesignFile file(path, detail::DesignFile::Access::WriteExisting);
  StoreFixes(file, path, fixes, action, changeSet, added);
}

void StoreFixes(detail::DesignFile& file, const std::filesystem::path& path,
                const std::vector<StoredFix>& fixes, std::string_view action,
                const detail::ChangeSetHeader* changeSet, const std::vector<StoredNew>& added) {
  if (fixes.empty() && added.empty()) return;
  std::optional<detail::ChangeSetRecorder> recorder;
  if (changeSet != nullptr) {
    recorder.emplace(file, *changeSet);
    for (const StoredFix& fix : fixes) recorder->Touch(fix.merge.row.position);
  } else if (!added.empty()) {
    // The setups added join the fixes' transaction: all or nothing.
    file.BeginBatch();
  }
  struct Batch {
    detail::DesignFile& file;
    ~Batch() { file.RollbackBatch(); }
  } rollbackUnlessCommitted{file};
  std::vector<detail::DesignFile::Rewrite> rewrites;
  rewrites.reserve(fixes.size());
  for (const StoredFix& fix : fixes) {
    rewrites.push_back({fix.merge.row, fix.merge.name, fix.merge.values});
  }
  const std::string takenAt = detail::UtcNowText();
  const auto refuse = [&](const StoredMerge& merge) {
    throw DesignFileError("design file \"" + path.string() + "\"",
                          "another session has merged or changed where \"" +
                              ornr::Utf16ToUtf8(merge.name) + "\" came from since it was read");
  };
  file.UpdateAll(rewrites, action, [&](std::size_t index, std::int64_t position) {
    const StoredFix& fix = fixes[index];
    const StoredMerge& merge = fix.merge;
    // Read inside the transaction, before the record is put: what holds until it commits.
    const auto found = detail::ProvenanceTable::Read(file, position);
    if (!found ? merge.origin.has_value() : !merge.origin || !SameOrigin(*found, *merge.origin)) {
      refuse(merge);
    }
    if (fix.standards) {
      const detail::StandardsOfSetup stored = detail::StandardsTable::Read(file, position);
      const auto& read = fix.standards->overlaysRead;
      if (stored.standards.overrides != fix.standards->overridesRead ||
          !std::equal(stored.overlays.begin(), stored.overlays.end(), read.begin(), read.end(),
                      SameOrigin)) {
        refuse(merge);
      }
      std::vector<Provenance> overlays = fix.standards->overlays;
      for (Provenance& overlay : overlays) {
        if (overlay.takenAt.empty()) overlay.takenAt = takenAt;
      }
      detail::StandardsTable::PutOverlays(file, position, overlays);
      detail::StandardsTable::PutOverrides(file, position, fix.standards->overrides);
    }
    if (fix.newOrigin) {
      Provenance record = *fix.newOrigin;
      record.takenAt = takenAt;
      detail::ProvenanceTable::Put(file, position, &record);
    }
    if (!merge.origin || fix.valuesOnly) return;
    Provenance record = *merge.origin;
    record.base = merge.base;
    record.governed = fix.governed;
    record.takenAt = takenAt;
    detail::ProvenanceTable::Put(file, position, &record);
  });
  for (const StoredNew& setup : added) {
    Provenance record = setup.origin;
    record.takenAt = takenAt;
    const detail::RowRef row = file.Insert(setup.name, setup.values, [&](std::int64_t position) {
      detail::ProvenanceTable::Put(file, position, &record);
      return std::vector<detail::VersionMark>();
    });
    if (recorder) recorder->Created(row.position);
  }
  if (recorder) {
    recorder->Commit();
  } else {
    file.CommitBatch();
  }
}

}  // namespace ornhost
