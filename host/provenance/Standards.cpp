#include "host/provenance/Standards.h"

#include <algorithm>
#include <utility>

#include "host/controls/HostControls.h"
#include "host/provenance/LibraryShelf.h"
#include "host/provenance/StoredSetups.h"
#include "host/session/HostState.h"
#include "host/store/ProvenanceTable.h"
#include "host/store/SettingFields.h"
#include "host/store/SettingsColumns.h"
#include "host/store/StandardsTable.h"
#include "host/store/VersionTable.h"
#include "support/Utf.h"

using Teskor::ZelPlatform::OrnSettings;
using Teskor::ZelPlatform::StoreAccess;

namespace ornhost {

namespace {

using detail::HostFile;
using detail::kSettingCount;
using detail::StoreEntry;

std::string Quoted(std::u16string_view name) {
  return "\"" + ornr::Utf16ToUtf8(name) + "\"";
}

HostFile& Master() {
  HostFile* master = detail::State().master;
  if (master == nullptr || !master->IsOpen()) throw StandardsError("no master file is open");
  return *master;
}

StoreEntry& MasterEntry(const std::u16string& setup) {
  StoreEntry* entry = Master().Find(setup);
  if (entry == nullptr) throw StandardsError("the master file holds no setup " + Quoted(setup));
  return *entry;
}

// The stored master-file setup, for a standard written at once.
StoreEntry& StoredMasterEntry(const std::u16string& setup) {
  StoreEntry& entry = MasterEntry(setup);
  if (!entry.row) {
    throw StandardsError(Quoted(setup) + " is not stored yet; save " + ornr::Utf16ToUtf8(setup) +
                         " first");
  }
  if (!Master().IsWritable()) throw StandardsError(Master().DisplayName() + " is open read-only");
  return entry;
}

std::size_t PropertyIndex(const std::string& property) {
  const auto index = detail::SettingIndex(property);
  if (!index) throw StandardsError("the renderer has no setting " + property);
  return *index;
}

// A layer's library setup now, or why it is gone.
struct LayerSource {
  LayerKind kind = LayerKind::SameName;
  Provenance origin;
  bool pending = false;
  std::optional<LibraryShelf::SetupNow> now;
  std::string gone;
};

// Standards of a setup of an open file as stored, by its record's position.
detail::StandardsOfSetup StoredStandards(HostFile& file, const StoreEntry& entry) {
  if (!entry.row) return {};
  const auto& all = detail::StandardsByPosition(file);
  const auto found = all.find(entry.row->position);
  return found != all.end() ? found->second : detail::StandardsOfSetup{};
}

// The library setup origin names, as the host offers it (an open library's working copy and
// standards) or as its file holds it.
std::optional<LibraryShelf::SetupNow> LibrarySetupNow(const Provenance& origin, LibraryShelf& disk,
                                                      std::string& gone) {
  // Resolving the path costs system calls: a run over many files has no library open.
  std::optional<std::filesystem::path> wanted;
  for (HostFile* library : detail::State().libraries) {
    if (!library->IsOpen()) continue;
    if (!wanted) wanted = detail::ComparablePath(origin.libraryPath);
    if (library->CanonicalPath() != *wanted) continue;
    StoreEntry* entry = library->Find(origin.librarySetup);
    if (entry == nullptr || !entry->working->valid) {
      gone = LibraryShelf::GoneReason(origin, entry != nullptr);
      return std::nullopt;
    }
    LibraryShelf::SetupNow now{StoreAccess::Settings(*entry->working), {}};
    now.standards = StoredStandards(*library, *entry).standards;
    return now;
  }
  return disk.Setup(origin, gone);
}

// Bits of each value, for comparisons without texts.
using Values = detail::StoredValues;

bool Differ(const Values& a, const Values& b, std::size_t i) {
  return !detail::SameStoredValue(a[i], b[i]);
}

DriftState StateOf(bool localChange, bool libraryChange, bool alike) {
  if (localChange && libraryChange) return alike ? DriftState::ChangedAlike : DriftState::Conflict;
  if (localChange) return DriftState::ChangedHere;
  return libraryChange ? DriftState::ChangedInLibrary : DriftState::Unchanged;
}

enum class ValueTexts { None, Drifted, All };

// The comparison itself: every value of here against the last layer that governs it.
Governed Compare(const OrnSettings& here, std::vector<LayerSource> sources,
                 const std::map<std::string, OverrideRecord>& overrides, ValueTexts texts) {
  Governed governed;
  std::vector<Values> bases;
  std::vector<Values> libraries;
  for (LayerSource& source : sources) {
    Layer& layer = governed.layers.emplace_back();
    layer.kind = source.kind;
    layer.origin = std::move(source.origin);
    layer.pending = source.pending;
    layer.libraryGone = !source.now;
    if (source.now) {
      layer.library = source.now->values;
      layer.standards = std::move(source.now->standards);
      layer.governed = layer.standards.scope.value_or(AllProperties());
    } else {
      layer.goneReason = std::move(source.gone);
    }
    bases.push_back(detail::SettingValues(layer.origin.base));
    libraries.push_back(detail::SettingValues(layer.library));
  }
  const Values hereValues = detail::SettingValues(here);
  // Each text is made where it is wanted: most values of most setups are in step.
  const std::vector<detail::Field>& fields = detail::Fields();
  governed.values.resize(kSettingCount);
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    GovernedValue& value = governed.values[i];
    value.property = detail::SettingKey(i);
    if (const auto found = overrides.find(value.property); found != overrides.end()) {
      value.override = found->second;
    }
    for (std::size_t n = 0; n < governed.layers.size(); ++n) {
      const Layer& layer = governed.layers[n];
      if (layer.libraryGone || !layer.governed.test(i)) continue;
      if (value.layer) value.shadowed.push_back(*value.layer);
      value.layer = n;
    }
    if (!value.layer) {
      if (texts == ValueTexts::All) value.here = fields[i].text(here);
      continue;
    }
    const std::size_t n = *value.layer;
    const Layer& layer = governed.layers[n];
    value.newlyGoverned = layer.origin.governed && !layer.origin.governed->test(i);
    // Where the base does not cover the value, the value here stands for it: a difference from
    // the library is the library's.
    const Values& base = value.newlyGoverned ? hereValues : bases[n];
    value.state = StateOf(Differ(hereValues, base, i), Differ(libraries[n], base, i),
                          !Differ(hereValues, libraries[n], i));
    if (const auto lock = layer.standards.locks.find(value.property);
        lock != layer.standards.locks.end()) {
      value.lockReason = lock->second;
    }
    if (texts == ValueTexts::All || (texts == ValueTexts::Drifted &&
                                     (value.state != DriftState::Unchanged || value.Locked()))) {
      value.here = fields[i].text(here);
      value.base = value.newlyGoverned ? value.here : fields[i].text(layer.origin.base);
      value.library = fields[i].text(layer.library);
    }
    ++governed.counts[static_cast<std::size_t>(value.state)];
  }
  return governed;
}

// The layers of a setup with its link, overlays (in order) and what waits for its save.
std::vector<LayerSource> Sources(const std::optional<Provenance>& link,
                                 const std::vector<Provenance>& overlays, bool linkPending,
                                 bool overlaysPending, LibraryShelf& disk) {
  std::vector<LayerSource> sources;
  const auto add = [&](LayerKind kind, const Provenance& origin, bool pending) {
    LayerSource& source = sources.emplace_back();
    source.kind = kind;
    source.origin = origin;
    source.pending = pending;
    source.now = LibrarySetupNow(origin, disk, source.gone);
  };
  if (link) add(LayerKind::SameName, *link, linkPending);
  for (const Provenance& overlay : overlays) add(LayerKind::Overlay, overlay, overlaysPending);
  return sources;
}

std::optional<Governed> GovernedOfEntry(HostFile& master, StoreEntry& entry, LibraryShelf& disk,
                                        bool withTexts) {
  std::optional<Provenance> link;
  if (entry.row) {
    const auto& records = detail::ProvenanceByPosition(master);
    const auto found = records.find(entry.row->position);
    if (found != records.end()) link = found->second;
  }
  if (link && entry.pendingBase) {
    link->base = *entry.pendingBase;
    link->governed = entry.pendingGoverned;
  }
  detail::StandardsOfSetup stored = StoredStandards(master, entry);
  const std::vector<Provenance>& overlays =
      entry.pendingOverlays ? *entry.pendingOverlays : stored.overlays;
  if (!link && overlays.empty()) return std::nullopt;
  auto overrides = stored.standards.overrides;
  for (const auto& [property, pending] : entry.pendingOverrides) overrides[property] = pending;
  return Compare(StoreAccess::Settings(*entry.working),
                 Sources(link, overlays, entry.pendingBase != nullptr,
                         entry.pendingOverlays.has_value(), disk),
                 overrides, withTexts ? ValueTexts::All : ValueTexts::None);
}

std::string LockMessage(const std::string& property, const Layer& layer,
                        const std::string& reason) {
  return property + " is locked by " + layer.Label() + ": " + reason;
}

// Nothing left to save: what waits is stored at once.
void CommitIfSaved(StoreEntry& entry, std::string_view action) {
  if (!entry.working->modified && entry.stored &&
      entry.stored->settings.Equals(StoreAccess::Settings(*entry.working))) {
    detail::CommitPending(Master(), entry, action);
  }
}

}  // namespace

