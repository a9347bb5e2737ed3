// The versions a design file keeps of its setups: what each write replaced, rebuilt exactly,
// trimmed without touching the current state, deleted setups brought back, and the file's own
// layout for them.
#include "host/history/History.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>
#include <functional>
#include <random>

#include "OlderFormats.h"
#include "PlainSql.h"
#include "TempDir.h"
#include "host/OrnSetupManager.h"
#include "host/provenance/Provenance.h"
#include "host/provenance/Standards.h"

using Teskor::ZelPlatform::OrnSettings;
using Teskor::ZelPlatform::OrnSetup;
using Teskor::ZelPlatform::ZelFile;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

OrnSettings Blur(std::uint32_t passes) {
  OrnSettings settings;
  settings.SetBlurPasses(passes);
  return settings;
}

std::vector<std::int64_t> Numbers(const std::vector<ornhost::SetupVersion>& versions) {
  std::vector<std::int64_t> numbers;
  for (const auto& version : versions) numbers.push_back(version.number);
  return numbers;
}

std::vector<std::u16string> Listed(ZelFile& file) {
  std::vector<const OrnSetup*> list;
  Teskor::ZelPlatform::OrnSetupManager::GetManagerR().GetSetupsForFile(list, file);
  std::vector<std::u16string> names;
  for (const OrnSetup* setup : list) names.push_back(setup->GetName().str());
  return names;
}

}  // namespace

class HistoryTest : public ::testing::Test {
 protected:
  ZelFile& Open() { return *(file_ = &ornhost::OpenMaster(master)); }
  OrnSetup& Working(const char16_t* name) { return *store.FindOrnSetupByName(name, *file_); }
  // The person edits the working copy and saves it.
  void SaveWith(const char16_t* name, const std::function<void(OrnSettings&)>& edit) {
    edit(*Working(name).GetSettings());
    Working(name).modified = true;
    ASSERT_EQ(store.Save(name, *file_), 1);
  }
  std::int64_t Rows(const char* table) {
    return SqlNumber(master, std::string("SELECT count(*) FROM ") + table);
  }

  TempDir dir;
  std::filesystem::path master = dir / "master.zel";
  Teskor::ZelPlatform::OrnSetupManager& store = Teskor::ZelPlatform::OrnSetupManager::GetManagerR();
  ZelFile* file_ = nullptr;
};

