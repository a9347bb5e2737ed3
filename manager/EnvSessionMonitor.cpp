#include "manager/EnvSessionMonitor.h"

#include <string_view>
#include <vector>

#include "host/OrnSetupManager.h"
#include "host/xrt.h"
#include "manager/Commands.h"
#include "manager/SetupManager.h"
#include "ornr/IPrismetWrapper.h"
#include "support/Boundary.h"
#include "viewmodel/ViewModelDocument.h"

namespace ornr {

using Teskor::ZelPlatform::OrnSetup;
using Teskor::ZelPlatform::OrnSetupManager;
using Teskor::ZelPlatform::ZelFile;

namespace {

constexpr int kDialogId = -121;
constexpr int kIconQuestion = 3;
constexpr int kAnswerYes = 6;

// The localized text of key, as the commands fetch it: 256 characters, capacity 255.
std::u16string Resource(const char16_t* key) {
  char16_t buffer[256] = {};
  std::u16string keyCopy(key);
  RequireBridge().GetResource(keyCopy.data(), buffer, 255);
  return buffer;
}

bool Initialised() {
  return GetSetupManager() != nullptr;
}

}  // namespace

void EnvSessionMonitor::OnMasterFileOpened(ZelFile& file) {
  Guarded("OnMasterFileOpened", [&] {
    OrnSetupManager::GetManagerR().InitForFile(file);
    if (Initialised()) commands::LoadAllSetups(true);
  });
}

void EnvSessionMonitor::OnSessionRefresh() {
  Guarded("OnSessionRefresh", [&] {
    if (Initialised()) commands::LoadAllSetups(true);
  });
}

void EnvSessionMonitor::OnMasterFileClosing(ZelFile& file) {
  Guarded("OnMasterFileClosing", [&] {
    if (Initialised()) RequireBridge().ClearAllViewModel();
    const std::u16string untitled = Resource(u"MESSAGEID_Untitled");
    auto& store = OrnSetupManager::GetManagerR();
    std::vector<const OrnSetup*> list;
    store.GetSetupsForFile(list, file);
    for (const OrnSetup* setup : list) {
      if (setup == nullptr || !setup->GetModified()) continue;
      if (setup->GetName().str() == untitled) {
        // A setup still named like a new one is kept without asking.
        (void)store.Save(untitled.c_str(), file);
        continue;
      }
      const std::u16string question = Resource(u"MESSAGEID_SetupSaveChanges");
      if (xrtDialog_openMessageBox(kDialogId, question.c_str(), kIconQuestion) == kAnswerYes) {
        for (const OrnSetup* each : list) {
          if (each == nullptr || !each->GetModified()) continue;
          const_cast<OrnSetup*>(each)->modified = false;
          (void)store.Save(each->GetName().c_str(), file);
        }
      }
      // One question per closing file, whatever the answer.
      break;
    }
    // The closing file's setups must not be served from the cache any more.
    if (auto* manager = GetSetupManager()) {
      manager->fileSetups.clear();
      manager->masterFileName = Teskor::WString();
    }
  });
}

}  // namespace ornr
