// Names the host refuses, on the way in and in files that already hold them.
#include "platform/SetupNames.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include "TempDir.h"
#include "host/OrnSetupManager.h"
#include "platform/HostControls.h"

using Teskor::ZelPlatform::OrnSettings;
using Teskor::ZelPlatform::OrnSetup;

namespace {

const std::u16string kRefused[] = {
    u"",
    std::u16string(255, u'x'),
    std::u16string(u"nul\0inside", 10),
    u"ctl \x01",
    u"line\nbreak",
    u"return\r",
    u"del \x7F",
    u"c1 \x85",
    u"non \xFFFE",
    u"non \xFFFF",
    u"lone \xD800 high",
    u"lone \xDC00 low",
    u"high at end \xD83D",
};
const std::u16string kTaken[] = {std::u16string(254, u'x'),
                                 std::u16string(252, u'y') + u"\U0001F600",
                                 u"tab\there",
                                 u"\uFFFD",
                                 u"\uE000 private",
                                 u" "};

TEST(SetupNames, RefusesWhatNoPanelCouldShowAndTakesTheRest) {
  for (const auto& name : kRefused) {
    const auto refusal = ornhost::RefusalOfSetupName(name);
    ASSERT_TRUE(refusal.has_value()) << ornhost::PrintableSetupName(name);
    EXPECT_EQ(refusal->find('\n'), std::string::npos) << *refusal;
  }
  for (const auto& name : kTaken) {
    EXPECT_EQ(ornhost::RefusalOfSetupName(name), std::nullopt) << ornhost::PrintableSetupName(name);
  }
  EXPECT_EQ(*ornhost::RefusalOfSetupName(std::u16string(300, u'z')),
            "refused the setup name \"" + std::string(40, 'z') +
                "\u2026\": longer than 254 UTF-16 code units (300)");
}

class SetupNamesStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ornhost::ResetAll(); }
  void TearDown() override { ornhost::ResetAll(); }
  TempDir dir;
  std::filesystem::path master = dir / "master.zel";
  Teskor::ZelPlatform::OrnSetupManager& store = Teskor::ZelPlatform::OrnSetupManager::GetManagerR();
};

TEST_F(SetupNamesStoreTest, NoWayIntoTheStoreTakesARefusedName) {
  ornhost::WriteSetup(master, u"Sky", OrnSettings());
  auto& file = ornhost::OpenMaster(master);
  for (const auto& name : kRefused) {
    const std::string shown = ornhost::PrintableSetupName(name);
    EXPECT_THROW(ornhost::WriteSetup(master, name, OrnSettings()), ornhost::SetupNameError)
        << shown;
    // The store's calls take zero-terminated names: a NUL cannot reach them.
    if (name.find(u'\0') != std::u16string::npos) continue;
    OrnSetup temporary(file, name.c_str());
    store.AddSetup(temporary, file);
    EXPECT_EQ(store.FindOrnSetupByName(name.c_str(), file), nullptr) << shown;
    EXPECT_EQ(store.Rename(u"Sky", name.c_str(), file), 0) << shown;
  }
  ASSERT_NE(store.FindOrnSetupByName(u"Sky", file), nullptr);
  ornhost::CloseMaster();
  ASSERT_EQ(ornhost::ReadSetups(master).size(), 1u);
}

// Records written by another program: a refused name, or a name that an earlier record has.
TEST_F(SetupNamesStoreTest, StoredRecordsWithRefusedOrRepeatedNamesAreDamagedAndKept) {
  for (const char16_t* name : {u"Sky", u"Night", u"Dawn"}) {
    ornhost::WriteSetup(master, name, OrnSettings());
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(master.c_str(), &db), SQLITE_OK);
  // Names that decode to one already there: as UTF-8 text before Sky, with an odd byte after
  // Dawn; and Night with an unpaired surrogate.
  const char* sql =
      "INSERT INTO render_setups (position, name, name_utf8, settings) SELECT 0, name_utf8, "
      "name_utf8, settings"
      " FROM render_setups WHERE name_utf8 = 'Sky';"
      "INSERT INTO render_setups (position, name, name_utf8, settings) SELECT 10, "
      "x'4400610077006E0000', name_utf8, settings"
      " FROM render_setups WHERE name_utf8 = 'Dawn';"
      "UPDATE render_setups SET name = x'4E0000D8' WHERE name_utf8 = 'Night';";
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);

  ::testing::internal::CaptureStderr();
  auto& file = ornhost::OpenMaster(master);
  const std::string reported = ::testing::internal::GetCapturedStderr();
  std::vector<const OrnSetup*> setups;
  store.GetSetupsForFile(setups, file);
  std::vector<bool> valid;
  for (const OrnSetup* setup : setups) valid.push_back(setup->valid);
  // Sky as text, Sky, Night, Dawn, Dawn with the odd byte: only the first Dawn can be read.
  EXPECT_EQ(valid, (std::vector<bool>{false, false, false, true, false}));
  EXPECT_NE(reported.find("a second record named \"Sky\""), std::string::npos) << reported;
  EXPECT_NE(reported.find("a second record named \"Dawn\""), std::string::npos) << reported;
  EXPECT_NE(reported.find("unpaired surrogate U+D800"), std::string::npos) << reported;

  // Saves go to the record that was loaded; the others stay as they were.
  store.FindOrnSetupByName(u"Dawn", file)->GetSettings()->SetBlurPasses(3);
  EXPECT_EQ(store.Save(u"Dawn", file), 1);
  EXPECT_EQ(store.Save(u"Sky", file), 0);
  ornhost::CloseMaster();
  const auto stored = ornhost::ReadSetups(master);
  ASSERT_EQ(stored.size(), 5u);
  EXPECT_EQ(stored[3].settings.GetBlurPasses(), 3u);
}

}  // namespace
