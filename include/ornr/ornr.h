/* The render setup manager's C interface: thirteen functions a host resolves by name.
 * Setup names are zero-terminated UTF-16; a null name is taken as an empty one.
 * Results: 1 done, 0 not done; ornR_MatchesToLibrarySetup also -1 for nothing to compare.
 * No function lets an error out; a failed operation ends where it failed. */
#ifndef ORNR_ORNR_H
#define ORNR_ORNR_H

#include "ornr/ornr_platform.h"

#if !defined(__cplusplus)
#include <stdbool.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/** Registers with the renderer manager, creates the manager object and an empty view model,
 *  hands the change callback to the bridge and prepares the store for the master file. */
ORNR_API void ornR_Init(void);
/** Drops the manager object and the view model; always unregisters from the renderer manager. */
ORNR_API void ornR_Release(void);
/** Sends every valid setup of the master file and the design libraries to the panel;
 *  reload re-reads the master file and selects no setup. */
ORNR_API void ornR_LoadAllSetups(bool reload);
/** Creates "Untitled" (numbered when taken) with the settings of the named setup. */
ORNR_API void ornR_NewSetup(const ornR_wchar* name);
/** Copies the named setup under a free "<name> - Copy" name; 1 when the copy was shown. */
ORNR_API int ornR_DuplicateSetup(const ornR_wchar* name);
ORNR_API void ornR_RenameSetup(const ornR_wchar* oldName, const ornR_wchar* newName);
/** 0 when refused, else 1 (also when the master file had no such setup). */
ORNR_API int ornR_DeleteSetup(const ornR_wchar* name);
/** Puts the master file's setup back to its stored state. */
ORNR_API void ornR_ResetSetup(const ornR_wchar* name);
ORNR_API void ornR_SaveSetup(const ornR_wchar* name);
/** 1 when the master file's setup of that name has unsaved changes, else 0. */
ORNR_API int ornR_IsModified(const ornR_wchar* name);
/** Copies a design library's setup into the master file under its own name; 1 when done. */
ORNR_API int ornR_CopyFromLib(const ornR_wchar* name);
/** Takes the settings of the library setup of that name into the master file's setup. */
ORNR_API void ornR_UpdateFromLibrarySetup(const ornR_wchar* name);
/** 1 when the master file's setup equals the library setup of that name, 0 when it differs,
 *  -1 when either is missing. */
ORNR_API int ornR_MatchesToLibrarySetup(const ornR_wchar* name);

#ifdef __cplusplus
}
#endif

#endif
