// The governed-values comparison over real design files: a library setup that governs and locks
// some values, a drawing's setup taken from it, and what merges and writes make of the locks.
#include "host/provenance/Standards.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "PlainSql.h"
#include "TempDir.h"
#include "host/controls/HostControls.h"
#include "host/controls/ValueWhy.h"
#include "host/provenance/StoredSetups.h"

namespace {

using ornhost::DriftState;
using Teskor::ZelPlatform::OrnSettings;
using ::testing::HasSubstr;

OrnSettings With(const std::map<std::string, std::string>& values) {
  OrnSettings settings;
  for (const auto& [key, text] : values)
    EXPECT_TRUE(ornhost::SetSettingFromText(settings, key, text));
  return settings;
}

std::string TextOf(const OrnSettings& settings, const std::string& property) {
  for (const auto& [key, text] : ornhost::SettingTexts(settings)) {
    if (key == property) return text;
  }
  return "?";
}

TEST(ScopeWords, SectionsAndPropertiesComeBackInTheFewestWords) {
  struct Case {
    std::vector<std::string> words;
    std::vector<std::string> fewest;
  };
  const std::vector<Case> cases = {
      {{"BlurPasses", "Lighting"}, {"Lighting", "BlurPasses"}},
      // Every property of a section is the section.
      {{"LightingModel", "IgnoreDefaultLighting", "AmbientOcclusionRange", "AlbedoScale",
        "IndirectSamples", "AdaptiveSampling", "RenderClouds"},
       {"Lighting"}},
      {{"Lighting", "AlbedoScale"}, {"Lighting"}},
      {{"ReflectDepth"}, {"ReflectDepth"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ornhost::WordsOfScope(ornhost::ScopeOfWords(c.words)), c.fewest);
  }
  ornhost::PropertySet every;
  for (const auto& section : ornhost::SettingsSections()) {
    every |= ornhost::ScopeOfWords({section.identifier});
  }
  EXPECT_TRUE(every.all()) << "a property in no section";
  EXPECT_EQ(ornhost::WordsOfScope(every), std::vector<std::string>{"all"});
  EXPECT_THROW(ornhost::ScopeOfWords({"Lighting", "lighting"}), ornhost::StandardsError);
  EXPECT_THROW(ornhost::ScopeOfWords({}), ornhost::StandardsError);
}

class GovernedValuesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The office's Night governs the lighting and BlurPasses, and locks BlurPasses at 6.
    const auto library = dir / "office.zellib";
    ornhost::WriteSetup(library, u"Night", With({{"BlurPasses", "6"}, {"AlbedoScale", "0.5"}}));
    ornhost::OpenMaster(library);
    scope = ornhost::ScopeOfWords({"Lighting", "BlurPasses"});
    ornhost::SetScope(u"Night", scope);
    ornhost::Lock(u"Night", {"BlurPasses"}, "house look");
    ornhost::CloseMaster();
    // Taken when AlbedoScale was 0.25 in the library; tuned here since.
    const auto master = dir / "p.zel";
    ornhost::WriteSetup(
        master, u"Night",
        With({{"BlurPasses", "12"}, {"AlbedoScale", "0.25"}, {"ReflectDepth", "3"}}));
    ornhost::StoreProvenance(
        master, u"Night",
        ornhost::Provenance{u"office.zellib", library.string(), u"Night", "2026-01-02T03:04:05Z",
                            With({{"BlurPasses", "6"}, {"AlbedoScale", "0.25"}}), scope});
    ornhost::OpenMaster(master);
  }
  void TearDown() override { ornhost::CloseMaster(); }

  TempDir dir;
  ornhost::PropertySet scope;
};

TEST_F(GovernedValuesTest, OnlyGovernedValuesDriftAndTheLockIsBreachedHere) {
  const auto governed = ornhost::GovernedOf(u"Night");
  ASSERT_TRUE(governed);
  ASSERT_EQ(governed->layers.size(), 1u);
  EXPECT_EQ(governed->GovernedCount(), scope.count());
  const struct {
    const char* property;
    bool governedHere;
    DriftState state;
  } cases[] = {
      {"BlurPasses", true, DriftState::ChangedHere},
      {"AlbedoScale", true, DriftState::ChangedInLibrary},
      // Not governed: the drawing's own, whatever it holds.
      {"ReflectDepth", false, DriftState::Unchanged},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.property);
    const ornhost::GovernedValue* value = governed->Find(c.property);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->layer.has_value(), c.governedHere);
    EXPECT_EQ(value->state, c.state);
  }
  EXPECT_TRUE(governed->Find("BlurPasses")->Breached());
  EXPECT_FALSE(governed->Find("AlbedoScale")->Locked());
  EXPECT_EQ(governed->Summary(), "library has 1 newer value, 1 local change");
}

