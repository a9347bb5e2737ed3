// Where setups came from, over real design files: copy, tune, change the library, see the drift,
// merge, rename, delete.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "../host/PlainSql.h"
#include "WorkbenchProcess.h"
#include "host/controls/HostControls.h"

namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

class ProvenanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The office standard, then a project that copies and tunes it.
    Must({"--master", "lib.zellib", "-c", "host add Office"});
    Must({"--master", "p.zel", "--library", "lib.zellib", "-c", "copy-from-library Office", "-c",
          "edit Office BlurPasses 12", "-c", "edit Office QualityThreshold 0.25", "-c",
          "save Office"});
    // The office changes three values, one of them tuned in the project too.
    Must({"--master", "lib.zellib", "-c",
          "host add Office BlurPasses=9 ShadowQuality=3 AlbedoScale=0.123456789012345"});
  }

  ProcessResult Run(std::vector<std::string> commands, bool withLibrary = true) {
    std::vector<std::string> args = {"--master", "p.zel"};
    if (withLibrary) args.insert(args.end(), {"--library", "lib.zellib"});
    for (std::string& command : commands) args.insert(args.end(), {"-c", std::move(command)});
    return RunProgram(RSM_WORKBENCH, args, dir_.Path());
  }
  void Must(const std::vector<std::string>& args) {
    const ProcessResult result = RunProgram(RSM_WORKBENCH, args, dir_.Path());
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  }
  // The drift table's rows by property: the state column.
  static std::map<std::string, std::string> States(const std::string& out) {
    std::map<std::string, std::string> states;
    for (const std::string& line : Lines(out)) {
      if (!line.starts_with("drift: ") || line.starts_with("drift: PROPERTY")) continue;
      const std::string row = line.substr(7);
      const std::size_t end = row.find(' ');
      if (row.find("values unchanged") != std::string::npos) continue;
      const std::string rest = row.substr(row.find_first_not_of(' ', end));
      for (const char* state :
           {"changed in library", "changed here", "conflict", "changed alike"}) {
        if (rest.starts_with(state)) states[row.substr(0, end)] = state;
      }
    }
    return states;
  }
  ScratchDir dir_;
};

const std::map<std::string, std::string> kExpectedDrift = {
    {"QualityThreshold", "changed here"},
    {"ShadowQuality", "changed in library"},
    {"AlbedoScale", "changed in library"},
    {"BlurPasses", "conflict"},
};

TEST_F(ProvenanceTest, DriftTellsEachSideAndAMergeWithConflictsOpenChangesNothing) {
  const ProcessResult result =
      Run({"origin Office", "drift Office", "merge-from-library Office", "modified Office"});
  EXPECT_EQ(result.exitCode, 1);  // the merge is refused
  EXPECT_EQ(States(result.out), kExpectedDrift);
  const auto lines = Lines(result.out);
  EXPECT_THAT(lines, Contains(HasSubstr("origin: \"Office\" from \"Office\" in \"lib.zellib\" (" +
                                        (dir_ / "lib.zellib").string() + "), taken 20")));
  EXPECT_THAT(lines, Contains("summary: library has 2 newer values, 1 local change, 1 conflict"));
  EXPECT_THAT(lines, Contains("drift: 64 values unchanged"));
  // Every row the merge would touch is shown, the host's way in said so.
  EXPECT_THAT(lines, Contains(HasSubstr("take library (through the host")));
  EXPECT_THAT(lines, Contains(HasSubstr("error: 1 conflict to decide")));
  // The action column lines up, long library values or not.
  std::size_t column = std::string::npos;
  for (const std::string& line : lines) {
    if (line.starts_with("merge: PROPERTY")) column = line.find("ACTION");
  }
  ASSERT_NE(column, std::string::npos);
  for (const std::string& line : lines) {
    if (!line.starts_with("merge: ") || line.starts_with("merge: PROPERTY")) continue;
    const std::string action = line.substr(column);
    EXPECT_TRUE(action.starts_with("to decide") || action.starts_with("keep here") ||
                action.starts_with("take library"))
        << line;
  }
  EXPECT_THAT(lines, Contains("= 0"));
  EXPECT_EQ(StoredByName(dir_ / "p.zel")[u"Office"].settings.GetBlurPasses(), 12u);
}

TEST_F(ProvenanceTest, MergeTakingLocalGivesEveryValueAndMovesTheBaseAtSave) {
  Teskor::ZelPlatform::OrnSettings expected;
  for (const auto& [key, text] :
       std::map<std::string, std::string>{{"BlurPasses", "12"},
                                          {"QualityThreshold", "0.25"},
                                          {"ShadowQuality", "3"},
                                          {"AlbedoScale", "0.123456789012345"}}) {
    ASSERT_TRUE(ornhost::SetSettingFromText(expected, key, text)) << key;
  }
  const ProcessResult merged =
      Run({"merge-from-library Office --take local", "origin Office", "save Office", "drift Office",
           "rename Office Tuned", "origin Tuned"});
  ASSERT_EQ(merged.exitCode, 0) << merged.out << merged.err;
  const auto stored = StoredByName(dir_ / "p.zel")[u"Tuned"].settings;
  for (const auto& [key, text] : ornhost::SettingTexts(expected)) {
    const auto got = ornhost::SettingTexts(stored);
    EXPECT_THAT(got, Contains(std::pair(key, text)));
  }
  EXPECT_TRUE(stored.Equals(expected));
  const auto lines = Lines(merged.out);
  EXPECT_THAT(lines, Contains(HasSubstr("a merge waits to be saved")));
  // Saved, the library's values are the base: what is left is what was tuned here.
  EXPECT_EQ(States(merged.out),
            (std::map<std::string, std::string>{{"QualityThreshold", "changed here"},
                                                {"BlurPasses", "changed here"}}));
  EXPECT_THAT(lines, Contains("summary: 2 local changes"));
  EXPECT_THAT(lines, Contains(HasSubstr("origin: \"Tuned\" from \"Office\" in \"lib.zellib\"")));
}

