// --fix merge --apply: each result, merge base included, is what merge-from-library and save make
// in the workbench; a version of each setup it changes; files not to be written stay as they are.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "../host/OlderFormats.h"
#include "../host/PlainSql.h"
#include "AuditProject.h"
#include "host/provenance/Provenance.h"
#include "host/store/SettingsText.h"

namespace {

using Teskor::ZelPlatform::OrnSettings;
using ::testing::Contains;
using ::testing::HasSubstr;

const OrnSettings kOld = Values({{"AlbedoScale", "0.5"}, {"Outputs", "3"}});
const OrnSettings kNew = Values({{"BlurPasses", "9"},
                                 {"ShadowQuality", "3"},
                                 {"AlbedoScale", "0.123456789012345"},
                                 {"DepthOfField", "true"},
                                 {"Outputs", "8191"}});

class AuditFixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = project_.Library("office/standards.zellib", {{u"Office", kNew}});
  }
  // The same drawing in two folders: one for the audit, one for the workbench.
  std::vector<std::string> Drawings() {
    const Taken old{library_, u"Office", kOld};
    const std::vector<ProjectSetup> setups = {
        {u"Newer", kOld, old},
        {u"Tuned",
         Values({{"AlbedoScale", "0.25"}, {"Outputs", "3"}, {"QualityThreshold", "0.75"}}), old},
        {u"Both", Values({{"AlbedoScale", "0.5"}, {"Outputs", "3"}, {"BlurPasses", "12"}}), old},
        {u"Alike", kNew, old},
        {u"In step", kNew, Taken{library_, u"Office", kNew}},
        {u"Own", kOld, std::nullopt},
    };
    for (const char* folder : {"a", "b"})
      project_.Drawing(std::string(folder) + "/tower.zel", setups);
    return {"Newer", "Tuned", "Both", "Alike", "In step"};
  }
  // Values and merge base of every setup, as texts.
  static std::map<std::u16string, std::pair<std::string, std::string>> Stored(
      const std::filesystem::path& file) {
    std::map<std::u16string, std::pair<std::string, std::string>> stored;
    const auto origins = ornhost::ProvenanceInFile(file);
    for (const auto& setup : ornhost::ReadSetups(file)) {
      const auto origin = origins.find(setup.name);
      stored[setup.name] = {ornhost::detail::FormatSettingsRecord(setup.settings),
                            origin == origins.end()
                                ? ""
                                : ornhost::detail::FormatSettingsRecord(origin->second.base)};
    }
    return stored;
  }

  AuditProject project_;
  std::filesystem::path library_;
};

TEST_F(AuditFixTest, EachResultIsWhatMergeFromLibraryAndSaveMakeInTheWorkbench) {
  for (const char* take : {"library", "local"}) {
    SCOPED_TRACE(take);
    const auto names = Drawings();
    const ProcessResult audit = project_.Audit(
        {"--library", "office/standards.zellib", "--fix", "merge", "--take", take, "--apply", "a"});
    ASSERT_EQ(audit.exitCode, 1) << audit.out << project_.Read("stderr.log");
    EXPECT_THAT(Lines(audit.out), Contains("fix: changed 4 setups in 1 design file"));
    std::vector<std::string> args = {"--master", "b/tower.zel", "--library",
                                     "office/standards.zellib"};
    for (const std::string& name : names) {
      args.insert(args.end(), {"-c", "merge-from-library \"" + name + "\" --take " + take, "-c",
                               "save \"" + name + "\""});
    }
    const ProcessResult workbench = RunProgram(RSM_WORKBENCH, args, project_.Root());
    ASSERT_EQ(workbench.exitCode, 0) << workbench.out;
    const auto audited = Stored(project_ / "a/tower.zel");
    const auto merged = Stored(project_ / "b/tower.zel");
    ASSERT_EQ(audited.size(), 6u);
    for (const auto& [name, values] : merged) {
      SCOPED_TRACE(ornr::Utf16ToUtf8(name));
      EXPECT_EQ(audited.at(name).first, values.first);
      EXPECT_EQ(audited.at(name).second, values.second);
    }
    // The conflict went the way it was told.
    EXPECT_THAT(
        audited.at(u"Both").first,
        HasSubstr(std::string("BlurPasses=") + (take == std::string("library") ? "9" : "12")));
    // Nothing is left to merge.
    const ProcessResult again = project_.Audit({"--library", "office/standards.zellib", "--fix",
                                                "merge", "--take", take, "--json", "r.json", "a"});
    EXPECT_EQ(project_.Json("r.json")["totals"]["fix"]["setups"], 0);
    std::filesystem::remove_all(project_ / "a");
    std::filesystem::remove_all(project_ / "b");
  }
}

