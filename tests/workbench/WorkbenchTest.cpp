// The workbench as a process: scripts in, transcripts and design files out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "WorkbenchProcess.h"
#include "host/controls/HostControls.h"

namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

const std::string kQuestion = "question: There are unsaved Render Setups. Do you wish to save now?";

class WorkbenchTest : public ::testing::Test {
 protected:
  ProcessResult Run(const std::vector<std::string>& args) {
    return RunProgram(RSM_WORKBENCH, args, dir_.Path());
  }
  /// Runs the commands as a script file on the master file p.zel.
  ProcessResult RunScript(const std::string& script) {
    dir_.Write("script.commands", script);
    return Run({"--master", "p.zel", "script.commands"});
  }

  ScratchDir dir_;
};

TEST_F(WorkbenchTest, CommandLinesAreTakenOrRefusedWithTwoAndCommandsExplainThemselves) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string outPart;
  };
  const Case cases[] = {
      {{"--version"}, 0, "rsm-workbench 0."},
      {{"--master=eq.zel", "-c", "host add A", "-c", "load reload", "-c", "list"},
       0,
       "list: master \"A\""},
      {{"--master", "sp.zel", "-clist"}, 0, "list: master none"},
      {{"-c", "help rename"}, 0, "rename OLD NEW"},
      {{"-c", "help nope"}, 1, "error: unknown command nope"},
      {{"--help"}, 0, "usage: rsm-workbench"},
      {{"--xml=yes"}, 2, ""},
      {{"-q"}, 2, ""},
      {{"-c"}, 2, ""},
      {{"--bogus"}, 2, ""},
      {{"--master"}, 2, ""},
      {{"--master", "a.zel", "--master", "b.zel"}, 2, ""},
      {{"--culture", "../de"}, 2, ""},
      {{"--culture="}, 2, ""},
      {{"--panel-allow-network"}, 2, ""},
  };
  for (const Case& c : cases) {
    const ProcessResult result = Run(c.args);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.args[0];
    EXPECT_THAT(result.out, HasSubstr(c.outPart)) << c.args[0];
    if (c.exitCode != 2) continue;
    // A wrong command line is told on standard error only.
    EXPECT_EQ(result.out, "") << c.args[0];
    EXPECT_THAT(result.err, HasSubstr("usage: rsm-workbench")) << c.args[0];
  }
  // help COMMAND prints the forms of that one command only.
  EXPECT_THAT(Lines(Run({"-c", "help host"}).out),
              ElementsAre("> help host", StartsWith("host add"), StartsWith("host show"),
                          StartsWith("host invalidate")));
}

TEST_F(WorkbenchTest, TranscriptOfAnEditingSession) {
  const ProcessResult result = RunScript(
      "# a comment line is no command\n"
      "host add Sky DoShadows=false MaxSamplesPerPixel=64\n"
      "refresh\n"
      "   duplicate   Sky   # trailing comment\n"
      "edit Sky DoShadows true\n"
      "modified Sky\n"
      "modified \"Sky - Copy\"\n"
      "matches Sky\n");
  EXPECT_THAT(
      Lines(result.out),
      ElementsAre("> host add Sky DoShadows=false MaxSamplesPerPixel=64", "> refresh",
                  "panel: master setup \"Sky\" (New=true, NewBorn=false, StoreIn=\"p.zel\", "
                  "68 properties)",
                  "> duplicate   Sky   # trailing comment",
                  "panel: master setup \"Sky - Copy\" (New=false, NewBorn=false, "
                  "StoreIn=\"p.zel\", 68 properties)",
                  "panel: current setup \"Sky - Copy\"", "= 1", "> edit Sky DoShadows true",
                  "> modified Sky", "= 1", "> modified \"Sky - Copy\"", "= 0", "> matches Sky",
                  "= -1", "panel: cleared", kQuestion + " -> no",
                  "error: the unsaved setup \"Sky\" of p.zel is kept in p.zel.recovered.json; to "
                  "bring it back, open p.zel and import p.zel.recovered.json --replace"));
  EXPECT_EQ(result.exitCode, 1) << result.err;
  // The edit was not saved but kept; the duplicate was saved when it was made.
  auto stored = StoredByName(dir_ / "p.zel");
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_FALSE(stored[u"Sky"].settings.DoShadows());
  EXPECT_FALSE(stored[u"Sky - Copy"].settings.DoShadows());
  EXPECT_EQ(stored[u"Sky - Copy"].settings.GetMaxSamplesPerPixel(), 64u);
}

