#include "manager/SetupManager.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "host/OrnSetupManager.h"
#include "host/SessionMgr.h"
#include "host/xrt.h"
#include "manager/MasterFile.h"
#include "viewmodel/SetupWriter.h"
#include "viewmodel/ViewModelDocument.h"

namespace ornr {

using Teskor::WString;
using Teskor::ZelPlatform::OrnSetup;
using Teskor::ZelPlatform::OrnSetupManager;
using Teskor::ZelPlatform::RenderStore;

namespace {

std::unique_ptr<SetupManager> g_setupManager;

}  // namespace

Teskor::ZelPlatform::ZelFile* MasterFileOrNull() {
  return Teskor::KreelPlatform::ISessionMgr::GetManager().GetMasterZelFile();
}

Teskor::ZelPlatform::ZelFile& RequireMasterFile() {
  auto* master = MasterFileOrNull();
  if (master == nullptr) throw NoMasterFileError();
  return *master;
}

SetupManager* GetSetupManager() noexcept {
  return g_setupManager.get();
}

SetupManager& EnsureSetupManager() {
  if (!g_setupManager) g_setupManager = std::make_unique<SetupManager>();
  return *g_setupManager;
}

void DestroySetupManager() noexcept {
  g_setupManager.reset();
}

const SetupList& SetupManager::RefreshFileSetups(bool force) {
  if (!fileSetups.empty() && !force) return fileSetups;
  fileSetups.clear();
  auto* master = MasterFileOrNull();
  if (master == nullptr) {
    masterFileName = WString();
    return fileSetups;
  }
  OrnSetupManager::GetManagerR().GetSetupsForFile(fileSetups, *master);
  masterFileName = master->GetFileName();
  masterIndex_.Follow(fileSetups);
  return fileSetups;
}

const std::map<WString, SetupList>& SetupManager::GatherLibrarySetups() {
  if (!librarySetups.empty()) return librarySetups;
  xrtZelLibIterator* iterator = xrtZelLibIterator_create(2);
  // The iterator is freed whatever a library read throws.
  struct Free {
    xrtZelLibIterator** iterator;
    ~Free() { xrtZelLibIterator_free(iterator); }
  } freeIterator{&iterator};
  while (auto* model = xrtZelLibIterator_getNext(iterator)) {
    auto* file = model->GetZelFileP();
    if (file == nullptr) continue;
    SetupList& entry = librarySetups[file->GetFileName()];
    OrnSetupManager::GetManagerR().GetSetupsForFile(entry, *file);
  }
  return librarySetups;
}

RenderStore* SetupManager::FindRenderStore(const char16_t* name, bool inLibraries,
                                           WString* fileName) {
  const std::u16string_view wanted = name != nullptr ? name : u"";
  const OrnSetup* found = nullptr;
  if (!inLibraries) {
    found = masterIndex_.Find(RefreshFileSetups(false), wanted, false);
    if (found != nullptr && fileName != nullptr) *fileName = masterFileName;
  } else {
    found = FindInLibraries(wanted, false, fileName);
  }
  // The host owns its setups and lets callers change them; the lists only hold them as const.
  return const_cast<OrnSetup*>(found);
}

OrnSetup* SetupManager::FindValidSetup(const char16_t* name, bool inLibraries) {
  const std::u16string_view wanted = name != nullptr ? name : u"";
  const OrnSetup* found = inLibraries ? FindInLibraries(wanted, true, nullptr)
                                      : masterIndex_.Find(RefreshFileSetups(false), wanted, true);
  return const_cast<OrnSetup*>(found);
}

const OrnSetup* SetupManager::FindInLibraries(std::u16string_view name, bool validOnly,
                                              WString* fileName) {
  const auto& libraries = GatherLibrarySetups();
  std::size_t count = 0;
  for (const auto& entry : libraries) count += entry.second.size() + 1;
  // The libraries are read once; a different count means someone changed the map.
  if (count != libraryCount_) {
    libraryWalk_.clear();
    libraryFileOf_.clear();
    for (const auto& [libraryName, setups] : libraries) {
      for (const OrnSetup* setup : setups) {
        libraryWalk_.push_back(setup);
        libraryFileOf_.push_back(&libraryName);
      }
    }
    libraryIndex_.Invalidate();
    libraryCount_ = count;
  }
  const OrnSetup* found = libraryIndex_.Find(libraryWalk_, name, validOnly);
  if (found == nullptr || fileName == nullptr) return found;
  // Rare (file name wanted): the position tells the library.
  const auto at = std::find(libraryWalk_.begin(), libraryWalk_.end(), found);
  *fileName = *libraryFileOf_[static_cast<std::size_t>(at - libraryWalk_.begin())];
  return found;
}

void SetupManager::NoteRenamed(const char16_t* oldName, const char16_t* newName) {
  masterIndex_.Renamed(oldName != nullptr ? oldName : u"", newName != nullptr ? newName : u"");
}

void SetupManager::WriteSetup(const char16_t* group, const OrnSetup& setup, const WString& storeIn,
                              bool select, bool newBorn) {
  // Without a document (its creation failed at init) there is nowhere to write.
  if (auto* document = GetViewModelDocument()) {
    ornr::WriteSetup(*document, group, setup, storeIn, select, newBorn);
  }
}

void SetupManager::PushViewModel() {
  auto* document = GetViewModelDocument();
  if (document == nullptr) return;
  // A flag left set would make every later edit in the panel be ignored.
  struct ClearFlag {
    bool& flag;
    ~ClearFlag() { flag = false; }
  } clearFlag{updatingViewModel};
  updatingViewModel = true;
  document->SendToPanel();
}

}  // namespace ornr
