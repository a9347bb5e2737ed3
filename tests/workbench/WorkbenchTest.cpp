// The workbench as a process: scripts in, transcripts and design files out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "WorkbenchProcess.h"
#include "platform/HostControls.h"
#include "support/Utf.h"

namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

const std::string kQuestion = "question: There are unsaved Render Setups. Do you wish to save now?";

class WorkbenchTest : public ::testing::Test {
 protected:
  ProcessResult Run(const std::vector<std::string>& args, const std::string& stdinText = {}) {
    return RunProgram(RSM_WORKBENCH, args, dir_.Path(), stdinText);
  }
  /// Runs the key-ins as a script file on the master file p.zel and the given libraries.
  ProcessResult RunScript(const std::string& script, std::vector<std::string> args = {}) {
    dir_.Write("script.keyins", script);
    args.insert(args.begin(), {"--master", "p.zel"});
    args.push_back("script.keyins");
    return Run(args);
  }
  std::map<std::u16string, ornhost::StoredSetup> Stored(const std::string& file) {
    std::map<std::u16string, ornhost::StoredSetup> byName;
    for (auto& setup : ornhost::ReadSetups(dir_ / file)) byName[setup.name] = setup;
    return byName;
  }

  ScratchDir dir_;
};

TEST_F(WorkbenchTest, WrongCommandLinesExitWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {"--bogus"}, {"--master"}, {"-c"}, {"--library"}, {"--master", "a.zel", "--master", "b.zel"}};
  for (const auto& args : cases) {
    const ProcessResult result = Run(args);
    EXPECT_EQ(result.exitCode, 2) << args[0];
    EXPECT_EQ(result.out, "") << args[0];
    EXPECT_THAT(result.err, HasSubstr("usage: rsm-workbench")) << args[0];
  }
  const ProcessResult help = Run({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_THAT(help.out, StartsWith("usage: rsm-workbench"));
}

TEST_F(WorkbenchTest, TranscriptOfAnEditingSession) {
  const ProcessResult result = RunScript(
      "# a comment line is no key-in\n"
      "host add Sky DoShadows=false MaxSamplesPerPixel=64\n"
      "refresh\n"
      "   duplicate   Sky   # trailing comment\n"
      "edit Sky DoShadows true\n"
      "modified Sky\n"
      "modified \"Sky - Copy\"\n"
      "matches Sky\n");
  const std::string setup = " (New=false, NewBorn=false, StoreIn=\"p.zel\", 68 properties)";
  EXPECT_THAT(
      Lines(result.out),
      ElementsAre("> host add Sky DoShadows=false MaxSamplesPerPixel=64", "> refresh",
                  "panel: master setup \"Sky\" (New=true, NewBorn=false, StoreIn=\"p.zel\", "
                  "68 properties)",
                  "> duplicate   Sky   # trailing comment",
                  "panel: master setup \"Sky - Copy\"" + setup,
                  "panel: current setup \"Sky - Copy\"", "= 1", "> edit Sky DoShadows true",
                  "> modified Sky", "= 1", "> modified \"Sky - Copy\"", "= 0", "> matches Sky",
                  "= -1", "panel: cleared", kQuestion + " -> no"));
  EXPECT_EQ(result.exitCode, 0) << result.err;

  // The edit was not saved; the duplicate was saved when it was made.
  auto stored = Stored("p.zel");
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_FALSE(stored[u"Sky"].settings.DoShadows());
  EXPECT_FALSE(stored[u"Sky - Copy"].settings.DoShadows());
  EXPECT_EQ(stored[u"Sky - Copy"].settings.GetMaxSamplesPerPixel(), 64u);
}

TEST_F(WorkbenchTest, ASecondRunSeesWhatTheFirstSaved) {
  const ProcessResult first = RunScript(
      "host add Sky\n"
      "host add Damaged\n"
      "host invalidate Damaged\n"
      "refresh\n"
      "edit Sky MaxSamplesPerPixel 777\n"
      "edit Sky InterocularDistance 0.125\n"
      "save Sky\n"
      "new Sky\n");
  ASSERT_EQ(first.exitCode, 0) << first.out << first.err;
  EXPECT_THAT(first.out, Not(HasSubstr("question:")));

  const ProcessResult second = Run({"--master", "p.zel", "-c", "show Sky", "-c", "list"});
  ASSERT_EQ(second.exitCode, 0) << second.out << second.err;
  const auto lines = Lines(second.out);
  EXPECT_THAT(lines, Contains("MaxSamplesPerPixel = 777"));
  EXPECT_THAT(lines, Contains("InterocularDistance = 0.125000"));
  EXPECT_THAT(lines, Contains("list: master \"Untitled\" (current)"));
  // A damaged record stays in the file but is never shown.
  EXPECT_THAT(lines, Not(Contains(HasSubstr("Damaged"))));

  auto stored = Stored("p.zel");
  EXPECT_EQ(stored[u"Sky"].settings.GetMaxSamplesPerPixel(), 777u);
  EXPECT_EQ(stored[u"Untitled"].settings.GetMaxSamplesPerPixel(), 777u);
  EXPECT_FALSE(stored[u"Damaged"].valid);
}

TEST_F(WorkbenchTest, ClosingAsksOnceAndSavesOnlyOnYes) {
  struct Case {
    std::string answer;
    bool saved;
  };
  for (const Case& c : {Case{"answer yes\n", true}, Case{"answer no\n", false}, Case{"", false}}) {
    std::filesystem::remove(dir_ / "p.zel");
    const ProcessResult result = RunScript(
        "host add A\nhost add B\nrefresh\n"
        "edit A BlurPasses 3\nedit B BlurPasses 4\n" +
        c.answer + "open other.zel\n");
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    const auto lines = Lines(result.out);
    const auto open = std::find(lines.begin(), lines.end(), "> open other.zel");
    ASSERT_NE(open, lines.end());
    EXPECT_THAT(std::vector<std::string>(open + 1, open + 3),
                ElementsAre("panel: cleared", kQuestion + (c.saved ? " -> yes" : " -> no")));
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.starts_with("question:"); }),
              1);
    auto stored = Stored("p.zel");
    EXPECT_EQ(stored[u"A"].settings.GetBlurPasses(), c.saved ? 3u : 8u) << c.answer;
    EXPECT_EQ(stored[u"B"].settings.GetBlurPasses(), c.saved ? 4u : 8u) << c.answer;
  }
}

