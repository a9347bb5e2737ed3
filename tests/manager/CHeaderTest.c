/* The C interface compiles as plain C: a host written in C declares its function table. */
#include "ornr/ornr.h"

struct ornR_Table {
  void (*init)(void);
  void (*release)(void);
  void (*loadAllSetups)(bool);
  void (*newSetup)(const ornR_wchar*);
  int (*duplicateSetup)(const ornR_wchar*);
  void (*renameSetup)(const ornR_wchar*, const ornR_wchar*);
  int (*deleteSetup)(const ornR_wchar*);
  void (*resetSetup)(const ornR_wchar*);
  void (*saveSetup)(const ornR_wchar*);
  int (*isModified)(const ornR_wchar*);
  int (*copyFromLib)(const ornR_wchar*);
  void (*updateFromLibrarySetup)(const ornR_wchar*);
  int (*matchesToLibrarySetup)(const ornR_wchar*);
};

/* Fills the table from the declarations; a mismatch of any signature fails to compile. */
int ornr_c_header_table_size(void) {
  struct ornR_Table table = {ornR_Init,
                             ornR_Release,
                             ornR_LoadAllSetups,
                             ornR_NewSetup,
                             ornR_DuplicateSetup,
                             ornR_RenameSetup,
                             ornR_DeleteSetup,
                             ornR_ResetSetup,
                             ornR_SaveSetup,
                             ornR_IsModified,
                             ornR_CopyFromLib,
                             ornR_UpdateFromLibrarySetup,
                             ornR_MatchesToLibrarySetup};
  return table.init != 0 ? (int)(sizeof table / sizeof table.init) : 0;
}
