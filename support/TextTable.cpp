#include "support/TextTable.h"

#include <fstream>
#include <iterator>

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

std::optional<TextTable> ReadTextTable(const std::filesystem::path& file, TextTableError* error) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  const std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  TextTable table;
  if (const std::optional<TextTableError> bad = ParseTextTable(content, table)) {
    if (error != nullptr) *error = *bad;
    return std::nullopt;
  }
  return table;
}

}  // namespace ornr