// --- Words of a scope ---------------------------------------------------------------------------

const std::vector<SettingsSection>& SettingsSections() {
  static const std::vector<SettingsSection> sections = [] {
    std::vector<SettingsSection> list;
#define ORN_SECTION(identifier, title) list.push_back({#identifier, {}});
#define ORN_SHOWN(name, label, description) list.back().properties.emplace_back(#name);
#include "settings/OrnSettingsSections.def"
#undef ORN_SHOWN
#undef ORN_SECTION
    return list;
  }();
  return sections;
}

PropertySet ScopeOfWords(const std::vector<std::string>& words) {
  if (words.empty()) throw StandardsError("a scope needs a property or a section");
  PropertySet scope;
  for (const std::string& word : words) {
    if (const auto index = detail::SettingIndex(word)) {
      scope.set(*index);
      continue;
    }
    const auto& sections = SettingsSections();
    const auto section = std::find_if(sections.begin(), sections.end(),
                                      [&](const auto& s) { return s.identifier == word; });
    if (section == sections.end()) {
      throw StandardsError("\"" + word + "\" is neither a property nor a section");
    }
    for (const std::string& property : section->properties) scope.set(PropertyIndex(property));
  }
  return scope;
}

std::vector<std::string> WordsOfScope(const std::optional<PropertySet>& scope) {
  if (!scope || scope->all() || scope->none()) return {"all"};
  std::vector<std::string> words;
  PropertySet rest = *scope;
  for (const SettingsSection& section : SettingsSections()) {
    PropertySet whole;
    for (const std::string& property : section.properties) whole.set(PropertyIndex(property));
    if ((whole & *scope) != whole) continue;
    words.push_back(section.identifier);
    rest &= ~whole;
  }
  for (const std::string& property : PropertyNames(rest)) words.push_back(property);
  return words;
}

