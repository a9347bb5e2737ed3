/* The audit's floor: every row of every table of every file under the folders, read with
 * SQLite's C API on one thread a core, tuned as a reader of many files can be: connections
 * opened without their own mutex (each is used by one thread) and SQLite's memory statistics off.
 *   ornr-floor-audit [--jobs N] FOLDER... */
#define _XOPEN_SOURCE 700
#include <ftw.h>
#include <pthread.h>
#include <sqlite3.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static char** files;
static size_t fileCount;
static size_t fileRoom;
static atomic_size_t nextFile;
static atomic_ullong checksum;

static int Collect(const char* path, const struct stat* info, int type, struct FTW* where) {
  (void)info;
  (void)where;
  if (type != FTW_F) return 0;
  if (fileCount == fileRoom) {
    fileRoom = fileRoom ? 2 * fileRoom : 1024;
    files = realloc(files, fileRoom * sizeof *files);
    if (files == NULL) return 1;
  }
  files[fileCount++] = strdup(path);
  return 0;
}

static unsigned long long ReadFile(const char* path) {
  unsigned long long sum = 0;
  sqlite3* db = NULL;
  if (sqlite3_open_v2(path, &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, NULL) != SQLITE_OK) {
    sqlite3_close(db);
    return 0;
  }
  char tables[32][128];
  int tableCount = 0;
  sqlite3_stmt* stmt = NULL;
  if (sqlite3_prepare_v2(db, "SELECT name FROM sqlite_schema WHERE type = 'table'", -1, &stmt,
                         NULL) == SQLITE_OK) {
    while (sqlite3_step(stmt) == SQLITE_ROW && tableCount < 32) {
      snprintf(tables[tableCount++], sizeof tables[0], "%s", sqlite3_column_text(stmt, 0));
    }
  }
  sqlite3_finalize(stmt);
  for (int t = 0; t < tableCount; ++t) {
    char sql[200];
    snprintf(sql, sizeof sql, "SELECT * FROM \"%.127s\"", tables[t]);
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, NULL) != SQLITE_OK) continue;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      const int columns = sqlite3_column_count(stmt);
      for (int c = 0; c < columns; ++c) {
        switch (sqlite3_column_type(stmt, c)) {
          case SQLITE_INTEGER:
            sum += (unsigned long long)sqlite3_column_int64(stmt, c);
            break;
          case SQLITE_FLOAT:
            sum += (unsigned long long)sqlite3_column_double(stmt, c);
            break;
          default:
            sum += (unsigned long long)sqlite3_column_bytes(stmt, c);
        }
      }
    }
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
  return sum;
}

static void* Work(void* unused) {
  (void)unused;
  unsigned long long sum = 0;
  for (size_t i; (i = atomic_fetch_add(&nextFile, 1)) < fileCount;) sum += ReadFile(files[i]);
  atomic_fetch_add(&checksum, sum);
  return NULL;
}

int main(int argc, char** argv) {
  long jobs = sysconf(_SC_NPROCESSORS_ONLN);
  int first = 1;
  if (argc > 2 && strcmp(argv[1], "--jobs") == 0) {
    jobs = atol(argv[2]);
    first = 3;
  }
  if (first >= argc || jobs < 1) {
    fprintf(stderr, "usage: ornr-floor-audit [--jobs N] FOLDER...\n");
    return 2;
  }
  /* Before SQLite starts: no global lock around every allocation to keep the counts. */
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  for (int i = first; i < argc; ++i) {
    if (nftw(argv[i], Collect, 32, FTW_PHYS) != 0) {
      fprintf(stderr, "ornr-floor-audit: cannot walk %s\n", argv[i]);
      return 1;
    }
  }
  pthread_t threads[256];
  if (jobs > 256) jobs = 256;
  for (long j = 0; j < jobs; ++j) pthread_create(&threads[j], NULL, Work, NULL);
  for (long j = 0; j < jobs; ++j) pthread_join(threads[j], NULL);
  printf("%zu files, checksum %llu\n", fileCount, (unsigned long long)atomic_load(&checksum));
  return 0;
}
