// Office standards in the audit: a library setup that governs two values and locks them. What it
// does not govern never drifts; a locked value changed here is a violation, an overridden one is
// listed with its reason; --fix locks and --fix merge put locked values back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "../host/PlainSql.h"
#include "AuditProject.h"
#include "host/controls/HostControls.h"
#include "host/provenance/LibraryShelf.h"
#include "host/provenance/Standards.h"
#include "host/provenance/StoredSetups.h"
#include "host/store/StandardsTable.h"

namespace {

using Teskor::ZelPlatform::OrnSettings;
using ::testing::Contains;
using ::testing::HasSubstr;

// The library setup now: it governs BlurPasses and ShadowQuality and locks both; since the
// drawings took it, it changed QualityThreshold, which it does not govern.
const OrnSettings kOfficeNow = Values({{"BlurPasses", "8"},
                                       {"ShadowQuality", "3"},
                                       {"AlbedoScale", "0.5"},
                                       {"QualityThreshold", "0.75"}});
const OrnSettings kOfficeTaken = Values({{"BlurPasses", "8"},
                                         {"ShadowQuality", "3"},
                                         {"AlbedoScale", "0.5"},
                                         {"QualityThreshold", "0.5"}});

ornhost::PropertySet OfficeScope() {
  return *ornhost::PropertySetOf({"BlurPasses", "ShadowQuality"});
}

// Writes the standards and overlays of one stored setup, as the workbench's commands keep them.
void PutStandards(const std::filesystem::path& file, const std::u16string& setup,
                  const ornhost::SetupStandards& standards,
                  const std::vector<ornhost::Provenance>& overlays = {}) {
  ornhost::detail::DesignFile db(file, ornhost::detail::DesignFile::Access::WriteExisting);
  ornhost::detail::StandardsTable::Change(
      db, setup,
      [&](ornhost::detail::StandardsOfSetup& stored) {
        stored.standards = standards;
        stored.overlays = overlays;
        return std::vector<ornhost::detail::VersionMark>{{"lock", "", "", "test"}};
      },
      "lock");
}

OrnSettings With(OrnSettings values, const std::string& property, const std::string& text) {
  EXPECT_TRUE(ornhost::SetSettingFromText(values, property, text));
  return values;
}

std::string ValueOf(const OrnSettings& values, const std::string& property) {
  for (const auto& [key, text] : ornhost::SettingTexts(values)) {
    if (key == property) return text;
  }
  return "?";
}

class AuditLocksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = project_.Library("office/standards.zellib", {{u"Office", kOfficeNow}});
    ornhost::SetupStandards office;
    office.scope = OfficeScope();
    office.locks = {{"BlurPasses", "office look"}, {"ShadowQuality", "render farm budget"}};
    PutStandards(library_, u"Office", office);

    const Taken taken{library_, u"Office", kOfficeTaken};
    drawing_ = project_.Drawing(
        "a/tower.zel",
        {{u"Own", With(With(kOfficeTaken, "AlbedoScale", "0.9"), "Outputs", "7"), taken},
         {u"Breach", With(kOfficeTaken, "BlurPasses", "12"), taken},
         {u"Overridden", With(kOfficeTaken, "BlurPasses", "12"), taken},
         {u"Old base", With(kOfficeTaken, "BlurPasses", "6"),
          Taken{library_, u"Office", With(kOfficeTaken, "BlurPasses", "6")}},
         {u"Overlay", With(kOfficeTaken, "ShadowQuality", "1"), std::nullopt}});
    // Every taken setup governs what the library setup governed then.
    for (const auto& [name, origin] : ornhost::ProvenanceInFile(drawing_)) {
      ornhost::Provenance scoped = origin;
      scoped.governed = OfficeScope();
      ornhost::StoreProvenance(drawing_, name, scoped);
    }
    ornhost::SetupStandards overridden;
    overridden.overrides = {
        {"BlurPasses", {"the client asked for sharper blur", "ada", "2026-03-01T10:00:00Z"}}};
    PutStandards(drawing_, u"Overridden", overridden);
    ornhost::Provenance overlay;
    overlay.libraryFile = u"standards.zellib";
    overlay.libraryPath = std::filesystem::absolute(library_).string();
    overlay.librarySetup = u"Office";
    overlay.takenAt = "2026-02-01T08:00:00Z";
    overlay.base = kOfficeTaken;
    overlay.governed = OfficeScope();
    PutStandards(drawing_, u"Overlay", {}, {overlay});
  }

  // The project made anew, for a case after one that wrote to it.
  void Remake() {
    std::filesystem::remove_all(project_ / "a");
    std::filesystem::remove_all(project_ / "office");
    SetUp();
  }

  std::map<std::u16string, ornhost::StoredSetupRecord> Stored() const {
    std::map<std::u16string, ornhost::StoredSetupRecord> setups;
    for (auto& setup : ornhost::ReadStoredFile(drawing_).setups) setups[setup.name] = setup;
    return setups;
  }

  AuditProject project_;
  std::filesystem::path library_;
  std::filesystem::path drawing_;
};