std::string ScopeText(const std::optional<PropertySet>& scope) {
  std::string text;
  for (const std::string& word : WordsOfScope(scope)) text += (text.empty() ? "" : ", ") + word;
  return text;
}

// --- Standards of the master file's setups --------------------------------------------------

SetupStandards StandardsOf(const std::u16string& setup) {
  StoreEntry& entry = MasterEntry(setup);
  SetupStandards standards = StoredStandards(Master(), entry).standards;
  for (const auto& [property, pending] : entry.pendingOverrides) {
    standards.overrides[property] = pending;
  }
  return standards;
}

std::vector<std::string> SetScope(const std::u16string& setup,
                                  const std::optional<PropertySet>& wanted) {
  StoredMasterEntry(setup);
  return SetScopeIn(*Master().Db(), setup, wanted);
}

std::vector<std::string> SetScopeIn(detail::DesignFile& file, const std::u16string& setup,
                                    const std::optional<PropertySet>& wanted) {
  // Every value is no scope at all: such a setup keeps no rows, as before scopes.
  const std::optional<PropertySet> scope =
      wanted && !wanted->all() ? wanted : std::optional<PropertySet>();
  if (scope && scope->none()) throw StandardsError("a scope needs a property or a section");
  std::vector<std::string> dropped;
  detail::StandardsTable::Change(
      file, setup,
      [&](detail::StandardsOfSetup& stored) {
        std::vector<detail::VersionMark> marks;
        SetupStandards& standards = stored.standards;
        if (standards.scope == scope) return marks;
        marks.push_back({"scope", "", ScopeText(standards.scope), ScopeText(scope)});
        standards.scope = scope;
        for (auto lock = standards.locks.begin(); lock != standards.locks.end();) {
          if (standards.Governs(PropertyIndex(lock->first))) {
            ++lock;
            continue;
          }
          marks.push_back({"lock", lock->first, lock->second, ""});
          dropped.push_back(lock->first);
          lock = standards.locks.erase(lock);
        }
        return marks;
      },
      detail::actions::kScope);
  return dropped;
}

