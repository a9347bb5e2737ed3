// The culture tables the module ships: complete, readable by the bridge, and usable where each
// text goes (message boxes, a setup name for "MESSAGEID_Untitled", the workbench's page).
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
#include "host/controls/HostControls.h"
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

// The keys as the file spells them, so that a misspelt key cannot hide behind the fallback; a key
// given twice (the later line silently wins) is a fault.
std::set<std::u16string> KeysInFile(const std::string& culture) {
  std::ifstream file(fs::path(ORNR_SOURCE_DIR) / "translations" /
                     ("Localizable." + culture + ".txt"));
  std::set<std::u16string> keys;
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line[0] == '#') continue;
    EXPECT_TRUE(keys.insert(ornr::Utf8ToUtf16(line.substr(0, line.find('=')))).second)
        << culture << ": twice " << line;
  }
  return keys;
}

// The page's texts share the tables: its own texts, its sections and settings, value names.
bool IsPageKey(std::u16string_view key) {
  for (const std::u16string_view prefix : {u"Page_", u"Section_", u"Property_", u"Value_"}) {
    if (key.starts_with(prefix)) return true;
  }
  return false;
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
    std::set<std::u16string> moduleKeys;
    for (const std::u16string& key : KeysInFile(culture)) {
      if (!IsPageKey(key)) moduleKeys.insert(key);
    }
    EXPECT_EQ(moduleKeys, neutralKeys);
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

// The English texts of the page live in the page; what the tables must agree on is that each
// language has every page text the other has, with the same places for what the page puts in.
// Only the forms a language needs for 0 and 1 ("KEY_zero", "KEY_one") differ.
TEST(Translations, PageTextsAreTheSameKeysInEveryLanguageWithTheSamePlaceholders) {
  const std::vector<std::string> cultures = ShippedCultures();
  ASSERT_FALSE(cultures.empty());
  ornr::bridge::ResourceManager tables("Localizable", fs::path(ORNR_SOURCE_DIR) / "translations");
  const auto withoutForms = [](std::set<std::u16string> keys) {
    std::erase_if(keys, [](const std::u16string& key) {
      return key.ends_with(u"_zero") || key.ends_with(u"_one");
    });
    return keys;
  };
  const std::set<std::u16string> first = withoutForms(KeysInFile(cultures.front()));
  for (const std::string& culture : cultures) {
    SCOPED_TRACE(culture);
    EXPECT_EQ(withoutForms(KeysInFile(culture)), first);
    for (const std::u16string& key : first) {
      if (!IsPageKey(key)) continue;
      SCOPED_TRACE(ornr::Utf16ToUtf8(key));
      const auto text = tables.GetString(key, {culture});
      const auto other = tables.GetString(key, {cultures.front()});
      ASSERT_TRUE(text && other);
      EXPECT_FALSE(text->empty());
      for (const std::u16string_view slot : {u"{0}", u"{1}", u"{2}", u"{3}"}) {
        EXPECT_EQ(Count(*text, slot), Count(*other, slot)) << ornr::Utf16ToUtf8(slot);
      }
    }
  }
}

// The renderer's names for values come from the host in English; each has its page text.
TEST(Translations, EveryValueNameTheHostGivesIsTranslated) {
  std::vector<std::u16string> keys;
  for (const auto& setting : ornhost::EnumerationLabels()) {
    for (const auto& label : setting.labels) {
      keys.push_back(ornr::Utf8ToUtf16("Value_" + std::string(setting.key) + "_" +
                                       std::to_string(label.value)));
    }
  }
  for (const auto& channel : ornhost::OutputChannelLabels()) {
    keys.push_back(ornr::Utf8ToUtf16("Value_Outputs_" + std::to_string(channel.value)));
  }
  ASSERT_GT(keys.size(), 20u);
  for (const std::string& culture : ShippedCultures()) {
    const std::set<std::u16string> inFile = KeysInFile(culture);
    for (const std::u16string& key : keys) {
      EXPECT_TRUE(inFile.contains(key)) << culture << " lacks " << ornr::Utf16ToUtf8(key);
    }
  }
}

}  // namespace
