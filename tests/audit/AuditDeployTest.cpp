// --deploy on a project folder: setups with a record of the library setup follow the three-way
// rule, those without take every governed value, locked values always the library's; the preview
// writes nothing, --apply writes one change set, and its undo gives back every file as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <csignal>
#include <map>
#include <string>
#include <vector>

#include "AuditProject.h"
#include "host/provenance/ChangeSets.h"
#include "host/provenance/StoredSetups.h"
#include "host/store/DesignFileStatements.h"
#include "host/store/SettingsText.h"
#include "host/store/StandardsTable.h"

namespace {

using Teskor::ZelPlatform::OrnSettings;
using ::testing::Contains;
using ::testing::HasSubstr;

const OrnSettings kQualityTaken = Values({{"AlbedoScale", "0.5"}, {"BlurPasses", "2"}});
const OrnSettings kQualityNow = Values(
    {{"AlbedoScale", "0.75"}, {"BlurPasses", "6"}, {"Outputs", "7"}, {"DoShadows", "false"}});

// Every setup's values, merge base and overlays, as texts.
std::map<std::u16string, std::string> DpStored(const std::filesystem::path& file) {
  std::map<std::u16string, std::string> stored;
  for (const auto& setup : ornhost::ReadStoredFile(file).setups) {
    std::string& text = stored[setup.name];
    text = ornhost::detail::FormatSettingsRecord(*setup.settings);
    if (setup.origin) text += "|base " + ornhost::detail::FormatSettingsRecord(setup.origin->base);
    for (const auto& overlay : setup.overlays)
      text += "|overlay " + ornr::Utf16ToUtf8(overlay.librarySetup);
  }
  return stored;
}

class AuditDeployTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto library = project_.Library("office/standards.zellib", {{u"Quality", kQualityNow}});
    // It governs three values and locks BlurPasses.
    ornhost::detail::DesignFile db(library, ornhost::detail::DesignFile::Access::WriteExisting);
    ornhost::detail::StandardsTable::Change(
        db, u"Quality",
        [](ornhost::detail::StandardsOfSetup& stored) {
          stored.standards.scope = ornhost::PropertySetOf({"AlbedoScale", "BlurPasses", "Outputs"});
          stored.standards.locks["BlurPasses"] = "office look";
          return std::vector<ornhost::detail::VersionMark>{{"lock", "", "", "test"}};
        },
        "lock");
    const Taken taken{library, u"Quality", kQualityTaken};
    tower_ = project_.Drawing(
        "p/tower.zel",
        {{u"Quality", Values({{"AlbedoScale", "0.5"}, {"BlurPasses", "3"}, {"Outputs", "1"}}),
          taken},
         {u"Lobby", Values({{"BlurPasses", "1"}, {"DoShadows", "true"}}), std::nullopt}});
    annex_ =
        project_.Drawing("p/annex.zel", {{u"Lobby", Values({{"Outputs", "5"}}), std::nullopt}});
    before_ = {DpStored(tower_), DpStored(annex_)};
  }
  ProcessResult Deploy(std::vector<std::string> args) {
    args.insert(args.begin(), {"--library", "office/standards.zellib", "--deploy", "Quality"});
    args.push_back("p");
    return project_.Audit(args);
  }
  static std::string IdOf(const ProcessResult& run) {
    for (const std::string& line : Lines(run.out)) {
      if (line.starts_with("change set: ")) return line.substr(12, line.find(' ', 12) - 12);
    }
    return "";
  }

  AuditProject project_;
  std::filesystem::path tower_;
  std::filesystem::path annex_;
  std::vector<std::map<std::u16string, std::string>> before_;
};

TEST_F(AuditDeployTest, ALinkedSetupKeepsItsOwnValuesTakesLockedOnesAndLeavesConflictsUndecided) {
  const ProcessResult dry = Deploy({"--linked"});
  EXPECT_EQ(dry.exitCode, 1) << dry.out << project_.Read("stderr.log");
  const auto lines = Lines(dry.out);
  EXPECT_THAT(lines, Contains("  \"Quality\" AlbedoScale 0.5 -> 0.75"));
  EXPECT_THAT(lines, Contains("  \"Quality\" BlurPasses 3 -> 6 (locked)"));
  EXPECT_THAT(lines, Contains("  \"Quality\" Outputs conflict: 1 here, 7 in the library; left "
                              "(--take library|local decides)"));
  EXPECT_THAT(dry.out, ::testing::Not(HasSubstr("DoShadows"))) << "not governed";
  EXPECT_THAT(dry.out, ::testing::Not(HasSubstr("Lobby"))) << "not linked";
  EXPECT_EQ((std::vector{DpStored(tower_), DpStored(annex_)}), before_)
      << "a preview writes nothing";

  const ProcessResult applied = Deploy({"--linked", "--take", "local", "--apply"});
  EXPECT_EQ(applied.exitCode, 0) << applied.out << project_.Read("stderr.log");
  const auto quality = ornhost::ReadStoredFile(tower_).setups[0];
  EXPECT_EQ(ornhost::detail::FormatSettingsRecord(*quality.settings),
            ornhost::detail::FormatSettingsRecord(
                Values({{"AlbedoScale", "0.75"}, {"BlurPasses", "6"}, {"Outputs", "1"}})));
  EXPECT_TRUE(quality.origin->base.Equals(kQualityNow)) << "the base moves to the library's";
  // The next deploy finds nothing to do: Outputs is changed here only now.
  const ProcessResult again = Deploy({"--linked"});
  EXPECT_EQ(again.exitCode, 0) << again.out;
  EXPECT_THAT(Lines(again.out), Contains("deploy: would change 0 setups in 0 design files"));

  const std::string id = IdOf(applied);
  ASSERT_FALSE(id.empty()) << applied.out;
  const ProcessResult undo = project_.Audit({"--undo", id, "--apply", "p"});
  EXPECT_EQ(undo.exitCode, 0) << undo.out;
  EXPECT_EQ((std::vector{DpStored(tower_), DpStored(annex_)}), before_);
}

