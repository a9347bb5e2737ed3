#include "manager/SetupManager.h"

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

bool SameName(const RenderStore& setup, const char16_t* name) {
  return setup.GetName().str() == std::u16string_view(name);
}

// The walk shared by both finds: the master file's list, or every library in key order.
template <typename Match>
const OrnSetup* Walk(SetupManager& manager, bool inLibraries, WString* fileName, Match&& match) {
  if (!inLibraries) {
    for (const OrnSetup* setup : manager.RefreshFileSetups(false)) {
      if (setup == nullptr || !match(*setup)) continue;
      if (fileName != nullptr) *fileName = manager.masterFileName;
      return setup;
    }
    return nullptr;
  }
  for (const auto& [libraryName, setups] : manager.GatherLibrarySetups()) {
    for (const OrnSetup* setup : setups) {
      if (setup == nullptr || !match(*setup)) continue;
      if (fileName != nullptr) *fileName = libraryName;
      return setup;
    }
  }
  return nullptr;
}

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
  if (name == nullptr) name = u"";
  const OrnSetup* found =
      Walk(*this, inLibraries, fileName, [&](const OrnSetup& s) { return SameName(s, name); });
  // The host owns its setups and lets callers change them; the lists only hold them as const.
  return const_cast<OrnSetup*>(found);
}

OrnSetup* SetupManager::FindValidSetup(const char16_t* name, bool inLibraries) {
  if (name == nullptr) name = u"";
  const OrnSetup* found = Walk(*this, inLibraries, nullptr,
                               [&](const OrnSetup& s) { return s.valid && SameName(s, name); });
  return const_cast<OrnSetup*>(found);
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