void Lock(const std::u16string& setup, const std::vector<std::string>& properties,
          const std::string& reason) {
  StoredMasterEntry(setup);
  LockIn(*Master().Db(), setup, properties, reason);
}

void LockIn(detail::DesignFile& file, const std::u16string& setup,
            const std::vector<std::string>& properties, const std::string& reason) {
  if (properties.empty()) throw StandardsError("lock needs a property");
  if (reason.empty()) throw StandardsError("a lock needs a reason");
  if (ornr::Utf8ToUtf16(reason).size() > kMaxReasonLength) {
    throw StandardsError("a reason of at most 1000 characters");
  }
  for (const std::string& property : properties) PropertyIndex(property);
  detail::StandardsTable::Change(
      file, setup,
      [&](detail::StandardsOfSetup& stored) {
        std::vector<detail::VersionMark> marks;
        SetupStandards& standards = stored.standards;
        for (const std::string& property : properties) {
          if (!standards.Governs(PropertyIndex(property))) {
            throw StandardsError(property + " is not governed by " + Quoted(setup) + " (scope " +
                                 ornr::Utf16ToUtf8(setup) + " shows what it governs)");
          }
          std::string& locked = standards.locks[property];
          if (locked == reason) continue;
          marks.push_back({"lock", property, locked, reason});
          locked = reason;
        }
        return marks;
      },
      detail::actions::kLock);
}

void Unlock(const std::u16string& setup, const std::vector<std::string>& properties) {
  StoredMasterEntry(setup);
  UnlockIn(*Master().Db(), setup, properties);
}

void UnlockIn(detail::DesignFile& file, const std::u16string& setup,
              const std::vector<std::string>& properties) {
  if (properties.empty()) throw StandardsError("unlock needs a property");
  for (const std::string& property : properties) PropertyIndex(property);
  detail::StandardsTable::Change(
      file, setup,
      [&](detail::StandardsOfSetup& stored) {
        std::vector<detail::VersionMark> marks;
        for (const std::string& property : properties) {
          const auto lock = stored.standards.locks.find(property);
          if (lock == stored.standards.locks.end()) {
            throw StandardsError(property + " of " + Quoted(setup) + " is not locked");
          }
          marks.push_back({"lock", property, lock->second, ""});
          stored.standards.locks.erase(lock);
        }
        return marks;
      },
      detail::actions::kUnlock);
}

