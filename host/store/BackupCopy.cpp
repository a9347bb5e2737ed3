#include "host/store/BackupCopy.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/store/DesignFileStatements.h"

namespace ornhost::detail {

namespace {

std::string Errno() {
  return std::strerror(errno);
}

// Without a journal or syncs of its own: until it is renamed the copy is nobody's file, and it is
// synced once, whole, below.
std::string CopyDatabase(sqlite3* db, const std::filesystem::path& to) {
  sqlite3* copy = nullptr;
  int rc = sqlite3_open_v2(to.c_str(), &copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_exec(copy, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF", nullptr, nullptr,
                      nullptr);
  }
  sqlite3_backup* backup =
      rc == SQLITE_OK ? sqlite3_backup_init(copy, "main", db, "main") : nullptr;
  if (backup != nullptr) {
    rc = sqlite3_backup_step(backup, -1);
    sqlite3_backup_finish(backup);
  }
  const bool copied = backup != nullptr && rc == SQLITE_DONE;
  const std::string why = copied ? "" : copy != nullptr ? PlainReason(copy) : "out of memory";
  if (sqlite3_close(copy) != SQLITE_OK && copied) return "it cannot be closed";
  return why;
}

std::string Sync(const std::filesystem::path& path, int flags) {
  const int fd = open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return Errno();
  std::string why = fsync(fd) == 0 ? "" : Errno();
  close(fd);
  return why;
}

// Never over another file: one that took the name since it was found free stays.
std::string MoveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
  if (errno == EEXIST) return "another file took its name meanwhile";
  if (errno != EINVAL && errno != ENOSYS) return Errno();
  // A file system without renames that refuse to replace: a link refuses as well.
  if (link(from.c_str(), to.c_str()) != 0) {
    return errno == EEXIST ? "another file took its name meanwhile" : Errno();
  }
  unlink(from.c_str());
  return {};
}

}  // namespace

std::string WriteBackupCopy(sqlite3* db, const std::filesystem::path& path) {
  std::filesystem::path temporary = path;
  temporary += ".tmp-" + std::to_string(getpid());
  // Only this process makes files of that name; one there is left from a process of the same id.
  unlink(temporary.c_str());
  std::string why = CopyDatabase(db, temporary);
  if (why.empty()) why = Sync(temporary, O_RDONLY);
  if (why.empty()) why = MoveIntoPlace(temporary, path);
  if (!why.empty()) {
    unlink(temporary.c_str());
    return why;
  }
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
  if (why = Sync(folder, O_RDONLY | O_DIRECTORY); !why.empty()) {
    unlink(path.c_str());
    return "its folder cannot be synced (" + why + ")";
  }
  return {};
}

}  // namespace ornhost::detail
