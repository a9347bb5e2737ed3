/* What the floors of rsm-audit share: the files under folders, every row of a file read with
 * SQLite's C API, and the files handed out to one thread a core. */
#ifndef ORNR_BENCH_FLOOR_ROWS_H
#define ORNR_BENCH_FLOOR_ROWS_H

#include <sqlite3.h>
#include <stddef.h>

/* Every regular file under the folders, in the order of the walk; 0 when every folder was
 * walked. */
int FloorCollect(char** folders, int count);
/* The files FloorCollect found. */
size_t FloorFileCount(void);

/* Every row of every table of the open database, each value read once; returns a checksum. */
unsigned long long FloorReadEveryRow(sqlite3* db);

/* Hands each file to work on jobs threads, the next file to the first thread free; returns the
 * sum of what work returned. */
unsigned long long FloorRunJobs(long jobs, unsigned long long (*work)(const char* path));

/* --jobs N from argv (default: one per core); sets *first to the first other argument. */
long FloorJobs(int argc, char** argv, int* first);

#endif
