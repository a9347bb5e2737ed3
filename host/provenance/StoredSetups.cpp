#include "host/provenance/StoredSetups.h"

#include <map>

#include "host/controls/HostControls.h"
#include "host/provenance/ProvenanceTable.h"

namespace ornhost {

StoredFile ReadStoredFile(const std::filesystem::path& path) {
  detail::DesignFile file(path, detail::DesignFile::Access::ReadOnly);
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
  try {
    records = detail::ProvenanceTable::ReadAll(file);
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
  }
  return stored;
}

}  // namespace ornhost
