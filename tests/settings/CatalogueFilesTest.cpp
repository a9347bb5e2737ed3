// The files made from the settings catalogue: each follows the catalogue row by row, and the
// copies kept in the source tree and the one the build embeds are what the catalogue makes.
#include "settings/CatalogueFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "settings/SettingsCatalogue.h"
#include "support/Utf.h"

namespace {

namespace fs = std::filesystem;
using ornr::settings::kProperties;
using ornr::settings::kSections;
using Teskor::ZelPlatform::PropertyType;

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The page's types, as its editors and checks name them.
std::string PageTypeOf(PropertyType type) {
  switch (type) {
    case PropertyType::Bool:
      return "bool";
    case PropertyType::UInt32:
      return "u32";
    case PropertyType::Int32:
      return "i32";
    case PropertyType::UInt64:
      return "u64";
    case PropertyType::Double:
      return "f64";
    default:
      return "?";
  }
}

// The single-quoted JavaScript strings of a line, decoded to UTF-8; nullopt-like empty result
// with ok=false when a string is not closed or holds an escape the page's files never use.
std::vector<std::string> JsStrings(const std::string& line, bool& ok) {
  std::vector<std::string> strings;
  ok = true;
  for (std::size_t at = line.find('\''); at != std::string::npos; at = line.find('\'', at + 1)) {
    std::u16string text;
    std::size_t i = at + 1;
    for (; i < line.size() && line[i] != '\''; ++i) {
      if (line[i] != '\\') {
        const std::size_t start = i;
        while (i + 1 < line.size() && line[i + 1] != '\'' && line[i + 1] != '\\') ++i;
        ornr::AppendUtf8AsUtf16(text, std::string_view(line).substr(start, i - start + 1));
        continue;
      }
      if (++i >= line.size()) break;
      if (line[i] == 'u' && i + 4 < line.size()) {
        text += static_cast<char16_t>(std::stoul(line.substr(i + 1, 4), nullptr, 16));
        i += 4;
      } else if (line[i] == '\'' || line[i] == '\\') {
        text += static_cast<char16_t>(line[i]);
      } else {
        ok = false;
      }
    }
    if (i >= line.size()) ok = false;
    strings.push_back(ornr::Utf16ToUtf8(text));
    at = i;
  }
  return strings;
}

// The cells of a Markdown table row, with "\|" and "\\" read back and code marks taken off.
std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> cells;
  std::string cell;
  for (std::size_t i = 1; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) {
      cell += line[++i];
    } else if (line[i] == '|') {
      cells.push_back(cell);
      cell.clear();
    } else {
      cell += line[i];
    }
  }
  for (std::string& each : cells) {
    each = each.substr(1, each.size() - 2);
    if (each.size() >= 2 && each.front() == '`' && each.back() == '`') {
      each = each.substr(1, each.size() - 2);
    }
  }
  return cells;
}