TEST_F(AuditLocksTest, OnlyGovernedValuesDriftAndLockedValuesChangedOrOverriddenAreListed) {
  const ProcessResult result = project_.Audit({"--json", "r.json", "--csv", "r.csv", "a"});
  ASSERT_EQ(result.exitCode, 1) << result.out;
  const auto report = project_.Json("r.json");
  const auto setups = SetupsOf(report, "a/tower.zel");
  struct Row {
    std::string setup;
    std::string state;
    // The locked value listed, empty for none; whether it counts as changed; its override.
    std::string lock;
    bool changed;
    std::string override;
  };
  const std::vector<Row> rows = {
      {"Own", "in-step", "", false, ""},
      {"Breach", "changed-here", "BlurPasses", true, ""},
      {"Overridden", "changed-here", "BlurPasses", false, "the client asked for sharper blur"},
      {"Old base", "library-newer", "", false, ""},
      {"Overlay", "changed-here", "ShadowQuality", true, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.setup);
    const auto& setup = setups.at(row.setup);
    EXPECT_EQ(setup["state"], row.state);
    EXPECT_EQ(setup["lockedValues"], 2);
    // Values the library setup does not govern are the drawing's own, whatever moved.
    for (const auto& property : setup.value("properties", nlohmann::json::array())) {
      EXPECT_THAT(property["property"].get<std::string>(),
                  ::testing::AnyOf("BlurPasses", "ShadowQuality"));
    }
    if (row.lock.empty()) {
      EXPECT_FALSE(setup.contains("locks"));
      continue;
    }
    ASSERT_EQ(setup["locks"].size(), 1u);
    const auto& lock = setup["locks"][0];
    EXPECT_EQ(lock["property"], row.lock);
    EXPECT_EQ(lock["changed"], row.changed);
    EXPECT_EQ(lock["librarySetup"], "Office");
    EXPECT_EQ(lock.contains("override"), !row.override.empty());
    if (!row.override.empty()) {
      EXPECT_EQ(lock["override"]["reason"], row.override);
      EXPECT_EQ(lock["override"]["madeBy"], "ada");
    }
  }
  EXPECT_EQ(report["totals"]["locks"],
            nlohmann::json({{"lockedValues", 10}, {"changed", 2}, {"overridden", 1}}));
  EXPECT_THAT(Lines(result.out), Contains("locks:  10 locked values, 2 changed, 1 overridden"));
  EXPECT_THAT(result.out, HasSubstr("BlurPasses 12 here, 8 in \"Office\" of \"standards.zellib\": "
                                    "locked value changed (office look)"));
  const std::string csv = project_.Read("r.csv");
  EXPECT_THAT(csv, HasSubstr("a/tower.zel,read,Breach,changed-here,BlurPasses,locked value "
                             "changed,12,,8,standards.zellib,Office,locked: office look\r\n"));
  EXPECT_THAT(csv, HasSubstr(",Overridden,changed-here,BlurPasses,overridden,12,,8,standards."
                             "zellib,Office,overridden: the client asked for sharper blur; "
                             "locked: office look\r\n"));
}

