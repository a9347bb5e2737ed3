#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bridge/ResourceManager.h"
#include "ornr/IPrismetWrapper.h"
#include "panel/Panel.h"

namespace {

using Teskor::RenderSetup::String;
using Teskor::RenderSetup::View::MainPanel;

constexpr char16_t kTitle[] = u"Render Setup Manager";
constexpr char16_t kSaveChanges[] = u"There are unsaved Render Setups. Do you wish to save now?";

class ResourceMgrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MainPanel::Reset();
    MainPanel::SetMessageBoxHandler(
        [this](const String& text, const String& caption) { boxes_.emplace_back(text, caption); });
    for (const char* variable : kCultureVariables) {
      if (const char* value = std::getenv(variable)) saved_.emplace_back(variable, value);
      unsetenv(variable);
    }
  }
  void TearDown() override {
    MainPanel::Reset();
    for (const char* variable : kCultureVariables) unsetenv(variable);
    for (const auto& [variable, value] : saved_) setenv(variable.c_str(), value.c_str(), 1);
    for (const auto& file : files_) std::filesystem::remove(file);
  }

  // A culture no other test uses: tables are read once per culture and kept.
  static std::string FreshCulture() {
    static int count = 0;
    return "q" + std::to_string(getpid()) + "x" + std::to_string(++count);
  }
  void WriteTable(const std::string& culture, const std::string& content) {
    files_.push_back(ornr::bridge::ModuleDirectory() / ("Localizable." + culture + ".txt"));
    std::ofstream(files_.back(), std::ios::binary) << content;
  }
  std::u16string Resource(const char16_t* key, std::uint64_t maxLen = 255) {
    char16_t buffer[256];
    std::fill(std::begin(buffer), std::end(buffer), u'Z');
    EXPECT_EQ(bridge_->GetResource(const_cast<char16_t*>(key), buffer, maxLen), buffer);
    return buffer;
  }

  static constexpr const char* kCultureVariables[] = {"ORNR_UI_CULTURE", "LC_ALL", "LC_MESSAGES",
                                                      "LANG"};
  IPrismetWrapper* bridge_ = GetIPrismetWrapper();
  std::vector<std::pair<String, String>> boxes_;
  std::vector<std::pair<std::string, std::string>> saved_;
  std::vector<std::filesystem::path> files_;
};

TEST_F(ResourceMgrTest, NeutralTextsFitOnlyWithTheirTerminator) {
  EXPECT_EQ(Resource(u"MESSAGEID_Untitled"), u"Untitled");
  EXPECT_EQ(Resource(u"MESSAGEID_SetupSaveChanges", 57), u"");
  EXPECT_EQ(Resource(u"MESSAGEID_SetupSaveChanges", 58), kSaveChanges);
  EXPECT_EQ(Resource(u"MSGSTR_ReflectionMapSmoothJoin"),
            u"This map doesn\\'t join seamlessly. Would you like to create a seamless joint?");
  EXPECT_EQ(Resource(u"Messageid_Untitled"), u"");
  EXPECT_EQ(Resource(nullptr), u"");
}

TEST_F(ResourceMgrTest, MessagesShowUnderTheTitle) {
  bridge_->ShowMessage(u"MSGSTR_FailedOperateOnModel");
  bridge_->ShowMessage(u"NoSuchKey");
  bridge_->ShowMessage(nullptr);
  bridge_->ShowMessageForMissingFile(u"C:\\d\\a{0}.zel");
  bridge_->ShowMessageForMissingFile(nullptr);
  const std::vector<std::pair<String, String>> expected = {
      {u"Failed to do operation on active model.", kTitle},
      {u"", kTitle},
      {u"", kTitle},
      {u"Can't locate or read the file \"C:\\d\\a{0}.zel\"!", kTitle},
      {u"Can't locate or read the file \"\"!", kTitle}};
  EXPECT_EQ(boxes_, expected);
}

TEST_F(ResourceMgrTest, CultureTableOverridesAndMissingKeysFallBack) {
  const std::string culture = FreshCulture();
  WriteTable(culture,
             "\xEF\xBB\xBF# Deutsch\r\n\r\nTitle_RenderSetup=Render-Setup-Verwaltung\r\n"
             "MSGSTR_CanNotLocateFile=Datei \xE2\x80\x9E{0}\xE2\x80\x9C = weg\n");
  setenv("LANG", "C", 1);
  setenv("ORNR_UI_CULTURE", culture.c_str(), 1);
  EXPECT_EQ(Resource(u"MESSAGEID_Untitled"), u"Untitled");
  bridge_->ShowMessageForMissingFile(u"x.zel");
  EXPECT_EQ(boxes_, (std::vector<std::pair<String, String>>{
                        {u"Datei \u201Ex.zel\u201C = weg", u"Render-Setup-Verwaltung"}}));
  unsetenv("ORNR_UI_CULTURE");
  EXPECT_EQ(Resource(u"Title_RenderSetup"), kTitle);
  // A region without a table of its own falls back to its language's table.
  setenv("LANG", (culture + "_ZZ.UTF-8").c_str(), 1);
  EXPECT_EQ(Resource(u"Title_RenderSetup"), u"Render-Setup-Verwaltung");
  setenv("LC_ALL", "C.UTF-8", 1);
  EXPECT_EQ(Resource(u"Title_RenderSetup"), kTitle);
}

TEST_F(ResourceMgrTest, BadTableIsIgnoredWhole) {
  testing::internal::CaptureStderr();
  for (const std::string content :
       {"MESSAGEID_Untitled=Bad\nno equals sign\n", "MESSAGEID_Untitled=Bad\n=empty key\n",
        "MESSAGEID_Untitled=Bad\xFF\n"}) {
    const std::string culture = FreshCulture();
    WriteTable(culture, content);
    setenv("ORNR_UI_CULTURE", culture.c_str(), 1);
    EXPECT_EQ(Resource(u"MESSAGEID_Untitled"), u"Untitled") << content;
    EXPECT_EQ(Resource(u"MESSAGEID_Untitled"), u"Untitled") << content;
  }
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 3) << errors;
}

}  // namespace