TEST_F(HistoryTest, EachWriteKeepsWhatItReplacedUnderItsActionAndOnlyTheValuesItChanged) {
  struct Case {
    const char* action;
    std::function<void()> write;
    const char16_t* nameAfter;
    std::vector<std::string> changes;  // "PROPERTY BEFORE AFTER"
  };
  const auto blur12 = [](OrnSettings& s) { s.SetBlurPasses(12); };
  const Case cases[] = {
      {"save", [&] { SaveWith(u"Sky", blur12); }, u"Sky", {"BlurPasses 8 12"}},
      {"save --force",
       [&] {
         ornhost::OverwriteOnNextSave(u"Sky");
         SaveWith(u"Sky", blur12);
       },
       u"Sky",
       {"BlurPasses 8 12"}},
      {"update from library",
       [&] {
         const ornhost::SaveActionScope named("update from library");
         SaveWith(u"Sky", [](OrnSettings& s) {
           s.SetBlurPasses(12);
           s.SetAlbedoScale(-0.0);
         });
       },
       u"Sky",
       {"BlurPasses 8 12", "AlbedoScale 1.0 -0.0"}},
      {"rename", [&] { store.Rename(u"Sky", u"Night", *file_); }, u"Night", {}},
      // A reset keeps the unsaved values it throws away, against the stored ones.
      {"reset",
       [&] {
         Working(u"Sky").GetSettings()->SetRenderOutputChannels(UINT64_MAX);
         store.Reset(u"Sky", *file_);
       },
       u"Sky",
       {"Outputs 18446744073709551615 3"}},
      {"host write",
       [&] { ornhost::WriteSetup(master, u"Sky", Blur(12)); },
       u"Sky",
       {"BlurPasses 8 12"}},
      {"audit fix",
       [&] { ornhost::WriteSetup(master, u"Sky", Blur(12), "audit fix"); },
       u"Sky",
       {"BlurPasses 8 12"}},
      {"import",
       [&] {
         ornhost::WriteSetup(dir / "other.zel", u"Sky", Blur(12));
         ornhost::ExportSetups(dir / "other.zel", {u"Sky"}, dir / "sky.json");
         ornhost::ImportSetups(master, dir / "sky.json", true);
       },
       u"Sky",
       {"BlurPasses 8 12"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.action);
    std::filesystem::remove(master);
    ornhost::WriteSetup(master, u"Sky", Blur(8));
    ornhost::WriteSetup(master, u"Moon", Blur(8));
    Open();
    c.write();
    const auto versions = ornhost::SetupHistory(c.nameAfter);
    ASSERT_EQ(versions.size(), 1u);
    const ornhost::SetupVersion& version = versions[0];
    EXPECT_EQ(version.number, 1);
    EXPECT_EQ(version.action, c.action);
    EXPECT_FALSE(version.madeBy.empty());
    EXPECT_EQ(version.name, u"Sky");
    EXPECT_EQ(version.nameAfter, c.nameAfter);
    std::vector<std::string> changes;
    for (const auto& change : version.changes) {
      changes.push_back(change.property + " " + change.before + " " + change.after);
    }
    EXPECT_EQ(changes, c.changes);
    // Only what changed is kept, and nothing of the setup the write did not touch.
    EXPECT_EQ(Rows("setup_version_values"), static_cast<std::int64_t>(c.changes.size()));
    EXPECT_TRUE(ornhost::SetupHistory(u"Moon").empty());
    ornhost::CloseMaster();
  }
}

TEST_F(HistoryTest, AVersionLandsWithItsWriteOrNeitherDoes) {
  ornhost::WriteSetup(master, u"Sky", Blur(8));
  // An action the table refuses: the version cannot be written, so the write is not either.
  EXPECT_THROW(ornhost::WriteSetup(master, u"Sky", Blur(12), std::string(41, 'x')),
               ornhost::DesignFileError);
  EXPECT_EQ(ornhost::ReadSetups(master)[0].settings.GetBlurPasses(), 8u);
  EXPECT_EQ(Rows("setup_versions"), 0);
  // Writing what the file holds replaces nothing.
  ornhost::WriteSetup(master, u"Sky", Blur(8));
  EXPECT_EQ(Rows("setup_versions"), 0);
}

// Random saves, renames, resets and host writes of one setup: every version the file keeps must
// give back exactly the state it replaced, however many states came after it.
TEST_F(HistoryTest, EveryVersionGivesBackExactlyTheStateItReplaced) {
  std::mt19937 random(20261206);
  const std::function<void(OrnSettings&)> edits[] = {
      [&](OrnSettings& s) { s.SetBlurPasses(random()); },
      [&](OrnSettings& s) {
        const double odd[] = {-0.0, 0.0, DBL_MIN / 7, DBL_MAX, 0.1 + 0.2};
        s.SetQualityThreshold(odd[random() % 5]);
      },
      [&](OrnSettings& s) { s.SetRenderOutputChannels(UINT64_MAX - random() % 3); },
      [&](OrnSettings& s) {
        s.SetGlobalShadowQuality(
            static_cast<OrnSettings::GlobalShadowQuality>(-static_cast<int>(random() % 4)));
      },
      [&](OrnSettings& s) { s.SetDoShadows(random() % 2 == 0); },
  };
  ornhost::WriteSetup(master, u"S0", OrnSettings());
  Open();
  std::u16string name = u"S0";
  // The stored state each version keeps, by its number.
  std::map<std::int64_t, std::pair<std::u16string, OrnSettings>> kept;
  OrnSettings stored;
  std::int64_t number = 0;
  for (int step = 0; step < 70; ++step) {
    const int kind = random() % 5;
    if (kind == 0) {
      const std::u16string renamed = u"S" + std::u16string(1, char16_t(u'a' + step % 26));
      if (renamed == name || store.Rename(name.c_str(), renamed.c_str(), *file_) != 1) continue;
      kept[++number] = {name, stored};
      name = renamed;
      continue;
    }
    OrnSettings next = stored;
    edits[random() % 5](next);
    edits[random() % 5](next);
    if (next.Equals(stored)) continue;
    if (kind == 1) {
      *Working(name.c_str()).GetSettings() = next;
      store.Reset(name.c_str(), *file_);
      kept[++number] = {name, next};
      continue;
    }
    if (kind == 2) {
      ornhost::WriteSetup(master, name, next);
    } else {
      SaveWith(name.c_str(), [&](OrnSettings& s) { s = next; });
    }
    kept[++number] = {name, stored};
    stored = next;
  }
  ASSERT_GT(number, 50);
  const auto versions = ornhost::SetupHistory(name);
  ASSERT_EQ(versions.size(), 50u);
  EXPECT_EQ(versions.front().number, number);
  for (const auto& version : versions) {
    const auto& [wasNamed, values] = kept[version.number];
    EXPECT_EQ(version.name, wasNamed) << version.number;
    EXPECT_EQ(ornhost::SettingTexts(ornhost::SetupVersionValues(name, version.number)),
              ornhost::SettingTexts(values))
        << "version " << version.number << " (" << version.action << ")";
  }
  EXPECT_THROW(ornhost::SetupVersionValues(name, number - 50), ornhost::HistoryError);
}

TEST_F(HistoryTest, LimitsDropTheOldestVersionsAndNeverTheCurrentState) {
  ornhost::WriteSetup(master, u"Sky", Blur(0));
  Open();
  for (std::uint32_t n = 1; n <= 55; ++n)
    SaveWith(u"Sky", [&](OrnSettings& s) { s.SetBlurPasses(n); });
  auto versions = ornhost::SetupHistory(u"Sky");
  ASSERT_EQ(versions.size(), 50u);
  EXPECT_EQ(versions.front().number, 55);
  EXPECT_EQ(versions.back().number, 6);

  ornhost::SetHistoryLimits({3, 30});
  EXPECT_THAT(Numbers(ornhost::SetupHistory(u"Sky")), ElementsAre(55, 54, 53));
  EXPECT_EQ(ornhost::SetupVersionValues(u"Sky", 53).GetBlurPasses(), 52u);
  // Still counted on: numbers do not start over when the old ones go.
  SaveWith(u"Sky", [](OrnSettings& s) { s.SetBlurPasses(99); });
  EXPECT_THAT(Numbers(ornhost::SetupHistory(u"Sky")), ElementsAre(56, 55, 54));

  ornhost::SetHistoryLimits({0, 0});
  EXPECT_EQ(Rows("setup_versions"), 0);
  EXPECT_EQ(Rows("setup_version_values"), 0);
  SaveWith(u"Sky", [](OrnSettings& s) { s.SetBlurPasses(100); });
  store.Delete(u"Sky", *file_);
  EXPECT_EQ(Rows("setup_versions"), 0);
  EXPECT_TRUE(ornhost::DeletedSetups().empty());
  EXPECT_THROW(ornhost::SetHistoryLimits({-1, 30}), ornhost::HistoryError);

  // The limits are the file's: another session finds them.
  ornhost::CloseMaster();
  Open();
  EXPECT_EQ(ornhost::GetHistoryLimits().versionsPerSetup, 0);
}

TEST_F(HistoryTest, AnUndeletedSetupComesBackWithItsPlaceValuesProvenanceAndHistory) {
  for (const char16_t* name : {u"A", u"Sky", u"C"}) ornhost::WriteSetup(master, name, Blur(8));
  ornhost::Provenance origin;
  origin.libraryFile = u"lib.zellib";
  origin.libraryPath = (dir / "lib.zellib").string();
  origin.librarySetup = u"Sky";
  origin.takenAt = "2026-01-02T03:04:05Z";
  origin.base = Blur(8);
  ornhost::StoreProvenance(master, u"Sky", origin);
  auto& file = Open();
  SaveWith(u"Sky", [](OrnSettings& s) { s.SetBlurPasses(12); });
  store.Delete(u"Sky", file);
  ASSERT_EQ(ornhost::DeletedSetups().size(), 1u);
  EXPECT_EQ(ornhost::DeletedSetups()[0].name, u"Sky");
  EXPECT_EQ(ornhost::DeletedSetups()[0].versions, 2);

  // The name is used again: a new setup, with a place and a history of its own.
  OrnSetup again(file, u"Sky");
  store.AddSetup(again, file);
  ASSERT_EQ(store.Save(u"Sky", file), 1);
  try {
    ornhost::UndeleteSetup(u"Sky");
    ADD_FAILURE() << "undeleted over a setup in use";
  } catch (const ornhost::HistoryError& error) {
    EXPECT_THAT(error.what(), HasSubstr("holds a setup named \"Sky\" already"));
  }
  EXPECT_THROW(ornhost::UndeleteSetup(u"Nope"), ornhost::HistoryError);
  EXPECT_TRUE(ornhost::SetupHistory(u"Sky").empty());

  ornhost::UndeleteSetup(u"Sky", u"Sky old");
  EXPECT_THAT(Listed(file), ElementsAre(u"A", u"Sky old", u"C", u"Sky"));
  EXPECT_EQ(Working(u"Sky old").GetSettingsR()->GetBlurPasses(), 12u);
  const auto kept = ornhost::ProvenanceOf(u"Sky old");
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->takenAt, origin.takenAt);
  const auto history = ornhost::SetupHistory(u"Sky old");
  ASSERT_EQ(history.size(), 3u);
  EXPECT_EQ(history[0].action, "undelete");
  EXPECT_EQ(history[0].nameAfter, u"Sky old");
  EXPECT_EQ(history[1].action, "delete");
  EXPECT_EQ(ornhost::SetupVersionValues(u"Sky old", 1).GetBlurPasses(), 8u);
  EXPECT_THROW(ornhost::SetupVersionValues(u"Sky old", 3), ornhost::HistoryError);
  EXPECT_TRUE(ornhost::DeletedSetups().empty());

  // Another session sees it where it was.
  ornhost::CloseMaster();
  EXPECT_THAT(Listed(Open()), ElementsAre(u"A", u"Sky old", u"C", u"Sky"));
}