// The audit asks for the texts of drifted and locked values only: they must be those of the full
// comparison, and nothing else of it may change.
TEST_F(AuditLocksTest, TheAuditsComparisonCarriesTheTextsOfDriftedAndLockedValues) {
  ornhost::LibraryShelf shelf;
  std::size_t withTexts = 0;
  for (const auto& [name, setup] : Stored()) {
    SCOPED_TRACE(ornr::Utf16ToUtf8(name));
    const auto full = ornhost::GovernedOfStored(setup, shelf);
    const auto cheap = ornhost::GovernedOfStored(setup, shelf, true);
    ASSERT_EQ(full.has_value(), cheap.has_value());
    if (!full) continue;
    EXPECT_EQ(full->counts, cheap->counts);
    ASSERT_EQ(full->values.size(), cheap->values.size());
    for (std::size_t i = 0; i < full->values.size(); ++i) {
      const ornhost::GovernedValue& all = full->values[i];
      const ornhost::GovernedValue& some = cheap->values[i];
      SCOPED_TRACE(all.property);
      EXPECT_EQ(all.property, some.property);
      EXPECT_EQ(all.layer, some.layer);
      EXPECT_EQ(all.state, some.state);
      EXPECT_EQ(all.lockReason, some.lockReason);
      EXPECT_EQ(all.Breached(), some.Breached());
      const bool wanted =
          all.layer && (all.state != ornhost::DriftState::Unchanged || all.Locked());
      if (wanted) {
        ++withTexts;
        EXPECT_EQ(all.here, some.here);
        EXPECT_EQ(all.base, some.base);
        EXPECT_EQ(all.library, some.library);
      } else {
        EXPECT_EQ(some.here + some.base + some.library, "");
      }
    }
  }
  // Breach, Overridden, Old base and Overlay each have a locked value at least.
  EXPECT_GE(withTexts, 4u);
}

TEST_F(AuditLocksTest, StrictCountsOverridesAsViolations) {
  for (const bool strict : {false, true}) {
    SCOPED_TRACE(strict);
    std::vector<std::string> args = {"--json", "r.json", "--html", "r.html", "a"};
    if (strict) args.insert(args.begin(), "--strict");
    const ProcessResult result = project_.Audit(args);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(project_.Json("r.json")["run"].contains("strict"), strict);
    EXPECT_EQ(result.out.find("(violations with --strict)") != std::string::npos, strict);
    const std::string html = project_.Read("r.html");
    EXPECT_THAT(html, HasSubstr("2 locked values were changed."));
    EXPECT_THAT(html, HasSubstr("<strong>overridden</strong> by ada on 2026-03-01 10:00 UTC: "
                                "the client asked for sharper blur"));
  }
}

TEST_F(AuditLocksTest, FixLocksPutsLockedValuesBackAndLeavesTheRestAsItWas) {
  struct Case {
    std::vector<std::string> args;
    // BlurPasses of "Overridden" after, and whether it keeps its override.
    std::string overridden;
    bool keepsOverride;
    std::string summary;
  };
  const std::vector<Case> cases = {
      {{"--fix", "locks"}, "12", true, "fix: would change 2 setups in 1 design file"},
      {{"--fix", "locks", "--apply"}, "12", true, "fix: changed 2 setups in 1 design file"},
      {{"--fix", "locks", "--include-overrides", "--apply"},
       "8",
       false,
       "fix: changed 3 setups in 1 design file"},
  };
  for (const Case& fix : cases) {
    SCOPED_TRACE(fix.args.size());
    Remake();
    const auto before = Stored();
    std::vector<std::string> args = fix.args;
    args.insert(args.end(), {"--json", "r.json", "a"});
    const ProcessResult result = project_.Audit(args);
    ASSERT_EQ(result.exitCode, 1) << result.out;
    EXPECT_THAT(result.out, HasSubstr(fix.summary));
    const bool applied = fix.args.back() == "--apply";
    auto after = Stored();
    if (!applied) {
      for (auto& [name, setup] : after) {
        EXPECT_TRUE(setup.settings->Equals(*before.at(name).settings));
      }
      continue;
    }
    EXPECT_EQ(ValueOf(*after.at(u"Breach").settings, "BlurPasses"), "8");
    EXPECT_EQ(ValueOf(*after.at(u"Overlay").settings, "ShadowQuality"), "3");
    EXPECT_EQ(ValueOf(*after.at(u"Overridden").settings, "BlurPasses"), fix.overridden);
    EXPECT_EQ(after.at(u"Overridden").standards.overrides.contains("BlurPasses"),
              fix.keepsOverride);
    // Not a lock breach, and not a merge: the library's newer value waits for --fix merge.
    EXPECT_EQ(ValueOf(*after.at(u"Old base").settings, "BlurPasses"), "6");
    EXPECT_TRUE(after.at(u"Own").settings->Equals(*before.at(u"Own").settings));
    // The merge base and the time it was taken stay.
    EXPECT_EQ(after.at(u"Breach").origin->takenAt, before.at(u"Breach").origin->takenAt);
    EXPECT_TRUE(after.at(u"Breach").origin->base.Equals(before.at(u"Breach").origin->base));
    EXPECT_EQ(
        SqlRows(drawing_, "SELECT DISTINCT action FROM setup_versions WHERE action LIKE 'audit%'"),
        "audit lock fix;");
    const auto again = project_.Json("r.json");
    EXPECT_EQ(again["totals"]["fix"]["locksRestored"], fix.keepsOverride ? 2 : 3);
    const ProcessResult check = project_.Audit({"--json", "c.json", "a"});
    EXPECT_EQ(project_.Json("c.json")["totals"]["locks"]["changed"], 0);
  }
}

