// The host's render-setup store: a working copy of each setup of every open design file, beside
// the stored copy that the file holds.
#include "host/OrnSetupManager.h"

#include <algorithm>

#include "host/session/HostState.h"
#include "host/store/ProvenanceTable.h"
#include "host/store/SetupNames.h"
#include "host/store/StandardsTable.h"
#include "host/store/VersionTable.h"
#include "support/Utf.h"

using Teskor::WString;
using Teskor::ZelPlatform::OrnSettings;
using Teskor::ZelPlatform::OrnSetup;
using Teskor::ZelPlatform::StoreAccess;
using Teskor::ZelPlatform::ZelFile;

namespace ornhost::detail {

namespace {

// The store changes only the master file: libraries are read, never written.
HostFile* WritableFile(ZelFile& file) {
  HostFile* host = FindOpenFile(file);
  return host != nullptr && host->IsWritable() ? host : nullptr;
}

std::u16string_view NameOf(const char16_t* name) {
  return name != nullptr ? std::u16string_view(name) : std::u16string_view();
}

using ornr::Quoted;

class SetupStore final : public Teskor::ZelPlatform::OrnSetupManager {
 public:
  // Setups are loaded when the file opens, so the store serves an open file already.
  void InitForFile(ZelFile& /*file*/) override { LogCall("OrnSetupManager::InitForFile"); }

  void GetSetupsForFile(std::vector<const OrnSetup*>& list, ZelFile& file) override {
    LogCall("OrnSetupManager::GetSetupsForFile");
    HostFile* host = FindOpenFile(file);
    if (host == nullptr) return;
    const auto& setups = host->Setups();
    list.insert(list.end(), setups.begin(), setups.end());
    host->NoteListed();
  }

  OrnSetup* FindOrnSetupByName(const char16_t* name, ZelFile& file) override {
    LogCall("OrnSetupManager::FindOrnSetupByName");
    HostFile* host = FindOpenFile(file);
    StoreEntry* entry = host != nullptr ? host->Find(NameOf(name)) : nullptr;
    return entry != nullptr ? entry->working.get() : nullptr;
  }

  void AddSetup(const OrnSetup& setup, ZelFile& file) override {
    LogCall("OrnSetupManager::AddSetup");
    HostFile* host = WritableFile(file);
    if (host == nullptr || host->Find(setup.GetName().str()) != nullptr) return;
    if (const auto refusal = RefusalOfSetupName(setup.GetName().str())) {
      ReportError(*refusal);
      return;
    }
    auto copy = std::make_unique<OrnSetup>(*host, u"");
    StoreAccess::SetName(*copy, setup.GetName().str());
    StoreAccess::Settings(*copy) = StoreAccess::Settings(setup);
    copy->modified = true;
    host->Append({std::move(copy), std::nullopt, std::nullopt});
  }

  // A write that did not reach the file leaves the setup modified, so that it is still offered
  // when the file closes.
  int Save(const char16_t* name, ZelFile& file) override {
    LogCall("RenderStoreManager::Save");
    HostFile* host = WritableFile(file);
    StoreEntry* entry = host != nullptr ? host->Find(NameOf(name)) : nullptr;
    auto& overwrite = State().overwriteOnNextSave;
    const bool force = overwrite && entry != nullptr && *overwrite == NameOf(name);
    if (force) overwrite.reset();
    // A record that could not be read stays in the file as it is.
    if (entry == nullptr || !entry->working->valid) return 0;
    const auto& settings = StoreAccess::Settings(*entry->working);
    const std::u16string_view setupName = entry->working->GetName().str();
    bool wrotePending = false;
    try {
      DesignFile& db = *host->Db();
      const auto& closing = State().closing;
      const std::string& named = State().saveAction;
      const char* action = closing && closing->file == host ? actions::kSaveAtClose
                           : force                          ? actions::kForcedSave
                           : !named.empty()                 ? named.c_str()
                                                            : actions::kSave;
      // The module's full copy from a library takes every value, so no override stands.
      const bool dropOverrides = named == actions::kUpdateFromLibrary;
      WriteAlongside alongside;
      if (entry->HasPending() || dropOverrides) {
        alongside = [&](std::int64_t position) {
          wrotePending = true;
          return WritePending(db, position, *entry, dropOverrides);
        };
      }
      entry->row = entry->row
                       ? db.Update(*entry->row, setupName, settings, force, action, alongside)
                   : force ? db.Upsert(setupName, settings, action)
                           : db.Insert(setupName, settings, alongside);
    } catch (const DesignFileError& error) {
      entry->working->modified = true;
      NoteFailedSave(*host, setupName);
      ReportError("could not save " + Quoted(setupName) + " to " + host->DisplayName() + ": " +
                  error.Reason());
      return 0;
    }
    entry->stored = StoredCopy{settings, true};
    if (wrotePending) {
      entry->DropPending();
    } else {
      CommitPending(*host, *entry, actions::kSave);
    }
    return 1;
  }

