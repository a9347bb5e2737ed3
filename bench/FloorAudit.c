/* The audit's floor: every row of every table of every file under the folders, read with
 * SQLite's C API on one thread a core, tuned as a reader of many files can be: connections
 * opened without their own mutex (each is used by one thread) and SQLite's memory statistics off.
 *   ornr-floor-audit [--jobs N] FOLDER... */
#include <sqlite3.h>
#include <stdio.h>

#include "FloorRows.h"

static unsigned long long ReadFile(const char* path) {
  sqlite3* db = NULL;
  if (sqlite3_open_v2(path, &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, NULL) != SQLITE_OK) {
    sqlite3_close(db);
    return 0;
  }
  const unsigned long long sum = FloorReadEveryRow(db);
  sqlite3_close(db);
  return sum;
}

int main(int argc, char** argv) {
  int first = 1;
  const long jobs = FloorJobs(argc, argv, &first);
  if (first >= argc || jobs < 1) {
    fprintf(stderr, "usage: ornr-floor-audit [--jobs N] FOLDER...\n");
    return 2;
  }
  /* Before SQLite starts: no global lock around every allocation to keep the counts. */
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  if (FloorCollect(argv + first, argc - first) != 0) return 1;
  const unsigned long long sum = FloorRunJobs(jobs, ReadFile);
  printf("%zu files, checksum %llu\n", FloorFileCount(), sum);
  return 0;
}
