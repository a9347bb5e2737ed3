/* The deploy's floor: each design file under the folders read as the audit's floor reads it (every
 * row of every table), then the rows a deploy of one value to the setup of that name changes
 * written in one transaction with SQLite's default settings: the setup's value, its merge base and
 * when it was taken, the version of what it replaced, and the change set's record of it. One
 * thread a core, connections without their own mutex, SQLite's memory statistics off.
 *   ornr-floor-deploy [--jobs N] SETUP PROPERTY VALUE FOLDER... */
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "FloorRows.h"

static const char* setupName;
static const char* property;
static const char* valueText;
static char madeAt[32];
static const char* changeSetId = "0floor0deploy00";

/* Every value the setup was taken with, a line each, as the change set keeps its standing. */
static char* Standing(sqlite3* db, sqlite3_int64 position) {
  size_t room = 4096, used = 0;
  char* text = malloc(room);
  sqlite3_stmt* stmt = NULL;
  sqlite3_prepare_v2(db, "SELECT property, value FROM setup_provenance_values WHERE position = ?1",
                     -1, &stmt, NULL);
  sqlite3_bind_int64(stmt, 1, position);
  used += (size_t)snprintf(text, room, "origin\t%s\t*\n", setupName);
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    const char* name = (const char*)sqlite3_column_text(stmt, 0);
    const char* value = (const char*)sqlite3_column_text(stmt, 1);
    const size_t need = strlen(name) + strlen(value) + 16;
    if (used + need >= room) text = realloc(text, room *= 2);
    used += (size_t)snprintf(text + used, room - used, "value\t%s\t%s\n", name, value);
  }
  sqlite3_finalize(stmt);
  return text;
}

static int Run(sqlite3* db, const char* sql, const char* texts[], int count,
               sqlite3_int64 position) {
  sqlite3_stmt* stmt = NULL;
  if (sqlite3_prepare_v2(db, sql, -1, &stmt, NULL) != SQLITE_OK) return 1;
  sqlite3_bind_int64(stmt, 1, position);
  for (int i = 0; i < count; ++i) sqlite3_bind_text(stmt, i + 2, texts[i], -1, SQLITE_STATIC);
  const int rc = sqlite3_step(stmt);
  sqlite3_finalize(stmt);
  return rc == SQLITE_DONE ? 0 : 1;
}

static unsigned long long DeployFile(const char* path) {
  sqlite3* db = NULL;
  if (sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, NULL) != SQLITE_OK) {
    sqlite3_close(db);
    return 0;
  }
  unsigned long long sum = FloorReadEveryRow(db);
  sqlite3_busy_timeout(db, 5000);
  sqlite3_exec(db, "BEGIN IMMEDIATE", NULL, NULL, NULL);
  char sql[512];
  snprintf(sql, sizeof sql, "SELECT position, \"%s\" FROM render_setups WHERE name = ?1", property);
  sqlite3_stmt* stmt = NULL;
  sqlite3_int64 position = 0;
  char before[64] = "";
  if (sqlite3_prepare_v2(db, sql, -1, &stmt, NULL) == SQLITE_OK) {
    sqlite3_bind_text(stmt, 1, setupName, -1, SQLITE_STATIC);
    if (sqlite3_step(stmt) == SQLITE_ROW) {
      position = sqlite3_column_int64(stmt, 0);
      snprintf(before, sizeof before, "%s", (const char*)sqlite3_column_text(stmt, 1));
    }
  }
  sqlite3_finalize(stmt);
  if (position == 0 || strcmp(before, valueText) == 0) {
    sqlite3_exec(db, "ROLLBACK", NULL, NULL, NULL);
    sqlite3_close(db);
    return sum;
  }
  char* standingBefore = Standing(db, position);
  int failed = 0;
  snprintf(sql, sizeof sql,
           "UPDATE render_setups SET \"%s\" = CAST(?2 AS NUMERIC), revision = random() & "
           "9223372036854775807 WHERE position = ?1",
           property);
  const char* value[] = {valueText};
  failed |= Run(db, sql, value, 1, position);
  const char* taken[] = {madeAt};
  failed |=
      Run(db, "UPDATE setup_provenance SET taken_at = ?2 WHERE position = ?1", taken, 1, position);
  const char* base[] = {valueText, property};
  failed |=
      Run(db, "UPDATE setup_provenance_values SET value = ?2 WHERE position = ?1 AND property = ?3",
          base, 2, position);
  char* standingAfter = Standing(db, position);
  const char* version[] = {madeAt, setupName};
  failed |=
      Run(db,
          "INSERT INTO setup_versions (position, number, made_at, action, made_by, name)"
          " VALUES (?1, coalesce((SELECT max(number) FROM setup_versions WHERE position = ?1),"
          " 0) + 1, ?2, 'audit deploy', 'floor', ?3)",
          version, 2, position);
  const sqlite3_int64 kept = sqlite3_last_insert_rowid(db);
  const char* changed[] = {property, before, valueText};
  failed |= Run(db,
                "INSERT INTO setup_version_values (version, property, old_value, new_value)"
                " VALUES (?1, ?2, CAST(?3 AS NUMERIC), CAST(?4 AS NUMERIC))",
                changed, 3, kept);
  const char* header[] = {changeSetId, madeAt, path};
  failed |= Run(db,
                "INSERT INTO change_sets (id, made_at, made_by, command) VALUES (?2, ?3, 'floor', "
                "?4)",
                header, 3, position);
  const char* setup[] = {changeSetId, setupName, standingBefore, standingAfter};
  failed |= Run(db,
                "INSERT INTO change_set_setups (change_set, position, name_before, name_after,"
                " standing_before, standing_after) VALUES (?2, ?1, ?3, ?3, ?4, ?5)",
                setup, 4, position);
  const char* values[] = {changeSetId, property, before, valueText};
  failed |= Run(db,
                "INSERT INTO change_set_values (change_set, position, property, old_value,"
                " new_value) VALUES (?2, ?1, ?3, CAST(?4 AS NUMERIC), CAST(?5 AS NUMERIC))",
                values, 4, position);
  const char* tag[] = {changeSetId};
  failed |= Run(db, "INSERT INTO setup_version_change_sets (version, change_set) VALUES (?1, ?2)",
                tag, 1, kept);
  free(standingBefore);
  free(standingAfter);
  if (failed || sqlite3_exec(db, "COMMIT", NULL, NULL, NULL) != SQLITE_OK) {
    fprintf(stderr, "ornr-floor-deploy: %s: %s\n", path, sqlite3_errmsg(db));
    sqlite3_exec(db, "ROLLBACK", NULL, NULL, NULL);
    sqlite3_close(db);
    exit(1);
  }
  sqlite3_close(db);
  return sum + 1;
}

int main(int argc, char** argv) {
  int first = 1;
  const long jobs = FloorJobs(argc, argv, &first);
  if (first + 3 >= argc || jobs < 1) {
    fprintf(stderr, "usage: ornr-floor-deploy [--jobs N] SETUP PROPERTY VALUE FOLDER...\n");
    return 2;
  }
  setupName = argv[first];
  property = argv[first + 1];
  valueText = argv[first + 2];
  const time_t now = time(NULL);
  struct tm parts;
  gmtime_r(&now, &parts);
  strftime(madeAt, sizeof madeAt, "%Y-%m-%dT%H:%M:%SZ", &parts);
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  if (FloorCollect(argv + first + 3, argc - first - 3) != 0) return 1;
  const unsigned long long sum = FloorRunJobs(jobs, DeployFile);
  printf("%zu files, checksum %llu\n", FloorFileCount(), sum);
  return 0;
}
