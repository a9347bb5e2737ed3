// The history commands through the workbench: history, diff, restore, deleted, undelete and
// history-limit over real design files, the module and the panel in between.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "WorkbenchProcess.h"
#include "host/controls/HostControls.h"

namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using ::testing::UnorderedElementsAre;

std::string ThisUser() {
  const passwd* entry = getpwuid(geteuid());
  return entry != nullptr ? entry->pw_name : "";
}

class HistoryCommandsTest : public ::testing::Test {
 protected:
  ProcessResult Run(const std::vector<std::string>& commands,
                    const std::vector<std::string>& options = {}) {
    std::vector<std::string> args = {"--master", "p.zel"};
    args.insert(args.end(), options.begin(), options.end());
    for (const std::string& command : commands) args.insert(args.end(), {"-c", command});
    return RunProgram(RSM_WORKBENCH, args, dir_.Path());
  }
  // The lines a command printed with that prefix, the prefix taken off.
  static std::vector<std::string> Printed(const ProcessResult& result, const std::string& prefix) {
    std::vector<std::string> lines;
    for (const std::string& line : Lines(result.out)) {
      if (line.starts_with(prefix)) lines.push_back(line.substr(prefix.size()));
    }
    return lines;
  }
  static std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while ((at = line.find_first_not_of(' ', at)) != std::string::npos) {
      const std::size_t end = line.find("  ", at);
      words.push_back(line.substr(at, end == std::string::npos ? end : end - at));
      at = end;
    }
    return words;
  }
  std::uint32_t StoredBlurPasses(const char16_t* name) {
    return StoredByName(dir_ / "p.zel")[name].settings.GetBlurPasses();
  }

  ScratchDir dir_;
};

TEST_F(HistoryCommandsTest, AVersionFromBeforeARenameComesBackAsEditsThatSaveOrResetAsUsual) {
  const ProcessResult made = Run({"host add Sky BlurPasses=8", "refresh", "edit Sky BlurPasses 12",
                                  "save Sky", "host add Sky BlurPasses=12 ShadowQuality=3",
                                  "refresh", "rename Sky Night", "history Night"});
  ASSERT_EQ(made.exitCode, 0) << made.out;
  const auto history = Printed(made, "history: ");
  ASSERT_EQ(history.size(), 4u) << made.out;
  EXPECT_THAT(Words(history[1]), ElementsAre("3", StartsWith("20"), "rename", ThisUser(),
                                             "name \"Sky\" -> \"Night\""));
  EXPECT_THAT(Words(history[2]),
              ElementsAre("2", StartsWith("20"), "host write", ThisUser(), "ShadowQuality 1 -> 3"));
  EXPECT_THAT(Words(history[3]),
              ElementsAre("1", StartsWith("20"), "save", ThisUser(), "BlurPasses 8 -> 12"));

  const ProcessResult restored =
      Run({"restore Night 1", "modified Night", "show Night", "answer no"});
  ASSERT_EQ(restored.exitCode, 0) << restored.out;
  EXPECT_THAT(Printed(restored, "restore: "), Contains(StartsWith("2 values of version 1")));
  EXPECT_THAT(Lines(restored.out), Contains("= 1"));
  EXPECT_THAT(Lines(restored.out), Contains("BlurPasses = 8"));
  // The panel cannot write it: the host did, and the panel shows it.
  EXPECT_THAT(Lines(restored.out), Contains("ShadowQuality = 1"));
  // Not saved at the close: nothing stored changed.
  EXPECT_EQ(StoredBlurPasses(u"Night"), 12u);

  const ProcessResult undone =
      Run({"restore Night 1", "reset Night", "show Night", "restore Night 1", "save Night"});
  ASSERT_EQ(undone.exitCode, 0) << undone.out;
  EXPECT_THAT(Lines(undone.out), Contains("BlurPasses = 12"));
  const auto stored = StoredByName(dir_ / "p.zel")[u"Night"].settings;
  EXPECT_EQ(stored.GetBlurPasses(), 8u);
  EXPECT_EQ(static_cast<int>(stored.GetGlobalShadowQuality()), 1);
  const auto after = Printed(Run({"history Night"}), "history: ");
  ASSERT_EQ(after.size(), 6u);
  EXPECT_THAT(Words(after[1]), Contains("save"));
  EXPECT_THAT(Words(after[2]), Contains("reset"));
}

