// The C interface: every function runs its command behind the error boundary.
#include "manager/Commands.h"
#include "ornr/ornr.h"
#include "support/Boundary.h"

using namespace ornr;

extern "C" {

ORNR_API void ornR_Init(void) {
  Guarded("ornR_Init", [] { commands::Init(); });
}

ORNR_API void ornR_Release(void) {
  Guarded("ornR_Release", [] { commands::Release(); });
}

ORNR_API void ornR_LoadAllSetups(bool reload) {
  Guarded("ornR_LoadAllSetups", [&] { commands::LoadAllSetups(reload); });
}

ORNR_API void ornR_NewSetup(const ornR_wchar* name) {
  Guarded("ornR_NewSetup", [&] { commands::NewSetup(name); });
}

ORNR_API int ornR_DuplicateSetup(const ornR_wchar* name) {
  return Guarded("ornR_DuplicateSetup", 0, [&] { return commands::DuplicateSetup(name); });
}

ORNR_API void ornR_RenameSetup(const ornR_wchar* oldName, const ornR_wchar* newName) {
  Guarded("ornR_RenameSetup", [&] { commands::RenameSetup(oldName, newName); });
}

ORNR_API int ornR_DeleteSetup(const ornR_wchar* name) {
  return Guarded("ornR_DeleteSetup", 0, [&] { return commands::DeleteSetup(name); });
}

ORNR_API void ornR_ResetSetup(const ornR_wchar* name) {
  Guarded("ornR_ResetSetup", [&] { commands::ResetSetup(name); });
}

ORNR_API void ornR_SaveSetup(const ornR_wchar* name) {
  Guarded("ornR_SaveSetup", [&] { commands::SaveSetup(name); });
}

ORNR_API int ornR_IsModified(const ornR_wchar* name) {
  return Guarded("ornR_IsModified", 0, [&] { return commands::IsModified(name); });
}

ORNR_API int ornR_CopyFromLib(const ornR_wchar* name) {
  return Guarded("ornR_CopyFromLib", 0, [&] { return commands::CopyFromLib(name); });
}

ORNR_API void ornR_UpdateFromLibrarySetup(const ornR_wchar* name) {
  Guarded("ornR_UpdateFromLibrarySetup", [&] { commands::UpdateFromLibrarySetup(name); });
}

ORNR_API int ornR_MatchesToLibrarySetup(const ornR_wchar* name) {
  return Guarded("ornR_MatchesToLibrarySetup", -1,
                 [&] { return commands::MatchesToLibrarySetup(name); });
}

}  // extern "C"
