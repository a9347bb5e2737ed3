#define _XOPEN_SOURCE 700
#include "FloorRows.h"

#include <ftw.h>
#include <pthread.h>
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
static unsigned long long (*jobWork)(const char* path);

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

int FloorCollect(char** folders, int count) {
  for (int i = 0; i < count; ++i) {
    if (nftw(folders[i], Collect, 32, FTW_PHYS) != 0) {
      fprintf(stderr, "cannot walk %s\n", folders[i]);
      return 1;
    }
  }
  return 0;
}

size_t FloorFileCount(void) {
  return fileCount;
}

unsigned long long FloorReadEveryRow(sqlite3* db) {
  unsigned long long sum = 0;
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
  return sum;
}

static void* Work(void* unused) {
  (void)unused;
  unsigned long long sum = 0;
  for (size_t i; (i = atomic_fetch_add(&nextFile, 1)) < fileCount;) sum += jobWork(files[i]);
  atomic_fetch_add(&checksum, sum);
  return NULL;
}

unsigned long long FloorRunJobs(long jobs, unsigned long long (*work)(const char* path)) {
  pthread_t threads[256];
  if (jobs > 256) jobs = 256;
  jobWork = work;
  for (long j = 0; j < jobs; ++j) pthread_create(&threads[j], NULL, Work, NULL);
  for (long j = 0; j < jobs; ++j) pthread_join(threads[j], NULL);
  return atomic_load(&checksum);
}

long FloorJobs(int argc, char** argv, int* first) {
  *first = 1;
  if (argc > 2 && strcmp(argv[1], "--jobs") == 0) {
    *first = 3;
    return atol(argv[2]);
  }
  return sysconf(_SC_NPROCESSORS_ONLN);
}