TEST_F(HistoryCommandsTest, UndeletingOverANameUsedAgainTakesANewName) {
  const ProcessResult result =
      Run({"host add Sky BlurPasses=5", "host add Moon", "refresh", "delete Sky", "deleted",
           "host add Sky BlurPasses=3", "refresh", "undelete Sky", "undelete Sky \"Sky before\"",
           "deleted", "list"});
  EXPECT_EQ(result.exitCode, 1);
  const auto deleted = Printed(result, "deleted: ");
  ASSERT_EQ(deleted.size(), 3u) << result.out;
  EXPECT_THAT(Words(deleted[1]), ElementsAre("\"Sky\"", StartsWith("20"), ThisUser(), "1"));
  EXPECT_EQ(deleted[2], "none");
  EXPECT_THAT(Lines(result.out),
              Contains("error: the master file holds a setup named \"Sky\" already; \"undelete "
                       "Sky NEWNAME\" brings the deleted one back under another name"));
  EXPECT_THAT(Lines(result.out), Contains("undeleted \"Sky\" as \"Sky before\""));
  // In the panel's list through the session's refresh, and back at its place in the file.
  EXPECT_THAT(Printed(result, "list: master "),
              UnorderedElementsAre("\"Sky before\"", "\"Moon\"", "\"Sky\""));
  std::vector<std::u16string> stored;
  for (const auto& setup : ornhost::ReadSetups(dir_ / "p.zel")) stored.push_back(setup.name);
  EXPECT_THAT(stored, ElementsAre(u"Sky before", u"Moon", u"Sky"));
  EXPECT_EQ(StoredBlurPasses(u"Sky before"), 5u);
  EXPECT_EQ(StoredBlurPasses(u"Sky"), 3u);
}

