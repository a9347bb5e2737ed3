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
using Boxes = std::vector<std::pair<String, String>>;

constexpr char16_t kTitle[] = u"Render Setup Manager";

class ResourceMgrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MainPanel::Reset();
    MainPanel::SetMessageBoxHandler(
        [this](const String& text, const String& caption) { boxes_.emplace_back(text, caption); });
    for (const char* variable : {"ORNR_UI_CULTURE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
      unsetenv(variable);
    }
  }
  void TearDown() override {
    for (const auto& file : files_) std::filesystem::remove(file);
  }

  /// Writes a table for a culture no other test uses, since tables are read once and kept.
  std::string NewCulture(const std::string& content) {
    static int count = 0;
    const std::string culture = "q" + std::to_string(getpid()) + "x" + std::to_string(++count);
    std::filesystem::create_directories(ornr::bridge::TablesDirectory());
    files_.push_back(ornr::bridge::TablesDirectory() / ("Localizable." + culture + ".txt"));
    std::ofstream(files_.back(), std::ios::binary) << content;
    return culture;
  }
  std::u16string Resource(const char16_t* key, std::uint64_t maxLen = 255) {
    char16_t buffer[256];
    std::fill(std::begin(buffer), std::end(buffer), u'Z');
    EXPECT_EQ(bridge_->GetResource(const_cast<char16_t*>(key), buffer, maxLen), buffer);
    return buffer;
  }

  IPrismetWrapper* bridge_ = GetIPrismetWrapper();
  Boxes boxes_;
  std::vector<std::filesystem::path> files_;
};

TEST_F(ResourceMgrTest, NeutralTextsAreExactAndFitOnlyWithTheirTerminator) {
  EXPECT_EQ(Resource(u"MESSAGEID_Untitled"), u"Untitled");
  EXPECT_EQ(Resource(u"MESSAGEID_SetupSaveChanges", 57), u"");
  EXPECT_EQ(Resource(u"MESSAGEID_SetupSaveChanges", 58),
            u"There are unsaved Render Setups. Do you wish to save now?");
  EXPECT_EQ(Resource(u"MSGSTR_ReflectionMapSmoothJoin"),
            u"This map doesn\\'t join seamlessly. Would you like to create a seamless joint?");
  EXPECT_EQ(Resource(u"Messageid_Untitled"), u"");
  EXPECT_EQ(Resource(nullptr), u"");
  bridge_->ShowMessage(u"MSGSTR_FailedOperateOnModel");
  bridge_->ShowMessageForMissingFile(u"C:\\d\\a{0}.zel");
  EXPECT_EQ(boxes_, (Boxes{{u"Failed to do operation on active model.", kTitle},
                           {u"Can't locate or read the file \"C:\\d\\a{0}.zel\"!", kTitle}}));
}

TEST_F(ResourceMgrTest, CultureTableOverridesAndMissingKeysFallBack) {
  const std::string culture = NewCulture(
      "\xEF\xBB\xBF# Deutsch\r\n\r\nTitle_RenderSetup=Render-Setup-Verwaltung\r\n"
      "MSGSTR_CanNotLocateFile=Datei \xE2\x80\x9E{0}\xE2\x80\x9C = weg\n");
  setenv("LANG", "C", 1);
  setenv("ORNR_UI_CULTURE", culture.c_str(), 1);
  EXPECT_EQ(Resource(u"MESSAGEID_Untitled"), u"Untitled");
  bridge_->ShowMessageForMissingFile(u"x.zel");
  EXPECT_EQ(boxes_, (Boxes{{u"Datei \u201Ex.zel\u201C = weg", u"Render-Setup-Verwaltung"}}));
  unsetenv("ORNR_UI_CULTURE");
  EXPECT_EQ(Resource(u"Title_RenderSetup"), kTitle);
  // A region without a table of its own falls back to its language's table.
  setenv("LANG", (culture + "_ZZ.UTF-8").c_str(), 1);
  EXPECT_EQ(Resource(u"Title_RenderSetup"), u"Render-Setup-Verwaltung");
  setenv("LC_ALL", "C.UTF-8", 1);
  EXPECT_EQ(Resource(u"Title_RenderSetup"), kTitle);
}

// A table that is no regular file, or too large, counts as none: the neutral texts stand, the
// table is named once on standard error, and nothing waits on it.
TEST_F(ResourceMgrTest, ATableThatIsNoRegularFileOrTooLargeIsReportedAndSkipped) {
  const std::string folder = NewCulture("");
  std::filesystem::remove(files_.back());
  std::filesystem::create_directory(files_.back());
  const std::string large = NewCulture("Title_RenderSetup=" + std::string(5 << 20, 'x') + "\n");
  for (const auto& [culture, reason] : std::vector<std::pair<std::string, std::string>>{
           {folder, "is not a regular file"}, {large, "larger than"}}) {
    SCOPED_TRACE(culture);
    setenv("ORNR_UI_CULTURE", culture.c_str(), 1);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Resource(u"Title_RenderSetup"), kTitle);
    EXPECT_EQ(Resource(u"Title_RenderSetup"), kTitle);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("Localizable." + culture + ".txt (" + reason), std::string::npos) << said;
    EXPECT_EQ(said.find("ignored"), said.rfind("ignored")) << said;
  }
  unsetenv("ORNR_UI_CULTURE");
}

}  // namespace