TEST_F(WorkbenchTest, ASecondRunSeesWhatTheFirstSaved) {
  const ProcessResult first = RunScript(
      "host add Sky\nhost add Damaged\nhost invalidate Damaged\nrefresh\n"
      "edit Sky MaxSamplesPerPixel 777\nedit Sky InterocularDistance 0.125\nsave Sky\nnew Sky\n");
  ASSERT_EQ(first.exitCode, 0) << first.out << first.err;
  EXPECT_THAT(first.out, Not(HasSubstr("question:")));

  const ProcessResult second = Run({"--master", "p.zel", "-c", "show Sky", "-c", "list"});
  const auto lines = Lines(second.out);
  EXPECT_THAT(lines, Contains("MaxSamplesPerPixel = 777"));
  EXPECT_THAT(lines, Contains("InterocularDistance = 0.125000"));
  EXPECT_THAT(lines, Contains("list: master \"Untitled\" (current)"));
  // A damaged record stays in the file and is never shown, but each open names it and why.
  EXPECT_EQ(second.exitCode, 1) << second.out << second.err;
  EXPECT_EQ(
      std::count_if(lines.begin(), lines.end(),
                    [](const std::string& line) { return line.find("Damaged") != line.npos; }),
      1);
  EXPECT_THAT(lines, Contains(StartsWith("error: p.zel: a damaged setup record is ignored: "
                                         "\"Damaged\": the value of BlurPasses is not ")));
  EXPECT_FALSE(StoredByName(dir_ / "p.zel")[u"Damaged"].valid);
}

TEST_F(WorkbenchTest, CommandsThatCannotRunAreReportedAndTheRunExitsWithOne) {
  dir_.Write("notes.txt", "this is not a design file\n");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"bogus", "error: unknown command bogus"},
      {"new \"unterminated", "error: unterminated quote"},
      {std::string("rename Sky \"cut\0here\"", 21),
       "error: a NUL character cannot be part of a command"},
      {"edit Nowhere DoShadows true", "error: the panel shows no master-file setup \"Nowhere\""},
      {"host add X MaxSamplesPerPixel=lots", "error: lots is not a value of MaxSamplesPerPixel"},
      {"host add X QualityThreshold=nan", "error: nan is not a value of QualityThreshold"},
      {"edit Sky BlurPasses abc",
       "error: \"abc\" is not a value of BlurPasses: expected a whole number from 0 to "
       "4294967295 (or -2147483648 to -1)"},
      {"edit Sky ShadowQuality 3", "error: ShadowQuality is shown only; it cannot be changed here"},
      {"rename Nowhere Elsewhere", "error: no setup named \"Nowhere\" in the master file"},
      {"modified Sky", "= 0"},
      {"open notes.txt", "panel: cleared"},
      {"close", "error: no master file is open"},
  };
  std::string script = "host add Sky\nrefresh\n";
  for (const auto& [command, error] : cases) script += command + "\n";
  const ProcessResult result = RunScript(script + "list\n");
  EXPECT_EQ(result.exitCode, 1);
  const auto lines = Lines(result.out);
  for (const auto& [command, error] : cases) {
    // The echo shows a NUL as an escape, never raw.
    std::string echoed = command;
    if (const auto nul = echoed.find('\0'); nul != std::string::npos)
      echoed.replace(nul, 1, "\\u0000");
    const auto echo = std::find(lines.begin(), lines.end(), "> " + echoed);
    ASSERT_LT(echo + 1, lines.end()) << command;
    EXPECT_EQ(*(echo + 1), error);
  }
  EXPECT_THAT(lines.back(), StartsWith("list: "));
  EXPECT_FALSE(ornhost::ReadSetups(dir_ / "p.zel").empty());
}

