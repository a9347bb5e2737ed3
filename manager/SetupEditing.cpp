// The building blocks that create, name and save master-file setups.
#include <string>

#include "host/OrnSetupManager.h"
#include "host/xrt.h"
#include "manager/MasterFile.h"
#include "manager/SetupManager.h"
#include "ornr/IPrismetWrapper.h"
#include "support/Utf.h"
#include "viewmodel/ViewModelDocument.h"

namespace ornr {

using Teskor::WString;
using Teskor::ZelPlatform::OrnSettings;
using Teskor::ZelPlatform::OrnSetup;
using Teskor::ZelPlatform::OrnSetupManager;
using Teskor::ZelPlatform::RenderStore;

namespace {

// Generated names are assembled in a buffer of 512 code units, terminator included.
constexpr std::size_t kMaxGeneratedNameLength = 511;
constexpr std::uint64_t kResourceCapacity = 255;

bool TakenInMaster(const WString& candidate) {
  return OrnSetupManager::GetManagerR().FindOrnSetupByName(candidate.c_str(),
                                                           RequireMasterFile()) != nullptr;
}

WString UntitledStem() {
  char16_t buffer[256] = {};
  char16_t key[] = u"MESSAGEID_Untitled";
  RequireBridge().GetResource(key, buffer, kResourceCapacity);
  return WString(buffer);
}

}  // namespace

bool SetupManager::CheckActiveModel() {
  if (!xrtModelRef_isReference(xrtModelRef_getActive())) return true;
  RequireBridge().ShowMessage(u"MSGSTR_FailedOperateOnModel");
  return false;
}

void SetupManager::CreateFileSetup(const char16_t* name) {
  auto& master = RequireMasterFile();
  OrnSetup temporary(master, name);
  OrnSetupManager::GetManagerR().AddSetup(temporary, master);
  RefreshFileSetups(true);
}

void SetupManager::SaveFileSetup(RenderStore* setup) {
  if (setup == nullptr) return;
  auto& master = RequireMasterFile();
  setup->modified = false;
  // Save's result tells nothing the commands act on.
  (void)OrnSetupManager::GetManagerR().Save(setup->GetName().c_str(), master);
  RefreshFileSetups(true);
}

std::optional<WString> SetupManager::MakeUniqueSetupName(const char16_t* base) {
  WString stem;
  int counter = 0;
  if (base == nullptr || *base == 0) {
    stem = UntitledStem();
  } else if (TakenInMaster(WString(base))) {
    stem.Sprintf(u"%ls - Copy", base);
    counter = 1;
  } else {
    stem = WString(base);
  }
  WString candidate = stem;
  while (candidate.size() <= kMaxGeneratedNameLength && TakenInMaster(candidate)) {
    ++counter;
    candidate.Sprintf(u"%ls-%d", stem.c_str(), counter);
  }
  if (candidate.size() > kMaxGeneratedNameLength) return std::nullopt;
  return candidate;
}

bool SetupManager::CopySetup(const char16_t* sourceName, bool useDefaultName, WString* newName) {
  if (sourceName == nullptr) sourceName = u"";
  auto name = MakeUniqueSetupName(useDefaultName ? u"" : sourceName);
  if (!name) return false;
  if (newName != nullptr) *newName = *name;

  RenderStore* source = FindRenderStore(sourceName, false);
  if (source == nullptr) source = FindRenderStore(sourceName, true);
  if (source == nullptr) return false;
  // A library setup of the source's name wins over the master file's.
  const OrnSettings* settings = nullptr;
  if (OrnSetup* library = FindValidSetup(sourceName, true)) settings = library->GetSettings();
  if (settings == nullptr) settings = static_cast<OrnSetup*>(source)->GetSettingsR();
  // Checked before anything is created, so that a source without settings leaves no empty copy.
  if (settings == nullptr) return false;
  const OrnSettings copied = *settings;

  CreateFileSetup(name->c_str());
  auto* target = static_cast<OrnSetup*>(FindRenderStore(name->c_str(), false));
  if (target == nullptr || target->GetSettings() == nullptr) return false;
  target->GetSettings()->Clone(copied);
  SaveFileSetup(FindRenderStore(name->c_str(), false));
  return true;
}

}  // namespace ornr