TEST(CatalogueFiles, PageModuleHoldsEverySectionAndSettingInTheOrderShown) {
  const std::regex section(R"(^  \[('.*'), \[$)");
  const std::regex setting(R"(^    \[('.*')\],$)");
  std::vector<std::vector<std::string>> sections;
  std::vector<std::vector<std::vector<std::string>>> settings;
  for (const std::string& line : Lines(ornr::settings::PageCatalogueModule())) {
    SCOPED_TRACE(line);
    std::smatch match;
    bool ok = true;
    if (std::regex_match(line, match, section)) {
      sections.push_back(JsStrings(match[1], ok));
      settings.emplace_back();
    } else if (std::regex_match(line, match, setting)) {
      ASSERT_FALSE(settings.empty()) << "a setting before the first section";
      settings.back().push_back(JsStrings(match[1], ok));
    } else {
      // Only comments and the array's own brackets besides.
      EXPECT_TRUE(line.starts_with("// ") || line == "export const CATALOGUE = [" ||
                  line == "  ]]," || line == "];");
    }
    EXPECT_TRUE(ok);
  }
  ASSERT_EQ(sections.size(), kSections.size());
  std::size_t total = 0;
  for (std::size_t s = 0; s < kSections.size(); ++s) {
    const auto& expected = kSections[s];
    SCOPED_TRACE(std::string(expected.identifier));
    EXPECT_EQ(sections[s], (std::vector<std::string>{std::string(expected.identifier),
                                                     std::string(expected.title)}));
    ASSERT_EQ(settings[s].size(), expected.Properties().size());
    for (std::size_t r = 0; r < settings[s].size(); ++r) {
      const auto& shown = expected.Properties()[r];
      const auto* property = ornr::settings::FindProperty(shown.name);
      ASSERT_NE(property, nullptr);
      EXPECT_EQ(settings[s][r], (std::vector<std::string>{
                                    std::string(shown.name), PageTypeOf(property->type),
                                    std::string(shown.label), std::string(shown.description)}));
    }
    total += settings[s].size();
  }
  EXPECT_EQ(total, ornr::settings::kPropertyCount);
}

TEST(CatalogueFiles, SettingsTableHasARowPerSettingInCatalogueOrder) {
  std::vector<std::vector<std::string>> sectionRows;
  std::vector<std::vector<std::string>> settingRows;
  for (const std::string& line : Lines(ornr::settings::SettingsTable())) {
    if (!line.starts_with("| ")) continue;
    const std::vector<std::string> cells = Cells(line);
    if (cells.size() == 3 && cells[0] != "Section") sectionRows.push_back(cells);
    if (cells.size() == 6 && cells[0] != "#") settingRows.push_back(cells);
  }
  ASSERT_EQ(sectionRows.size(), kSections.size());
  for (std::size_t s = 0; s < kSections.size(); ++s) {
    EXPECT_EQ(sectionRows[s],
              (std::vector<std::string>{std::string(kSections[s].identifier),
                                        std::string(kSections[s].title),
                                        std::to_string(kSections[s].Properties().size())}));
  }
  ASSERT_EQ(settingRows.size(), ornr::settings::kPropertyCount);
  for (std::size_t i = 0; i < settingRows.size(); ++i) {
    const auto& property = kProperties[i];
    SCOPED_TRACE(std::string(property.name));
    const auto* shown = ornr::settings::FindShown(property.name);
    const auto* section = ornr::settings::SectionOf(property.name);
    ASSERT_TRUE(shown && section);
    EXPECT_EQ(settingRows[i],
              (std::vector<std::string>{std::to_string(i), std::string(property.name),
                                        std::string(ornr::settings::TypeName(property.type)),
                                        std::string(section->identifier), std::string(shown->label),
                                        std::string(shown->description)}));
  }
}

// A copy that differs was edited by hand or not made again after the catalogue changed.
TEST(CatalogueFiles, CopiesKeptAndEmbeddedAreWhatTheCatalogueMakes) {
  const fs::path source = ORNR_SOURCE_DIR;
  const char* build = std::getenv("ORNR_BUILD_DIR");
  ASSERT_NE(build, nullptr);
  const struct {
    fs::path path;
    std::string made;
  } copies[] = {
      {source / "workbench/page/web/settings-catalogue.js", ornr::settings::PageCatalogueModule()},
      {source / "docs/settings.md", ornr::settings::SettingsTable()},
      {fs::path(build) / "workbench/page-src/settings-catalogue.js",
       ornr::settings::PageCatalogueModule()},
  };
  for (const auto& copy : copies) {
    ASSERT_TRUE(fs::exists(copy.path)) << copy.path;
    EXPECT_TRUE(Slurp(copy.path) == copy.made)
        << copy.path << " is not what the catalogue makes; write it again with\n"
        << "  cmake --build --preset default --target catalogue-files";
  }
}

}  // namespace