// The module tells nobody that a setup is not there, or why the host refused a rename: the
// workbench does, each such command exits with 1, and the names in its lines stay on one line
// with their control characters escaped.
TEST_F(WorkbenchTest, CommandsOnMissingSetupsAndRefusedRenamesSayWhy) {
  struct Case {
    std::string command;
    std::string echo;  // as the transcript shows the command
    std::vector<std::string> said;
  };
  const std::string missing = "error: no setup named \"Nope\" in the master file";
  const std::string notRenamed = "error: the setup \"Sky\" was not renamed to ";
  const Case cases[] = {
      {"delete Nope", "delete Nope", {"= 1", missing}},
      {"save Nope", "save Nope", {missing}},
      {"save Nope --force", "save Nope --force", {missing}},
      {"reset Nope", "reset Nope", {missing}},
      {"rename Nope Other", "rename Nope Other", {missing}},
      {"rename Sky Sea",
       "rename Sky Sea",
       {notRenamed + "\"Sea\": a setup named \"Sea\" already exists"}},
      {"rename Sky \"bell\x07\x1b[2J\"",
       "rename Sky \"bell\\u0007\\u001b[2J\"",
       {notRenamed + "\"bell\\u0007\\u001b[2J\": a setup name cannot hold the control "
                     "character U+0007"}},
      {"rename Sky \"\"", "rename Sky \"\"", {notRenamed + "\"\": a setup needs a name"}},
  };
  for (const Case& c : cases) {
    const ProcessResult result = Run({"--master", "p.zel", "-c", "host add Sky", "-c",
                                      "host add Sea", "-c", "refresh", "-c", c.command});
    EXPECT_EQ(result.exitCode, 1) << c.command;
    const auto lines = Lines(result.out);
    const auto echo = std::find(lines.begin(), lines.end(), "> " + c.echo);
    ASSERT_LE(echo + 1 + c.said.size(), lines.end()) << result.out;
    EXPECT_EQ(std::vector<std::string>(echo + 1, echo + 1 + c.said.size()), c.said);
    EXPECT_EQ(result.out.find_first_of("\x07\x1b"), std::string::npos) << c.command;
    const auto stored = StoredByName(dir_ / "p.zel");
    EXPECT_EQ(stored.size(), 2u) << c.command;
    EXPECT_EQ(stored.count(u"Sky") + stored.count(u"Sea"), 2u) << c.command;
  }
}

// The module refuses by a message box; a script that met one must not look as if all went well.
TEST_F(WorkbenchTest, ARefusalOfTheModuleMakesTheExitStatusOne) {
  const ProcessResult result =
      RunScript("host add Sky\nrefresh\nreference on\nnew Sky\nreference off\nanswer no\n");
  EXPECT_EQ(result.exitCode, 1) << result.out;
  EXPECT_THAT(Lines(result.out), Contains("message: Failed to do operation on active model."));
}

// A host that takes the user's locale must not turn 0.065 into "0,065000" in the documents.
TEST_F(WorkbenchTest, TwoLibrariesOfferingOneNameAreListedApartAndARenameAddsNoPhantom) {
  ASSERT_EQ(Run({"-c", "open studio.zellib", "-c", "host add Night MaxRenderTimeMinutes=60", "-c",
                 "close", "-c", "open office.zellib", "-c",
                 "host add Night MaxRenderTimeMinutes=30", "-c", "close"})
                .exitCode,
            0);
  dir_.Write("s.commands",
             "host add Night\nload reload\nlist\nrename Night Day\nlist\n"
             "copy-from-library Night\nshow Night\n");
  const ProcessResult result = Run({"--master", "p.zel", "--library", "studio.zellib", "--library",
                                    "office.zellib", "s.commands"});
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  const auto lines = Lines(result.out);
  const auto count = [&lines](const std::string& start) {
    return std::count_if(lines.begin(), lines.end(),
                         [&start](const std::string& line) { return line.starts_with(start); });
  };
  // Listed before and after the rename, once each time under each library, never elsewhere.
  EXPECT_EQ(count("list: library \"Night\" from \"studio.zellib\""), 2);
  EXPECT_EQ(count("list: library \"Night\" from \"office.zellib\""), 2);
  EXPECT_EQ(count("list: library"), 4);
  // The module copies from the library whose file name sorts first.
  EXPECT_THAT(lines, Contains("MaxRenderTimeMinutes = 30"));
}