void SetNote(const std::u16string& setup, const std::string& property, const std::string& text) {
  StoredMasterEntry(setup);
  SetNoteIn(*Master().Db(), setup, property, text);
}

void SetNoteIn(detail::DesignFile& file, const std::u16string& setup, const std::string& property,
               const std::string& text) {
  if (!property.empty()) PropertyIndex(property);
  if (ornr::Utf8ToUtf16(text).size() > kMaxNoteLength) {
    throw StandardsError("a note of at most 4000 characters");
  }
  detail::StandardsTable::Change(
      file, setup,
      [&](detail::StandardsOfSetup& stored) {
        std::vector<detail::VersionMark> marks;
        SetupStandards& standards = stored.standards;
        std::string& note = property.empty() ? standards.description : standards.notes[property];
        if (note != text) marks.push_back({"note", property, note, text});
        note = text;
        if (!property.empty() && text.empty()) standards.notes.erase(property);
        return marks;
      },
      detail::actions::kNote);
}

// --- Layers and the governed-values comparison -------------------------------------------------

std::string Layer::Label() const {
  return Quoted(origin.librarySetup) + " in " + ornr::Utf16ToUtf8(origin.libraryFile);
}

bool GovernedValue::Breached() const {
  return Locked() && !Overridden() && here != library && here != base;
}

std::size_t Governed::GovernedCount() const {
  std::size_t count = 0;
  for (const std::size_t n : counts) count += n;
  return count;
}

const GovernedValue* Governed::Find(const std::string& property) const {
  for (const GovernedValue& value : values) {
    if (value.property == property) return &value;
  }
  return nullptr;
}

std::string Governed::Summary() const {
  const std::string text = DriftCountsText(counts);
  const bool gone = std::any_of(layers.begin(), layers.end(),
                                [](const Layer& layer) { return layer.libraryGone; });
  if (gone && (text.empty() || layers.size() == 1)) return "library setup gone";
  if (text.empty()) return "up to date";
  return gone ? text + ", library setup gone" : text;
}

std::optional<Governed> GovernedOf(const std::u16string& setup) {
  HostFile* master = detail::State().master;
  if (master == nullptr || !master->IsOpen()) return std::nullopt;
  StoreEntry* entry = master->Find(setup);
  if (entry == nullptr) return std::nullopt;
  if (!entry->working->valid) {
    throw StandardsError("the stored record of " + Quoted(setup) + " cannot be read");
  }
  LibraryShelf disk;
  return GovernedOfEntry(*master, *entry, disk, true);
}

std::optional<Governed> GovernedOfStored(const StoredSetupRecord& setup, LibraryShelf& shelf,
                                         bool textsOfDriftedOnly) {
  if (!setup.settings || (!setup.origin && setup.overlays.empty())) return std::nullopt;
  return Compare(*setup.settings, Sources(setup.origin, setup.overlays, false, false, shelf),
                 setup.standards.overrides,
                 textsOfDriftedOnly ? ValueTexts::Drifted : ValueTexts::All);
}

MergedValues MergeGoverned(const OrnSettings& here, const Governed& governed, MergeTake conflicts) {
  MergedValues merged{here, {}};
  for (const GovernedValue& value : governed.values) {
    if (!value.layer || value.Overridden()) continue;
    bool take = false;
    if (value.Locked()) {
      take = value.here != value.library;
    } else {
      take = TakesLibrary(value.state, conflicts);
      if (value.state == DriftState::Conflict && conflicts == MergeTake::Undecided) {
        merged.undecided.push_back(value.property);
      }
    }
    if (take) SetSettingFromText(merged.values, value.property, value.library);
  }
  return merged;
}

