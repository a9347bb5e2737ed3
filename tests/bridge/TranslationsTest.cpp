// The culture tables the module ships: complete, readable by the bridge, and usable where each
// text goes (message boxes, and a setup name for "MESSAGEID_Untitled").
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "bridge/Localizable.h"
#include "bridge/ResourceManager.h"
#include "host/store/SetupNames.h"
#include "support/Utf.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> ShippedCultures() {
  std::vector<std::string> cultures;
  for (const auto& entry : fs::directory_iterator(fs::path(ORNR_SOURCE_DIR) / "translations")) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("Localizable.") && name.ends_with(".txt")) {
      cultures.push_back(name.substr(12, name.size() - 16));
    }
  }
  std::sort(cultures.begin(), cultures.end());
  return cultures;
}

// The keys as the file spells them, so that a misspelt key cannot hide behind the fallback.
std::set<std::u16string> KeysInFile(const std::string& culture) {
  std::ifstream file(fs::path(ORNR_SOURCE_DIR) / "translations" /
                     ("Localizable." + culture + ".txt"));
  std::set<std::u16string> keys;
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line[0] == '#') continue;
    keys.insert(ornr::Utf8ToUtf16(line.substr(0, line.find('='))));
  }
  return keys;
}

std::size_t Count(std::u16string_view text, std::u16string_view part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != text.npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST(Translations, EveryShippedTableTranslatesEveryKeyWithinTheHostsLimits) {
  const std::vector<std::string> cultures = ShippedCultures();
  EXPECT_THAT(cultures, ::testing::ElementsAre("de", "ja"));
  std::set<std::u16string> neutralKeys;
  for (const auto& entry : ornr::bridge::NeutralTable()) neutralKeys.emplace(entry.key);

  for (const std::string& culture : cultures) {
    SCOPED_TRACE(culture);
    EXPECT_EQ(KeysInFile(culture), neutralKeys);
    ornr::bridge::ResourceManager tables("Localizable", fs::path(ORNR_SOURCE_DIR) / "translations");
    for (const auto& [key, neutral] : ornr::bridge::NeutralTable()) {
      SCOPED_TRACE(ornr::Utf16ToUtf8(key));
      const auto text = tables.GetString(key, {culture});
      ASSERT_TRUE(text.has_value());
      EXPECT_NE(*text, neutral) << "not translated";
      EXPECT_LE(text->size(), ornhost::kMaxSetupNameUnits);
      EXPECT_EQ(Count(*text, u"{0}"), Count(neutral, u"{0}"));
      EXPECT_EQ(text->find_first_of(u"\t\r\n"), std::u16string::npos);
    }
    const auto untitled = tables.GetString(u"MESSAGEID_Untitled", {culture});
    EXPECT_EQ(ornhost::RefusalOfSetupName(*untitled), std::nullopt);
  }
}

}  // namespace