TEST_F(GovernedValuesTest, AMergePutsTheLockedValueBackUnlessItIsOverridden) {
  const OrnSettings here =
      With({{"BlurPasses", "12"}, {"AlbedoScale", "0.25"}, {"ReflectDepth", "3"}});
  auto merged =
      ornhost::MergeGoverned(here, *ornhost::GovernedOf(u"Night"), ornhost::MergeTake::Local);
  EXPECT_TRUE(merged.undecided.empty());
  EXPECT_EQ(TextOf(merged.values, "BlurPasses"), "6");
  EXPECT_EQ(TextOf(merged.values, "AlbedoScale"), "0.5");
  EXPECT_EQ(TextOf(merged.values, "ReflectDepth"), "3");

  ornhost::SetPendingOverride(u"Night", "BlurPasses", "client asked");
  const auto overridden = ornhost::GovernedOf(u"Night");
  EXPECT_FALSE(overridden->Find("BlurPasses")->Breached());
  merged = ornhost::MergeGoverned(here, *overridden, ornhost::MergeTake::Library);
  EXPECT_EQ(TextOf(merged.values, "BlurPasses"), "12");
  EXPECT_THROW(ornhost::SetPendingOverride(u"Night", "AlbedoScale", "x"), ornhost::StandardsError);
}

TEST_F(GovernedValuesTest, AWriteBreachesALockOnlyWhereItChangesTheValueAwayFromBothSides) {
  const auto governed = ornhost::GovernedOf(u"Night");
  const OrnSettings now = With({{"BlurPasses", "12"}});
  struct Case {
    const char* blurPasses;
    const OrnSettings* before;
    bool overridden;
    bool breach;
  };
  const Case cases[] = {
      {"6", &now, false, false},    // the library's value
      {"12", &now, false, false},   // left as it was
      {"9", &now, false, true},     // away from both
      {"9", nullptr, false, true},  // a setup that comes new
      {"9", &now, true, false},     // overridden
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.blurPasses);
    std::map<std::string, ornhost::OverrideRecord> overrides;
    if (c.overridden) overrides["BlurPasses"] = {"client asked", "", ""};
    const auto breaches =
        ornhost::LockBreaches(*governed, With({{"BlurPasses", c.blurPasses}}), c.before, overrides);
    if (!c.breach) {
      EXPECT_TRUE(breaches.empty());
      continue;
    }
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_EQ(breaches[0].property, "BlurPasses");
    EXPECT_THAT(breaches[0].message,
                HasSubstr("locked by \"Night\" in office.zellib: house look (9 here, 6 in the "
                          "library)"));
  }
}

TEST_F(GovernedValuesTest, LocksListTheLockWithItsLayerAndOverride) {
  ornhost::SetPendingOverride(u"Night", "BlurPasses", "client asked");
  const auto locks = ornhost::LocksOf();
  ASSERT_EQ(locks.size(), 1u);
  EXPECT_EQ(ornhost::LockedText(locks[0]),
            "BlurPasses of \"Night\" is locked by \"Night\" in office.zellib: house look");
  ASSERT_TRUE(locks[0].override);
  EXPECT_EQ(locks[0].override->reason, "client asked");
  EXPECT_TRUE(locks[0].override->madeBy.empty()) << "pending until saved";
  EXPECT_THAT(ornhost::LocksOf(u"Night"), ::testing::SizeIs(1));
  EXPECT_THROW(ornhost::LocksOf(u"Nowhere"), ornhost::StandardsError);
}

// The scope is read from the library at every check: what it starts governing drifts on the
// library's side, what it stops governing stops drifting at once.
TEST_F(GovernedValuesTest, AScopeThatGrowsOrShrinksChangesWhatDriftsAtTheNextCheck) {
  const auto stateOf = [](const char* property) -> std::optional<DriftState> {
    const auto governed = ornhost::GovernedOf(u"Night");
    const ornhost::GovernedValue* value = governed->Find(property);
    if (!value->layer) return std::nullopt;
    return value->state;
  };
  EXPECT_EQ(stateOf("ReflectDepth"), std::nullopt);
  const auto rescope = [&](const std::vector<std::string>& words) {
    ornhost::CloseMaster();
    ornhost::OpenMaster(dir / "office.zellib");
    ornhost::SetScope(u"Night", ornhost::ScopeOfWords(words));
    ornhost::CloseMaster();
    ornhost::OpenMaster(dir / "p.zel");
  };
  rescope({"Lighting", "BlurPasses", "ReflectDepth"});
  // Here 3, the library 8: not in the base taken, so the library's side moved.
  EXPECT_EQ(stateOf("ReflectDepth"), DriftState::ChangedInLibrary);
  EXPECT_TRUE(ornhost::GovernedOf(u"Night")->Find("ReflectDepth")->newlyGoverned);
  rescope({"Lighting"});
  EXPECT_EQ(stateOf("ReflectDepth"), std::nullopt);
  EXPECT_EQ(stateOf("BlurPasses"), std::nullopt);
  // The lock went with the value the scope gave up.
  EXPECT_TRUE(ornhost::LocksOf().empty());
}

