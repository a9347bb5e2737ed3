// --deploy on a project folder: setups with a record of the library setup follow the three-way
// rule, those without take every governed value, locked values always the library's; the preview
// writes nothing, --apply writes one change set, and its undo gives back every file as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <csignal>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "AuditProject.h"
#include "host/provenance/ChangeSets.h"
#include "host/provenance/StoredSetups.h"
#include "host/store/ChangeSetTable.h"
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

// What a run leaves, with the change set's id, every time and the --jobs of its command line made
// alike: what must not depend on how many files were worked on at once.
struct DpRunTrace {
  std::string out;
  std::string json;
  std::string csv;
  std::string html;
  std::map<std::string, std::string> files;
  int exitCode = -1;
};

std::string DpSameIdAndTimes(std::string text, const std::vector<std::string>& ids) {
  for (const std::string& id : ids) {
    for (std::size_t at; !id.empty() && (at = text.find(id)) != std::string::npos;) {
      text.replace(at, id.size(), "ID");
    }
  }
  static const std::regex kTime(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)");
  // The command line each run records differs in its --jobs alone.
  static const std::regex kJobs("--jobs \\d+");
  return std::regex_replace(std::regex_replace(text, kTime, "TIME"), kJobs, "--jobs N");
}

// Each file's setups (values, base, overlays) and its change sets, setup by setup and value by
// value, as the file holds them.
std::string DpFileState(const std::filesystem::path& file) {
  std::string state;
  for (const auto& [name, text] : DpStored(file))
    state += ornr::Utf16ToUtf8(name) + ": " + text + "\n";
  for (const auto& changeSet : ornhost::ChangeSetsInFile(file)) {
    state += "change set " + changeSet.header.id + " " + changeSet.header.madeAt + " " +
             changeSet.header.command + "\n";
    for (const auto& setup : changeSet.setups) {
      state += "  " + std::to_string(setup.position) + " " + setup.standingBefore + " -> " +
               setup.standingAfter + "\n";
      for (const auto& value : setup.values) {
        state += std::string("    ") + ornhost::detail::SettingKey(value.field) + " " +
                 (value.before ? ornhost::ChangeSetValueText(value.field, *value.before) : "-") +
                 " -> " +
                 (value.after ? ornhost::ChangeSetValueText(value.field, *value.after) : "-") +
                 "\n";
      }
    }
  }
  return state;
}

TEST_F(AuditDeployTest, ManyJobsWriteTheSameFilesAndReportsAsOne) {
  // Drawings in several folders, some with a conflict decided, some without a record of the
  // library setup, one not a design file, so that files take unlike times.
  for (int i = 0; i < 24; ++i) {
    const auto folder = project_ / ("p/b" + std::to_string(i % 3));
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(i % 2 == 0 ? tower_ : annex_,
                               folder / ("d" + std::to_string(i) + ".zel"));
  }
  project_.Dir().Write("p/b1/notes.zel", "not a design file");
  std::filesystem::copy(project_ / "p", project_ / "p-before",
                        std::filesystem::copy_options::recursive);
  const auto restore = [&] {
    std::filesystem::remove_all(project_ / "p");
    std::filesystem::copy(project_ / "p-before", project_ / "p",
                          std::filesystem::copy_options::recursive);
  };
  const auto trace = [&](const ProcessResult& run, const std::vector<std::string>& id) {
    DpRunTrace t;
    t.exitCode = run.exitCode;
    t.out = DpSameIdAndTimes(run.out, id);
    t.json = DpSameIdAndTimes(project_.Read("r.json"), id);
    t.csv = project_.Read("r.csv");
    t.html = DpSameIdAndTimes(project_.Read("r.html"), id);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(project_ / "p")) {
      if (entry.path().extension() != ".zel" || entry.path().filename() == "notes.zel") continue;
      const std::string relative = entry.path().lexically_relative(project_.Root()).string();
      t.files[relative] = DpSameIdAndTimes(DpFileState(entry.path()), id);
    }
    return t;
  };
  const std::vector<std::string> reports = {"--json", "r.json", "--csv",
                                            "r.csv",  "--html", "r.html"};
  std::map<std::string, std::vector<DpRunTrace>> byJobs;
  for (const std::string jobs : {"1", "4"}) {
    SCOPED_TRACE("--jobs " + jobs);
    restore();
    std::vector<std::string> args = {"--to",    "Quality", "--to",   "Lobby", "--take",
                                     "library", "--apply", "--jobs", jobs};
    args.insert(args.end(), reports.begin(), reports.end());
    const ProcessResult deploy = Deploy(args);
    ASSERT_EQ(deploy.exitCode, 0) << deploy.out << project_.Read("stderr.log");
    const std::string id = IdOf(deploy);
    ASSERT_FALSE(id.empty()) << deploy.out;
    byJobs[jobs].push_back(trace(deploy, {id}));
    // One change set, the same id in every file it wrote.
    for (const auto& [file, state] : byJobs[jobs].back().files) {
      EXPECT_THAT(state, HasSubstr("change set ID")) << file;
    }

    std::vector<std::string> undoArgs = {"--undo", id, "--apply", "--jobs", jobs};
    undoArgs.insert(undoArgs.end(), reports.begin(), reports.end());
    undoArgs.push_back("p");
    const ProcessResult undo = project_.Audit(undoArgs);
    ASSERT_EQ(undo.exitCode, 0) << undo.out << project_.Read("stderr.log");
    const std::string undoId = undo.out.substr(undo.out.rfind("change set: ") + 12, 15);
    byJobs[jobs].push_back(trace(undo, {id, undoId}));
    EXPECT_EQ(DpStored(tower_), before_[0]);
  }
  const auto& one = byJobs["1"];
  const auto& four = byJobs["4"];
  for (std::size_t run = 0; run < 2; ++run) {
    SCOPED_TRACE(run == 0 ? "deploy" : "undo");
    EXPECT_EQ(four[run].out, one[run].out);
    EXPECT_EQ(four[run].json, one[run].json);
    EXPECT_EQ(four[run].csv, one[run].csv);
    EXPECT_EQ(four[run].html, one[run].html);
    EXPECT_EQ(four[run].files, one[run].files);
  }
  EXPECT_EQ(one[0].files.size(), 26u) << "the 24 copies and the two drawings";
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
