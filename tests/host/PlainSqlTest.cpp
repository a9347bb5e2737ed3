// Design files in the hands of plain SQL and the sqlite3 tool: one value changed at a time, bad
// edits refused by the table, a dump restored into a file the host opens, files of earlier
// formats opened read-only until upgraded.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <functional>

#include "OlderFormats.h"
#include "PlainSql.h"
#include "TempDir.h"
#include "host/OrnSetupManager.h"
#include "host/store/SettingsText.h"

using Teskor::ZelPlatform::OrnSettings;
using ::testing::HasSubstr;

namespace {

OrnSettings Sky() {
  OrnSettings settings;
  settings.SetQualityThreshold(0.75);
  settings.SetMinQualityThreshold(80);
  settings.SetBlurPasses(5);
  return settings;
}

class PlainSqlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ornhost::WriteSetup(file, u"Sky", Sky());
    ornhost::WriteSetup(file, u"Night", OrnSettings());
  }
  std::map<std::u16string, OrnSettings> Stored() {
    std::map<std::u16string, OrnSettings> stored;
    for (const auto& setup : ornhost::ReadSetups(file)) {
      EXPECT_TRUE(setup.valid);
      stored[setup.name] = setup.settings;
    }
    return stored;
  }
  TempDir dir;
  std::filesystem::path file = dir / "tower.zel";
  Teskor::ZelPlatform::OrnSetupManager& store = Teskor::ZelPlatform::OrnSetupManager::GetManagerR();
};

TEST_F(PlainSqlTest, AnEditChangesOneValueOfOneSetupOrIsRefusedWhole) {
  struct Case {
    const char* sql;
    bool taken;
    std::function<void(OrnSettings&)> effect;  // on Sky
  };
  const Case cases[] = {
      {"UPDATE render_setups SET QualityThreshold = 0.25 WHERE name = 'Sky'", true,
       [](OrnSettings& s) { s.SetQualityThreshold(0.25); }},
      {"UPDATE render_setups SET TextureFiltering = 2 WHERE name = 'Sky'", true,
       [](OrnSettings& s) { s.SetTextureFiltering(2.0); }},
      {"UPDATE render_setups SET Outputs = -1 WHERE name = 'Sky'", true,
       [](OrnSettings& s) { s.SetRenderOutputChannels(UINT64_MAX); }},
      {"UPDATE render_setups SET DoShadows = 0 WHERE name = 'Sky'", true,
       [](OrnSettings& s) { s.SetDoShadows(false); }},
      {"UPDATE render_setups SET BlurPasses = -1 WHERE name = 'Sky'", false, nullptr},
      {"UPDATE render_setups SET BlurPasses = 4294967296 WHERE name = 'Sky'", false, nullptr},
      {"UPDATE render_setups SET BlurPasses = 8.5 WHERE name = 'Sky'", false, nullptr},
      {"UPDATE render_setups SET ShadowQuality = 2147483648 WHERE name = 'Sky'", false, nullptr},
      {"UPDATE render_setups SET DoShadows = 2 WHERE name = 'Sky'", false, nullptr},
      {"UPDATE render_setups SET QualityThreshold = 'high' WHERE name = 'Sky'", false, nullptr},
      {"UPDATE render_setups SET QualityThreshold = 9e999 WHERE name = 'Sky'", false, nullptr},
      {"UPDATE render_setups SET QualityThreshold = NULL WHERE name = 'Sky'", false, nullptr},
      {"UPDATE render_setups SET Quality = 1 WHERE name = 'Sky'", false, nullptr},
      {"UPDATE render_setups SET name = '' WHERE name = 'Sky'", false, nullptr},
      {"UPDATE render_setups SET name = 'Night' WHERE name = 'Sky'", false, nullptr},
      {"INSERT INTO render_setups (name, revision) VALUES ('Half', 1)", false, nullptr},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(file);
    SetUp();
    std::string error;
    EXPECT_EQ(Sql(file, c.sql, &error) == SQLITE_OK, c.taken) << c.sql << ": " << error;
    OrnSettings sky = Sky();
    if (c.effect) c.effect(sky);
    auto stored = Stored();
    ASSERT_EQ(stored.size(), 2u) << c.sql;
    EXPECT_TRUE(stored[u"Sky"].Equals(sky)) << c.sql;
    EXPECT_TRUE(stored[u"Night"].Equals(OrnSettings())) << c.sql;
  }
}

