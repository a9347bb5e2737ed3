// Change sets in a design file: recorded with the writes they describe or not at all, only what
// changed, kept apart from versions, their texts exact, and setups they created deleted and
// stored again by an undo.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "OlderFormats.h"
#include "PlainSql.h"
#include "TempDir.h"
#include "host/controls/HostControls.h"
#include "host/provenance/ChangeSets.h"
#include "host/store/ChangeSetTable.h"
#include "host/store/VersionTable.h"

namespace {

using ornhost::detail::ChangeSetHeader;
using ornhost::detail::ChangeSetRecorder;
using ornhost::detail::ChangeSetTable;
using ornhost::detail::DesignFile;
using Teskor::ZelPlatform::OrnSettings;

OrnSettings CsPasses(std::uint32_t passes) {
  OrnSettings settings;
  settings.SetBlurPasses(passes);
  return settings;
}

ChangeSetHeader CsHeader(std::string id) {
  return {std::move(id), "2026-12-07T10:00:00Z", "tester", "rsm-audit --fix merge --apply p"};
}

class ChangeSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ornhost::WriteSetups(path_, {{u"A", true, CsPasses(3)}, {u"B", true, CsPasses(3)}});
  }
  ornhost::detail::RowRef Row(DesignFile& file, const char16_t* name) {
    for (const auto& record : file.Load()) {
      if (record.name == name) return record.row;
    }
    ADD_FAILURE() << "no setup of that name";
    return {};
  }
  // A run that sets A's BlurPasses, touches B without changing it and creates a setup.
  void Record(const std::string& id, const char16_t* created = u"C") {
    DesignFile file(path_, DesignFile::Access::WriteExisting);
    ChangeSetRecorder recorder(file, CsHeader(id));
    const auto a = Row(file, u"A");
    const auto b = Row(file, u"B");
    recorder.Touch(a.position);
    file.Update(a, u"A", CsPasses(5), false, "audit fix");
    recorder.Touch(b.position);
    file.Update(b, u"B", CsPasses(3), false, "audit fix");
    recorder.Created(file.Insert(created, CsPasses(7)).position);
    recorder.Commit();
  }

  TempDir dir_;
  std::filesystem::path path_ = dir_ / "tower.zel";
};

TEST_F(ChangeSetTest, ARecordHoldsOnlyWhatChangedAndTheVersionsItWroteCarryItsId) {
  Record("aaaa1");
  ornhost::WriteSetup(path_, u"A", CsPasses(6));
  const auto sets = ornhost::ChangeSetsInFile(path_);
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].header.command, "rsm-audit --fix merge --apply p");
  ASSERT_EQ(sets[0].setups.size(), 2u) << "B did not change";
  const auto& a = sets[0].setups[0];
  EXPECT_EQ(a.nameBefore, u"A");
  ASSERT_EQ(a.values.size(), 1u);
  EXPECT_STREQ(ornhost::detail::SettingKey(a.values[0].field), "BlurPasses");
  EXPECT_EQ(ornhost::ChangeSetValueText(a.values[0].field, *a.values[0].before), "3");
  EXPECT_EQ(ornhost::ChangeSetValueText(a.values[0].field, *a.values[0].after), "5");
  const auto& c = sets[0].setups[1];
  EXPECT_TRUE(c.Created());
  EXPECT_EQ(c.values.size(), ornhost::detail::kSettingCount);

  DesignFile file(path_, DesignFile::Access::ReadOnly);
  const auto history = ornhost::detail::VersionTable::History(file, Row(file, u"A").position);
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[0].changeSet, "") << "a later write is no part of it";
  EXPECT_EQ(history[1].changeSet, "aaaa1");
  EXPECT_EQ(history[1].changeSetCommand, "rsm-audit --fix merge --apply p");
}

TEST_F(ChangeSetTest, ARecorderNotCommittedLeavesTheFileAsItWas) {
  const std::string before = SqlRows(path_, "SELECT name || BlurPasses FROM render_setups");
  {
    DesignFile file(path_, DesignFile::Access::WriteExisting);
    ChangeSetRecorder recorder(file, CsHeader("aaaa1"));
    const auto a = Row(file, u"A");
    recorder.Touch(a.position);
    file.Update(a, u"A", CsPasses(5), false, "audit fix");
  }
  EXPECT_EQ(SqlRows(path_, "SELECT name || BlurPasses FROM render_setups"), before);
  EXPECT_TRUE(ornhost::ChangeSetsInFile(path_).empty());
  EXPECT_EQ(SqlNumber(path_, "SELECT count(*) FROM setup_versions"), 0);
}