  // Reads the record as the file holds it now: another session may have saved it since.
  void Reset(const char16_t* name, ZelFile& file) override {
    LogCall("RenderStoreManager::Reset");
    HostFile* host = FindOpenFile(file);
    StoreEntry* entry = host != nullptr ? host->Find(NameOf(name)) : nullptr;
    if (entry == nullptr || !entry->stored) return;
    if (entry->row && host->IsWritable()) {
      const auto failed = [&](const std::string& reason) {
        entry->working->modified = true;
        ReportError("could not reset " + Quoted(NameOf(name)) + " from " + host->DisplayName() +
                    ": " + reason);
      };
      try {
        const auto record = host->Db()->Read(*entry->row);
        const OrnSettings& unsaved = StoreAccess::Settings(*entry->working);
        if (!record) {
          return failed(
              "another session has deleted it; this session's copy is kept (save it to store it "
              "again, or delete it)");
        }
        if (record->name != NameOf(name)) {
          return failed("another session has renamed it to " + Quoted(record->name) +
                        "; this session's copy is kept");
        }
        // What is thrown away stays as a version, so that a reset can be undone too; a file that
        // takes no writes at all (damaged, foreign) keeps nothing, and still resets.
        try {
          if (entry->working->valid && record->settings && !record->settings->Equals(unsaved)) {
            host->Db()->KeepUnsaved(record->row, unsaved);
          }
        } catch (const DesignFileError&) {
          if (host->Db()->Refusal().empty()) throw;
        }
        entry->row = record->row;
        entry->stored = StoredCopy{record->settings.value_or(entry->stored->settings),
                                   record->settings.has_value()};
      } catch (const DesignFileError& error) {
        return failed(error.Reason());
      }
    }
    entry->DropPending();
    StoreAccess::Settings(*entry->working) = entry->stored->settings;
    entry->working->valid = entry->stored->valid;
  }

  int Rename(const char16_t* oldName, const char16_t* newName, ZelFile& file) override {
    LogCall("RenderStoreManager::Rename");
    auto& refused = State().renameRefused;
    refused.reset();
    // The reason is kept for whoever asked for the rename, to tell the person.
    const auto refuse = [&](std::string reason) {
      refused = HostState::RenameRefused{std::u16string(NameOf(oldName)),
                                         std::u16string(NameOf(newName)), std::move(reason)};
      return 0;
    };
    HostFile* host = WritableFile(file);
    if (host == nullptr) return refuse("the file cannot be written");
    if (host->Find(NameOf(newName)) != nullptr) {
      return refuse("a setup named " + Quoted(NameOf(newName)) + " already exists");
    }
    if (const auto rule = BrokenSetupNameRule(NameOf(newName))) return refuse(*rule);
    StoreEntry* entry = host->Find(NameOf(oldName));
    if (entry == nullptr) {
      return refuse("no setup named " + Quoted(NameOf(oldName)) + " in " + host->DisplayName());
    }
    if (entry->row) {
      try {
        entry->row = host->Db()->Rename(*entry->row, NameOf(newName));
      } catch (const DesignFileError& error) {
        ReportError("could not rename " + Quoted(NameOf(oldName)) + " to " +
                    Quoted(NameOf(newName)) + " in " + host->DisplayName() + ": " + error.Reason());
        return 0;
      }
    }
    StoreAccess::SetName(*entry->working, NameOf(newName));
    return 1;
  }

