/* Calls the module the way a host written in C would, before and after initialisation. */
#include <ornr/ornr.h>
#include <stdio.h>

int main(void) {
  static const ornR_wchar name[] = u"Nothing here";
  int failures = 0;
  /* Before ornR_Init every query answers "not done". */
  failures += ornR_IsModified(name) != 0;
  failures += ornR_MatchesToLibrarySetup(name) != -1;
  ornR_Init();
  failures += ornR_DuplicateSetup(name) != 0;
  ornR_Release();
  if (failures != 0) fprintf(stderr, "c-host: %d unexpected results\n", failures);
  return failures == 0 ? 0 : 1;
}
