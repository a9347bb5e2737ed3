// The host's render-setup store: a working copy of each setup of every open design file, beside
// the stored copy that the file holds.
#include "host/OrnSetupManager.h"

#include <algorithm>
#include <iostream>

#include "platform/HostState.h"
#include "platform/SetupNames.h"

using Teskor::WString;
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

class SetupStore final : public Teskor::ZelPlatform::OrnSetupManager {
 public:
  // Setups are loaded when the file opens, so the store serves an open file already.
  void InitForFile(ZelFile& /*file*/) override { LogCall("OrnSetupManager::InitForFile"); }

  void GetSetupsForFile(std::vector<const OrnSetup*>& list, ZelFile& file) override {
    LogCall("OrnSetupManager::GetSetupsForFile");
    HostFile* host = FindOpenFile(file);
    if (host == nullptr) return;
    for (const auto& entry : host->Entries()) list.push_back(entry.working.get());
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
      std::cerr << "ornhost: " << *refusal << '\n';
      return;
    }
    auto copy = std::make_unique<OrnSetup>(*host, u"");
    StoreAccess::SetName(*copy, setup.GetName().str());
    StoreAccess::Settings(*copy) = StoreAccess::Settings(setup);
    copy->modified = true;
    host->Entries().push_back({host->TakePosition(), std::move(copy), std::nullopt});
  }

  int Save(const char16_t* name, ZelFile& file) override {
    LogCall("RenderStoreManager::Save");
    HostFile* host = WritableFile(file);
    StoreEntry* entry = host != nullptr ? host->Find(NameOf(name)) : nullptr;
    // A record that could not be read stays in the file as it is.
    if (entry == nullptr || !entry->working->valid) return 0;
    const auto& settings = StoreAccess::Settings(*entry->working);
    try {
      host->Db()->Put(entry->position, entry->working->GetName().str(), settings);
    } catch (const DesignFileError& error) {
      std::cerr << "ornhost: save failed: " << error.what() << '\n';
      return 0;
    }
    entry->stored = StoredCopy{settings, true};
    return 1;
  }

  void Reset(const char16_t* name, ZelFile& file) override {
    LogCall("RenderStoreManager::Reset");
    HostFile* host = FindOpenFile(file);
    StoreEntry* entry = host != nullptr ? host->Find(NameOf(name)) : nullptr;
    if (entry == nullptr || !entry->stored) return;
    StoreAccess::Settings(*entry->working) = entry->stored->settings;
    entry->working->valid = entry->stored->valid;
  }

  int Rename(const char16_t* oldName, const char16_t* newName, ZelFile& file) override {
    LogCall("RenderStoreManager::Rename");
    HostFile* host = WritableFile(file);
    if (host == nullptr || host->Find(NameOf(newName)) != nullptr) return 0;
    if (const auto refusal = RefusalOfSetupName(NameOf(newName))) {
      std::cerr << "ornhost: " << *refusal << '\n';
      return 0;
    }
    StoreEntry* entry = host->Find(NameOf(oldName));
    if (entry == nullptr) return 0;
    if (entry->stored) {
      try {
        host->Db()->Rename(entry->position, NameOf(newName));
      } catch (const DesignFileError& error) {
        std::cerr << "ornhost: rename failed: " << error.what() << '\n';
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
    auto& entries = host->Entries();
    const auto it = std::find_if(entries.begin(), entries.end(), [&](const StoreEntry& entry) {
      return entry.working->GetName().str() == NameOf(name);
    });
    if (it == entries.end()) return;
    if (it->stored) host->Db()->Remove(it->position);
    // Whoever listed the setup may still hold it until it lists again.
    State().retired.push_back(std::move(it->working));
    entries.erase(it);
  }
};

}  // namespace

}  // namespace ornhost::detail

namespace Teskor::ZelPlatform {

OrnSetupManager& OrnSetupManager::GetManagerR() {
  // Never destroyed: a module may still call in while the process winds down.
  static auto* store = new ornhost::detail::SetupStore;
  return *store;
}

}  // namespace Teskor::ZelPlatform