  void Delete(const char16_t* name, ZelFile& file) override {
    LogCall("RenderStoreManager::Delete");
    HostFile* host = WritableFile(file);
    if (host == nullptr) return;
    StoreEntry* entry = host->Find(NameOf(name));
    if (entry == nullptr) return;
    if (entry->row) {
      try {
        host->Db()->Remove(*entry->row);
      } catch (const DesignFileError& error) {
        ReportError("could not delete " + Quoted(NameOf(name)) + " from " + host->DisplayName() +
                    ": " + error.Reason());
        return;
      }
    }
    host->Retire(*entry);
  }
};

}  // namespace

std::vector<VersionMark> WritePending(DesignFile& db, std::int64_t position,
                                      const StoreEntry& entry, bool dropOverrides) {
  std::vector<VersionMark> marks;
  if (entry.pendingBase) {
    const auto records = ProvenanceTable::ReadAll(db);
    const auto found = records.find(position);
    // A setup taken from no library has no record to take the base.
    if (found != records.end()) {
      Provenance record = found->second;
      record.base = *entry.pendingBase;
      record.governed = entry.pendingGoverned;
      record.takenAt = UtcNowText();
      ProvenanceTable::Put(db, position, &record);
    }
  }
  if (!entry.pendingOverlays && entry.pendingOverrides.empty() && !dropOverrides) return marks;
  const StandardsOfSetup stored = StandardsTable::Read(db, position);
  if (entry.pendingOverlays) {
    std::vector<Provenance> overlays = *entry.pendingOverlays;
    const std::string now = UtcNowText();
    for (Provenance& overlay : overlays) {
      if (overlay.takenAt.empty()) overlay.takenAt = now;
    }
    const auto labels = [](const std::vector<Provenance>& list) {
      std::string text;
      for (const Provenance& overlay : list) {
        text += (text.empty() ? "" : "; ") + ornr::Utf16ToUtf8(overlay.librarySetup) + " in " +
                ornr::Utf16ToUtf8(overlay.libraryFile);
      }
      return text;
    };
    StandardsTable::PutOverlays(db, position, overlays);
    bool same = overlays.size() == stored.overlays.size();
    for (std::size_t i = 0; same && i < overlays.size(); ++i) {
      same = overlays[i].librarySetup == stored.overlays[i].librarySetup &&
             overlays[i].libraryPath == stored.overlays[i].libraryPath &&
             overlays[i].governed == stored.overlays[i].governed &&
             overlays[i].base.Equals(stored.overlays[i].base);
    }
    if (!same) marks.push_back({"overlay", "", labels(stored.overlays), labels(overlays)});
  }
  if (!entry.pendingOverrides.empty() || dropOverrides) {
    std::map<std::string, OverrideRecord> overrides;
    if (!dropOverrides) {
      overrides = stored.standards.overrides;
      for (const auto& [property, pending] : entry.pendingOverrides) {
        overrides[property] = OverrideRecord{pending.reason, OsUser(), UtcNow()};
      }
    }
    StandardsTable::PutOverrides(db, position, overrides);
    for (const auto& [property, before] : stored.standards.overrides) {
      const auto after = overrides.find(property);
      if (after == overrides.end()) {
        marks.push_back({"override", property, before.reason, ""});
      } else if (after->second.reason != before.reason) {
        marks.push_back({"override", property, before.reason, after->second.reason});
      }
    }
    for (const auto& [property, after] : overrides) {
      if (!stored.standards.overrides.contains(property)) {
        marks.push_back({"override", property, "", after.reason});
      }
    }
  }
  return marks;
}

void CommitPending(HostFile& file, StoreEntry& entry, std::string_view action) noexcept {
  if (!entry.HasPending()) return;
  const std::u16string name(entry.working->GetName().str());
  try {
    // A setup no longer stored has no place for what waits.
    if (!entry.row || !entry.stored || !entry.stored->valid) {
      entry.DropPending();
      return;
    }
    DesignFile& db = *file.Db();
    // Its stored values again, with what waits beside them: refused when another session changed
    // them since.
    entry.row =
        db.Update(*entry.row, name, entry.stored->settings, false, action,
                  [&](std::int64_t position) { return WritePending(db, position, entry, false); });
    entry.DropPending();
  } catch (const std::exception& error) {
    ReportError("could not keep the new merge base of " + Quoted(name) + " in " +
                file.DisplayName() + ": " + error.what());
  } catch (...) {
    ReportError("could not keep the new merge base of " + Quoted(name));
  }
}

}  // namespace ornhost::detail

namespace Teskor::ZelPlatform {

OrnSetupManager& OrnSetupManager::GetManagerR() {
  // Never destroyed: a module may still call in while the process winds down.
  static auto* store = new ornhost::detail::SetupStore;
  return *store;
}

}  // namespace Teskor::ZelPlatform