TEST_F(HistoryTest, ADeletedSetupIsKeptForItsDaysOnly) {
  for (const char16_t* name : {u"Old", u"New"}) ornhost::WriteSetup(master, name, Blur(8));
  ornhost::Provenance origin;
  origin.libraryFile = u"lib.zellib";
  origin.librarySetup = u"Old";
  origin.takenAt = "2026-01-02T03:04:05Z";
  ornhost::StoreProvenance(master, u"Old", origin);
  auto& file = Open();
  store.Delete(u"Old", file);
  store.Delete(u"New", file);
  ornhost::CloseMaster();
  ASSERT_EQ(
      Sql(master, "UPDATE setup_versions SET made_at = '2020-01-01T00:00:00Z' WHERE name = 'Old'"),
      SQLITE_OK);
  Open();
  ASSERT_EQ(ornhost::DeletedSetups().size(), 1u);
  EXPECT_EQ(ornhost::DeletedSetups()[0].name, u"New");
  // The first version the session keeps drops what is past keeping, provenance included.
  ornhost::WriteSetup(master, u"Other", Blur(1));
  ornhost::WriteSetup(master, u"Other", Blur(2));
  EXPECT_EQ(SqlRows(master, "SELECT DISTINCT name FROM setup_versions ORDER BY name"),
            "New;Other;");
  EXPECT_EQ(Rows("setup_provenance"), 0);
}

