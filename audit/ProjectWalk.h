// The files under the PATHs given, in a stable order (each folder's entries sorted by name, folders
// recursively, symbolic links to folders not followed), without holding the whole list; and each
// entry of a folder that is not read as a file, with the reason.
#pragma once

#include <dirent.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace ornr::audit {

/// Whether path is named as a design library (".zellib", in any case).
bool NamedAsLibrary(const std::filesystem::path& path);
/// Whether path begins with SQLite's header: a design file or library may be there. True when it
/// cannot be opened, so that reading it says why.
bool LooksLikeSqliteFile(const std::filesystem::path& path);
/// Reads the first bytes of the regular file at path (fewer when it is shorter; the rest of
/// bytes is zeroed) and returns how many it read, or -1 with errno set when it cannot be opened
/// or read. Opens it through SQLite's file layer, whose close keeps the locks that connections of
/// this process hold on the file, where a close of its own would drop them.
long ReadFileStart(const std::filesystem::path& path, unsigned char* bytes, std::size_t size);

struct ProjectEntry {
  std::filesystem::path path;
  /// Given as a PATH itself, not found in a folder.
  bool named = false;
  /// A folder that could not be read, and why; the entry stands for it.
  std::string folderProblem;
  /// Why an entry of a folder is not read ("is a FIFO"); empty for a file to read.
  std::string skipped;
};

/// Walks each root in turn: a file root is one entry, a folder root its regular files and links
/// to files. Folders that cannot be read are entries too, so that they are listed, and so is
/// everything else a folder holds: FIFOs, sockets, devices, links to them, to folders, to
/// nothing and in loops, each with why it is skipped.
class ProjectWalk {
 public:
  explicit ProjectWalk(std::vector<std::filesystem::path> roots);
  ~ProjectWalk();
  ProjectWalk(const ProjectWalk&) = delete;
  ProjectWalk& operator=(const ProjectWalk&) = delete;

  /// The next entry; false when there are no more.
  bool Next(ProjectEntry& entry);

  /// How many entries a fresh walk of roots yields, not counting the skipped ones.
  static std::size_t Count(const std::vector<std::filesystem::path>& roots);

 private:
  struct Name {
    std::string name;
    /// readdir's type of the entry; DT_UNKNOWN where the file system does not say.
    unsigned char type = DT_UNKNOWN;
    bool operator<(const Name& other) const { return name < other.name; }
  };
  struct Folder {
    std::filesystem::path path;
    std::vector<Name> names;
    std::size_t next = 0;
  };
  /// Reads a folder's names, sorted; false and why when it cannot be read.
  static bool List(const std::filesystem::path& path, std::vector<Name>& names,
                   std::string& problem);

  std::vector<std::filesystem::path> roots_;
  std::size_t nextRoot_ = 0;
  std::vector<Folder> stack_;
};

}  // namespace ornr::audit
