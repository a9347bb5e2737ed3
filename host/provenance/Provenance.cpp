#include "host/provenance/Provenance.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <type_traits>

#include "host/provenance/LibraryShelf.h"
#include "host/provenance/Standards.h"
#include "host/provenance/StoredSetups.h"
#include "host/session/FileWriter.h"
#include "host/session/HostState.h"
#include "host/store/ProvenanceTable.h"
#include "host/store/SettingsText.h"
#include "support/Utf.h"

using Teskor::ZelPlatform::OrnSettings;
using Teskor::ZelPlatform::OrnSetup;
using Teskor::ZelPlatform::StoreAccess;

namespace ornhost {

namespace {

using detail::HostFile;
using detail::StoreEntry;

using ornr::Quoted;

HostFile& OpenMaster() {
  HostFile* master = detail::State().master;
  if (master == nullptr || !master->IsOpen()) throw ProvenanceError("no master file is open");
  return *master;
}

StoreEntry& MasterEntry(const std::u16string& setup) {
  StoreEntry* entry = OpenMaster().Find(setup);
  if (entry == nullptr) throw ProvenanceError("the master file holds no setup " + Quoted(setup));
  return *entry;
}

template <typename T>
bool Same(const T& a, const T& b) {
  // Bit for bit, so that -0.0 differs from 0.0 as their texts do.
  if constexpr (std::is_same_v<T, double>) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
  } else {
    return a == b;
  }
}

DriftState StateOf(bool localChange, bool libraryChange, bool alike) {
  if (localChange && libraryChange) return alike ? DriftState::ChangedAlike : DriftState::Conflict;
  if (localChange) return DriftState::ChangedHere;
  return libraryChange ? DriftState::ChangedInLibrary : DriftState::Unchanged;
}

// The counts alone, without the texts of every value: what a list of many setups needs.
std::array<std::size_t, 5> CountStates(const OrnSettings& here, const OrnSettings& base,
                                       const OrnSettings& library) {
  std::array<std::size_t, 5> counts{};
#define ORN_FIELD(T, GET, SET, KEY, INIT)                                     \
  ++counts[static_cast<std::size_t>(StateOf(!Same(here.GET(), base.GET()),    \
                                            !Same(library.GET(), base.GET()), \
                                            Same(here.GET(), library.GET())))];
#include "host/OrnSettingsFields.def"
#undef ORN_FIELD
  return counts;
}

// What drift and the page's marks show: the governed-values comparison, seen from the library
// setup the setup was taken from by name.
Drift DriftOfGoverned(const Governed& governed, bool pending, bool withRows) {
  Drift drift;
  const Layer& link = governed.layers.front();
  drift.origin = link.origin;
  drift.pendingBase = pending;
  drift.libraryGone = link.libraryGone;
  drift.goneReason = link.goneReason;
  drift.library = link.library;
  drift.counts = governed.counts;
  if (!withRows || drift.libraryGone) return drift;
  for (const GovernedValue& value : governed.values) {
    if (!value.layer) continue;
    drift.rows.push_back({value.property, value.state, value.here, value.base, value.library});
  }
  return drift;
}

// The records of an open file as last read, while nothing has written to it since: the panel
// asks after every command.
const std::map<std::int64_t, Provenance>& RecordsByPosition(HostFile& file) {
  return detail::ProvenanceByPosition(file);
}

}  // namespace

const std::map<std::int64_t, Provenance>& detail::ProvenanceByPosition(HostFile& file) {
  struct Cached {
    std::string stamp;
    std::map<std::int64_t, Provenance> records;
  };
  // Files are never freed, so an address never stands for another file.
  static auto* cache = new std::map<const HostFile*, Cached>;
  Cached& cached = (*cache)[&file];
  std::string stamp = detail::ProvenanceTable::Stamp(*file.Db());
  if (stamp != cached.stamp) {
    cached.records = detail::ProvenanceTable::ReadAll(*file.Db());
    cached.stamp = std::move(stamp);
  }
  return cached.records;
}

namespace {

// The records of the master file by the name of the setup each belongs to.
std::map<std::u16string, Provenance> RecordsByName(HostFile& master) {
  const auto& byPosition = RecordsByPosition(master);
  std::map<std::u16string, Provenance> byName;
  for (const StoreEntry& entry : master.Entries()) {
    if (!entry.row) continue;
    const auto found = byPosition.find(entry.row->position);
    if (found != byPosition.end()) byName.emplace(entry.working->GetName().str(), found->second);
  }
  return byName;
}

}  // namespace