TEST_F(HistoryTest, ANewSetupNeverTakesOverTheHistoryOfADeletedOne) {
  ornhost::WriteSetup(master, u"A", Blur(1));
  ornhost::WriteSetup(master, u"Last", Blur(1));
  auto& file = Open();
  SaveWith(u"Last", [](OrnSettings& s) { s.SetBlurPasses(2); });
  store.Delete(u"Last", file);
  // In the host and in plain SQL alike.
  OrnSetup made(file, u"Made");
  store.AddSetup(made, file);
  ASSERT_EQ(store.Save(u"Made", file), 1);
  ornhost::CloseMaster();
  ASSERT_EQ(Sql(master,
                "CREATE TEMP TABLE c AS SELECT * FROM render_setups WHERE name = 'A';"
                "UPDATE c SET position = NULL, name = 'Copied'; INSERT INTO render_setups "
                "SELECT * FROM c"),
            SQLITE_OK);
  Open();
  EXPECT_TRUE(ornhost::SetupHistory(u"Made").empty());
  EXPECT_TRUE(ornhost::SetupHistory(u"Copied").empty());
  ornhost::UndeleteSetup(u"Last");
  EXPECT_THAT(Listed(*file_), ElementsAre(u"A", u"Last", u"Made", u"Copied"));
}