TEST_F(AuditDeployTest, ASetupWithoutARecordTakesEveryGovernedValueAndCreateAddsAFullCopy) {
  const ProcessResult dry = Deploy({"--to", "Lobby", "--create", "--csv", "d.csv"});
  EXPECT_EQ(dry.exitCode, 0) << dry.out << project_.Read("stderr.log");
  // The CSV says the same, a row a value.
  const auto rows = Lines(project_.Read("d.csv"));
  EXPECT_THAT(rows, Contains("p/tower.zel,would change,Lobby,overlay,BlurPasses,locked,1,6,6,,\r"));
  EXPECT_THAT(rows, Contains("p/annex.zel,would change,Quality,create,,,,,,,\r"));
  EXPECT_EQ(rows.size(), 8u) << "a header, six values and one setup created";
  const auto lines = Lines(dry.out);
  EXPECT_THAT(lines, Contains("  \"Lobby\" BlurPasses 1 -> 6 (locked)"));
  EXPECT_THAT(lines, Contains("  \"Lobby\" AlbedoScale 1.0 -> 0.75 (replaces the local value)"));
  EXPECT_THAT(lines, Contains("  \"Lobby\" Outputs 5 -> 7 (replaces the local value)"));
  EXPECT_THAT(lines, Contains("  \"Quality\" created: a full copy of the library setup"));
  EXPECT_THAT(lines, Contains("deploy: would change 3 setups in 2 design files (1 created); "
                              "--apply writes the changes"));

  const ProcessResult applied = Deploy({"--to", "Lobby", "--create", "--apply"});
  EXPECT_EQ(applied.exitCode, 0) << applied.out;
  const auto annex = DpStored(annex_);
  ASSERT_TRUE(annex.contains(u"Quality"));
  EXPECT_EQ(annex.at(u"Quality"), ornhost::detail::FormatSettingsRecord(kQualityNow) + "|base " +
                                      ornhost::detail::FormatSettingsRecord(kQualityNow));
  EXPECT_THAT(annex.at(u"Lobby"), HasSubstr("|overlay Quality"));
  EXPECT_THAT(DpStored(tower_).at(u"Lobby"), HasSubstr("DoShadows=true")) << "not governed";

  const ProcessResult undo = project_.Audit({"--undo", IdOf(applied), "--apply", "p"});
  EXPECT_EQ(undo.exitCode, 0) << undo.out;
  EXPECT_EQ((std::vector{DpStored(tower_), DpStored(annex_)}), before_)
      << "the setup it created goes, the overlay too";
}

TEST_F(AuditDeployTest, CtrlCEndsADeployAfterAFileAndItsUndoRestoresEveryFileItReached) {
  std::filesystem::create_directories(project_ / "p/many");
  for (int i = 0; i < 600; ++i) {
    std::filesystem::copy_file(tower_, project_ / ("p/many/d" + std::to_string(1000 + i) + ".zel"),
                               std::filesystem::copy_options::none);
  }
  RunningProcess deploy(RSM_AUDIT,
                        {"--library", "office/standards.zellib", "--deploy", "Quality", "--linked",
                         "--take", "local", "--apply", "--json", "d.json", "p"},
                        project_.Root());
  ASSERT_TRUE(deploy.Await("p/many/d1000.zel: changed 1 setup"));
  deploy.Kill(SIGINT);
  std::string out = deploy.Pending();
  for (std::string line; deploy.ReadLine(line);) out += line + "\n";
  const int status = deploy.Wait();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 130) << out;
  EXPECT_THAT(out, HasSubstr("stopped by Ctrl-C (partial)"));
  const auto report = project_.Json("d.json");
  EXPECT_TRUE(report["partial"].get<bool>());
  const std::size_t reached = report["files"].size();
  EXPECT_GT(reached, 0u);
  EXPECT_LT(reached, 600u) << "stopped early";

  const std::string id = report["changeSet"];
  const ProcessResult undo = project_.Audit({"--undo", id, "--apply", "p"});
  EXPECT_EQ(undo.exitCode, 0) << undo.out;
  EXPECT_THAT(undo.out, HasSubstr("in " + std::to_string(reached) + " design files"));
  for (const auto& entry : std::filesystem::directory_iterator(project_ / "p/many")) {
    ASSERT_EQ(DpStored(entry.path()), before_[0]) << entry.path();
  }
}

TEST_F(AuditDeployTest, WrongDeployCommandLinesAreRefused) {
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"--library", "office/standards.zellib", "--deploy", "Quality", "p"}, "takes one of"},
      {{"--library", "office/standards.zellib", "--deploy", "Quality", "--linked", "--every-setup",
        "p"},
       "takes one of"},
      {{"--deploy", "Quality", "--linked", "p"}, "from a --library"},
      {{"--library", "office/standards.zellib", "--deploy", "Quality", "--linked", "--from",
        "p/tower.zel", "p"},
       "--from names one of the --library files"},
      {{"--linked", "p"}, "go with --deploy"},
      {{"--library", "office/standards.zellib", "--deploy", "Nothing", "--linked", "p"},
       "no --library offers a setup \"Nothing\""},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(::testing::PrintToString(each.args));
    const ProcessResult run = project_.Audit(each.args);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_THAT(project_.Read("stderr.log"), HasSubstr(each.message));
  }
}

}  // namespace