void SetPendingMergeBases(const std::u16string& setup, const Governed& merged) {
  StoreEntry& entry = MasterEntry(setup);
  std::vector<Provenance> overlays;
  bool anyOverlay = false;
  for (const Layer& layer : merged.layers) {
    Provenance origin = layer.origin;
    if (!layer.libraryGone) {
      origin.base = layer.library;
      origin.governed = layer.standards.scope;
    }
    if (layer.kind == LayerKind::SameName) {
      if (layer.libraryGone) continue;
      entry.pendingBase = std::make_unique<OrnSettings>(origin.base);
      entry.pendingGoverned = origin.governed;
      continue;
    }
    anyOverlay = true;
    if (!layer.libraryGone) {
      origin.governed = layer.governed;
      origin.takenAt.clear();
    }
    overlays.push_back(std::move(origin));
  }
  if (anyOverlay) entry.pendingOverlays = std::move(overlays);
  CommitIfSaved(entry, "merge from library");
}

// --- Overlays ------------------------------------------------------------------------------------

LibrarySetup FindLibrarySetup(const std::u16string& name,
                              const std::optional<std::filesystem::path>& path) {
  const std::optional<std::filesystem::path> wanted =
      path ? std::optional(detail::ComparablePath(*path)) : std::nullopt;
  HostFile* source = nullptr;
  for (HostFile* library : detail::State().libraries) {
    if (!library->IsOpen() || (wanted && library->CanonicalPath() != *wanted)) continue;
    StoreEntry* offered = library->Find(name);
    if (offered == nullptr || !offered->working->valid) continue;
    // The module takes a name offered by several libraries from the one whose name sorts first.
    if (source == nullptr || library->GetFileName().str() < source->GetFileName().str()) {
      source = library;
    }
  }
  LibrarySetup found;
  found.origin.librarySetup = name;
  if (source != nullptr) {
    found.origin.libraryFile = source->GetFileName().str();
    found.origin.libraryPath = source->CanonicalPath().string();
    found.origin.base = StoreAccess::Settings(*source->Find(name)->working);
    found.standards = StoredStandards(*source, *source->Find(name)).standards;
  } else {
    if (!path) throw StandardsError("no library offers a setup " + Quoted(name));
    StoredFile file;
    try {
      file = ReadStoredFile(*path);
    } catch (const DesignFileError& error) {
      throw StandardsError(error.what());
    }
    const auto stored = std::find_if(file.setups.begin(), file.setups.end(),
                                     [&](const auto& setup) { return setup.name == name; });
    if (stored == file.setups.end()) {
      throw StandardsError(path->string() + " holds no setup " + Quoted(name));
    }
    if (!stored->settings) {
      throw StandardsError(path->string() + " holds " + Quoted(name) + " only as a damaged record");
    }
    found.origin.libraryFile = ornr::Utf8ToUtf16(path->filename().string());
    found.origin.libraryPath = detail::ComparablePath(*path).string();
    found.origin.base = *stored->settings;
    found.standards = stored->standards;
  }
  found.origin.governed = found.standards.scope.value_or(AllProperties());
  return found;
}

