// The commands on single setups and the load of all setups.
#include "manager/Commands.h"

#include "host/OrnSetupManager.h"
#include "manager/MasterFile.h"
#include "manager/SetupManager.h"
#include "viewmodel/SetupWriter.h"

namespace ornr::commands {

using Teskor::WString;
using Teskor::ZelPlatform::OrnSetupManager;

namespace {

const char16_t* OrEmpty(const char16_t* name) {
  return name != nullptr ? name : u"";
}

// The manager object when a changing command may go ahead: it exists and the active model is
// not a reference attachment.
SetupManager* ForChange() {
  SetupManager* manager = GetSetupManager();
  if (manager == nullptr || !manager->CheckActiveModel()) return nullptr;
  return manager;
}

// Hands the panel the master file's valid setup of that name as the current one; false when
// there is none.
bool ShowMasterSetup(SetupManager& m, const char16_t* name, bool newBorn) {
  auto* setup = m.FindValidSetup(name, false);
  if (setup == nullptr) return false;
  m.WriteSetup(kGroupMasterFile, *setup, m.masterFileName, true, newBorn);
  m.PushViewModel();
  return true;
}

}  // namespace

void LoadAllSetups(bool reload) {
  SetupManager* m = GetSetupManager();
  if (m == nullptr) return;
  for (const auto* setup : m->RefreshFileSetups(reload)) {
    if (setup != nullptr)
      m->WriteSetup(kGroupMasterFile, *setup, m->masterFileName, !reload, false);
  }
  for (const auto& [libraryName, setups] : m->GatherLibrarySetups()) {
    for (const auto* setup : setups) {
      if (setup != nullptr) m->WriteSetup(kGroupLibrary, *setup, libraryName, false, false);
    }
  }
  m->PushViewModel();
}

void NewSetup(const char16_t* name) {
  SetupManager* m = ForChange();
  name = OrEmpty(name);
  if (m == nullptr || *name == 0) return;
  WString newName;
  if (m->CopySetup(name, true, &newName)) ShowMasterSetup(*m, newName.c_str(), true);
}

int DuplicateSetup(const char16_t* name) {
  SetupManager* m = ForChange();
  if (m == nullptr) return 0;
  WString newName;
  if (!m->CopySetup(OrEmpty(name), false, &newName)) return 0;
  return ShowMasterSetup(*m, newName.c_str(), false) ? 1 : 0;
}

void RenameSetup(const char16_t* oldName, const char16_t* newName) {
  SetupManager* m = ForChange();
  if (m == nullptr) return;
  oldName = OrEmpty(oldName);
  newName = OrEmpty(newName);
  // A refused rename leaves both setups as they were; saving would write the wrong one.
  if (OrnSetupManager::GetManagerR().Rename(oldName, newName, RequireMasterFile()) == 0) return;
  m->NoteRenamed(oldName, newName);
  m->SaveFileSetup(m->FindRenderStore(newName, false));
  if (auto* library = m->FindValidSetup(oldName, true)) {
    m->WriteSetup(kGroupLibrary, *library, m->masterFileName, true, false);
    m->PushViewModel();
  }
}

int DeleteSetup(const char16_t* name) {
  SetupManager* m = ForChange();
  if (m == nullptr) return 0;
  name = OrEmpty(name);
  OrnSetupManager::GetManagerR().Delete(name, RequireMasterFile());
  m->RefreshFileSetups(true);
  WString libraryFileName;
  if (auto* library = m->FindRenderStore(name, true, &libraryFileName)) {
    m->WriteSetup(kGroupLibrary, static_cast<const Teskor::ZelPlatform::OrnSetup&>(*library),
                  libraryFileName, true, false);
    m->PushViewModel();
  }
  return 1;
}

void ResetSetup(const char16_t* name) {
  SetupManager* m = ForChange();
  if (m == nullptr) return;
  name = OrEmpty(name);
  if (m->FindRenderStore(name, false) == nullptr) return;
  OrnSetupManager::GetManagerR().Reset(name, RequireMasterFile());
  m->SaveFileSetup(m->FindRenderStore(name, false));
  ShowMasterSetup(*m, name, false);
}

void SaveSetup(const char16_t* name) {
  SetupManager* m = ForChange();
  if (m == nullptr) return;
  auto* setup = m->FindValidSetup(OrEmpty(name), false);
  if (setup == nullptr || setup->GetSettings() == nullptr) return;
  m->SaveFileSetup(setup);
}

int IsModified(const char16_t* name) {
  SetupManager* m = GetSetupManager();
  if (m == nullptr) return 0;
  auto* setup = m->FindRenderStore(OrEmpty(name), false);
  return setup != nullptr && setup->GetModified() ? 1 : 0;
}

int CopyFromLib(const char16_t* name) {
  SetupManager* m = ForChange();
  if (m == nullptr) return 0;
  name = OrEmpty(name);
  if (!m->CopyLibrarySetup(name)) return 0;
  return ShowMasterSetup(*m, name, false) ? 1 : 0;
}

void UpdateFromLibrarySetup(const char16_t* name) {
  SetupManager* m = ForChange();
  if (m == nullptr) return;
  name = OrEmpty(name);
  if (!m->UpdateFromLibrary(name)) return;
  m->SaveFileSetup(m->FindRenderStore(name, false));
  ShowMasterSetup(*m, name, false);
}

int MatchesToLibrarySetup(const char16_t* name) {
  SetupManager* m = GetSetupManager();
  if (m == nullptr) return -1;
  name = OrEmpty(name);
  auto* master = m->FindValidSetup(name, false);
  if (master == nullptr || master->GetSettings() == nullptr) return -1;
  auto* library = static_cast<Teskor::ZelPlatform::OrnSetup*>(m->FindRenderStore(name, true));
  if (library == nullptr || library->GetSettingsR() == nullptr) return -1;
  return library->GetSettingsR()->Equals(*master->GetSettings()) ? 1 : 0;
}

}  // namespace ornr::commands