void RecordProvenance(const std::u16string& setup) {
  HostFile& master = OpenMaster();
  StoreEntry& entry = MasterEntry(setup);
  if (!entry.stored || !entry.stored->valid) {
    throw ProvenanceError(Quoted(setup) + " is not stored in the master file");
  }
  // The module takes a name offered by several libraries from the one whose name sorts first.
  HostFile* source = nullptr;
  for (HostFile* library : detail::State().libraries) {
    StoreEntry* offered = library->IsOpen() ? library->Find(setup) : nullptr;
    if (offered == nullptr || !offered->working->valid) continue;
    if (source == nullptr || library->GetFileName().str() < source->GetFileName().str()) {
      source = library;
    }
  }
  if (source == nullptr) throw ProvenanceError("no library offers a setup " + Quoted(setup));
  const OrnSettings& values = StoreAccess::Settings(*source->Find(setup)->working);
  if (!values.Equals(entry.stored->settings)) {
    throw ProvenanceError(Quoted(setup) + " does not hold the values of the library's setup");
  }
  Provenance record;
  record.libraryFile = source->GetFileName().str();
  record.libraryPath = source->CanonicalPath().string();
  record.librarySetup = setup;
  record.takenAt = detail::UtcNowText();
  record.base = values;
  // What the library setup governs now is what the base covers.
  const auto& standards = detail::StandardsByPosition(*source);
  const StoreEntry& offered = *source->Find(setup);
  if (const auto found = offered.row ? standards.find(offered.row->position) : standards.end();
      found != standards.end()) {
    record.governed = found->second.standards.scope;
  }
  detail::ProvenanceTable::Write(*master.Db(), setup, record, &entry.stored->settings);
  entry.pendingBase.reset();
  entry.pendingGoverned.reset();
}

std::optional<Provenance> ProvenanceOf(const std::u16string& setup) {
  auto all = AllProvenance();
  const auto found = all.find(setup);
  if (found == all.end()) return std::nullopt;
  return std::move(found->second);
}

std::map<std::u16string, Provenance> AllProvenance() {
  HostFile* master = detail::State().master;
  if (master == nullptr || !master->IsOpen()) return {};
  return RecordsByName(*master);
}

std::map<std::u16string, Provenance> ProvenanceInFile(const std::filesystem::path& designFile) {
  std::map<std::u16string, Provenance> byName;
  for (StoredSetupRecord& setup : ReadStoredFile(designFile).setups) {
    if (setup.origin) byName.emplace(std::move(setup.name), std::move(*setup.origin));
  }
  return byName;
}

void StoreProvenance(const std::filesystem::path& designFile, const std::u16string& setup,
                     const std::optional<Provenance>& record) {
  detail::FileWriter writer(designFile);
  detail::DesignFile& db = writer.Db();
  // The setup was just stored anew: a merge waiting for its save no longer fits it.
  if (HostFile* master = writer.Master()) {
    if (StoreEntry* entry = master->Find(setup)) {
      entry->pendingBase.reset();
      entry->pendingGoverned.reset();
    }
  }
  if (!record) {
    detail::ProvenanceTable::Forget(db, setup);
    return;
  }
  detail::ProvenanceTable::Write(db, setup, *record, nullptr);
}

const char* DriftStateName(DriftState state) {
  switch (state) {
    case DriftState::Unchanged:
      return "unchanged";
    case DriftState::ChangedHere:
      return "changed here";
    case DriftState::ChangedInLibrary:
      return "changed in library";
    case DriftState::Conflict:
      return "conflict";
    case DriftState::ChangedAlike:
      return "changed alike";
  }
  return "?";
}

std::vector<DriftRow> CompareThreeWays(const OrnSettings& here, const OrnSettings& base,
                                       const OrnSettings& library) {
  // The shortest texts that read back exactly are equal exactly when the values are.
  const auto hereTexts = SettingTexts(here);
  const auto baseTexts = SettingTexts(base);
  const auto libraryTexts = SettingTexts(library);
  std::vector<DriftRow> rows;
  rows.reserve(hereTexts.size());
  for (std::size_t i = 0; i < hereTexts.size(); ++i) {
    DriftRow row{hereTexts[i].first, DriftState::Unchanged, hereTexts[i].second,
                 baseTexts[i].second, libraryTexts[i].second};
    row.state = StateOf(row.here != row.base, row.library != row.base, row.here == row.library);
    rows.push_back(std::move(row));
  }
  return rows;
}

Drift DriftOfValues(const Provenance& origin, const OrnSettings& here, const OrnSettings& base,
                    const std::optional<OrnSettings>& library, std::string goneReason,
                    bool withRows) {
  Drift drift;
  drift.origin = origin;
  drift.libraryGone = !library;
  if (!library) {
    drift.goneReason = std::move(goneReason);
    return drift;
  }
  drift.library = *library;
  drift.counts = CountStates(here, base, *library);
  if (withRows) drift.rows = CompareThreeWays(here, base, *library);
  return drift;
}

bool TakesLibrary(DriftState state, MergeTake conflicts) {
  if (state == DriftState::Conflict) return conflicts == MergeTake::Library;
  return state == DriftState::ChangedInLibrary;
}

