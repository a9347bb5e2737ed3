#include "audit/ProjectWalk.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace ornr::audit {

namespace {

enum class Kind { File, Folder, Skip };

// Without following a link to a folder, which could lead back up the tree.
Kind KindOf(const std::filesystem::path& path, unsigned char type) {
  if (type == DT_REG) return Kind::File;
  if (type == DT_DIR) return Kind::Folder;
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return Kind::Skip;
  if (S_ISDIR(info.st_mode)) return Kind::Folder;
  if (S_ISREG(info.st_mode)) return Kind::File;
  if (S_ISLNK(info.st_mode) && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    return Kind::File;
  }
  return Kind::Skip;
}

}  // namespace

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
        entry = {root, true, {}};
        return true;
      }
      Folder top{root, {}, 0};
      std::string problem;
      if (!List(root, top.names, problem)) {
        entry = {root, true, std::move(problem)};
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
    switch (KindOf(path, name.type)) {
      case Kind::File:
        entry = {std::move(path), false, {}};
        return true;
      case Kind::Folder: {
        Folder sub{std::move(path), {}, 0};
        std::string problem;
        if (!List(sub.path, sub.names, problem)) {
          entry = {std::move(sub.path), false, std::move(problem)};
          return true;
        }
        stack_.push_back(std::move(sub));
        continue;
      }
      case Kind::Skip:
        continue;
    }
  }
}

std::size_t ProjectWalk::Count(const std::vector<std::filesystem::path>& roots) {
  ProjectWalk walk(roots);
  ProjectEntry entry;
  std::size_t count = 0;
  while (walk.Next(entry)) ++count;
  return count;
}

}  // namespace ornr::audit