// The readable name is the name: changing it renames the setup. Another session that read the
// setup before a plain SQL edit is refused, as it would be after another session's save.
TEST_F(PlainSqlTest, EditsInPlainSqlAreSeenAndCountAsAnotherSessionsWork) {
  auto& master = ornhost::OpenMaster(file);
  ASSERT_EQ(Sql(file,
                "UPDATE render_setups SET name = 'Sun' WHERE name = 'Night';"
                "UPDATE render_setups SET MaxSamplesPerPixel = 64 WHERE name = 'Sky'"),
            SQLITE_OK);
  std::vector<std::string> reported;
  ornhost::SetErrorReporter([&](const std::string& message) { reported.push_back(message); });
  store.FindOrnSetupByName(u"Sky", master)->GetSettings()->SetBlurPasses(6);
  EXPECT_EQ(store.Save(u"Sky", master), 0);
  EXPECT_EQ(store.Save(u"Night", master), 0);
  EXPECT_THAT(reported, ::testing::ElementsAre(HasSubstr("another session has changed it"),
                                               HasSubstr("renamed it to \"Sun\"")));
  store.Reset(u"Sky", master);
  EXPECT_EQ(store.FindOrnSetupByName(u"Sky", master)->GetSettingsR()->GetMaxSamplesPerPixel(), 64u);
  ornhost::CloseMaster();

  auto& again = ornhost::OpenMaster(file);
  EXPECT_NE(store.FindOrnSetupByName(u"Sun", again), nullptr);
  EXPECT_EQ(store.FindOrnSetupByName(u"Night", again), nullptr);
}

TEST_F(PlainSqlTest, ADumpRestoredWithTheSqliteToolIsADesignFileTheHostWrites) {
  OrnSettings extreme;
  extreme.SetRenderOutputChannels(UINT64_MAX);
  extreme.SetAlbedoScale(DBL_MAX);
  extreme.SetPhotonDecay(DBL_MIN / 7);
  extreme.SetContrastQuality(0.1 + 0.2);
  extreme.SetInterocularDistance(1.234e-7);
  ornhost::WriteSetup(file, u"Intérieur \U0001F304 'quoted'", extreme);
  const auto restored = dir / "restored.zel";
  const std::string command =
      "sqlite3 '" + file.string() + "' .dump | sqlite3 '" + restored.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  EXPECT_EQ(SqlNumber(restored, "PRAGMA application_id"), 0);

  const auto before = ornhost::ReadSetups(file);
  const auto after = ornhost::ReadSetups(restored);
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(after[i].name, before[i].name);
    EXPECT_EQ(ornhost::SettingTexts(after[i].settings), ornhost::SettingTexts(before[i].settings));
  }
  // The first write puts the header's marks back.
  ornhost::WriteSetup(restored, u"New", OrnSettings());
  EXPECT_EQ(SqlNumber(restored, "PRAGMA application_id"), 0x4F524E31);
  EXPECT_EQ(SqlNumber(restored, "PRAGMA user_version"), 7);
  EXPECT_EQ(ornhost::ReadSetups(restored).size(), before.size() + 1);
}

TEST_F(PlainSqlTest, AFileWhoseTablesDifferFromTheLayoutIsReadButNeverWritten) {
  for (const char* sql : {"ALTER TABLE render_setups ADD COLUMN note TEXT",
                          "CREATE INDEX by_quality ON render_setups (QualityThreshold)",
                          "UPDATE design_file SET format_version = 2"}) {
    std::filesystem::remove(file);
    SetUp();
    ASSERT_EQ(Sql(file, sql), SQLITE_OK) << sql;
    const std::string bytes = FileBytes(file);
    bool readable = true;
    try {
      readable = ornhost::ReadSetups(file).size() == 2;
    } catch (const ornhost::DesignFileError&) {
      readable = false;
    }
    EXPECT_THROW(ornhost::WriteSetup(file, u"Other", OrnSettings()), ornhost::DesignFileError)
        << sql;
    EXPECT_TRUE(FileBytes(file) == bytes) << sql;
    // Marks that disagree make the file unreadable; anything else still reads.
    EXPECT_EQ(readable, std::string(sql).find("design_file") == std::string::npos) << sql;
  }
}

class OlderFormatTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    const std::string sky = ornhost::detail::FormatSettingsRecord(Sky());
    ASSERT_EQ(WriteOlderDesignFile(file, GetParam(),
                                   {{{"53006B007900", "Sky"}, sky},
                                    {{"54006F0072006E00", "Torn"}, sky.substr(0, sky.size() / 2)},
                                    {{"4400", "D"}, ornhost::detail::FormatSettingsRecord({})}}),
              SQLITE_OK);
    if (GetParam() == 3) {
      ASSERT_EQ(Sql(file,
                    "INSERT INTO setup_provenance VALUES"
                    " (1, 'lib.zellib', '/lib.zellib', x'53006B007900', 'Sky', 'then'),"
                    " (2, 'lib.zellib', '/lib.zellib', x'54006F0072006E00', 'Torn', 'then')"),
                SQLITE_OK);
    }
  }
  TempDir dir;
  std::filesystem::path file = dir / "old.zel";
  Teskor::ZelPlatform::OrnSetupManager& store = Teskor::ZelPlatform::OrnSetupManager::GetManagerR();
};

TEST_P(OlderFormatTest, OpensReadOnlyUntilUpgradedWithABackupBesideIt) {
  const std::string original = FileBytes(file);
  std::vector<std::string> reported;
  ornhost::SetErrorReporter([&](const std::string& message) { reported.push_back(message); });
  auto& master = ornhost::OpenMaster(file);
  ASSERT_NE(store.FindOrnSetupByName(u"Sky", master), nullptr);
  EXPECT_TRUE(store.FindOrnSetupByName(u"Sky", master)->GetSettingsR()->Equals(Sky()));
  EXPECT_EQ(store.Save(u"D", master), 0);
  EXPECT_THAT(reported, ::testing::Contains(HasSubstr("\"Torn\": its settings record")));
  EXPECT_THAT(reported, ::testing::Contains(HasSubstr("is open read-only: it has format version " +
                                                      std::to_string(GetParam()) +
                                                      ", which this host reads but no longer "
                                                      "writes; \"upgrade " +
                                                      file.string() + "\" converts it")));
  EXPECT_THAT(reported.back(), HasSubstr("could not save \"D\""));
  EXPECT_TRUE(FileBytes(file) == original);

  // The open master file is upgraded in place, and its setups are saved from then on.
  const auto result = ornhost::UpgradeDesignFile(file);
  EXPECT_EQ(result.fromVersion, GetParam());
  const auto backup = ornhost::ReadSetups(result.backup);
  ASSERT_EQ(backup.size(), 3u);
  EXPECT_TRUE(backup[1].name == u"Torn" && !backup[1].valid);
  EXPECT_EQ(SqlNumber(result.backup, "PRAGMA user_version"), GetParam());
  EXPECT_EQ(result.backup.filename(), "old.format" + std::to_string(GetParam()) + "-backup.zel");
  ASSERT_EQ(result.problems.size(), 1u);
  EXPECT_THAT(result.problems[0], HasSubstr("\"Torn\" is left out"));
  EXPECT_THAT(result.problems[0], HasSubstr(result.backup.string()));
  store.FindOrnSetupByName(u"D", master)->GetSettings()->SetBlurPasses(9);
  EXPECT_EQ(store.Save(u"D", master), 1);
  ornhost::CloseMaster();

  const auto stored = ornhost::ReadSetups(file);
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_TRUE(stored[0].name == u"Sky" && stored[0].settings.Equals(Sky()));
  EXPECT_TRUE(stored[1].name == u"D" && stored[1].settings.GetBlurPasses() == 9u);
  EXPECT_TRUE(ornhost::UpgradeDesignFile(file).backup.empty());
  // Where a setup came from stays with it, and goes with one left out.
  if (GetParam() == 3) {
    EXPECT_EQ(SqlNumber(file, "SELECT group_concat(position) FROM setup_provenance"), 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, OlderFormatTest, ::testing::Values(1, 2, 3));

}  // namespace
