// What the pages are told: the steps the page state derives from the panel model's changes and the
// setups a command names, read back with an independent JSON parser.
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "host/OrnSetupManager.h"
#include "host/controls/HostControls.h"
#include "host/history/History.h"
#include "panel/Panel.h"
#include "workbench/page/PageState.h"

namespace ornr::workbench {
namespace {

using Teskor::RenderSetup::View::MainPanel;
using Teskor::RenderSetup::ViewModel::Group;
using Json = nlohmann::json;

// The module as far as the marks go: these names are modified, none matches a library.
std::set<std::u16string>& Modified() {
  static std::set<std::u16string> names;
  return names;
}
int IsModified(const ornR_wchar* name) {
  return Modified().contains(name) ? 1 : 0;
}
int MatchesNothing(const ornR_wchar*) {
  return -1;
}

std::u16string Element(const char16_t* group, const std::u16string& name, const char16_t* file) {
  return std::u16string(u"<") + group + u" Name=\"" + name + u"\" StoreIn=\"" + file +
         u"\"><BlurPasses>1</BlurPasses></" + group + u">";
}
void Take(const std::u16string& body) {
  MainPanel::ChangeOrnModel(u"<RenderSetupViewModel>" + body + u"</RenderSetupViewModel>");
}
constexpr char16_t kMaster[] = u"SetupsFromMasterFile";
constexpr char16_t kLibrary[] = u"SetupsFromZelLib";

class PageStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MainPanel::Reset();
    Modified().clear();
    api_.IsModified = &IsModified;
    api_.MatchesToLibrarySetup = &MatchesNothing;
    Take(Element(kMaster, u"A", u"m.zel") + Element(kMaster, u"B", u"m.zel") +
         Element(kLibrary, u"Night", u"studio.zellib") +
         Element(kLibrary, u"Night", u"office.zellib"));
    state_.emplace(api_, feed_);
  }
  void TearDown() override { state_.reset(); }

  /// The changes of each step published since the last call.
  std::vector<Json> Steps() {
    std::vector<PanelFeed::Step> steps;
    if (feed_.WaitAfter(seen_, steps, std::chrono::milliseconds(0)) != PanelFeed::Waited::Steps) {
      return {};
    }
    seen_ = steps.back().version;
    std::vector<Json> parsed;
    for (const auto& step : steps) parsed.push_back(Json::parse(*step.json));
    return parsed;
  }
  /// Each change of one step as "type name" (renamed: "renamed old>new"), with marks.
  static std::vector<std::string> Summary(const Json& step) {
    std::vector<std::string> out;
    for (const Json& change : step.at("changes")) {
      std::string line = change.at("type").get<std::string>();
      if (change.contains("name")) line += " " + change.at("name").get<std::string>();
      if (change.contains("library") && !change.at("library").get<std::string>().empty()) {
        line += "@" + change.at("library").get<std::string>();
      }
      if (change.contains("to")) line += ">" + change.at("to").get<std::string>();
      if (change.contains("setup") && change.at("setup").contains("modified")) {
        line += change.at("setup").at("modified").get<bool>() ? " modified" : " saved";
      }
      if (change.contains("rev")) line += " rev " + std::to_string(change.at("rev").get<int>());
      if (change.contains("data")) {
        line +=
            change.at("data").at("rev") == change.at("rev") ? " with its values" : " with others";
      }
      out.push_back(line);
    }
    return out;
  }

  ModuleApi api_;
  PanelFeed feed_;
  std::optional<PageState> state_;
  std::uint64_t seen_ = 0;
};