ApplyPlan PlanApply(const LibrarySetup& source, const std::u16string& setup) {
  StoreEntry& entry = MasterEntry(setup);
  if (!entry.working->valid) {
    throw StandardsError("the stored record of " + Quoted(setup) + " cannot be read");
  }
  const auto sameAs = [&](const Provenance& origin) {
    return origin.librarySetup == source.origin.librarySetup &&
           detail::ComparablePath(origin.libraryPath) ==
               detail::ComparablePath(source.origin.libraryPath);
  };
  if (entry.row) {
    const auto& records = detail::ProvenanceByPosition(Master());
    const auto link = records.find(entry.row->position);
    if (link != records.end() && sameAs(link->second)) {
      throw StandardsError(Quoted(setup) + " was taken from " + Quoted(source.origin.librarySetup) +
                           " by name already; merge-from-library takes its newer values");
    }
  }
  const SetupStandards standards = StandardsOf(setup);
  const OrnSettings& here = StoreAccess::Settings(*entry.working);
  ApplyPlan plan;
  const PropertySet governed = source.origin.governed.value_or(AllProperties());
  plan.governed = governed.count();
  const auto hereTexts = SettingTexts(here);
  const auto libraryTexts = SettingTexts(source.origin.base);
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (!governed.test(i) || hereTexts[i].second == libraryTexts[i].second) continue;
    plan.rows.push_back({hereTexts[i].first, hereTexts[i].second, libraryTexts[i].second,
                         standards.overrides.contains(hereTexts[i].first)});
  }
  plan.overlays =
      entry.pendingOverlays ? *entry.pendingOverlays : StoredStandards(Master(), entry).overlays;
  std::erase_if(plan.overlays, sameAs);
  Provenance applied = source.origin;
  applied.governed = governed;
  applied.takenAt.clear();
  plan.overlays.push_back(std::move(applied));
  return plan;
}

void SetPendingOverlays(const std::u16string& setup, const std::vector<Provenance>& overlays) {
  StoreEntry& entry = MasterEntry(setup);
  entry.pendingOverlays = overlays;
  CommitIfSaved(entry, "apply");
}

// --- Locks -------------------------------------------------------------------------------------

ValueLock LockOfValue(const std::u16string& setup, const Governed& governed,
                      const GovernedValue& value) {
  return ValueLock{setup,
                   value.property,
                   governed.layers[*value.layer],
                   *value.lockReason,
                   value.override,
                   value.Breached(),
                   value.library};
}

std::string LockedText(const ValueLock& lock) {
  return lock.property + " of " + Quoted(lock.setup) + " is locked by " + lock.layer.Label() +
         ": " + lock.reason;
}

std::optional<ValueLock> LockOf(const std::u16string& setup, const std::string& property) {
  PropertyIndex(property);
  const auto governed = GovernedOf(setup);
  if (!governed) return std::nullopt;
  const GovernedValue* value = governed->Find(property);
  if (value == nullptr || !value->Locked()) return std::nullopt;
  return LockOfValue(setup, *governed, *value);
}

std::vector<ValueLock> LocksOf(const std::optional<std::u16string>& setup) {
  std::vector<ValueLock> locks;
  HostFile& master = Master();
  LibraryShelf disk;
  for (StoreEntry& entry : master.Entries()) {
    const std::u16string name(entry.working->GetName().str());
    if ((setup && *setup != name) || !entry.working->valid) continue;
    const auto governed = GovernedOfEntry(master, entry, disk, true);
    if (!governed) continue;
    for (const GovernedValue& value : governed->values) {
      if (!value.Locked()) continue;
      locks.push_back(LockOfValue(name, *governed, value));
    }
  }
  if (setup && !master.Find(*setup)) {
    throw StandardsError("the master file holds no setup " + Quoted(*setup));
  }
  return locks;
}

void SetPendingOverride(const std::u16string& setup, const std::string& property,
                        const std::string& reason) {
  if (reason.empty()) throw StandardsError("an override needs a reason");
  if (ornr::Utf8ToUtf16(reason).size() > kMaxReasonLength) {
    throw StandardsError("a reason of at most 1000 characters");
  }
  if (!LockOf(setup, property)) {
    throw StandardsError(property + " of " + Quoted(setup) +
                         " is not locked; there is nothing to override");
  }
  MasterEntry(setup).pendingOverrides[property] = OverrideRecord{reason, "", ""};
}

