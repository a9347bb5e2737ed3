// Taking design-library setups into the master file.
#include "manager/SetupManager.h"

namespace ornr {

using Teskor::ZelPlatform::OrnSettings;
using Teskor::ZelPlatform::OrnSetup;
using Teskor::ZelPlatform::RenderStore;

bool SetupManager::CopyLibrarySetup(const char16_t* name) {
  if (FindRenderStore(name, false) != nullptr) return false;
  RenderStore* source = FindRenderStore(name, true);
  // A damaged library record has no settings to copy; the copy would be damaged too.
  if (source == nullptr || !source->valid) return false;
  CreateFileSetup(name);
  RenderStore* copy = FindRenderStore(name, false);
  if (copy == nullptr) return false;
  copy->Clone(*source);
  SaveFileSetup(FindRenderStore(name, false));
  return true;
}

bool SetupManager::UpdateFromLibrary(const char16_t* name) {
  auto* library = static_cast<OrnSetup*>(FindRenderStore(name, true));
  auto* master = static_cast<OrnSetup*>(FindRenderStore(name, false));
  if (library == nullptr || master == nullptr) return false;
  const OrnSettings* from = library->GetSettingsR();
  OrnSettings* to = master->GetSettings();
  if (from == nullptr || to == nullptr) return false;
  to->Clone(*from);
  return true;
}

}  // namespace ornr
