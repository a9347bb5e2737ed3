// Names the host refuses, on the way in and in files that already hold them.
#include "host/store/SetupNames.h"

#include <gtest/gtest.h>

#include "PlainSql.h"
#include "TempDir.h"
#include "host/OrnSetupManager.h"
#include "host/controls/HostControls.h"

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

// A name in a one-line message: what a line cannot show becomes U+FFFD, everything else stays.
TEST(SetupNames, PrintableNamesKeepWhatALineCanShow) {
  struct Case {
    std::u16string name;
    std::string shown;
  };
  const Case cases[] = {
      {u"Night sky", "Night sky"},
      {u"\x1F \x7F\x9F\xA0!", "\uFFFD \uFFFD\uFFFD\u00A0!"},
      {u"tab\there", "tab\uFFFDhere"},
      {u"\U0001F600 \xD800 \xDC00", "\U0001F600 \uFFFD \uFFFD"},
      {std::u16string(40, u'x'), std::string(40, 'x')},
      // 40 x and an ellipsis, written out: g++ 12 at -O2 takes an append here for an overflow.
      {std::u16string(41, u'x'), "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\u2026"},
  };
  for (const Case& c : cases) EXPECT_EQ(ornhost::PrintableSetupName(c.name), c.shown) << c.shown;
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

// Names written by another program in plain SQL: the table's own check counts code points, the
// host counts UTF-16 code units and reads the text's bytes exactly.
TEST_F(SetupNamesStoreTest, StoredRecordsWithNamesTheHostRefusesAreDamagedAndKept) {
  for (const char16_t* name : {u"Sky", u"Night", u"Dawn", u"Long"}) {
    ornhost::WriteSetup(master, name, OrnSettings());
  }
  std::string error;
  EXPECT_EQ(Sql(master,
                "UPDATE render_setups SET name = CAST(x'53EB79' AS TEXT) WHERE name = 'Sky';"
                "UPDATE render_setups SET name = 'Ni' || char(10) || 'ght' WHERE name = 'Night';"
                "UPDATE render_setups SET name = '" +
                    std::string(253, 'x') + "' || char(128512) WHERE name = 'Long';",
                &error),
            SQLITE_OK)
      << error;
  // What the table's own checks refuse never reaches the file.
  EXPECT_NE(Sql(master, "UPDATE render_setups SET name = '' WHERE name = 'Dawn'"), SQLITE_OK);

  ::testing::internal::CaptureStderr();
  auto& file = ornhost::OpenMaster(master);
  const std::string reported = ::testing::internal::GetCapturedStderr();
  std::vector<const OrnSetup*> setups;
  store.GetSetupsForFile(setups, file);
  std::vector<bool> valid;
  for (const OrnSetup* setup : setups) valid.push_back(setup->valid);
  EXPECT_EQ(valid, (std::vector<bool>{false, false, true, false}));
  for (const char* reason : {"its name is not valid UTF-8", "the control character U+000A",
                             "longer than 254 UTF-16 code units (255)"}) {
    EXPECT_NE(reported.find(reason), std::string::npos) << reason << " in " << reported;
  }

  // Saves go to the record that reads; the others stay as they were.
  store.FindOrnSetupByName(u"Dawn", file)->GetSettings()->SetBlurPasses(3);
  EXPECT_EQ(store.Save(u"Dawn", file), 1);
  EXPECT_EQ(store.Save(u"Ni\nght", file), 0);
  ornhost::CloseMaster();
  const auto stored = ornhost::ReadSetups(master);
  ASSERT_EQ(stored.size(), 4u);
  EXPECT_EQ(stored[2].settings.GetBlurPasses(), 3u);
}

}  // namespace
