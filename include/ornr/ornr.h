/* The render setup manager's C interface: thirteen functions a host resolves by name.
 * Needs C11 (char16_t from <uchar.h>) or C++11; compiles cleanly with -std=c11 -pedantic.
 * Setup names are zero-terminated UTF-16; a null name is taken as an empty one. Every function
 * runs on the host's user-interface thread; all but ornR_Init and ornR_Release do nothing (and
 * return 0, or -1 for the comparison) before ornR_Init or after ornR_Release.
 * Results: 1 done, 0 not done; ornR_MatchesToLibrarySetup also -1 for nothing to compare.
 * No function lets an error out; a failed operation ends where it failed. */
#ifndef ORNR_ORNR_H
#define ORNR_ORNR_H

#include "ornr/ornr_platform.h"

#if !defined(__cplusplus)
#if !defined(__STDC_VERSION__) || __STDC_VERSION__ < 201112L
#error "ornr/ornr.h needs C11 or later (char16_t from <uchar.h>)"
#endif
#include <stdbool.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/** Starts the module: registers with the renderer, makes an empty panel model; lists nothing. */
ORNR_API void ornR_Init(void);
/** Ends what ornR_Init started (the bridge stays); always unregisters from the renderer. */
ORNR_API void ornR_Release(void);
/** Sends every valid master-file and library setup to the panel; reload re-reads the master. */
ORNR_API void ornR_LoadAllSetups(bool reload);
/** Creates "Untitled" (numbered when taken) with the settings of the named setup. */
ORNR_API void ornR_NewSetup(const ornR_wchar* name);
/** Copies the named setup under a free "<name> - Copy" name; 1 when the copy was shown. */
ORNR_API int ornR_DuplicateSetup(const ornR_wchar* name);
/** Renames the master file's setup and saves it; a refused new name changes nothing. */
ORNR_API void ornR_RenameSetup(const ornR_wchar* oldName, const ornR_wchar* newName);
/** Deletes the master file's setup; 0 when refused, else 1 (also when there was none). */
ORNR_API int ornR_DeleteSetup(const ornR_wchar* name);
/** Puts the master file's setup back to its stored state. */
ORNR_API void ornR_ResetSetup(const ornR_wchar* name);
/** Writes the master file's valid setup of that name to the file and clears its modified flag. */
ORNR_API void ornR_SaveSetup(const ornR_wchar* name);
/** 1 when the master file's setup of that name has unsaved changes, else 0. */
ORNR_API int ornR_IsModified(const ornR_wchar* name);
/** Copies a design library's setup into the master file under its own name; 1 when done. */
ORNR_API int ornR_CopyFromLib(const ornR_wchar* name);
/** Takes the library setup's settings into the master file's setup of that name and saves it. */
ORNR_API void ornR_UpdateFromLibrarySetup(const ornR_wchar* name);
/** 1 when the master and library setups of that name are equal, 0 different, -1 either missing. */
ORNR_API int ornR_MatchesToLibrarySetup(const ornR_wchar* name);

#ifdef __cplusplus
}
#endif

#endif