TEST_F(ChangeSetTest, TrimmingVersionsKeepsChangeSetsAndKeepingNoHistoryEndsThem) {
  Record("aaaa1");
  for (std::uint32_t passes : {8u, 9u, 10u}) ornhost::WriteSetup(path_, u"A", CsPasses(passes));
  {
    DesignFile file(path_, DesignFile::Access::WriteExisting);
    ornhost::detail::VersionTable::SetLimits(file, {1, 30});
  }
  EXPECT_EQ(ornhost::ChangeSetsInFile(path_).size(), 1u);
  EXPECT_EQ(SqlNumber(path_, "SELECT count(*) FROM setup_version_change_sets"), 0)
      << "the tag goes with its version";
  {
    DesignFile file(path_, DesignFile::Access::WriteExisting);
    ornhost::detail::VersionTable::SetLimits(file, {0, 30});
  }
  EXPECT_TRUE(ornhost::ChangeSetsInFile(path_).empty());
  for (const char* table : {"change_set_setups", "change_set_values"}) {
    EXPECT_EQ(SqlNumber(path_, std::string("SELECT count(*) FROM ") + table), 0) << table;
  }
}

TEST_F(ChangeSetTest, AnIdGivenInPartNamesTheOneChangeSetItBeginsOrNone) {
  Record("abcd1");
  Record("abcd2", u"D");
  DesignFile file(path_, DesignFile::Access::WriteExisting);
  EXPECT_FALSE(ChangeSetTable::Read(file, "abcd").has_value());
  EXPECT_EQ(ChangeSetTable::Read(file, "abcd2")->header.id, "abcd2");
  EXPECT_EQ(ChangeSetTable::ReadAll(file).front().header.id, "abcd2") << "newest first";
  EXPECT_TRUE(ChangeSetTable::Forget(file, "abcd1"));
  EXPECT_FALSE(ChangeSetTable::Forget(file, "abcd1"));
  EXPECT_EQ(ChangeSetTable::Read(file, "abcd")->header.id, "abcd2");
}

TEST_F(ChangeSetTest, UndoDeletesWhatItCreatedUnlessChangedSinceAndItsUndoStoresItAgain) {
  Record("aaaa1");
  ASSERT_EQ(Sql(path_, "UPDATE render_setups SET BlurPasses = 11 WHERE name = 'C'"), SQLITE_OK);
  auto dry = ornhost::UndoChangeSet(path_, "aaaa1", false, nullptr);
  ASSERT_TRUE(dry.found);
  ASSERT_EQ(dry.setups.size(), 2u);
  EXPECT_EQ(dry.setups[0].action, ornhost::UndoAction::Restore);
  EXPECT_EQ(dry.setups[1].action, ornhost::UndoAction::Left) << "C changed since";
  ASSERT_EQ(Sql(path_, "UPDATE render_setups SET BlurPasses = 7 WHERE name = 'C'"), SQLITE_OK);

  const auto header = CsHeader("aaaa2");
  const auto undo = ornhost::UndoChangeSet(path_, "aaaa1", false, &header);
  EXPECT_EQ(undo.undoneAs, "aaaa2");
  EXPECT_EQ(undo.setups[1].action, ornhost::UndoAction::Delete);
  EXPECT_EQ(SqlRows(path_, "SELECT name || BlurPasses FROM render_setups ORDER BY position"),
            "A3;B3;");

  const auto again = CsHeader("aaaa3");
  const auto redo = ornhost::UndoChangeSet(path_, "aaaa2", false, &again);
  ASSERT_EQ(redo.setups.size(), 2u);
  EXPECT_EQ(redo.setups[1].action, ornhost::UndoAction::Recreate);
  EXPECT_EQ(SqlRows(path_, "SELECT name || BlurPasses FROM render_setups ORDER BY position"),
            "A5;B3;C7;")
      << "C back at its place";
}