TEST_F(WorkbenchTest, KeyinsThatCannotRunAreReportedAndTheRunGoesOn) {
  dir_.Write("notes.txt", "this is not a design file\n");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"bogus", "error: unknown key-in bogus"},
      {"new", "error: usage: new NAME"},
      {"new \"unterminated", "error: unterminated quote"},
      {"load twice", "error: expected reload, got twice"},
      {"reference maybe", "error: expected on or off, got maybe"},
      {"answer perhaps", "error: expected yes or no, got perhaps"},
      {"edit Nowhere DoShadows true", "error: the panel shows no master-file setup \"Nowhere\""},
      {"edit Sky NoSuchProperty 1", "error: the setup \"Sky\" has no property NoSuchProperty"},
      {"host add X Bogus=1", "error: the renderer has no setting Bogus"},
      {"host add X MaxSamplesPerPixel=lots", "error: lots is not a value of MaxSamplesPerPixel"},
      {"host add X DoShadows", "error: expected PROPERTY=VALUE, got DoShadows"},
      {"host invalidate Nowhere", "error: the master file holds no setup \"Nowhere\""},
      {"host remove Sky", "error: expected host add or host invalidate"},
  };
  std::string script = "host add Sky\nrefresh\n";
  for (const auto& [keyin, error] : cases) script += keyin + "\n";
  script += "open notes.txt\nclose\nlist\n";
  const ProcessResult result = RunScript(script);
  EXPECT_EQ(result.exitCode, 1);
  const auto lines = Lines(result.out);
  for (const auto& [keyin, error] : cases) {
    const auto echo = std::find(lines.begin(), lines.end(), "> " + keyin);
    ASSERT_NE(echo, lines.end()) << keyin;
    ASSERT_NE(echo + 1, lines.end()) << keyin;
    EXPECT_EQ(*(echo + 1), error);
  }
  // A file that is not a design file leaves no master file open, and the run still lists.
  const auto open = std::find(lines.begin(), lines.end(), "> open notes.txt");
  ASSERT_NE(open, lines.end());
  EXPECT_EQ(*(open + 1), "panel: cleared");
  EXPECT_THAT(*(open + 2), AllOf(StartsWith("error: "), HasSubstr("notes.txt")));
  EXPECT_THAT(lines, Contains("error: no master file is open"));
  EXPECT_THAT(lines.back(), StartsWith("list: "));
  EXPECT_FALSE(ornhost::ReadSetups(dir_ / "p.zel").empty());
}