// Everything a setup holds beside its values comes back from a setups document as it went in.
TEST_F(GovernedValuesTest, ExportAndImportCarryEveryStandardExactly) {
  ornhost::SetNote(u"Night", "", "lobby renders");
  ornhost::SetNote(u"Night", "BlurPasses", "agreed with the client");
  ornhost::SetNote(u"Night", "ReflectDepth", "for the glass");
  ornhost::SetNote(u"Night", "ReflectDepth", "");
  const auto before = ornhost::ReadStoredFile(dir / "p.zel").setups.at(0);
  ornhost::CloseMaster();
  ornhost::ExportSetups(dir / "p.zel", {u"Night"}, dir / "night.json");
  ornhost::ImportSetups(dir / "copy.zel", dir / "night.json", false);
  const auto after = ornhost::ReadStoredFile(dir / "copy.zel").setups.at(0);
  EXPECT_EQ(after.standards, before.standards);
  EXPECT_EQ(after.standards.description, "lobby renders");
  EXPECT_EQ(after.standards.notes,
            (std::map<std::string, std::string>{{"BlurPasses", "agreed with the client"}}));
  ASSERT_TRUE(after.origin);
  EXPECT_EQ(after.origin->governed, scope);
  EXPECT_EQ(ornhost::SettingTexts(after.origin->base), ornhost::SettingTexts(before.origin->base));
  ornhost::OpenMaster(dir / "p.zel");
}

// The tables hold only what the host could have written: a plain SQL edit is checked as well.
TEST_F(GovernedValuesTest, TheTablesRefuseWhatNoSetupCouldHold) {
  ornhost::CloseMaster();
  const auto master = dir / "p.zel";
  const std::string position =
      std::to_string(SqlNumber(master, "SELECT position FROM render_setups"));
  const std::string rows[] = {
      "INSERT INTO setup_locks VALUES (" + position + ", 'Sky', 'why')",
      "INSERT INTO setup_locks VALUES (" + position + ", 'BlurPasses', '')",
      "INSERT INTO setup_notes VALUES (" + position + ", 'BlurPasses', '')",
      "INSERT INTO setup_scopes VALUES (" + position + ", 'NoSuchValue')",
  };
  for (const std::string& row : rows) {
    EXPECT_NE(Sql(master, row), SQLITE_OK) << row;
  }
  EXPECT_EQ(Sql(master, "INSERT INTO setup_notes VALUES (" + position + ", 'BlurPasses', 'ok')"),
            SQLITE_OK);
  ornhost::OpenMaster(master);
  EXPECT_EQ(ornhost::StandardsOf(u"Night").notes.at("BlurPasses"), "ok");
}

// Why: each layer of the answer from where it is kept.
TEST_F(GovernedValuesTest, WhyNamesTheValueItsLayerLockLastChangeAndNotes) {
  ornhost::CloseMaster();
  ornhost::WriteSetup(dir / "p.zel", u"Night",
                      With({{"BlurPasses", "14"}, {"AlbedoScale", "0.25"}, {"ReflectDepth", "3"}}),
                      "tuning");
  ornhost::OpenMaster(dir / "p.zel");
  ornhost::SetNote(u"Night", "BlurPasses", "for print");
  const ornhost::ValueWhy why = ornhost::WhyOf(u"Night", "BlurPasses");
  EXPECT_EQ(why.now, "14");
  EXPECT_EQ(why.saved, std::optional<std::string>("14"));
  EXPECT_EQ(why.defaultValue, TextOf(OrnSettings(), "BlurPasses"));
  ASSERT_TRUE(why.layer);
  EXPECT_EQ(why.layer->Label(), "\"Night\" in office.zellib");
  EXPECT_EQ(why.governed.lockReason, std::optional<std::string>("house look"));
  EXPECT_FALSE(why.libraryChanged);
  ASSERT_TRUE(why.lastChange);
  EXPECT_EQ(why.lastChange->action, "tuning");
  EXPECT_EQ(why.lastChange->before, "12");
  EXPECT_EQ(why.lastChange->after, "14");
  EXPECT_EQ(why.note, "for print");

  const ornhost::ValueWhy albedo = ornhost::WhyOf(u"Night", "AlbedoScale");
  EXPECT_TRUE(albedo.libraryChanged);
  EXPECT_FALSE(albedo.governed.lockReason);
  EXPECT_FALSE(albedo.lastChange) << "no version changed it";
  EXPECT_FALSE(ornhost::WhyOf(u"Night", "ReflectDepth").layer);
  EXPECT_THROW(ornhost::WhyOf(u"Night", "Sky"), ornhost::StandardsError);
  EXPECT_THROW(ornhost::WhyOf(u"Day", "BlurPasses"), ornhost::StandardsError);
}

}  // namespace