TEST_F(WorkbenchTest, ACommaDecimalLocaleChangesNoNumberText) {
  ASSERT_NE(setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "scripts/install-deps.sh makes it";
  setlocale(LC_ALL, "C");
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  const ProcessResult result =
      Run({"--master", "p.zel", "--xml", "-c", "host add Sky", "-c", "refresh", "-c",
           "edit Sky QualityThreshold 0.25", "-c", "save Sky"});
  unsetenv("LC_ALL");
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_THAT(result.out, HasSubstr("<InterocularDistance>0.065000</InterocularDistance>"));
  EXPECT_EQ(StoredByName(dir_ / "p.zel")[u"Sky"].settings.GetQualityThreshold(), 0.25);
}

// Names keep every character through quotes and UTF-8; rename and delete act as the panel's
// own buttons; an edit the module cannot take is no silent loss.
TEST_F(WorkbenchTest, OddNamesThroughDuplicateRenameAndDeleteAndAStaleEditIsReported) {
  const std::string odd = "\"Say \\\"hi\\\" # \\\\ 東京 😀\"", renamed = "\"Sky \\\"<&>\\\" Ü\"";
  const ProcessResult result = RunScript(
      "host add " + odd + " BlurPasses=5\nhost add Sea\nrefresh\nduplicate " + odd + "\nrename " +
      odd + " " + renamed + "\ndelete Sea\nlist\nrelease\nedit " + renamed + " BlurPasses 3\n");
  EXPECT_EQ(result.exitCode, 1);
  const auto lines = Lines(result.out);
  EXPECT_THAT(lines, Contains("list: master " + renamed));
  EXPECT_THAT(lines, Contains(StartsWith("list: master \"Say \\\"hi\\\" # \\\\ 東京 😀 - Copy\"")));
  EXPECT_THAT(lines, Not(Contains(HasSubstr("list: master \"Sea\""))));
  EXPECT_EQ(lines.back(), "error: the edit of BlurPasses did not reach the setup " + renamed);
  auto stored = StoredByName(dir_ / "p.zel");
  EXPECT_EQ(stored[u"Sky \"<&>\" Ü"].settings.GetBlurPasses(), 5u);
  EXPECT_EQ(stored[u"Say \"hi\" # \\ 東京 \U0001F600 - Copy"].settings.GetBlurPasses(), 5u);
}

TEST_F(WorkbenchTest, DemoBuildsItsFolderAfreshAndRunsTheTour) {
  const std::string script = std::string(ORNR_SOURCE_DIR) + "/workbench/demo/run-demo.sh";
  setenv("RSM_WORKBENCH", RSM_WORKBENCH, 1);
  setenv("RSM_AUDIT", RSM_AUDIT, 1);
  for (int run = 0; run < 2; ++run) {
    const ProcessResult result = RunProgram("/bin/bash", {script, "unused", "demo"}, dir_.Path());
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    const auto lines = Lines(result.out);
    // The one error is the office's lock refusing an edit that gives no reason.
    std::vector<std::string> errors;
    for (const std::string& line : lines) {
      if (line.starts_with("error: ")) errors.push_back(line);
    }
    EXPECT_THAT(errors, ElementsAre(StartsWith(
                            "error: MaxSamplesPerPixel of \"Office Quality\" is locked by \"Office "
                            "Quality\" in office-standards.zellib: Client renders are billed")));
    EXPECT_THAT(result.out, HasSubstr(kQuestion + " -> yes"));
    EXPECT_THAT(lines, Contains("list: master \"Lobby Evening\""));
    EXPECT_THAT(lines, Contains(StartsWith("why: overridden by ")));
    EXPECT_THAT(lines, Contains(HasSubstr(": locked value changed (Client renders are billed")));
    // The office's standard deployed to the project as one change set, and taken back whole.
    EXPECT_THAT(lines, Contains("deploy: changed 12 setups in 12 design files (11 created); 1 file "
                                "skipped"));
    EXPECT_THAT(lines, Contains("undo: changed 12 setups in 12 design files"));
  }
  // A folder the demo did not make is left alone.
  dir_.Write("mine.txt", "keep");
  EXPECT_EQ(RunProgram("/bin/bash", {script, "unused", dir_.Path().string()}, dir_.Path()).exitCode,
            1);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "mine.txt"));
  unsetenv("RSM_WORKBENCH");
  unsetenv("RSM_AUDIT");
}

}  // namespace
