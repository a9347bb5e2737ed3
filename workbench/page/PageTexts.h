// The page's message catalogue: the texts of the session's culture, as the module's tables
// beside it hold them, for the page to show in place of its English ones.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace ornr::workbench {

/// {"lang": L, "texts": {KEY: text}}: every text of the tables of cultures (most specific first,
/// as CultureCandidates gives them) in directory, a more specific table's text winning. L is the
/// most specific culture with a table, "en" when none has one: the page is then English, and
/// so is any text the tables lack. A missing table is left out; so is a bad one (see
/// ReadTextTable: no regular file, too large, not a table), and warning says which and why.
std::string PageTextsJson(const std::filesystem::path& directory,
                          const std::vector<std::string>& cultures, std::string* warning = nullptr);

}  // namespace ornr::workbench
