// The module follows the host's master file: reloads when one opens, offers to save when it
// closes.
#include "ModuleFixture.h"

namespace ornr::testing {
namespace {

using panel::ViewModel::Group;

class SessionMonitorTest : public ModuleFixture {
 protected:
  void SetUp() override {
    ModuleFixture::SetUp();
    Store("master.zel", {u"Untitled", u"Untitled-1", u"Day", u"Night"});
    Start("master.zel");
  }

  void Modify(const std::u16string& name) {
    ASSERT_TRUE(Panel().EditProperty(Group::MasterFile, name, "BlurPasses", u"77"));
  }

  /// The names whose edit reached the file.
  std::vector<std::u16string> SavedEdits() {
    std::vector<std::u16string> saved;
    for (const auto& s : OnDisk()) {
      if (s.settings.GetBlurPasses() == 77) saved.push_back(s.name);
    }
    return saved;
  }
};

TEST_F(SessionMonitorTest, ClosingWithoutChangesAsksNothingButEmptiesThePanel) {
  ornhost::CloseMaster();
  EXPECT_TRUE(ornhost::Questions().empty());
  EXPECT_EQ(clears_, 1);
  EXPECT_TRUE(Panel().Setups(Group::MasterFile).empty());
}

TEST_F(SessionMonitorTest, ClosingAsksAtMostOnceAndSavesWhatTheAnswerSays) {
  const std::vector<std::u16string> usual = {u"Untitled", u"Untitled-1", u"Day", u"Night"};
  struct Case {
    const char* what;
    std::vector<std::u16string> stored, modified;
    int answer;  // 0: none queued
    std::size_t questions;
    std::vector<std::u16string> saved;
  };
  const int yes = ornhost::kAnswerYes, no = ornhost::kAnswerNo;
  const std::vector<Case> cases = {
      {"untitled only", usual, {u"Untitled"}, 0, 0, {u"Untitled"}},
      {"numbered untitled asks", usual, {u"Untitled-1"}, yes, 1, {u"Untitled-1"}},
      {"two ordinary, yes", usual, {u"Day", u"Night"}, yes, 1, {u"Day", u"Night"}},
      {"two ordinary, no", usual, {u"Day", u"Night"}, no, 1, {}},
      {"nobody answers", usual, {u"Day"}, 0, 1, {}},
      {"untitled first, no", usual, {u"Untitled", u"Day"}, no, 1, {u"Untitled"}},
      {"untitled first, yes", usual, {u"Untitled", u"Day"}, yes, 1, {u"Untitled", u"Day"}},
      {"untitled after, no", {u"Day", u"Untitled"}, {u"Day", u"Untitled"}, no, 1, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ornR_Release();
    ornhost::ResetAll();
    std::filesystem::remove(File("master.zel"));
    Store("master.zel", c.stored);
    Start("master.zel");
    for (const auto& name : c.modified) Modify(name);
    if (c.answer != 0) ornhost::QueueAnswer(c.answer);
    ornhost::CloseMaster();
    ASSERT_EQ(ornhost::Questions().size(), c.questions);
    if (c.questions == 1) {
      EXPECT_EQ(ornhost::Questions()[0].text,
                u"There are unsaved Render Setups. Do you wish to save now?");
      EXPECT_EQ(ornhost::Questions()[0].dialogId, -121);
      EXPECT_EQ(ornhost::Questions()[0].iconType, 3);
    }
    EXPECT_EQ(SavedEdits(), c.saved);
  }
}

TEST_F(SessionMonitorTest, OpeningAnotherMasterFileReloadsThePanel) {
  Store("other.zel", {u"Other"});
  ornhost::OpenMaster(File("other.zel"));
  EXPECT_EQ(clears_, 1);
  EXPECT_NE(Panel().GetSetupFromCurrentZel(u"Other"), nullptr);
  EXPECT_EQ(Panel().GetSetupFromCurrentZel(u"Day"), nullptr);
  EXPECT_EQ(ornR_IsModified(u"Day"), 0);
  ASSERT_EQ(TakeDocuments().size(), 1u);
}

TEST_F(SessionMonitorTest, BeforeInitOnlyTheStoreFollows) {
  ornR_Release();
  Store("other.zel", {u"Other"});
  ornhost::ClearCallLog();
  ornhost::OpenMaster(File("other.zel"));
  ornhost::Refresh();
  EXPECT_TRUE(documents_.empty());
  EXPECT_EQ(clears_, 0);
  const auto& log = ornhost::CallLog();
  EXPECT_NE(std::find(log.begin(), log.end(), "OrnSetupManager::InitForFile"), log.end());
}

// A reload marks every setup new and selects none.
TEST_F(SessionMonitorTest, RefreshReloadsWithoutSelecting) {
  ornhost::Refresh();
  auto documents = TakeDocuments();
  ASSERT_EQ(documents.size(), 1u);
  EXPECT_FALSE(Element(documents[0], "CurrentRenderSetup"));
  const auto setups = documents[0].child("RenderSetupViewModel").children("SetupsFromMasterFile");
  ASSERT_EQ(std::distance(setups.begin(), setups.end()), 4);
  for (auto setup : setups) EXPECT_STREQ(setup.attribute("New").as_string(), "true");
}

}  // namespace
}  // namespace ornr::testing
