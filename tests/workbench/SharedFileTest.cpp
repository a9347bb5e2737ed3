// Two workbench processes on one master file, and files whose positions are used up.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "../host/PlainSql.h"
#include "WorkbenchProcess.h"
#include "host/controls/HostControls.h"

namespace {

using Teskor::ZelPlatform::OrnSettings;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

class SharedFileTest : public ::testing::Test {
 protected:
  std::map<std::u16string, std::uint32_t> StoredBlurPasses() {
    std::map<std::u16string, std::uint32_t> byName;
    for (auto& setup : ornhost::ReadSetups(dir_ / "p.zel")) {
      byName[setup.name] = setup.settings.GetBlurPasses();
    }
    return byName;
  }
  ScratchDir dir_;
};

// Both sessions read the file before either writes.
TEST_F(SharedFileTest, EachSessionChangesOnlyItsOwnSetupsAndNeverOverwritesTheOther) {
  ornhost::WriteSetup(dir_ / "p.zel", u"Sky", OrnSettings());
  ornhost::WriteSetup(dir_ / "p.zel", u"Moon", OrnSettings());
  FedWorkbench first(RSM_WORKBENCH, dir_), second(RSM_WORKBENCH, dir_);
  first.Run("duplicate Sky\n");
  // A new setup takes a position the file has free now, not one counted when it opened.
  second.Run("new Sky\n");
  first.Run("rename Sky Sun\nedit Moon BlurPasses 4\nsave Moon\n");

  EXPECT_THAT(second.Run("edit Sky BlurPasses 3\nsave Sky\nmodified Sky\n"),
              Contains("error: could not save \"Sky\" to p.zel: another session has renamed it to "
                       "\"Sun\" since this session read it"));
  const auto refused = second.Run("edit Moon BlurPasses 5\nsave Moon\nmodified Moon\n");
  EXPECT_THAT(refused, Contains(HasSubstr("error: could not save \"Moon\" to p.zel: another "
                                          "session has changed it since this session read it")));
  EXPECT_EQ(refused.back(), "= 1");
  EXPECT_EQ(StoredBlurPasses()[u"Moon"], 4u);
  // Overwriting on purpose, then the first session takes that copy.
  EXPECT_THAT(second.Run("save Moon --force\nmodified Moon\n"), Not(Contains(HasSubstr("error:"))));
  EXPECT_THAT(first.Run("reset Moon\nshow Moon\n"), Contains("BlurPasses = 5"));
  EXPECT_THAT(first.Run("delete Sun\n"), Not(Contains(HasSubstr("error:"))));

  const auto [firstEnd, firstStatus] = first.End();
  EXPECT_EQ(firstStatus, 0);
  const auto [secondEnd, secondStatus] = second.End();
  EXPECT_EQ(secondStatus, 1);
  EXPECT_THAT(secondEnd, Contains(HasSubstr("question: There are unsaved")));
  const auto stored = StoredBlurPasses();
  EXPECT_THAT(stored, ElementsAre(std::pair(std::u16string(u"Moon"), 5u),
                                  std::pair(std::u16string(u"Sky - Copy"), 8u),
                                  std::pair(std::u16string(u"Untitled"), 8u)));
}

TEST_F(SharedFileTest, AFileWhosePositionsAreUsedUpRefusesNewSetupsAndKeepsItsOwn) {
  ornhost::WriteSetup(dir_ / "p.zel", u"Last", OrnSettings());
  ASSERT_EQ(
      Sql(dir_ / "p.zel",
          "PRAGMA foreign_keys = ON; UPDATE render_setups SET position = 9223372036854775807"),
      SQLITE_OK);
  dir_.Write("s.commands", "host add Other\nnew Last\nedit Last BlurPasses 2\nsave Last\n");
  const ProcessResult result =
      RunProgram(RSM_WORKBENCH, {"--master", "p.zel", "s.commands"}, dir_.Path());
  EXPECT_EQ(result.exitCode, 1);
  const auto lines = Lines(result.out);
  EXPECT_THAT(lines, Contains(HasSubstr("the file has no free position for another setup")));
  EXPECT_THAT(lines, Contains("error: could not save \"Untitled\" to p.zel: the file has no free "
                              "position for another setup"));
  EXPECT_THAT(StoredBlurPasses(), ElementsAre(std::pair(std::u16string(u"Last"), 2u)));
}

}  // namespace