TEST_F(HistoryCommandsTest, ARestoreUnderAReferenceAttachmentStopsAtOnceAndChangesNothing) {
  const ProcessResult result =
      Run({"host add Sky BlurPasses=8", "refresh", "edit Sky BlurPasses 12", "save Sky",
           "reference on", "restore Sky 1", "reference off", "modified Sky", "show Sky"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_THAT(Lines(result.out),
              Contains("error: the active model is a reference attachment, which cannot be "
                       "changed; restore changed nothing"));
  EXPECT_THAT(Lines(result.out), Not(Contains(StartsWith("message: "))));
  EXPECT_THAT(Lines(result.out), Contains("= 0"));
  EXPECT_THAT(Lines(result.out), Contains("BlurPasses = 12"));
}

TEST_F(HistoryCommandsTest, DiffComparesAnyTwoSidesTheWayTheirWordsAreRead) {
  ornhost::WriteSetup(dir_ / "lib.zellib", u"Sky", [] {
    Teskor::ZelPlatform::OrnSettings s;
    s.SetBlurPasses(5);
    return s;
  }());
  for (const auto& [file, passes] : {std::pair{"other.zellib", 6u}, {"closed.zellib", 7u}}) {
    Teskor::ZelPlatform::OrnSettings s;
    s.SetBlurPasses(passes);
    ornhost::WriteSetup(dir_ / file, u"Sky", s);
  }
  ASSERT_EQ(Run({"host add Sky BlurPasses=8", "host add Moon BlurPasses=12", "refresh",
                 "edit Sky BlurPasses 12", "save Sky"})
                .exitCode,
            0);
  struct Case {
    std::string command;
    std::vector<std::string> heading;  // the two sides' headings, or the error
    std::vector<std::string> row;      // the BlurPasses row
  };
  const Case cases[] = {
      {"diff Sky --version 1 Sky", {"\"Sky\" version 1", "\"Sky\""}, {"8", "12"}},
      {"diff Sky Sky --library", {"\"Sky\"", "\"Sky\" in its library"}, {"12", "5"}},
      {"diff Sky --library other.zellib Sky", {"\"Sky\" in other.zellib", "\"Sky\""}, {"6", "12"}},
      {"diff Sky --library other.zellib Sky --library",
       {"\"Sky\" in other.zellib", "\"Sky\" in its library"},
       {"6", "5"}},
      {"diff Sky --library Sky --version 1",
       {"\"Sky\" in its library", "\"Sky\" version 1"},
       {"5", "8"}},
      {"diff Sky --library closed.zellib Sky --version 1",
       {"\"Sky\" in closed.zellib", "\"Sky\" version 1"},
       {"7", "8"}},
      {"diff Sky Moon", {"\"Sky\" and \"Moon\" hold the same values"}, {}},
      {"diff Sky --version 9 Sky", {"error: \"Sky\" has no version 9"}, {}},
      {"diff Sky --version x Sky", {"error: expected a version number, got x"}, {}},
      {"diff Sky Moon Sun", {"error: usage: diff A [--version N]"}, {}},
      {"diff Moon --library Sky", {"error: no library offers a setup \"Moon\""}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    const ProcessResult result =
        Run({c.command}, {"--library", "other.zellib", "--library", "lib.zellib"});
    if (c.row.empty()) {
      EXPECT_THAT(Lines(result.out), Contains(HasSubstr(c.heading[0]))) << result.out;
      continue;
    }
    const auto lines = Printed(result, "diff: ");
    ASSERT_EQ(lines.size(), 3u) << result.out;
    EXPECT_THAT(Words(lines[0]), ElementsAre("PROPERTY", c.heading[0], c.heading[1]));
    EXPECT_THAT(Words(lines[1]), ElementsAre("BlurPasses", c.row[0], c.row[1]));
    EXPECT_EQ(lines[2], "67 values equal");
  }
}

TEST_F(HistoryCommandsTest, EachActionIsNamedAndTheLimitsKeepOnlyWhatTheySay) {
  ASSERT_EQ(
      RunProgram(RSM_WORKBENCH, {"--master", "lib.zellib", "-c", "host add Office"}, dir_.Path())
          .exitCode,
      0);
  const std::vector<std::string> library = {"--library", "lib.zellib"};
  ASSERT_EQ(Run({"copy-from-library Office", "edit Office BlurPasses 3", "save Office"}, library)
                .exitCode,
            0);
  // The library's values again, then an edit that the close saves.
  const ProcessResult closing = Run(
      {"update-from-library Office", "edit Office BlurPasses 4", "answer yes", "close"}, library);
  ASSERT_EQ(closing.exitCode, 0) << closing.out;
  const auto history = Printed(Run({"history Office"}), "history: ");
  ASSERT_EQ(history.size(), 4u);
  EXPECT_THAT(Words(history[1]), Contains("save at close"));
  EXPECT_THAT(Words(history[2]), Contains("update from library"));
  EXPECT_THAT(Words(history[3]), Contains("save"));

  const ProcessResult limited = Run({"history-limit", "history-limit 1", "history Office",
                                     "history-limit 0", "history Office", "history-limit -1"});
  EXPECT_THAT(Printed(limited, "history-limit: "),
              ElementsAre("50 versions a setup, deleted setups kept 30 days",
                          "1 version a setup, deleted setups kept 30 days", "no history is kept"));
  EXPECT_EQ(Printed(limited, "history: ").size(), 3u);
  EXPECT_THAT(Lines(limited.out),
              Contains("history: \"Office\" has no versions: no save has replaced it yet"));
  EXPECT_THAT(Lines(limited.out), Contains("error: expected a number of versions, got -1"));
}

// A restore brings back values, not where the setup came from: values from before an update
// from the library are local changes against the library they were taken from.
TEST_F(HistoryCommandsTest, ARestoreKeepsTheProvenanceSoRestoredValuesDriftAsLocalChanges) {
  ASSERT_EQ(
      RunProgram(RSM_WORKBENCH, {"--master", "lib.zellib", "-c", "host add Office"}, dir_.Path())
          .exitCode,
      0);
  const std::vector<std::string> library = {"--library", "lib.zellib"};
  const ProcessResult before = Run({"copy-from-library Office", "edit Office BlurPasses 3",
                                    "save Office", "update-from-library Office", "origin Office"},
                                   library);
  ASSERT_EQ(before.exitCode, 0) << before.out;
  const auto origin = Printed(before, "origin: ");
  ASSERT_EQ(origin.size(), 1u);
  const ProcessResult restored =
      Run({"restore Office 2", "save Office", "origin Office", "drift Office"}, library);
  ASSERT_EQ(restored.exitCode, 0) << restored.out;
  EXPECT_EQ(Printed(restored, "origin: "), origin);
  EXPECT_THAT(Lines(restored.out), Contains("summary: 1 local change"));
  EXPECT_THAT(Printed(restored, "drift: "), Contains(StartsWith("BlurPasses")));
  EXPECT_EQ(StoredBlurPasses(u"Office"), 3u);
}

TEST_F(HistoryCommandsTest, TheHistoryOfADeletedSetupSaysHowToGetItBack) {
  const ProcessResult result =
      Run({"host add Sky", "refresh", "delete Sky", "history Sky", "history Nope"});
  const auto history = Printed(result, "history: ");
  ASSERT_EQ(history.size(), 3u) << result.out;
  EXPECT_THAT(history[0], HasSubstr("\"Sky\" was deleted "));
  EXPECT_THAT(history[0], HasSubstr("; undelete Sky brings it back"));
  EXPECT_THAT(Words(history[2]),
              ElementsAre("1", StartsWith("20"), "delete", ThisUser(), "deleted"));
  EXPECT_THAT(Lines(result.out), Contains("error: the master file holds no setup \"Nope\" and "
                                          "keeps none deleted under that name"));
}

TEST_F(HistoryCommandsTest, VersionsAloneBringBackTheDaysAsTheyWereBeforeANoughtLimit) {
  const ProcessResult result =
      Run({"history-limit 0", "history-limit 50", "history-limit 20 7", "history-limit 0",
           "history-limit", "history-limit 40", "history-limit 0 3", "history-limit 10"});
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_THAT(Printed(result, "history-limit: "),
              ElementsAre("no history is kept", "50 versions a setup, deleted setups kept 30 days",
                          "20 versions a setup, deleted setups kept 7 days", "no history is kept",
                          "no history is kept", "40 versions a setup, deleted setups kept 7 days",
                          "no history is kept", "10 versions a setup, deleted setups kept 3 days"));
}

// Another session deleted the setup this one still shows: undelete brings it back into this
// session's list, unless this session has unsaved changes to it, which it keeps.
TEST_F(HistoryCommandsTest, UndeletingWhatAnotherSessionDeletedBringsItBackHere) {
  ASSERT_EQ(Run({"host add Sky BlurPasses=5", "host add Moon BlurPasses=6"}).exitCode, 0);
  FedWorkbench session(RSM_WORKBENCH, dir_);
  EXPECT_THAT(session.Run("edit Moon BlurPasses 9\n"), Not(Contains(HasSubstr("error:"))));
  ASSERT_EQ(Run({"edit Sky BlurPasses 6", "save Sky", "delete Sky", "delete Moon"}).exitCode, 0);

  const auto undeleted = session.Run("undelete Sky\nshow Sky\nmodified Sky\n");
  EXPECT_THAT(undeleted, Contains("undeleted \"Sky\"")) << undeleted.back();
  EXPECT_THAT(undeleted, Contains("BlurPasses = 6"));
  EXPECT_EQ(undeleted.back(), "= 0");

  const auto kept = session.Run("undelete Moon\nshow Moon\nmodified Moon\n");
  EXPECT_THAT(kept, Contains(AllOf(StartsWith("error: another session has deleted \"Moon\""),
                                   HasSubstr("unsaved changes"))));
  EXPECT_THAT(kept, Contains("BlurPasses = 9"));
  EXPECT_EQ(kept.back(), "= 1");
  session.End("answer no\n");
  const auto stored = StoredByName(dir_ / "p.zel");
  EXPECT_EQ(stored.count(u"Moon"), 0u);
  EXPECT_EQ(StoredBlurPasses(u"Sky"), 6u);
}

}  // namespace
