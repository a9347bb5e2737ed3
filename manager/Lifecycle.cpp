// ornR_Init and ornR_Release: the manager object, the document and the registrations.
#include "host/OrnManager.h"
#include "host/OrnSetupManager.h"
#include "manager/Commands.h"
#include "manager/MasterFile.h"
#include "manager/OnSetupPropertyChanged.h"
#include "manager/SetupManager.h"
#include "ornr/IPrismetWrapper.h"
#include "viewmodel/ViewModelDocument.h"

namespace ornr::commands {

using Teskor::Orn::OrnManager;

void Init() {
  OrnManager::GetManagerR().RegisterManager();
  OrnManager::InitializeOrn(true);
  EnsureSetupManager();
  // A failure here leaves the module without a document; the later steps are not made.
  CreateViewModelDocument();
  RequireBridge().RegisterEventsHandler(&OnSetupPropertyChanged);
  // With no master file open there is nothing to prepare the store for.
  if (auto* master = MasterFileOrNull()) {
    Teskor::ZelPlatform::OrnSetupManager::GetManagerR().InitForFile(*master);
  }
}

void Release() {
  if (auto* manager = GetSetupManager()) {
    manager->fileSetups.clear();
    manager->librarySetups.clear();
    DestroyViewModelDocument();
    DestroySetupManager();
  }
  OrnManager::GetManagerR().UnRegisterManager();
}

}  // namespace ornr::commands