TEST_F(WorkbenchTest, NamesKeepEveryCharacterThroughQuotesAndUtf8) {
  // Blanks, quotes, a backslash, "#", an apostrophe-free non-Latin name, a surrogate pair.
  const std::u16string name = u"Say \"hi\" # \\ 東京 \U0001F600";
  const ProcessResult result = RunScript(
      "host add \"Say \\\"hi\\\" # \\\\ 東京 😀\" BlurPasses=5\n"
      "refresh\n"
      "duplicate \"Say \\\"hi\\\" # \\\\ 東京 😀\"\n"
      "list\n");
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_THAT(Lines(result.out),
              Contains("list: master \"Say \\\"hi\\\" # \\\\ 東京 😀 - Copy\" (current)"));
  auto stored = Stored("p.zel");
  ASSERT_EQ(stored.count(name), 1u);
  EXPECT_EQ(stored[name + u" - Copy"].settings.GetBlurPasses(), 5u);
}

TEST_F(WorkbenchTest, LibrarySetupsAreCopiedComparedAndUpdated) {
  ASSERT_EQ(
      Run({"--master", "lib.zellib", "-c", "host add Night BlurPasses=2 DoShadows=false"}).exitCode,
      0);
  const ProcessResult result = RunScript(
      "copy-from-library Night\n"
      "matches Night\n"
      "edit Night BlurPasses 9\n"
      "matches Night\n"
      "update-from-library Night\n"
      "matches Night\n"
      "modified Night\n"
      "copy-from-library Night\n"
      "matches Nowhere\n",
      {"--library", "lib.zellib"});
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  std::vector<std::string> results;
  for (const std::string& line : Lines(result.out)) {
    if (line.starts_with("= ")) results.push_back(line);
  }
  EXPECT_THAT(results, ElementsAre("= 1", "= 1", "= 0", "= 1", "= 0", "= 0", "= -1"));
  EXPECT_THAT(result.out, HasSubstr("panel: library setup \"Night\" (New=true, NewBorn=false, "
                                    "StoreIn=\"lib.zellib\", 68 properties)"));
  auto stored = Stored("p.zel");
  EXPECT_EQ(stored[u"Night"].settings.GetBlurPasses(), 2u);
  EXPECT_FALSE(stored[u"Night"].settings.DoShadows());
}

TEST_F(WorkbenchTest, AReferenceAttachmentRefusesChanges) {
  const ProcessResult result = RunScript(
      "host add Sky\nrefresh\n"
      "reference on\nnew Sky\ndelete Sky\nedit Sky BlurPasses 1\nmodified Sky\n"
      "reference off\ndelete Sky\n");
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  const auto lines = Lines(result.out);
  const auto on = std::find(lines.begin(), lines.end(), "> reference on");
  ASSERT_NE(on, lines.end());
  const std::string refused = "message: Failed to do operation on active model.";
  EXPECT_THAT(std::vector<std::string>(on, lines.end()),
              ElementsAre("> reference on", "> new Sky", refused, "> delete Sky", refused, "= 0",
                          "> edit Sky BlurPasses 1", refused, "> modified Sky", "= 0",
                          "> reference off", "> delete Sky", "= 1", "panel: cleared"));
  EXPECT_TRUE(ornhost::ReadSetups(dir_ / "p.zel").empty());
}

