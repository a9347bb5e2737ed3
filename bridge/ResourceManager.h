// Lookup of localized texts: culture tables in files in a folder beside the module over the
// built-in neutral table.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "bridge/RuntimeString.h"
#include "support/TextTable.h"

namespace ornr::bridge {

/// A culture table file is UTF-8 text with one "KEY=text" line per entry; the text runs to the
/// end of the line and is taken as it stands. Blank lines and lines starting with '#' are
/// skipped, a byte-order mark and a carriage return before the line end are allowed.
class ResourceManager {
 public:
  /// Tables are the files "<baseName>.<culture>.txt" in directory.
  ResourceManager(std::string baseName, std::filesystem::path directory);

  /// The text of key in the first of cultures whose table holds it, else in the neutral table;
  /// null when neither holds it. Each culture's file is read once, on first use; a missing file
  /// counts as an empty table, and so does a bad one (a line without '=', an empty key, text
  /// that is not UTF-8, no regular file, too large: see ReadTextTable), which is reported once
  /// on standard error.
  String GetString(std::u16string_view key, const std::vector<std::string>& cultures);

 private:
  using Table = ornr::TextTable;
  const Table& TableOf(const std::string& culture);

  std::string baseName_;
  std::filesystem::path directory_;
  std::unordered_map<std::string, Table> tables_;
};

/// The folder of the binary that holds the bridge: the module, or a program linking it.
/// Empty when it cannot be found.
std::filesystem::path ModuleDirectory();
/// The folder of culture tables beside that binary (kLocalizableFolder); empty when
/// ModuleDirectory is. A folder of its own keeps the tables out of a shared library folder.
std::filesystem::path TablesDirectory();

}  // namespace ornr::bridge
