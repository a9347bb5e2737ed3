// The page's message catalogue as the workbench serves it: the session's culture over its
// language, English where no table has the culture.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "workbench/page/PageTexts.h"

namespace {

namespace fs = std::filesystem;

class PageTextsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("page-texts-" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Table(const std::string& culture, const std::string& content) {
    std::ofstream(dir_ / ("Localizable." + culture + ".txt"), std::ios::binary) << content;
  }
  nlohmann::json Texts(const std::vector<std::string>& cultures, std::string* warning = nullptr) {
    return nlohmann::json::parse(ornr::workbench::PageTextsJson(dir_, cultures, warning));
  }

  fs::path dir_;
};

TEST_F(PageTextsTest, RegionOverLanguageAndLangNamesTheMostSpecificTable) {
  Table("de", "Page_save=Speichern\nPage_quote=„{0}“ \"x\"\\\nPage_only=nur de\n");
  Table("de-AT", "\xEF\xBB\xBFPage_save=Sichern\r\n# comment\n\n");
  const struct {
    std::vector<std::string> cultures;
    const char* lang;
    const char* save;
  } cases[] = {
      {{"de-AT", "de"}, "de-AT", "Sichern"},
      {{"de-CH", "de"}, "de", "Speichern"},
      {{"de"}, "de", "Speichern"},
      {{"fr-FR", "fr"}, "en", nullptr},
      {{}, "en", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lang);
    const nlohmann::json texts = Texts(c.cultures);
    EXPECT_EQ(texts["lang"], c.lang);
    if (c.save == nullptr) {
      EXPECT_TRUE(texts["texts"].empty());
      continue;
    }
    EXPECT_EQ(texts["texts"]["Page_save"], c.save);
    EXPECT_EQ(texts["texts"]["Page_only"], "nur de");
    EXPECT_EQ(texts["texts"]["Page_quote"], "„{0}“ \"x\"\\");
  }
}

TEST_F(PageTextsTest, BadTableIsLeftOutWithAWarningThatNamesItsLine) {
  Table("de", "Page_save=Speichern\n");
  Table("de-AT", "Page_save=Sichern\nno equals sign\n");
  std::string warning;
  const nlohmann::json texts = Texts({"de-AT", "de"}, &warning);
  EXPECT_EQ(texts["lang"], "de");
  EXPECT_EQ(texts["texts"]["Page_save"], "Speichern");
  EXPECT_NE(warning.find("Localizable.de-AT.txt (line 2: no '=')"), std::string::npos) << warning;

  Table("ja", "Page_save=\xFF\n");
  warning.clear();
  EXPECT_EQ(Texts({"ja"}, &warning)["lang"], "en");
  EXPECT_NE(warning.find("not UTF-8"), std::string::npos) << warning;
}

// Anything can stand under a table's name: only a regular file of a bounded size is read, and
// the rest is left out with a warning, as a bad table is.
TEST_F(PageTextsTest, WhatIsNoRegularFileOrTooLargeIsLeftOutWithAWarning) {
  Table("de", "Page_save=Speichern\n");
  fs::create_directory(dir_ / "Localizable.de-AT.txt");
  std::string warning;
  const nlohmann::json texts = Texts({"de-AT", "de"}, &warning);
  EXPECT_EQ(texts["lang"], "de");
  EXPECT_EQ(texts["texts"]["Page_save"], "Speichern");
  EXPECT_NE(warning.find("Localizable.de-AT.txt (is not a regular file)"), std::string::npos)
      << warning;

  Table("ja", "Page_save=" + std::string(5 << 20, 'x') + "\n");
  warning.clear();
  EXPECT_EQ(Texts({"ja"}, &warning)["lang"], "en");
  EXPECT_NE(warning.find("Localizable.ja.txt (larger than"), std::string::npos) << warning;
}

TEST_F(PageTextsTest, NoFolderMeansEnglish) {
  EXPECT_EQ(ornr::workbench::PageTextsJson({}, {"de"}), R"({"lang":"en","texts":{}})");
  EXPECT_EQ(ornr::workbench::PageTextsJson(dir_ / "missing", {"de"}),
            R"({"lang":"en","texts":{}})");
}

}  // namespace
