#include "audit/Report.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ornr::audit {

ReportFile::ReportFile(std::filesystem::path path) : path_(std::move(path)) {
  temporary_ = path_;
  temporary_ += ".partial-" + std::to_string(getpid());
  file_ = std::fopen(temporary_.c_str(), "wbx");
  if (file_ == nullptr) {
    throw ReportError("cannot write " + path_.string() + ": " + std::strerror(errno));
  }
  // Reports of thousands of files are written in large pieces.
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
}

ReportFile::~ReportFile() {
  if (file_ == nullptr) return;
  std::fclose(file_);
  std::error_code ignored;
  std::filesystem::remove(temporary_, ignored);
}

void ReportFile::Write(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), file_);
}

void ReportFile::Commit() {
  const bool written =
      std::fflush(file_) == 0 && std::ferror(file_) == 0 && fsync(fileno(file_)) == 0;
  const int error = errno;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  std::error_code ec;
  if (!written || !closed) {
    std::filesystem::remove(temporary_, ec);
    throw ReportError("cannot write " + path_.string() + ": " + std::strerror(error));
  }
  std::filesystem::rename(temporary_, path_, ec);
  if (ec) {
    std::filesystem::remove(temporary_, ec);
    throw ReportError("cannot write " + path_.string() + ": " + ec.message());
  }
}

std::string ShellCommand(const std::vector<std::string>& words) {
  std::string line;
  for (const std::string& word : words) {
    if (!line.empty()) line += ' ';
    const bool plain = !word.empty() && word.find_first_not_of(
                                            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                            "0123456789-_./=:,+@%") == std::string::npos;
    if (plain) {
      line += word;
      continue;
    }
    line += '\'';
    for (const char c : word) {
      if (c == '\'') {
        line += "'\\''";
      } else {
        line += c;
      }
    }
    line += '\'';
  }
  return line;
}

}  // namespace ornr::audit