TEST_F(HistoryTest, TheVersionTablesCheckWhatPlainSqlPutsInAndSurviveADump) {
  ornhost::WriteSetup(master, u"Sky", Blur(8));
  ornhost::WriteSetup(master, u"Sky", Blur(12));
  ornhost::WriteSetup(master, u"Sky", Blur(16));
  for (const char* refused : {
           "UPDATE setup_versions SET made_at = 'yesterday'",
           "UPDATE setup_versions SET action = ''",
           "UPDATE setup_versions SET number = 0",
           "UPDATE setup_version_values SET property = 'NoSuchProperty'",
           "UPDATE setup_version_values SET old_value = 'text'",
           "INSERT INTO version_limits VALUES (1, -1, 30)",
       }) {
    std::string error;
    EXPECT_NE(Sql(master, refused, &error), SQLITE_OK) << refused;
    EXPECT_THAT(error, HasSubstr("constraint failed")) << refused;
  }

  const auto restored = dir / "restored.zel";
  const std::string command =
      "sqlite3 '" + master.string() + "' .dump | sqlite3 '" + restored.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  master = restored;
  Open();
  EXPECT_THAT(Numbers(ornhost::SetupHistory(u"Sky")), ElementsAre(2, 1));
  EXPECT_EQ(ornhost::SetupVersionValues(u"Sky", 1).GetBlurPasses(), 8u);
  SaveWith(u"Sky", [](OrnSettings& s) { s.SetBlurPasses(20); });
  EXPECT_THAT(Numbers(ornhost::SetupHistory(u"Sky")), ElementsAre(3, 2, 1));

  // An index of someone else's on a version table makes the file one the host does not write.
  ornhost::CloseMaster();
  ASSERT_EQ(Sql(master, "CREATE INDEX mine ON setup_version_values (property)"), SQLITE_OK);
  EXPECT_THROW(ornhost::WriteSetup(master, u"Sky", Blur(1)), ornhost::DesignFileError);
}

