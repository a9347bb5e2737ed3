// Files written under a name the user gave (reports, exports): what the name stands for stays
// what it is.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ornr {

class OutputFileError : public std::runtime_error {
 public:
  OutputFileError(const std::filesystem::path& path, const std::string& reason)
      : std::runtime_error("cannot write " + path.string() + ": " + reason), reason_(reason) {}
  /// Why, without the name: "is a folder", "No such file or directory".
  const std::string& Reason() const noexcept { return reason_; }

 private:
  std::string reason_;
};

/// A file written under a name the user gave.
///
/// Where the name leads to a regular file, or to nothing yet (symbolic links followed, a dangling
/// one to where it points), the text goes to a temporary file beside that file,
/// "FILE.partial-PID", renamed over it by Commit: the file is found whole or as it was, keeps its
/// permissions, and the links that lead to it stay links.
///
/// Anything else is written through, never replaced: a character device (/dev/null, a
/// terminal), a FIFO, and an open descriptor (/dev/stdout, /dev/fd/N): one of this process is
/// written as the process writes it, at the same place (flush what is buffered for it first);
/// another's file is appended to when it is a regular file. A FIFO that no program has open for
/// reading is refused rather than waited for. A folder, a block device, a socket and a loop of
/// links are refused.
class OutputFile {
 public:
  /// Opens the file or the temporary one. Throws OutputFileError.
  explicit OutputFile(std::filesystem::path path);
  /// Without Commit: the temporary file is removed and the file is as it was; what went through
  /// to a device or FIFO stays gone.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  /// Buffered; a failure is kept and thrown by Commit.
  void Write(std::string_view text);
  /// Writes what is left, syncs a regular file and renames it into place. Throws
  /// OutputFileError; the temporary file is then gone and the file as it was.
  void Commit();

  const std::filesystem::path& Path() const noexcept { return path_; }
  /// Whether the text goes through to what is there rather than replacing it.
  bool WritesThrough() const noexcept { return temporary_.empty(); }

 private:
  void Flush();
  void Discard() noexcept;

  std::filesystem::path path_;
  // The regular file to replace and its temporary; both empty when written through.
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  int fd_ = -1;
  std::string buffer_;
  int error_ = 0;  // errno of the first failed write
};

/// Writes text whole under path, as OutputFile does. Throws OutputFileError.
void WriteOutputFile(const std::filesystem::path& path, std::string_view text);

}  // namespace ornr