TEST_F(WorkbenchTest, XmlOptionPrintsEachDocumentWhole) {
  const ProcessResult result = RunScript("host add Sky\nrefresh\nnew Sky\n", {"--xml"});
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  std::vector<std::string> documents;
  for (const std::string& line : Lines(result.out)) {
    if (line.starts_with("panel: <")) documents.push_back(line);
  }
  // The empty master file sends nothing at start-up.
  ASSERT_EQ(documents.size(), 2u) << result.out;
  EXPECT_THAT(documents[0], StartsWith("panel: <RenderSetupViewModel><SetupsFromMasterFile "
                                       "Name=\"Sky\" New=\"true\""));
  EXPECT_THAT(
      documents[1],
      AllOf(StartsWith("panel: <RenderSetupViewModel><SetupsFromMasterFile Name=\"Untitled\" "
                       "New=\"false\" NewBorn=\"true\" StoreIn=\"p.zel\"><DoShadows>true"),
            EndsWith("<CurrentRenderSetup>Untitled</CurrentRenderSetup>"
                     "</RenderSetupViewModel>")));
  EXPECT_THAT(result.out, HasSubstr("\npanel: cleared\n"));
}

TEST_F(WorkbenchTest, KeyinsComeFromStandardInputWithoutATerminal) {
  const ProcessResult result = Run({"--master", "p.zel"}, "host add Sky\nrefresh\nlist\n");
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_THAT(Lines(result.out), AllOf(Contains("> list"), Contains("list: master \"Sky\"")));
}

TEST_F(WorkbenchTest, PromptOffersLineEditingHelpAndHistory) {
  const ProcessResult result = RunAtPrompt(RSM_WORKBENCH, {"--master", "p.zel"}, dir_.Path(),
                                           "rsm> ", {"help", "host add Sky", "refresh", "list"});
  EXPECT_EQ(result.exitCode, 0) << result.out;
  for (const char* form :
       {"open FILE", "host add NAME [PROPERTY=VALUE]...", "copy-from-library NAME",
        "edit NAME PROPERTY VALUE", "reference on|off", "quit"}) {
    EXPECT_THAT(result.out, HasSubstr(form));
  }
  EXPECT_THAT(result.out, HasSubstr("list: master \"Sky\""));
  std::ifstream history(dir_ / ".rsm-workbench_history");
  std::string all((std::istreambuf_iterator<char>(history)), {});
  EXPECT_THAT(all, AllOf(HasSubstr("host add Sky"), HasSubstr("list")));
}

