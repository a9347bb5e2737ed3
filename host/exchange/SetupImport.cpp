// Setups as text: import checks a setups document whole as it reads it, then stores its setups.
#include <string>
#include <system_error>
#include <unordered_set>

#include "host/controls/HostControls.h"
#include "host/exchange/SetupsDocumentReader.h"
#include "host/provenance/Standards.h"
#include "host/session/FileWriter.h"
#include "host/session/HostState.h"
#include "host/store/ProvenanceTable.h"
#include "host/store/StandardsTable.h"
#include "support/Utf.h"

namespace ornhost {

std::string ImportProblem::Text() const {
  return file + ":" + std::to_string(line) + ": " + (property.empty() ? "" : property + ": ") +
         message;
}

ImportError::ImportError(std::vector<ImportProblem> problems, std::size_t unlisted)
    : std::runtime_error(
          problems.empty() ? std::string("nothing to import")
                           : problems.front().Text() +
                                 (problems.size() + unlisted > 1
                                      ? " (and " + std::to_string(problems.size() + unlisted - 1) +
                                            " more problems)"
                                      : "")),
      problems_(std::move(problems)),
      unlisted_(unlisted) {}

std::vector<std::u16string> ImportSetups(const std::filesystem::path& designFile,
                                         const std::filesystem::path& in, bool replace,
                                         ImportLocks locks) {
  // Names the design file holds, which only a replacing import may bring again.
  std::unordered_set<std::u16string> taken;
  std::error_code ec;
  if (!replace && std::filesystem::exists(designFile, ec)) {
    for (StoredSetup& setup : ReadSetups(designFile)) taken.insert(std::move(setup.name));
  }
  detail::SetupsRead read = detail::ReadSetupsDocument(in, replace ? nullptr : &taken);
  if (!read.problems.empty()) throw ImportError(std::move(read.problems), read.unlisted);

  // The setups and where they came from (or that they came from nowhere) in one transaction: a
  // write that fails midway leaves the design file as it was.
  // Into the master file, values its library setups lock are held to them inside the same
  // transaction: an import that would breach one stores nothing.
  detail::HostFile* master = detail::State().master;
  detail::StoreSetups(
      designFile, read.records,
      [&](detail::DesignFile& db, std::size_t index, std::int64_t position) {
        detail::ProvenanceTable::Put(db, position, read.sources[index].get());
        detail::StandardsOfSetup standards{read.standards[index], read.overlays[index]};
        if (db.Version() >= detail::kStandardsFormat) {
          detail::StandardsTable::Put(db, position, standards);
        }
        if (locks == ImportLocks::InAnyFile ||
            (master != nullptr && master->IsOpen() && master->Db() == &db)) {
          RefuseLockBreachesIn(db, position, read.records[index].second);
        }
      });
  std::vector<std::u16string> stored;
  stored.reserve(read.records.size());
  for (auto& record : read.records) stored.push_back(std::move(record.first));
  // A merge left pending in this session no longer fits the values just stored.
  for (detail::HostFile* file : detail::FindOpenFiles(designFile)) {
    for (const std::u16string& name : stored) {
      if (detail::StoreEntry* entry = file->Find(name)) entry->DropPending();
    }
  }
  return stored;
}

}  // namespace ornhost