TEST_F(AuditLocksTest, MergePutsBackLockedValuesTakesOnlyGovernedOnesAndLocksComeLast) {
  for (const char* mode : {"merge", "merge,locks"}) {
    SCOPED_TRACE(mode);
    Remake();
    const bool locks = std::string(mode) != "merge";
    std::vector<std::string> args = {"--fix", mode, "--take", "local", "--apply", "a"};
    if (locks) args.insert(args.begin(), "--include-overrides");
    const ProcessResult result = project_.Audit(args);
    ASSERT_EQ(result.exitCode, 1) << result.out;
    auto after = Stored();
    // A local change to a locked value is never kept, whatever --take says.
    EXPECT_EQ(ValueOf(*after.at(u"Breach").settings, "BlurPasses"), "8");
    EXPECT_EQ(ValueOf(*after.at(u"Overlay").settings, "ShadowQuality"), "3");
    EXPECT_EQ(ValueOf(*after.at(u"Old base").settings, "BlurPasses"), "8");
    // The library's QualityThreshold is not governed: the drawing's own stays.
    for (const auto& [name, setup] : after) {
      SCOPED_TRACE(ornr::Utf16ToUtf8(name));
      EXPECT_EQ(ValueOf(*setup.settings, "QualityThreshold"), "0.5");
    }
    EXPECT_EQ(ValueOf(*after.at(u"Own").settings, "AlbedoScale"), "0.9");
    EXPECT_EQ(ValueOf(*after.at(u"Overridden").settings, "BlurPasses"), locks ? "8" : "12");
    EXPECT_EQ(after.at(u"Overridden").standards.overrides.empty(), locks);
    // New bases: the library's values now, with what it governs now.
    const auto& origin = *after.at(u"Old base").origin;
    EXPECT_EQ(ValueOf(origin.base, "BlurPasses"), "8");
    EXPECT_EQ(origin.governed, OfficeScope());
    ASSERT_EQ(after.at(u"Overlay").overlays.size(), 1u);
    EXPECT_NE(after.at(u"Overlay").overlays[0].takenAt, "2026-02-01T08:00:00Z");
    // Nothing is left to fix.
    const ProcessResult again = project_.Audit({"--json", "r.json", "a"});
    const auto report = project_.Json("r.json");
    EXPECT_EQ(report["totals"]["locks"]["changed"], 0);
    EXPECT_EQ(report["totals"]["states"]["library-newer"], 0);
  }
}

TEST_F(AuditLocksTest, FixOptionsThatDoNotGoTogetherAreRefused) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--fix", "locks,locks", "a"},
       "--fix takes merge, locks or merge,locks, not \"locks,locks\""},
      {{"--fix", "merge,", "a"}, "--fix takes merge, locks or merge,locks, not \"merge,\""},
      {{"--include-overrides", "--fix", "merge", "a"}, "--include-overrides goes with --fix locks"},
      {{"--take", "local", "--fix", "locks", "a"}, "--take goes with --fix merge"},
      {{"--apply", "a"}, "--apply goes with --fix merge or --fix locks"},
  };
  for (const auto& [args, message] : cases) {
    SCOPED_TRACE(message);
    const ProcessResult result = project_.Audit(args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_THAT(project_.Read("stderr.log"), HasSubstr(message));
  }
  EXPECT_EQ(project_.Audit({"--fix", "locks,merge", "a"}).exitCode, 1);
}

}  // namespace