// A file of format 5 keeps its rows and versions; its setups come out governing everything and
// locking nothing, and the file then takes standards.
TEST_F(HistoryTest, AFormat5FileIsUpgradedKeepingEveryRowAndThenTakesStandards) {
  const auto today = dir / "today.zel";
  ornhost::WriteSetup(today, u"A", Blur(3));
  ornhost::WriteSetup(today, u"A", Blur(5));
  ornhost::WriteSetup(today, u"B", Blur(7));
  ASSERT_EQ(WriteFormat5Copy(today, master), SQLITE_OK);
  const std::string versions =
      "SELECT position || ':' || number || ':' || action FROM setup_versions ORDER BY 1";
  const std::string before = SqlRows(master, versions);
  EXPECT_THROW(ornhost::WriteSetup(master, u"A", Blur(4)), ornhost::DesignFileError);

  const auto result = ornhost::UpgradeDesignFile(master);
  EXPECT_EQ(result.fromVersion, 5);
  EXPECT_TRUE(std::filesystem::exists(dir / "master.format5-backup.zel"));
  EXPECT_TRUE(result.problems.empty());
  EXPECT_EQ(SqlNumber(master, "PRAGMA user_version"), 7);
  EXPECT_EQ(SqlRows(master, versions), before);

  Open();
  EXPECT_EQ(ornhost::SetupHistory(u"A").size(), 1u);
  const auto standards = ornhost::StandardsOf(u"A");
  EXPECT_FALSE(standards.scope.has_value());
  EXPECT_TRUE(standards.locks.empty());
  ornhost::SetScope(u"A", ornhost::ScopeOfWords({"BlurPasses"}));
  ornhost::Lock(u"A", {"BlurPasses"}, "office look");
  EXPECT_EQ(ornhost::StandardsOf(u"A").locks.at("BlurPasses"), "office look");
  const auto history = ornhost::SetupHistory(u"A");
  ASSERT_GE(history.size(), 3u);
  EXPECT_EQ(history[0].action, "lock");
  EXPECT_EQ(history[1].action, "scope");
}

TEST_F(HistoryTest, AFormat4FileIsUpgradedAroundTheSameRowsAndThenKeepsVersions) {
  const auto today = dir / "today.zel";
  for (const char16_t* name : {u"A", u"B", u"C"}) ornhost::WriteSetup(today, name, Blur(3));
  ornhost::Provenance origin;
  origin.libraryFile = u"lib.zellib";
  origin.librarySetup = u"B";
  origin.takenAt = "2026-01-02T03:04:05Z";
  origin.base = Blur(3);
  ornhost::StoreProvenance(today, u"B", origin);
  ASSERT_EQ(WriteFormat4Copy(today, master), SQLITE_OK);
  // A record damaged in plain SQL with the checks off stays as it was, unread.
  ASSERT_EQ(Sql(master,
                "PRAGMA ignore_check_constraints = ON;"
                "UPDATE render_setups SET BlurPasses = -1 WHERE name = 'C'"),
            SQLITE_OK);
  const std::string rows = "SELECT position || ':' || name || ':' || revision FROM render_setups";
  const std::string before = SqlRows(master, rows);
  EXPECT_THROW(ornhost::WriteSetup(master, u"A", Blur(4)), ornhost::DesignFileError);
  Open();
  try {
    ornhost::SetupHistory(u"A");
    ADD_FAILURE() << "a history of a file that keeps none";
  } catch (const ornhost::HistoryError& error) {
    EXPECT_THAT(error.what(), HasSubstr("keeps no history: it has format version 4"));
  }
  ornhost::CloseMaster();

  const auto result = ornhost::UpgradeDesignFile(master);
  EXPECT_EQ(result.fromVersion, 4);
  EXPECT_TRUE(std::filesystem::exists(dir / "master.format4-backup.zel"));
  EXPECT_TRUE(result.problems.empty());
  EXPECT_EQ(SqlRows(master, rows), before);
  EXPECT_EQ(SqlNumber(master, "PRAGMA user_version"), 7);
  const auto setups = ornhost::ReadSetups(master);
  ASSERT_EQ(setups.size(), 3u);
  EXPECT_FALSE(setups[2].valid);
  EXPECT_TRUE(ornhost::ProvenanceInFile(master).contains(u"B"));

  auto& file = Open();
  SaveWith(u"A", [](OrnSettings& s) { s.SetBlurPasses(4); });
  EXPECT_EQ(ornhost::SetupVersionValues(u"A", 1).GetBlurPasses(), 3u);
  store.Delete(u"B", file);
  ornhost::UndeleteSetup(u"B");
  EXPECT_TRUE(ornhost::ProvenanceOf(u"B"));
}