std::vector<LockBreach> LockBreaches(const Governed& governed, const OrnSettings& after,
                                     const OrnSettings* before,
                                     const std::map<std::string, OverrideRecord>& overrides) {
  std::vector<LockBreach> breaches;
  const auto afterTexts = SettingTexts(after);
  const auto beforeTexts = before != nullptr ? SettingTexts(*before)
                                             : std::vector<std::pair<std::string, std::string>>();
  for (std::size_t i = 0; i < governed.values.size(); ++i) {
    const GovernedValue& value = governed.values[i];
    if (!value.Locked() || overrides.contains(value.property)) continue;
    const std::string& now = afterTexts[i].second;
    const std::string& base = value.newlyGoverned ? now : value.base;
    if (now == value.library || now == base) continue;
    if (before != nullptr && beforeTexts[i].second == now) continue;
    breaches.push_back(
        {value.property,
         LockMessage(value.property, governed.layers[*value.layer], *value.lockReason) + " (" +
             now + " here, " + value.library + " in the library)"});
  }
  return breaches;
}

void RefuseLockBreachesAt(std::int64_t position, const OrnSettings& values) {
  RefuseLockBreachesIn(*Master().Db(), position, values);
}

void RefuseLockBreachesIn(detail::DesignFile& db, std::int64_t position,
                          const OrnSettings& values) {
  const auto records = detail::ProvenanceTable::ReadAll(db);
  const auto link = records.find(position);
  const detail::StandardsOfSetup stored = detail::StandardsTable::Read(db, position);
  if (link == records.end() && stored.overlays.empty()) return;
  LibraryShelf disk;
  const Governed governed =
      Compare(values,
              Sources(link != records.end() ? std::optional(link->second) : std::nullopt,
                      stored.overlays, false, false, disk),
              stored.standards.overrides, ValueTexts::All);
  const auto breaches = LockBreaches(governed, values, nullptr, stored.standards.overrides);
  if (breaches.empty()) return;
  throw StandardsError(breaches.front().message +
                       (breaches.size() > 1
                            ? " (and " + std::to_string(breaches.size() - 1) + " more)"
                            : std::string()) +
                       "; nothing changed");
}

namespace detail {

const std::map<std::int64_t, StandardsOfSetup>& StandardsByPosition(HostFile& file) {
  struct Cached {
    std::string stamp;
    std::map<std::int64_t, StandardsOfSetup> byPosition;
  };
  // Files are never freed, so an address never stands for another file.
  static auto* cache = new std::map<const HostFile*, Cached>;
  Cached& cached = (*cache)[&file];
  if (!file.IsOpen()) {
    cached = Cached{};
    return cached.byPosition;
  }
  std::string stamp = StandardsTable::Stamp(*file.Db());
  if (stamp != cached.stamp) {
    cached.byPosition = StandardsTable::ReadAll(*file.Db());
    cached.stamp = std::move(stamp);
  }
  return cached.byPosition;
}

StandardsOfSetup WorkingStandards(HostFile& file, const std::u16string& setup) {
  StoreEntry* entry = file.Find(setup);
  if (entry == nullptr) return {};
  StandardsOfSetup working = StoredStandards(file, *entry);
  if (entry->pendingOverlays) {
    working.overlays = *entry->pendingOverlays;
    const std::string now = UtcNowText();
    for (Provenance& overlay : working.overlays) {
      if (overlay.takenAt.empty()) overlay.takenAt = now;
    }
  }
  for (const auto& [property, pending] : entry->pendingOverrides) {
    working.standards.overrides[property] = OverrideRecord{pending.reason, OsUser(), UtcNow()};
  }
  return working;
}

std::map<std::u16string, Governed> LinkedGovernedCounts(HostFile& master) {
  std::map<std::u16string, Governed> all;
  if (!master.IsOpen()) return all;
  const auto& records = ProvenanceByPosition(master);
  LibraryShelf disk;
  for (StoreEntry& entry : master.Entries()) {
    if (!entry.row || !entry.working->valid || !records.contains(entry.row->position)) continue;
    auto governed = GovernedOfEntry(master, entry, disk, false);
    if (governed) all.emplace(entry.working->GetName().str(), std::move(*governed));
  }
  return all;
}

}  // namespace detail

}  // namespace ornhost