TEST_F(ProvenanceTest, ResetUndoesAMergeAndItsBase) {
  const ProcessResult result =
      Run({"merge-from-library Office --take library", "reset Office", "drift Office",
           "merge-from-library Office BlurPasses=library", "show Office", "answer no"});
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  // The drift after the reset is the one before the merge.
  const std::string afterReset = result.out.substr(
      result.out.find("> drift"),
      result.out.find("> merge-from-library Office B") - result.out.find("> drift"));
  EXPECT_EQ(States(afterReset), kExpectedDrift);
  // The second merge, one choice per conflict, goes in through the panel losslessly.
  EXPECT_THAT(Lines(result.out), Contains("AlbedoScale = 0.123456789012345"));
  EXPECT_THAT(Lines(result.out), Contains("BlurPasses = 9"));
  EXPECT_EQ(StoredByName(dir_ / "p.zel")[u"Office"].settings.GetBlurPasses(),
            12u);  // nothing saved
}

TEST_F(ProvenanceTest, AMergeLeftUnsavedAtCloseComesBackWithItsBase) {
  // Nobody answers the close question, so the merged setup goes to a recovery file.
  Run({"merge-from-library Office --take library"});
  ASSERT_TRUE(std::filesystem::exists(dir_ / "p.zel.recovered.json"));
  const ProcessResult back =
      Run({"import p.zel.recovered.json --replace", "load reload", "drift Office"});
  ASSERT_EQ(back.exitCode, 0) << back.out << back.err;
  // Base and values as the merge left them: only the value tuned here and kept differs.
  EXPECT_THAT(Lines(back.out), Contains("summary: 1 local change"));
  EXPECT_EQ(StoredByName(dir_ / "p.zel")[u"Office"].settings.GetBlurPasses(), 9u);
}

TEST_F(ProvenanceTest, GoneLibrariesAndDeletedSetups) {
  Must({"--master", "lib.zellib", "-c", "delete Office"});
  const ProcessResult gone = Run({"origin Office", "merge-from-library Office --take library"});
  EXPECT_EQ(gone.exitCode, 1);
  EXPECT_THAT(Lines(gone.out), Contains(HasSubstr("summary: library setup gone (the library")));
  EXPECT_THAT(Lines(gone.out), Contains(HasSubstr("error: library setup gone")));
  // Without the library offered, its file is read; without the file, the setup is gone too.
  std::filesystem::remove(dir_ / "lib.zellib");
  const ProcessResult noFile = Run({"origin Office"}, false);
  EXPECT_THAT(Lines(noFile.out), Contains(HasSubstr("summary: library setup gone (the library "
                                                    "\"lib.zellib\" is gone from")));

  EXPECT_EQ(SqlNumber(dir_ / "p.zel", "SELECT count(*) FROM setup_provenance_values"), 68);
  const ProcessResult deleted = Run({"delete Office", "origin Office"}, false);
  EXPECT_THAT(Lines(deleted.out), Contains(HasSubstr("error: the master file holds no setup")));
  // Kept for an undelete until the file no longer keeps the deleted setup.
  EXPECT_EQ(SqlNumber(dir_ / "p.zel", "SELECT count(*) FROM setup_provenance"), 1);
  Run({"history-limit 0"}, false);
  EXPECT_EQ(SqlNumber(dir_ / "p.zel", "SELECT count(*) FROM setup_provenance"), 0);
  EXPECT_EQ(SqlNumber(dir_ / "p.zel", "SELECT count(*) FROM setup_provenance_values"), 0);
}

TEST_F(ProvenanceTest, OnlySetupsTakenFromALibraryHaveOne) {
  const ProcessResult result =
      Run({"host add Own", "refresh", "duplicate Office", "origin Own", "origin \"Office - Copy\"",
           "drift Own", "update-from-library Office", "origin Office", "merge-from-library Nope"});
  const auto lines = Lines(result.out);
  EXPECT_THAT(lines, Contains("origin: \"Own\" was not taken from a library"));
  EXPECT_THAT(lines, Contains("origin: \"Office - Copy\" was not taken from a library"));
  EXPECT_THAT(lines,
              Contains(HasSubstr("error: \"Own\" was not copied or updated from a library")));
  // An update from the library starts over from the library's values.
  EXPECT_THAT(lines, Contains("summary: up to date"));
  EXPECT_THAT(lines, Contains(HasSubstr("error: the panel shows no master-file setup \"Nope\"")));
  EXPECT_THAT(lines, Not(Contains(HasSubstr("is not recorded"))));
}

}  // namespace
