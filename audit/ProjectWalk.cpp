#include "audit/ProjectWalk.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <utility>

namespace ornr::audit {

namespace {

enum class Kind { File, Folder, Skip };

const char* WhatItIs(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISDIR(mode)) return "a folder";
  return "neither a file nor a folder";
}

// Without following a link to a folder, which could lead back up the tree. why: what a skipped
// entry is.
Kind KindOf(const std::filesystem::path& path, unsigned char type, std::string& why) {
  if (type == DT_REG) return Kind::File;
  if (type == DT_DIR) return Kind::Folder;
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) {
    why = std::string("cannot be examined (") + std::strerror(errno) + ")";
    return Kind::Skip;
  }
  if (S_ISDIR(info.st_mode)) return Kind::Folder;
  if (S_ISREG(info.st_mode)) return Kind::File;
  if (!S_ISLNK(info.st_mode)) {
    why = std::string("is ") + WhatItIs(info.st_mode);
    return Kind::Skip;
  }
  if (stat(path.c_str(), &info) == 0) {
    if (S_ISREG(info.st_mode)) return Kind::File;
    why = std::string("is a link to ") + WhatItIs(info.st_mode) +
          (S_ISDIR(info.st_mode) ? ", not followed" : "");
  } else if (errno == ENOENT) {
    why = "is a link to nothing";
  } else if (errno == ELOOP) {
    why = "is a link in a loop of links";
  } else {
    why = std::string("is a link that cannot be followed (") + std::strerror(errno) + ")";
  }
  return Kind::Skip;
}

}  // namespace

bool NamedAsLibrary(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".zellib";
}

bool LooksLikeSqliteFile(const std::filesystem::path& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return true;
  // Opening a FIFO would wait for a writer.
  if (!S_ISREG(info.st_mode)) return false;
  unsigned char header[16] = {};
  const long got = ReadFileStart(path, header, sizeof header);
  if (got < 0) return true;
  return got == sizeof header && std::memcmp(header, "SQLite format 3", 16) == 0;
}

long ReadFileStart(const std::filesystem::path& path, unsigned char* bytes, std::size_t size) {
  std::memset(bytes, 0, size);
  sqlite3_vfs* layer = sqlite3_vfs_find(nullptr);
  if (layer == nullptr) {
    errno = ENOSYS;
    return -1;
  }
  std::vector<std::max_align_t> storage(
      (static_cast<std::size_t>(layer->szOsFile) + sizeof(std::max_align_t) - 1) /
      sizeof(std::max_align_t));
  auto* file = reinterpret_cast<sqlite3_file*>(storage.data());
  errno = 0;
  // The layer opens names as SQLite hands them over: absolute, links resolved.
  std::string name(static_cast<std::size_t>(layer->mxPathname) + 1, '\0');
  // SQLITE_OK_SYMLINK says a link was resolved.
  const int resolved =
      layer->xFullPathname(layer, path.c_str(), static_cast<int>(name.size()), name.data());
  if ((resolved & 0xFF) != SQLITE_OK) {
    if (errno == 0) errno = EIO;
    return -1;
  }
  int flags = 0;
  if (layer->xOpen(layer, name.c_str(), file, SQLITE_OPEN_READONLY | SQLITE_OPEN_MAIN_DB, &flags) !=
      SQLITE_OK) {
    if (errno == 0) errno = EIO;
    return -1;
  }
  sqlite3_int64 length = 0;
  int rc = file->pMethods->xFileSize(file, &length);
  const std::size_t wanted =
      std::min(size, static_cast<std::size_t>(std::max<sqlite3_int64>(length, 0)));
  if (rc == SQLITE_OK && wanted > 0) {
    rc = file->pMethods->xRead(file, bytes, static_cast<int>(wanted), 0);
  }
  const int error = errno;
  file->pMethods->xClose(file);
  if (rc != SQLITE_OK && rc != SQLITE_IOERR_SHORT_READ) {
    errno = error != 0 ? error : EIO;
    return -1;
  }
  return rc == SQLITE_OK ? static_cast<long>(wanted) : 0;
}

ProjectWalk::ProjectWalk(std::vector<std::filesystem::path> roots) : roots_(std::move(roots)) {}

ProjectWalk::~ProjectWalk() = default;

bool ProjectWalk::List(const std::filesystem::path& path, std::vector<Name>& names,
                       std::string& problem) {
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) {
    problem = std::string("the folder cannot be read (") + std::strerror(errno) + ")";
    return false;
  }
  names.clear();
  errno = 0;
  while (const dirent* item = readdir(dir)) {
    const std::string_view name = item->d_name;
    if (name == "." || name == "..") continue;
    names.push_back({std::string(name), item->d_type});
  }
  const int error = errno;
  closedir(dir);
  if (error != 0) {
    problem = std::string("the folder cannot be read to its end (") + std::strerror(error) + ")";
    return false;
  }
  std::sort(names.begin(), names.end());
  return true;
}

bool ProjectWalk::Next(ProjectEntry& entry) {
  for (;;) {
    if (stack_.empty()) {
      if (nextRoot_ == roots_.size()) return false;
      const std::filesystem::path& root = roots_[nextRoot_++];
      // A root is followed even when it is a link: it was named.
      struct stat info {};
      const bool folder = stat(root.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
      if (!folder) {
        entry = {root, true, {}, {}};
        return true;
      }
      Folder top{root, {}, 0};
      std::string problem;
      if (!List(root, top.names, problem)) {
        entry = {root, true, std::move(problem), {}};
        return true;
      }
      stack_.push_back(std::move(top));
      continue;
    }
    Folder& folder = stack_.back();
    if (folder.next == folder.names.size()) {
      stack_.pop_back();
      continue;
    }
    const Name& name = folder.names[folder.next++];
    std::filesystem::path path = folder.path / name.name;
    std::string why;
    switch (KindOf(path, name.type, why)) {
      case Kind::File:
        entry = {std::move(path), false, {}, {}};
        return true;
      case Kind::Folder: {
        Folder sub{std::move(path), {}, 0};
        std::string problem;
        if (!List(sub.path, sub.names, problem)) {
          entry = {std::move(sub.path), false, std::move(problem), {}};
          return true;
        }
        stack_.push_back(std::move(sub));
        continue;
      }
      case Kind::Skip:
        entry = {std::move(path), false, {}, std::move(why)};
        return true;
    }
  }
}

std::size_t ProjectWalk::Count(const std::vector<std::filesystem::path>& roots) {
  ProjectWalk walk(roots);
  ProjectEntry entry;
  std::size_t count = 0;
  while (walk.Next(entry)) {
    if (entry.skipped.empty()) ++count;
  }
  return count;
}

}  // namespace ornr::audit