TEST_F(ChangeSetTest, AFormat6FileIsRefusedChangeSetsUntilUpgradedKeepingItsRows) {
  const auto older = dir_ / "older.zel";
  ornhost::WriteSetup(path_, u"A", CsPasses(4));
  ASSERT_EQ(WriteFormat6Copy(path_, older), SQLITE_OK);
  const std::string rows = "SELECT position || name || BlurPasses FROM render_setups";
  const std::string before = SqlRows(older, rows);
  EXPECT_TRUE(ornhost::ChangeSetsInFile(older).empty());
  EXPECT_THROW(
      {
        DesignFile file(older, DesignFile::Access::WriteExisting);
        ChangeSetRecorder recorder(file, CsHeader("aaaa1"));
      },
      ornhost::DesignFileError);
  const auto result = ornhost::UpgradeDesignFile(older);
  EXPECT_EQ(result.fromVersion, 6);
  EXPECT_EQ(SqlNumber(older, "PRAGMA user_version"), 7);
  EXPECT_EQ(SqlRows(older, rows), before);
  const std::string schema = "SELECT sql FROM sqlite_schema ORDER BY name";
  EXPECT_EQ(SqlRows(older, schema), SqlRows(path_, schema)) << "upgraded as a new file is laid";
  path_ = older;
  Record("aaaa1");
  EXPECT_EQ(ornhost::ChangeSetsInFile(path_).size(), 1u);
}

TEST(ChangeSetTexts, AStandingReadsBackExactlyAndABrokenOneNotAtAll) {
  ornhost::detail::SetupStanding standing;
  ornhost::Provenance origin{u"office.zellib", "/office/office.zellib",
                             u"Night\tshift",  "2026-01-15T09:30:00Z",
                             CsPasses(6),      std::nullopt};
  standing.origin = origin;
  origin.governed = ornhost::PropertySetOf({"BlurPasses", "AlbedoScale"});
  origin.librarySetup = u"Quality";
  standing.overlays = {origin, origin};
  standing.overlays[1].takenAt = "2026-02-01T00:00:00Z";
  standing.overrides["BlurPasses"] = {"client wants\tsoft\nshadows \\ sharp", "ann",
                                      "2026-03-01T00:00:00Z"};
  const std::string text = ornhost::detail::StandingText(standing);
  const auto read = ornhost::detail::StandingOfText(text);
  ASSERT_TRUE(read.has_value()) << text;
  EXPECT_EQ(ornhost::detail::StandingText(*read), text);
  EXPECT_EQ(read->origin->librarySetup, u"Night\tshift");
  EXPECT_EQ(read->overlays.size(), 2u);
  EXPECT_EQ(read->overlays[0].governed, origin.governed);
  EXPECT_EQ(read->overrides.at("BlurPasses").reason, "client wants\tsoft\nshadows \\ sharp");
  EXPECT_EQ(ornhost::detail::StandingText({}), "");
  EXPECT_TRUE(ornhost::detail::StandingOfText("").has_value());

  for (const char* broken : {
           "origin\ta\tb\tc\n",                                 // too few fields
           "value\tBlurPasses\t3\n",                            // a value of nothing
           "origin\ta\tb\tc\td\t*",                             // no line end
           "override\tBlurPasses\tx\\q\tann\tnow\n",            // a broken escape
           "overlay\ta\tb\tc\td\tNoSuchProperty\n",             // no property
           "origin\ta\tb\tc\td\t*\norigin\ta\tb\tc\td\t*\n",    // two origins
           "origin\ta\tb\tc\td\t*\nvalue\tBlurPasses\tmany\n",  // not a value of its type
           "later\tx\n",                                        // no such line
       }) {
    EXPECT_FALSE(ornhost::detail::StandingOfText(broken).has_value()) << broken;
  }
}

TEST(ChangeSetIds, IdsAreUniqueShortAndSortAsTheyWereMade) {
  // Many in one moment, as every file of a run on every core might ask: unique and in order.
  std::vector<std::string> ids;
  for (int i = 0; i < 5000; ++i) {
    ids.push_back(ornhost::detail::NewChangeSetId());
    EXPECT_EQ(ids.back().size(), 15u);
    EXPECT_TRUE(ornhost::detail::LooksLikeChangeSetId(ids.back())) << ids.back();
    if (i > 0) {
      EXPECT_LT(ids[i - 1], ids[i]);
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(3));
  EXPECT_GT(ornhost::detail::NewChangeSetId(), ids.back());
  for (const auto& [text, looks] : std::vector<std::pair<std::string, bool>>{
           {"", false},
           {"1m987r3dwymy2", true},
           {"1m98", true},
           {"1M987", false},
           {"1l987", false},
           {"tower.zel", false},
           {std::string(33, 'a'), false},
       }) {
    EXPECT_EQ(ornhost::detail::LooksLikeChangeSetId(text), looks) << text;
  }
}

}  // namespace
