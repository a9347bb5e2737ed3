#include <dlfcn.h>
#include <sqlite3.h>

#include <mutex>
#include <stdexcept>
#include <string>

#include "python/src/Python.h"

namespace ornr::python {

#ifdef ORNR_OWN_SQLITE
namespace {

// The process's file layer, as the extension's SQLite sees it: a copy of the process's default
// file layer, under a name of its own.
sqlite3_vfs processFileLayer{};

void SetUpOwnSqlite() {
  // Before anything starts the extension's SQLite: it is the extension's alone, so its memory
  // statistics, and their one lock around every allocation of every thread, can go.
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  // POSIX locks belong to the process, not to a copy of SQLite: two copies that opened one file
  // would each grant what the other holds, and a file closed by one would drop the other's locks.
  // So every file is opened, read and locked by the process's SQLite, the one Python's sqlite3
  // links, whose file layer keeps the locks of all connections of the process in one table.
  void* shared = dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_LOCAL);
  if (shared == nullptr) {
    throw std::runtime_error(std::string("ornr needs the system's SQLite: ") + dlerror());
  }
  using FindFileLayer = sqlite3_vfs* (*)(const char*);
  const auto find = reinterpret_cast<FindFileLayer>(dlsym(shared, "sqlite3_vfs_find"));
  sqlite3_vfs* files = find != nullptr ? find(nullptr) : nullptr;
  // The copy below reads every field of a layer of version 3.
  if (files == nullptr || files->iVersion < 3) {
    throw std::runtime_error("ornr found no file layer it can use in the system's SQLite");
  }
  processFileLayer = *files;
  // Registering links the layer into a list of the extension's SQLite; the process's stays as it
  // is.
  processFileLayer.pNext = nullptr;
  processFileLayer.zName = "ornr-process";
  if (sqlite3_vfs_register(&processFileLayer, 1) != SQLITE_OK) {
    throw std::runtime_error("ornr could not set up its SQLite");
  }
}

}  // namespace
#endif

void UseOwnSqlite() {
#ifdef ORNR_OWN_SQLITE
  static std::once_flag once;
  std::call_once(once, SetUpOwnSqlite);
#endif
}

bool RunsOwnSqlite() {
#ifdef ORNR_OWN_SQLITE
  return true;
#else
  return false;
#endif
}

}  // namespace ornr::python
