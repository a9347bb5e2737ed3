// Tables of translated texts: one file per culture, "KEY=text" a line, read by the module for its
// messages and by the workbench for its page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace ornr {

/// The base name of the tables: a culture's is the file "Localizable.<culture>.txt".
inline constexpr std::string_view kTextTableBaseName = "Localizable";
/// The folder beside the module that holds the tables, in the build and once installed.
inline constexpr std::string_view kTextTableFolder = "ornrender";

/// The largest table read: a language's texts take a few kilobytes.
inline constexpr std::uintmax_t kMaxTextTableBytes = 4u << 20;

using TextTable = std::unordered_map<std::u16string, std::u16string>;

struct TextTableError {
  std::size_t line = 0;  // 0: the file as a whole
  std::string reason;
};

/// "line 2: no '='", or the reason alone for the file as a whole; empty for no error.
std::string Describe(const TextTableError& error);

/// Reads content into table (later lines win). The text runs to the end of the line and is
/// taken as it stands; blank lines and lines starting with '#' are skipped, a byte-order mark and
/// a carriage return before the line end are allowed. On an error (a line without '=', an empty
/// key, content that is not UTF-8) table holds what came before the bad line.
std::optional<TextTableError> ParseTextTable(std::string_view content, TextTable& table);

/// The file of culture's table in directory: "<directory>/Localizable.<culture>.txt".
std::filesystem::path TextTablePath(const std::filesystem::path& directory,
                                    std::string_view culture);

/// The table in file: nullopt when there is no file, or when what is there is no table, which
/// error then describes. Only a regular file (links followed) of at most kMaxTextTableBytes is
/// read; a FIFO, a device or a folder in its place is refused without waiting on it, as is one
/// that cannot be opened. No file leaves error as it was.
std::optional<TextTable> ReadTextTable(const std::filesystem::path& file,
                                       TextTableError* error = nullptr);

}  // namespace ornr
