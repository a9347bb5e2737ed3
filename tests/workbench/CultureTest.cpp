// Sessions in German and Japanese, chosen by the locale or by --culture: the module's texts and
// the untitled name follow the culture, what scripts read stays English.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "WorkbenchProcess.h"
#include "host/controls/HostControls.h"
#include "support/Utf.h"

namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

struct Language {
  const char* name;
  /// Environment variables set for the session, and options put before the script.
  std::vector<std::pair<const char*, const char*>> environment;
  std::vector<std::string> options;
  std::string untitled;
  std::string question;
  std::string refusal;
};

// Test names show the case's name, not the bytes of the case.
void PrintTo(const Language& language, std::ostream* out) {
  *out << language.name;
}

const std::string kGermanQuestion =
    "Es gibt nicht gespeicherte Render-Setups. Möchten Sie sie jetzt speichern?";
const std::string kGermanRefusal =
    "Der Vorgang konnte für das aktive Modell nicht ausgeführt werden.";
const std::string kJapaneseQuestion =
    "保存されていないレンダリング設定があります。今すぐ保存しますか？";
const std::string kJapaneseRefusal = "アクティブなモデルに対して操作を実行できませんでした。";

const Language kLanguages[] = {
    {"German by LANG", {{"LANG", "de_DE.UTF-8"}}, {}, "Unbenannt", kGermanQuestion, kGermanRefusal},
    {"Japanese by --culture", {}, {"--culture", "ja"}, "無題", kJapaneseQuestion, kJapaneseRefusal},
    {"Japanese by LC_MESSAGES over LANG",
     {{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "ja_JP.UTF-8"}},
     {},
     "無題",
     kJapaneseQuestion,
     kJapaneseRefusal},
    {"German by --culture with a region over the locale",
     {{"LANG", "ja_JP.UTF-8"}},
     {"--culture=de-AT"},
     "Unbenannt",
     kGermanQuestion,
     kGermanRefusal},
};

class CultureTest : public ::testing::TestWithParam<Language> {
 protected:
  void SetUp() override {
    for (const char* variable : {"ORNR_UI_CULTURE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
      unsetenv(variable);
    }
  }
  void TearDown() override {
    for (const auto& [variable, value] : GetParam().environment) unsetenv(variable);
  }
  ProcessResult Run(const std::string& script) {
    for (const auto& [variable, value] : GetParam().environment) setenv(variable, value, 1);
    dir_.Write("script.commands", script);
    std::vector<std::string> args = GetParam().options;
    args.insert(args.end(), {"--master", "a.zel", "script.commands"});
    return RunProgram(RSM_WORKBENCH, args, dir_.Path());
  }

  ScratchDir dir_;
};

// a.zel: new setups take the translated name, and a close saves the changed one of exactly that
// name without asking. b.zel: "Untitled" is an ordinary name here, so the close asks, in the
// session's language; the refusal too. Commands and errors stay English.
TEST_P(CultureTest, NewNamesTheCloseQuestionAndTheRefusalFollowTheCulture) {
  const Language& language = GetParam();
  const std::string& untitled = language.untitled;
  const ProcessResult result =
      Run("host add Sky\nrefresh\nnew Sky\nnew Sky\nedit " + untitled + " BlurPasses 3\nclose\n" +
          "open b.zel\nhost add Sky\nhost add Untitled\nrefresh\nedit Untitled BlurPasses 4\n"
          "edit Nope BlurPasses 1\nreference on\nnew Sky\nreference off\nanswer no\n");
  EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
  const auto lines = Lines(result.out);
  EXPECT_THAT(lines, Contains(StartsWith("panel: master setup \"" + untitled +
                                         "\" (New=false, "
                                         "NewBorn=true")));
  EXPECT_THAT(lines, Contains(StartsWith("panel: master setup \"" + untitled + "-1\"")));
  EXPECT_THAT(lines, Contains("message: " + language.refusal));
  EXPECT_THAT(lines, Contains("error: the panel shows no master-file setup \"Nope\""));
  std::vector<std::string> questions;
  for (const std::string& line : lines) {
    if (line.starts_with("question: ")) questions.push_back(line);
  }
  EXPECT_THAT(questions, ::testing::ElementsAre("question: " + language.question + " -> no"));

  auto a = StoredByName(dir_ / "a.zel");
  EXPECT_EQ(a[ornr::Utf8ToUtf16(untitled)].settings.GetBlurPasses(), 3u);
  auto b = StoredByName(dir_ / "b.zel");
  EXPECT_NE(b[u"Untitled"].settings.GetBlurPasses(), 4u);
}

INSTANTIATE_TEST_SUITE_P(Languages, CultureTest, ::testing::ValuesIn(kLanguages),
                         [](const auto& info) {
                           std::string name;
                           for (const char c : std::string(info.param.name)) {
                             if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                           }
                           return name;
                         });

// A translated untitled name the host cannot take (here too long) was reported as the empty
// name: the refusal names the name and says why.
TEST(UntitledNameTest, AnUntitledNameTheHostRefusesIsNamedInTheRefusal) {
  ScratchDir dir;
  // The module as installed beside tables of this test's own.
  std::filesystem::create_symlink(ORNR_MODULE_FILE, dir / "libornrender.so");
  std::filesystem::create_directory(dir / "ornrender");
  const std::string name(300, 'N');
  dir.Write("ornrender/Localizable.xx.txt", "MESSAGEID_Untitled=" + name + "\n");
  const ProcessResult result =
      RunProgram(RSM_WORKBENCH,
                 {"--module", (dir / "libornrender.so").string(), "--culture", "xx", "--master",
                  "a.zel", "-c", "host add Lobby", "-c", "new Lobby"},
                 dir.Path());
  const std::string said = result.out + dir.Read("stderr.log");
  EXPECT_THAT(said, Not(HasSubstr("refused the setup name \"\"")));
  EXPECT_THAT(said, HasSubstr("refused the setup name \"" + name.substr(0, 40) +
                              "\u2026\": "
                              "longer than 254 UTF-16 code units (300)"));
  EXPECT_EQ(StoredByName(dir / "a.zel").size(), 1u);
}

}  // namespace