TEST_F(AuditFixTest, EveryChangedSetupGetsAVersionThatHistoryShows) {
  Drawings();
  ASSERT_EQ(project_
                .Audit({"--library", "office/standards.zellib", "--fix", "merge", "--take",
                        "library", "--apply", "a"})
                .exitCode,
            1);
  // Values changed: a version each; only the base moved ("Alike") or nothing to do: none.
  EXPECT_EQ(SqlRows(project_ / "a/tower.zel",
                    "SELECT r.name FROM setup_versions v JOIN render_setups r USING (position)"
                    " WHERE v.action = 'audit fix' ORDER BY r.position"),
            "Newer;Tuned;Both;");
  const ProcessResult history = RunProgram(
      RSM_WORKBENCH, {"--master", "a/tower.zel", "-c", "history Newer"}, project_.Root());
  EXPECT_THAT(history.out, HasSubstr("audit fix"));
  EXPECT_THAT(history.out, HasSubstr("BlurPasses 8 -> 9"));
}

TEST_F(AuditFixTest, FilesThatMayNotBeWrittenAreSkippedWithTheReasonAndStayAsTheyAre) {
  Drawings();
  // Format 3 with provenance, and a file holding a table of another program.
  ASSERT_EQ(WriteOlderDesignFile(project_ / "a/old.zel", 3,
                                 {{{"4f0066006600690063006500", "Office"},
                                   ornhost::detail::FormatSettingsRecord(kOld)}}),
            SQLITE_OK);
  const auto foreign = project_ / "a/foreign.zel";
  std::filesystem::copy_file(project_ / "b/tower.zel", foreign);
  ASSERT_EQ(Sql(foreign, "CREATE TABLE notes (x)"), SQLITE_OK);
  const std::string oldBytes = project_.Read("a/old.zel");
  const std::string foreignBytes = project_.Read("a/foreign.zel");
  const ProcessResult result =
      project_.Audit({"--library", "office/standards.zellib", "--fix", "merge", "--take", "library",
                      "--apply", "--json", "r.json", "a"});
  EXPECT_EQ(result.exitCode, 1);
  const auto report = project_.Json("r.json");
  const auto* foreignFile = FileOf(report, "a/foreign.zel");
  ASSERT_NE(foreignFile, nullptr);
  EXPECT_EQ((*foreignFile)["fix"]["outcome"], "skipped");
  EXPECT_THAT((*foreignFile)["fix"]["reason"].get<std::string>(),
              HasSubstr("the file holds more than a design file does (table \"notes\")"));
  EXPECT_EQ((*FileOf(report, "a/old.zel"))["fix"]["outcome"], "skipped");
  EXPECT_EQ((*FileOf(report, "a/tower.zel"))["fix"]["outcome"], "changed");
  EXPECT_EQ(project_.Read("a/old.zel"), oldBytes);
  EXPECT_EQ(project_.Read("a/foreign.zel"), foreignBytes);
  EXPECT_THAT(Lines(result.out),
              Contains("fix: changed 4 setups in 1 design file; 2 files skipped"));
}

}  // namespace