MergedValues MergeValues(const OrnSettings& here, const OrnSettings& base,
                         const OrnSettings& library, MergeTake conflicts) {
  MergedValues merged{here, {}};
#define ORN_FIELD(T, GET, SET, KEY, INIT)                                        \
  {                                                                              \
    const DriftState state =                                                     \
        StateOf(!Same(here.GET(), base.GET()), !Same(library.GET(), base.GET()), \
                Same(here.GET(), library.GET()));                                \
    if (TakesLibrary(state, conflicts)) merged.values.SET(library.GET());        \
    if (state == DriftState::Conflict && conflicts == MergeTake::Undecided) {    \
      merged.undecided.emplace_back(#KEY);                                       \
    }                                                                            \
  }
#include "host/OrnSettingsFields.def"
#undef ORN_FIELD
  return merged;
}

std::string DriftCountsText(const std::array<std::size_t, 5>& counts) {
  const auto counted = [&counts](DriftState state, const char* one, const char* many) {
    const std::size_t n = counts[static_cast<std::size_t>(state)];
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  std::vector<std::string> parts;
  if (counts[static_cast<std::size_t>(DriftState::ChangedInLibrary)] != 0) {
    parts.push_back("library has " +
                    counted(DriftState::ChangedInLibrary, "newer value", "newer values"));
  }
  if (counts[static_cast<std::size_t>(DriftState::ChangedHere)] != 0) {
    parts.push_back(counted(DriftState::ChangedHere, "local change", "local changes"));
  }
  if (counts[static_cast<std::size_t>(DriftState::Conflict)] != 0) {
    parts.push_back(counted(DriftState::Conflict, "conflict", "conflicts"));
  }
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
  return text;
}

std::string Drift::Summary() const {
  if (libraryGone) return "library setup gone";
  std::string text = DriftCountsText(counts);
  return text.empty() ? "up to date" : text;
}

std::optional<Drift> DriftOf(const std::u16string& setup) {
  HostFile* master = detail::State().master;
  if (master == nullptr || !master->IsOpen()) return std::nullopt;
  // By the record's position, not by every setup's name: the page asks after each edit.
  StoreEntry* entry = master->Find(setup);
  if (entry == nullptr || !entry->row) return std::nullopt;
  const auto& records = RecordsByPosition(*master);
  if (!records.contains(entry->row->position)) return std::nullopt;
  if (!entry->working->valid) {
    throw ProvenanceError("the stored record of " + Quoted(setup) + " cannot be read");
  }
  const auto governed = GovernedOf(setup);
  if (!governed || governed->layers.front().kind != LayerKind::SameName) return std::nullopt;
  return DriftOfGoverned(*governed, entry->pendingBase != nullptr, true);
}

std::map<std::u16string, Drift> AllDrift() {
  std::map<std::u16string, Drift> drifts;
  HostFile* master = detail::State().master;
  if (master == nullptr || !master->IsOpen()) return drifts;
  for (const auto& [name, governed] : detail::LinkedGovernedCounts(*master)) {
    const StoreEntry* entry = master->Find(name);
    drifts.emplace(name, DriftOfGoverned(governed, entry->pendingBase != nullptr, false));
  }
  return drifts;
}

void SetPendingBase(const std::u16string& setup, const OrnSettings& base,
                    const std::optional<PropertySet>& governed) {
  StoreEntry& entry = MasterEntry(setup);
  entry.pendingBase = std::make_unique<OrnSettings>(base);
  entry.pendingGoverned = governed;
  // Nothing to save would ever bring it in: a merge that kept every value as it was.
  if (!entry.working->modified && entry.stored &&
      entry.stored->settings.Equals(StoreAccess::Settings(*entry.working))) {
    detail::CommitPending(OpenMaster(), entry, "merge from library");
  }
}

bool HasPendingBase(const std::u16string& setup) {
  HostFile* master = detail::State().master;
  StoreEntry* entry = master != nullptr ? master->Find(setup) : nullptr;
  return entry != nullptr && entry->pendingBase != nullptr;
}

void SetWorkingSetting(const std::u16string& setup, const std::string& key,
                       const std::string& text) {
  OrnSetup& working = *MasterEntry(setup).working;
  // Through the record's own reading, so the text is taken exactly as a stored one would be.
  std::string record;
  bool known = false;
  for (const auto& [field, value] : SettingTexts(StoreAccess::Settings(working))) {
    known = known || field == key;
    record += field + "=" + (field == key ? text : value) + "\n";
  }
  const auto settings = detail::ParseSettingsRecord(record);
  if (!known) throw ProvenanceError("the renderer has no setting " + key);
  if (!settings) throw ProvenanceError("\"" + text + "\" is not a value of " + key);
  StoreAccess::Settings(working) = *settings;
  working.modified = true;
}

namespace detail {

std::map<std::u16string, Provenance> OriginsOfWorkingCopies(HostFile& file) {
  auto records = RecordsByName(file);
  for (auto& [name, record] : records) {
    const StoreEntry* entry = file.Find(name);
    if (entry != nullptr && entry->pendingBase) record.base = *entry->pendingBase;
  }
  return records;
}

}  // namespace detail

}  // namespace ornhost
