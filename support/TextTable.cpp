#include "support/TextTable.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "support/Utf.h"

namespace ornr {

namespace {

// Utf8ToUtf16 replaces what is not UTF-8, so a text that does not come back unchanged was not.
bool IsUtf8(std::string_view text) {
  return Utf16ToUtf8(Utf8ToUtf16(text)) == text;
}

}  // namespace

std::optional<TextTableError> ParseTextTable(std::string_view content, TextTable& table) {
  if (content.substr(0, 3) == "\xEF\xBB\xBF") content.remove_prefix(3);
  if (!IsUtf8(content)) return TextTableError{0, "not UTF-8 text"};
  std::size_t number = 0;
  while (!content.empty()) {
    ++number;
    const std::size_t end = content.find('\n');
    std::string_view line = content.substr(0, end);
    content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return TextTableError{number, "no '='"};
    if (equals == 0) return TextTableError{number, "empty key"};
    table.insert_or_assign(Utf8ToUtf16(line.substr(0, equals)),
                           Utf8ToUtf16(line.substr(equals + 1)));
  }
  return std::nullopt;
}

std::filesystem::path TextTablePath(const std::filesystem::path& directory,
                                    std::string_view culture) {
  return directory / (std::string(kTextTableBaseName) + "." + std::string(culture) + ".txt");
}

std::string Describe(const TextTableError& error) {
  if (error.line == 0 || error.reason.empty()) return error.reason;
  return "line " + std::to_string(error.line) + ": " + error.reason;
}

namespace {

// The content of a regular file within the limit, or why not. The file is opened without
// waiting: a FIFO with nobody writing to it would hold the session for good.
std::optional<std::string> ReadBounded(const std::filesystem::path& file, std::string& why) {
  const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    if (errno != ENOENT && errno != ENOTDIR)
      why = std::string("cannot be read (") + std::strerror(errno) + ")";
    return std::nullopt;
  }
  std::string content;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    why = "is not a regular file";
  } else if (static_cast<std::uintmax_t>(info.st_size) > kMaxTextTableBytes) {
    why = "larger than " + std::to_string(kMaxTextTableBytes >> 20) + " MB (" +
          std::to_string(info.st_size) + " bytes)";
  } else {
    // One byte more than the limit tells a file that grew meanwhile.
    content.resize(static_cast<std::size_t>(info.st_size) + 1);
    std::size_t got = 0;
    for (;;) {
      if (got == content.size()) {
        if (got > kMaxTextTableBytes) break;
        content.resize(std::min<std::size_t>(content.size() * 2, kMaxTextTableBytes + 1));
      }
      const ssize_t n = read(fd, content.data() + got, content.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        why = std::string("cannot be read (") + std::strerror(errno) + ")";
        break;
      }
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    content.resize(got);
    if (why.empty() && got > kMaxTextTableBytes) {
      why = "larger than " + std::to_string(kMaxTextTableBytes >> 20) + " MB";
    }
  }
  close(fd);
  if (!why.empty()) return std::nullopt;
  return content;
}

}  // namespace

std::optional<TextTable> ReadTextTable(const std::filesystem::path& file, TextTableError* error) {
  std::string why;
  const std::optional<std::string> content = ReadBounded(file, why);
  if (!content) {
    if (!why.empty() && error != nullptr) *error = {0, std::move(why)};
    return std::nullopt;
  }
  TextTable table;
  if (std::optional<TextTableError> bad = ParseTextTable(*content, table)) {
    if (error != nullptr) *error = std::move(*bad);
    return std::nullopt;
  }
  return table;
}

}  // namespace ornr