TEST_F(PageStateTest, EachStepCarriesWhatChangedSinceTheLastAndNothingElse) {
  auto& model = MainPanel::Instance().ViewModel();
  struct Case {
    const char* what;
    std::function<void()> act;
    std::vector<std::string> words;
    std::vector<std::string> changes;
  };
  const Case cases[] = {
      {"nothing happened", [] {}, {}, {}},
      {"an edit",
       [&] {
         Modified().insert(u"A");
         ASSERT_TRUE(model.EditProperty(Group::MasterFile, u"A", "BlurPasses", u"2"));
       },
       {"edit", "A", "BlurPasses", "2"},
       {"values A rev 2", "marks A modified"}},
      {"a save the panel never hears of, named by its command",
       [] { Modified().erase(u"A"); },
       {"save", "A"},
       {"marks A saved"}},
      {"a mark that changed unnamed waits for a command on the whole session",
       [] { Modified().insert(u"B"); },
       {"reference", "on"},
       {}},
      {"one that is", [] {}, {"refresh"}, {"marks B modified"}},
      {"a setup made",
       [] { Take(Element(kMaster, u"C", u"m.zel")); },
       {"new", "A"},
       {"added C saved"}},
      {"renamed and selected",
       [&] {
         ASSERT_TRUE(model.RenameSetup(Group::MasterFile, u"C", u"D"));
         ASSERT_TRUE(model.Select(Group::MasterFile, u"D"));
       },
       {"rename", "C", "D"},
       {"renamed C>D", "current"}},
      {"an edit of the setup on show comes with its values",
       [&] {
         Modified().insert(u"D");
         ASSERT_TRUE(model.EditProperty(Group::MasterFile, u"D", "BlurPasses", u"3"));
       },
       {"edit", "D", "BlurPasses", "3"},
       {"values D rev 2 with its values", "marks D modified"}},
      {"a page's pick of the setup that is current already is answered all the same",
       [&] {
         state_->Selected();
         ASSERT_TRUE(model.Select(Group::MasterFile, u"D"));
       },
       {},
       {"current"}},
      {"a library setup re-sent with the master file's name lands in the module's pick",
       [] { Take(Element(kLibrary, u"Night", u"m.zel")); },
       {},
       {"values Night@office.zellib rev 2"}},
      {"one that came and went between two steps is never told",
       [&] {
         Take(Element(kMaster, u"E", u"m.zel"));
         ASSERT_TRUE(model.RemoveSetup(Group::MasterFile, u"E"));
         ASSERT_TRUE(model.RemoveSetup(Group::MasterFile, u"D"));
       },
       {},
       {"removed D", "current"}},
      {"the session's own parts",
       [&] {
         state_->Note("command", "save A");
         state_->OpenQuestion(u"Save?");
       },
       {},
       {"activity", "question"}},
  };
  for (const Case& c : cases) {
    c.act();
    state_->Step(c.words);
    const std::vector<Json> steps = Steps();
    if (c.changes.empty()) {
      EXPECT_TRUE(steps.empty()) << c.what;
      continue;
    }
    ASSERT_EQ(steps.size(), 1U) << c.what;
    EXPECT_EQ(Summary(steps[0]), c.changes) << c.what;
  }
}

TEST_F(PageStateTest, ManyChangesAtOnceAndAClearedPanelGoAsASnapshot) {
  std::u16string many;
  for (int i = 0; i < 300; ++i)
    many +=
        Element(kMaster, u"S" + std::u16string(1, u'a' + i % 26) + std::u16string(1, u'a' + i / 26),
                u"m.zel");
  Take(many);
  state_->Step({"load"});
  std::vector<Json> steps = Steps();
  ASSERT_EQ(steps.size(), 1U);
  ASSERT_TRUE(steps[0].contains("snapshot"));
  EXPECT_EQ(steps[0]["snapshot"]["master"].size(), 302U);

  MainPanel::ClearAllViewModel();
  state_->End();
  state_->Step();
  steps = Steps();
  ASSERT_EQ(steps.size(), 1U);
  const Json& snapshot = steps[0].at("snapshot");
  EXPECT_TRUE(snapshot.at("master").empty());
  EXPECT_TRUE(snapshot.at("libraries").empty());
  EXPECT_TRUE(snapshot.at("ended").get<bool>());
}

TEST_F(PageStateTest, QueriesAnswerWithTheSnapshotOrTheValuesOfASetupKnownByItsLibrary) {
  const auto snapshot = state_->Answer({"snapshot", {}});
  ASSERT_TRUE(snapshot);
  const Json parsed = Json::parse(*snapshot);
  ASSERT_EQ(parsed.at("libraries").size(), 2U);
  EXPECT_EQ(parsed["libraries"][0]["file"], "studio.zellib");
  EXPECT_EQ(parsed["libraries"][1]["setups"][0]["name"], "Night");
  EXPECT_EQ(parsed["master"][1],
            (Json{{"name", "B"}, {"rev", 1}, {"modified", false}, {"matches", -1}}));

  Take(Element(kLibrary, u"Night", u"m.zel"));  // re-sent: a new revision of the module's pick
  const auto values = state_->Answer({"values", {"library", "office.zellib", "Night"}});
  ASSERT_TRUE(values);
  const Json night = Json::parse(*values);
  EXPECT_EQ(night.at("library"), "office.zellib");
  EXPECT_EQ(night.at("rev"), 2);
  EXPECT_EQ(night.at("values"), (Json::array({Json::array({"BlurPasses", "1"})})));
  EXPECT_TRUE(night.at("origin").is_null());
  for (const std::vector<std::string>& unknown :
       {std::vector<std::string>{"library", "archive.zellib", "Night"},
        std::vector<std::string>{"master", "", "Night"}, std::vector<std::string>{"master"}}) {
    EXPECT_FALSE(state_->Answer({"values", unknown}));
  }
  EXPECT_FALSE(state_->Answer({"weather", {}}));
}

