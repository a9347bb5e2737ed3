#include "support/OutputFile.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <system_error>

namespace ornr {

namespace {

// Symbolic links followed before the name counts as a loop, as the kernel counts.
constexpr int kMaxLinks = 40;
constexpr std::size_t kBufferBytes = 1 << 16;

std::string ErrnoText(int error) {
  return std::strerror(error);
}

std::filesystem::path FolderOf(const std::filesystem::path& path) {
  return path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
}

// A link in /proc (where /dev/stdout and /dev/fd/N lead) stands for an open descriptor: its text
// is no path to rename over, and what it reaches is already some program's open file.
bool InProc(const std::filesystem::path& link) {
  struct statfs info {};
  return statfs(FolderOf(link).c_str(), &info) == 0 &&
         static_cast<unsigned long>(info.f_type) == PROC_SUPER_MAGIC;
}

// The number of the descriptor of this process that a link in /proc stands for ("/proc/self/fd/1",
// "/dev/fd/1"), or -1 when it is another process's.
int OwnDescriptor(const std::filesystem::path& link) {
  const std::string name = link.filename().string();
  if (name.empty() || name.size() > 9 ||
      name.find_first_not_of("0123456789") != std::string::npos) {
    return -1;
  }
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::canonical(FolderOf(link), error);
  const std::filesystem::path own = "/proc/" + std::to_string(getpid()) + "/fd";
  return !error && folder == own ? std::stoi(name) : -1;
}

enum class Kind { Replace, Through, Descriptor };

struct Resolved {
  Kind kind = Kind::Replace;
  // Replace: the regular file (perhaps not there yet) that is replaced; Through: what is opened.
  std::filesystem::path path;
  // Descriptor: this process's own descriptor the name stands for.
  int fd = -1;
  // Replace: the permissions of the file there, or none.
  bool exists = false;
  mode_t mode = 0;
};

Resolved Resolve(const std::filesystem::path& given) {
  std::filesystem::path at = given;
  for (int links = 0; links <= kMaxLinks; ++links) {
    struct stat info {};
    if (lstat(at.c_str(), &info) != 0) {
      if (errno == ENOENT) return {Kind::Replace, at};
      throw OutputFileError(given, ErrnoText(errno));
    }
    if (S_ISLNK(info.st_mode)) {
      if (InProc(at)) {
        const int own = OwnDescriptor(at);
        if (own >= 0) return {Kind::Descriptor, at, own};
        return {Kind::Through, at};
      }
      std::error_code error;
      const std::filesystem::path target = std::filesystem::read_symlink(at, error);
      if (error) throw OutputFileError(given, error.message());
      at = target.is_absolute() ? target : FolderOf(at) / target;
      continue;
    }
    if (S_ISREG(info.st_mode))
      return {.kind = Kind::Replace, .path = at, .exists = true, .mode = info.st_mode & 07777};
    if (S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode)) return {Kind::Through, at};
    if (S_ISDIR(info.st_mode)) throw OutputFileError(given, "is a folder");
    if (S_ISBLK(info.st_mode)) throw OutputFileError(given, "is a block device");
    if (S_ISSOCK(info.st_mode)) throw OutputFileError(given, "is a socket");
    throw OutputFileError(given, "is not a file that can be written");
  }
  throw OutputFileError(given, "the symbolic links loop (or lead through more than " +
                                   std::to_string(kMaxLinks) + " links)");
}

// Writes all of text; false with errno set when a write fails. A reader that went away must
// not end the program as SIGPIPE would: the signal is held back for the write, and the one the
// write raised is taken back.
bool WriteAll(int fd, std::string_view text) {
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  sigset_t pending;
  sigpending(&pending);
  const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
  sigset_t old;
  pthread_sigmask(SIG_BLOCK, &pipe, &old);
  bool written = true;
  int error = 0;
  while (!text.empty()) {
    const ssize_t n = write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      written = false;
      error = n < 0 ? errno : EIO;
      break;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  if (error == EPIPE && !alreadyPending) {
    const timespec now{0, 0};
    while (sigtimedwait(&pipe, nullptr, &now) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  errno = error;
  return written;
}

int OpenThrough(const std::filesystem::path& given, const std::filesystem::path& at) {
  // Not waiting for a FIFO's reader: without one, open fails at once rather than blocking.
  const int fd = open(at.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    const int error = errno;
    struct stat info {};
    const bool fifo = stat(at.c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
    if (error == ENXIO && fifo) {
      throw OutputFileError(given, "is a FIFO that no program has open for reading");
    }
    if (error == ENXIO) throw OutputFileError(given, "is a socket or a device not there");
    if (error == EISDIR) throw OutputFileError(given, "is a folder");
    throw OutputFileError(given, ErrnoText(error));
  }
  struct stat info {};
  fstat(fd, &info);
  int flags = fcntl(fd, F_GETFL);
  flags &= ~O_NONBLOCK;
  // The file of a descriptor keeps what was written to it before.
  if (S_ISREG(info.st_mode)) flags |= O_APPEND;
  if (S_ISBLK(info.st_mode)) {
    close(fd);
    throw OutputFileError(given, "is a block device");
  }
  fcntl(fd, F_SETFL, flags);
  return fd;
}

void SyncFolder(const std::filesystem::path& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

OutputFile::OutputFile(std::filesystem::path path) : path_(std::move(path)) {
  if (path_.empty()) throw OutputFileError(path_, "the name is empty");
  const Resolved resolved = Resolve(path_);
  buffer_.reserve(kBufferBytes);
  if (resolved.kind == Kind::Descriptor) {
    // The same open file as the program's own descriptor, at the same place in it: what the
    // program writes there itself and this file's text follow each other, whatever it is.
    fd_ = fcntl(resolved.fd, F_DUPFD_CLOEXEC, 0);
    if (fd_ < 0) throw OutputFileError(path_, ErrnoText(errno));
    return;
  }
  if (resolved.kind == Kind::Through) {
    fd_ = OpenThrough(path_, resolved.path);
    return;
  }
  target_ = resolved.path;
  const std::string base = target_.string() + ".partial-" + std::to_string(getpid());
  for (int attempt = 0; fd_ < 0; ++attempt) {
    temporary_ = attempt == 0 ? base : base + "-" + std::to_string(attempt);
    fd_ = open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd_ < 0 && (errno != EEXIST || attempt == 99)) {
      const int error = errno;
      temporary_.clear();
      throw OutputFileError(path_, ErrnoText(error));
    }
  }
  if (resolved.exists) fchmod(fd_, resolved.mode);
}

OutputFile::~OutputFile() {
  Discard();
}

void OutputFile::Discard() noexcept {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
}

void OutputFile::Write(std::string_view text) {
  if (error_ != 0) return;
  if (buffer_.size() + text.size() > kBufferBytes) {
    Flush();
    if (text.size() >= kBufferBytes) {
      if (error_ == 0 && !WriteAll(fd_, text)) error_ = errno;
      return;
    }
  }
  buffer_.append(text);
}

void OutputFile::Flush() {
  if (error_ == 0 && !buffer_.empty() && !WriteAll(fd_, buffer_)) error_ = errno;
  buffer_.clear();
}

void OutputFile::Commit() {
  if (fd_ < 0) throw OutputFileError(path_, "already written or given up");
  Flush();
  const bool through = WritesThrough();
  if (error_ == 0 && !through && fsync(fd_) != 0) error_ = errno;
  if (close(fd_) != 0 && error_ == 0 && errno != EINTR) error_ = errno;
  fd_ = -1;
  if (error_ != 0) {
    Discard();
    throw OutputFileError(path_, ErrnoText(error_));
  }
  if (through) return;
  if (rename(temporary_.c_str(), target_.c_str()) != 0) {
    const int error = errno;
    Discard();
    throw OutputFileError(path_, ErrnoText(error));
  }
  temporary_.clear();
  SyncFolder(FolderOf(target_));
}

void WriteOutputFile(const std::filesystem::path& path, std::string_view text) {
  OutputFile file(path);
  file.Write(text);
  file.Commit();
}

}  // namespace ornr
