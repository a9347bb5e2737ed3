/* The load's floor: every setup row of a design file read with SQLite's C API, each value once,
 * in a process of its own as the workbench's load is.
 *   ornr-floor-read FILE [--first]      --first: the first row only, as `show` needs one */
#include <sqlite3.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: ornr-floor-read FILE [--first]\n");
    return 2;
  }
  const int first = argc > 2 && strcmp(argv[2], "--first") == 0;
  sqlite3* db = NULL;
  if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, NULL) !=
      SQLITE_OK) {
    fprintf(stderr, "ornr-floor-read: %s\n", sqlite3_errmsg(db));
    sqlite3_close(db);
    return 1;
  }
  sqlite3_stmt* stmt = NULL;
  const char* sql = first ? "SELECT * FROM render_setups ORDER BY position LIMIT 1"
                          : "SELECT * FROM render_setups ORDER BY position";
  if (sqlite3_prepare_v2(db, sql, -1, &stmt, NULL) != SQLITE_OK) {
    fprintf(stderr, "ornr-floor-read: %s\n", sqlite3_errmsg(db));
    sqlite3_close(db);
    return 1;
  }
  unsigned long long checksum = 0;
  long rows = 0;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    const int columns = sqlite3_column_count(stmt);
    for (int c = 0; c < columns; ++c) {
      switch (sqlite3_column_type(stmt, c)) {
        case SQLITE_INTEGER:
          checksum += (unsigned long long)sqlite3_column_int64(stmt, c);
          break;
        case SQLITE_FLOAT:
          checksum += (unsigned long long)sqlite3_column_double(stmt, c);
          break;
        default:
          checksum += (unsigned long long)sqlite3_column_bytes(stmt, c);
      }
    }
    ++rows;
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  printf("%ld rows, checksum %llu\n", rows, checksum);
  return 0;
}