// The setups deleted from a real master file: told once when a command changed them, in every
// snapshot, and the history of one and two setups side by side on the page's asking.
TEST_F(PageStateTest, DeletedSetupsGoOutWhenACommandChangedThemAndHistoryIsAskedFor) {
  const auto file = std::filesystem::temp_directory_path() /
                    ("ornr-page-history-" + std::to_string(getpid()) + ".zel");
  std::filesystem::remove(file);
  Teskor::ZelPlatform::OrnSettings three;
  three.SetBlurPasses(3);
  ornhost::WriteSetup(file, u"Gone", three);
  ornhost::WriteSetup(file, u"Kept", three);
  auto& master = ornhost::OpenMaster(file);
  Steps();
  const auto deletedIn = [](const Json& step) {
    std::vector<std::string> names;
    for (const Json& change : step.at("changes")) {
      if (change.at("type") != "deleted") continue;
      for (const Json& setup : change.at("setups")) names.push_back(setup.at("name"));
      if (names.empty()) names.push_back("(none)");
    }
    return names;
  };
  Teskor::ZelPlatform::OrnSetupManager::GetManagerR().Delete(u"Gone", master);
  ornhost::WriteSetup(file, u"Kept", Teskor::ZelPlatform::OrnSettings());
  state_->Step({"delete", "Gone"});
  state_->Step({"list"});
  const auto steps = Steps();
  ASSERT_EQ(steps.size(), 1U);
  EXPECT_EQ(deletedIn(steps[0]), std::vector<std::string>{"Gone"});
  EXPECT_EQ(Json::parse(*state_->Answer({"snapshot", {}})).at("deleted")[0].at("name"), "Gone");

  const Json kept = Json::parse(*state_->Answer({"history", {"Kept"}}));
  ASSERT_EQ(kept.at("versions").size(), 1U);
  EXPECT_EQ(kept["versions"][0]["changes"][0], (Json::array({"BlurPasses", "3", "8"})));
  EXPECT_TRUE(Json::parse(*state_->Answer({"history", {"Nope"}})).contains("error"));
  const Json diff = Json::parse(
      *state_->Answer({"diff", {"master", "", "Kept", "1", "master", "", "Kept", "0"}}));
  EXPECT_EQ(diff.at("rows").size(), 68U);
  EXPECT_TRUE(
      Json::parse(*state_->Answer({"diff", {"master", "", "Kept", "9", "master", "", "Kept", "0"}}))
          .contains("error"));

  ornhost::UndeleteSetup(u"Gone");
  state_->Step({"undelete", "Gone"});
  const auto after = Steps();
  ASSERT_FALSE(after.empty());
  EXPECT_EQ(deletedIn(after.back()), std::vector<std::string>{"(none)"});
  ornhost::ResetAll();
  std::filesystem::remove(file);
}

// The marks beside a master-file setup's values: "saved" holds each value the file holds that
// differs from the one a save would store, with the file's text, and nothing else.
TEST_F(PageStateTest, SavedValuesAreExactlyThoseAnEditChangedWithTheTextsTheFileHolds) {
  const auto file = std::filesystem::temp_directory_path() /
                    ("ornr-page-saved-" + std::to_string(getpid()) + ".zel");
  std::filesystem::remove(file);
  Teskor::ZelPlatform::OrnSettings stored;
  stored.SetBlurPasses(3);
  stored.SetQualityThreshold(0.1);
  ornhost::WriteSetup(file, u"Kept", stored);
  auto& master = ornhost::OpenMaster(file);
  auto& store = Teskor::ZelPlatform::OrnSetupManager::GetManagerR();
  store.AddSetup(Teskor::ZelPlatform::OrnSetup(master, u"Fresh"), master);
  Take(Element(kMaster, u"Kept", u"m.zel") + Element(kMaster, u"Fresh", u"m.zel"));
  const auto working = [&]() -> Teskor::ZelPlatform::OrnSettings& {
    return *store.FindOrnSetupByName(u"Kept", master)->GetSettings();
  };
  const auto savedOf = [&](const char* name) {
    const auto values = state_->Answer({"values", {"master", "", name}});
    return values ? Json::parse(*values).at("saved") : Json("no answer");
  };
  const auto rows = [](std::initializer_list<std::pair<const char*, const char*>> changed) {
    Json list = Json::array();
    for (const auto& [key, text] : changed) list.push_back(Json::array({key, text}));
    return list;
  };
  struct Case {
    const char* what;
    std::function<void()> act;
    Json saved;
  };
  const Case cases[] = {
      {"as loaded", [] {}, rows({})},
      {"one edit", [&] { working().SetBlurPasses(5); }, rows({{"BlurPasses", "3"}})},
      {"an edit back to the file's value", [&] { working().SetBlurPasses(3); }, rows({})},
      {"two edits, in the record's order",
       [&] {
         working().SetQualityThreshold(0.25);
         working().SetBlurPasses(4);
       },
       rows({{"BlurPasses", "3"}, {"QualityThreshold", "0.1"}})},
      {"a reset", [&] { store.Reset(u"Kept", master); }, rows({})},
      {"an edit saved",
       [&] {
         working().SetBlurPasses(7);
         ASSERT_EQ(store.Save(u"Kept", master), 1);
       },
       rows({})},
      {"an edit after the save, against what it stored", [&] { working().SetBlurPasses(9); },
       rows({{"BlurPasses", "7"}})},
  };
  for (const Case& c : cases) {
    c.act();
    EXPECT_EQ(savedOf("Kept"), c.saved) << c.what;
  }
  EXPECT_TRUE(savedOf("Fresh").is_null()) << "never saved";
  ornhost::ResetAll();
  std::filesystem::remove(file);
}

}  // namespace
}  // namespace ornr::workbench