TEST_F(WorkbenchTest, AModuleWithoutTheExportsIsRefused) {
  const ProcessResult missing = Run({"--module", ORNR_HOST_LIBRARY, "-c", "list"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_THAT(missing.out, HasSubstr("does not export ornR_Init"));
  EXPECT_THAT(missing.out, Not(HasSubstr("> list")));
  const ProcessResult absent = Run({"--module", "no-such-module.so"});
  EXPECT_EQ(absent.exitCode, 1);
  EXPECT_THAT(absent.out, HasSubstr("error: cannot load module no-such-module.so"));
}

TEST_F(WorkbenchTest, KilledAmidSavesLeavesEveryFileIntact) {
  ASSERT_EQ(Run({"--master", "lib.zellib", "-c", "host add Night BlurPasses=2"}).exitCode, 0);
  constexpr int kSetups = 8;
  std::string script;
  for (int i = 0; i < kSetups; ++i) script += "host add S" + std::to_string(i) + "\n";
  script += "refresh\n";
  for (int round = 1; round <= 2000; ++round) {
    const std::string name = "S" + std::to_string(round % kSetups);
    script +=
        "edit " + name + " MaxSamplesPerPixel " + std::to_string(round) + "\nsave " + name + "\n";
  }
  dir_.Write("saves.keyins", script);

  // Each key-in is echoed before it runs, so a save is done once the next key-in shows; the
  // save shown last may or may not be. The kill comes mid-script; whatever the child wrote
  // before it died is read too.
  std::map<std::string, std::vector<unsigned>> allowed;
  for (int i = 0; i < kSetups; ++i) allowed["S" + std::to_string(i)] = {256u};
  std::string pendingName;
  unsigned pendingValue = 0;
  unsigned lastEdit = 0;
  int saves = 0;
  {
    RunningProcess process(RSM_WORKBENCH,
                           {"--master", "p.zel", "--library", "lib.zellib", "saves.keyins"},
                           dir_.Path());
    for (std::string line; process.ReadLine(line);) {
      if (!line.starts_with("> ")) continue;
      if (!pendingName.empty()) allowed[pendingName] = {pendingValue};
      pendingName.clear();
      if (line.starts_with("> edit ")) lastEdit = std::stoul(line.substr(line.rfind(' ') + 1));
      if (!line.starts_with("> save ")) continue;
      pendingName = line.substr(7);
      pendingValue = lastEdit;
      if (++saves == 150) process.Kill(SIGKILL);
    }
    const int status = process.Wait();
    ASSERT_TRUE(WIFSIGNALED(status)) << "the script ended before the kill";
  }
  ASSERT_GE(saves, 150);
  if (!pendingName.empty()) allowed[pendingName].push_back(pendingValue);

  for (const char* file : {"p.zel", "lib.zellib"}) {
    ASSERT_NO_THROW(ornhost::ReadSetups(dir_ / file)) << file;
  }
  auto stored = Stored("p.zel");
  ASSERT_EQ(stored.size(), static_cast<std::size_t>(kSetups));
  for (const auto& [name, values] : allowed) {
    const auto& setup = stored[ornr::Utf8ToUtf16(name)];
    ASSERT_TRUE(setup.valid) << name;
    EXPECT_THAT(values, Contains(setup.settings.GetMaxSamplesPerPixel())) << name;
  }
  const ProcessResult again = Run({"--master", "p.zel", "--library", "lib.zellib", "-c", "list"});
  EXPECT_EQ(again.exitCode, 0) << again.out << again.err;
  EXPECT_THAT(again.out, HasSubstr("list: library \"Night\" from \"lib.zellib\""));
}

TEST_F(WorkbenchTest, DemoBuildsItsFolderAfreshAndRunsTheTour) {
  const std::string script = std::string(ORNR_SOURCE_DIR) + "/workbench/demo/run-demo.sh";
  setenv("RSM_WORKBENCH", RSM_WORKBENCH, 1);
  for (int run = 0; run < 2; ++run) {
    const ProcessResult result =
        RunProgram("/bin/bash", {script, "unused-build", "demo"}, dir_.Path());
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_THAT(result.out, Not(HasSubstr("\nerror: ")));
    EXPECT_THAT(result.out, HasSubstr(kQuestion + " -> yes"));
    EXPECT_THAT(Lines(result.out), Contains("list: master \"Lobby Evening\""));
  }
  const auto tower = ornhost::ReadSetups(dir_ / "demo" / "tower.zel");
  const auto atrium = std::find_if(tower.begin(), tower.end(),
                                   [](const auto& setup) { return setup.name == u"Atrium Study"; });
  ASSERT_NE(atrium, tower.end());
  EXPECT_EQ(atrium->settings.GetMaxRenderTimeMinutes(), 120u);

  // A folder the demo did not make is left alone.
  dir_.Write("mine.txt", "keep");
  const ProcessResult refused =
      RunProgram("/bin/bash", {script, "unused-build", dir_.Path().string()}, dir_.Path());
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "mine.txt"));
  unsetenv("RSM_WORKBENCH");
}

}  // namespace