// Values that only an edit with the table's checks off can leave: each is read as what it may be,
// and no save wipes versions or deleted setups because of one.
TEST_F(HistoryTest, ValuesOutOfRangeInTheFileNeverCostHistory) {
  struct Case {
    const char* what;
    const char* sql;
    /// A word the open reports, or empty when nothing is reported.
    const char* reported;
    ornhost::HistoryLimits limits;
    /// The number the next save's version takes.
    std::int64_t next = 4;
  };
  const Case cases[] = {
      {"negative versions",
       "INSERT INTO version_limits VALUES (1, -5, 30)",
       "versions_per_setup",
       {50, 30}},
      {"versions past the largest",
       "INSERT INTO version_limits VALUES (1, 2000000, 7)",
       "versions_per_setup",
       {50, 7}},
      {"days that overflow",
       "INSERT INTO version_limits VALUES (1, 20, 9223372036854775807)",
       "deleted_days",
       {20, 30}},
      {"negative days", "INSERT INTO version_limits VALUES (1, 20, -1)", "deleted_days", {20, 30}},
      {"the newest number at its largest",
       "UPDATE setup_versions SET number = 9223372036854775807 WHERE name = 'Sky' AND number = 3",
       "",
       {50, 30},
       3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ornhost::ResetAll();
    std::filesystem::remove(master);
    ornhost::WriteSetup(master, u"Sky", Blur(0));
    ornhost::WriteSetup(master, u"Moon", Blur(0));
    auto& file = Open();
    for (std::uint32_t n = 1; n <= 3; ++n) {
      SaveWith(u"Sky", [&](OrnSettings& s) { s.SetBlurPasses(n); });
    }
    store.Delete(u"Moon", file);
    ornhost::CloseMaster();
    ASSERT_EQ(Sql(master, std::string("PRAGMA ignore_check_constraints = ON; ") + c.sql),
              SQLITE_OK);
    const std::int64_t rows = Rows("setup_versions");

    std::vector<std::string> reported;
    ornhost::SetErrorReporter([&](const std::string& message) { reported.push_back(message); });
    Open();
    ornhost::SetErrorReporter(nullptr);
    if (*c.reported == '\0') {
      EXPECT_TRUE(reported.empty()) << reported[0];
    } else {
      EXPECT_EQ(reported.size(), 1u);
      EXPECT_THAT(reported, ElementsAre(AllOf(HasSubstr(c.reported), HasSubstr("out of range"))));
    }
    EXPECT_EQ(ornhost::GetHistoryLimits().versionsPerSetup, c.limits.versionsPerSetup);
    EXPECT_EQ(ornhost::GetHistoryLimits().deletedDays, c.limits.deletedDays);

    // The save keeps its version; nothing read out of range drops one.
    SaveWith(u"Sky", [](OrnSettings& s) { s.SetBlurPasses(4); });
    EXPECT_EQ(Rows("setup_versions"), rows + 1);
    const auto history = ornhost::SetupHistory(u"Sky");
    EXPECT_EQ(Numbers(history).size(), static_cast<std::size_t>(c.next));
    if (!history.empty()) {
      EXPECT_EQ(history.front().number, c.next);
      EXPECT_EQ(history.front().action, "save");
      EXPECT_EQ(ornhost::SetupVersionValues(u"Sky", history.front().number).GetBlurPasses(), 3u);
    }
    EXPECT_EQ(ornhost::DeletedSetups().size(), 1u);
    // Trimming goes by the numbers it can read.
    ornhost::SetHistoryLimits({2, 30});
    EXPECT_THAT(Numbers(ornhost::SetupHistory(u"Sky")), ElementsAre(c.next, c.next - 1));
    ornhost::CloseMaster();
  }

  // A number at the very end leaves none to give out: the save still goes through, keeping no
  // version, and what the file kept stays.
  ASSERT_EQ(Sql(master,
                "UPDATE setup_versions SET number = 9007199254740991 WHERE name = 'Sky'"
                " AND number = (SELECT max(number) FROM setup_versions WHERE name = 'Sky')"),
            SQLITE_OK);
  Open();
  const auto before = Numbers(ornhost::SetupHistory(u"Sky"));
  SaveWith(u"Sky", [](OrnSettings& s) { s.SetBlurPasses(5); });
  EXPECT_EQ(Numbers(ornhost::SetupHistory(u"Sky")), before);
  EXPECT_EQ(ornhost::ReadSetups(master)[0].settings.GetBlurPasses(), 5u);
}

TEST_F(HistoryTest, NumbersGoOnRisingAfterTheHistoryWasDroppedWhole) {
  ornhost::WriteSetup(master, u"Sky", Blur(0));
  ornhost::WriteSetup(master, u"Moon", Blur(0));
  Open();
  for (std::uint32_t n = 1; n <= 3; ++n)
    SaveWith(u"Sky", [&](OrnSettings& s) { s.SetBlurPasses(n); });
  SaveWith(u"Moon", [](OrnSettings& s) { s.SetBlurPasses(1); });
  ornhost::SetHistoryLimits({0, 30});
  EXPECT_EQ(Rows("setup_versions"), 0);
  ornhost::SetHistoryLimits({50, 30});
  SaveWith(u"Sky", [](OrnSettings& s) { s.SetBlurPasses(4); });
  SaveWith(u"Moon", [](OrnSettings& s) { s.SetBlurPasses(2); });
  EXPECT_THAT(Numbers(ornhost::SetupHistory(u"Sky")), ElementsAre(4));
  EXPECT_GT(ornhost::SetupHistory(u"Moon").front().number, 1);
  // Another session, and a dump, go on from there too.
  ornhost::CloseMaster();
  const auto restored = dir / "restored.zel";
  const std::string command =
      "sqlite3 '" + master.string() + "' .dump | sqlite3 '" + restored.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  master = restored;
  Open();
  ornhost::SetHistoryLimits({0, 30});
  ornhost::SetHistoryLimits({50, 30});
  SaveWith(u"Sky", [](OrnSettings& s) { s.SetBlurPasses(5); });
  EXPECT_THAT(Numbers(ornhost::SetupHistory(u"Sky")), ElementsAre(5));
}

// A value of a version that no setting can hold (left by an edit with the checks off) shows as
// such, never as a number it is not.
TEST_F(HistoryTest, AVersionValueNoSettingCanHoldShowsAsUnreadable) {
  ornhost::WriteSetup(master, u"Sky", Blur(8));
  ornhost::WriteSetup(master, u"Sky", Blur(12));
  for (const char* crafted : {"old_value = 'eight'", "old_value = 1e308", "old_value = -1",
                              "old_value = x'00'", "new_value = 'twelve'", "new_value = 4.5"}) {
    SCOPED_TRACE(crafted);
    ASSERT_EQ(Sql(master, std::string("PRAGMA ignore_check_constraints = ON;"
                                      " UPDATE setup_version_values SET old_value = 8,"
                                      " new_value = 12; UPDATE setup_version_values SET ") +
                              crafted),
              SQLITE_OK);
    Open();
    const auto history = ornhost::SetupHistory(u"Sky");
    ASSERT_EQ(history.size(), 1u);
    ASSERT_EQ(history[0].changes.size(), 1u);
    const auto& change = history[0].changes[0];
    const bool before = std::string(crafted).starts_with("old");
    EXPECT_EQ(change.before, before ? "unreadable" : "8");
    EXPECT_EQ(change.after, before ? "12" : "unreadable");
    ornhost::CloseMaster();
  }
}
