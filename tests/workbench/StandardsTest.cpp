// Office standards over real design files: a library setup that governs some values and locks
// some of them, a project that takes it by name or applies it, and what each command then sees.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "WorkbenchProcess.h"
#include "host/controls/HostControls.h"

namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

class StandardsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The office's "Night" governs the lighting and BlurPasses, and locks BlurPasses.
    Must({"--master", "office.zellib", "-c", "host add Night BlurPasses=6 QualityThreshold=0.4",
          "-c", "scope Night --only Lighting BlurPasses", "-c",
          "lock Night BlurPasses --reason \"house look\"", "-c",
          "note Night BlurPasses \"soft enough for print\""});
    Must({"--master", "p.zel", "--library", "office.zellib", "-c", "copy-from-library Night", "-c",
          "host add Lobby"});
  }

  ProcessResult Run(const std::vector<std::string>& commands, const char* master = "p.zel") {
    std::vector<std::string> args = {"--master", master, "--library", "office.zellib"};
    for (const std::string& command : commands) args.insert(args.end(), {"-c", command});
    return RunProgram(RSM_WORKBENCH, args, dir_.Path());
  }
  void Must(const std::vector<std::string>& args) {
    const ProcessResult result = RunProgram(RSM_WORKBENCH, args, dir_.Path());
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  }
  std::string Stored(const char* file, const char16_t* setup, const std::string& property) {
    for (const auto& [key, text] : ornhost::SettingTexts(StoredByName(dir_ / file)[setup].settings))
      if (key == property) return text;
    return "?";
  }
  // The library moves two values it does not govern.
  void LibraryMoves() {
    Must({"--master", "office.zellib", "-c",
          "host add Night BlurPasses=6 QualityThreshold=0.2 ReflectDepth=3"});
  }
  ScratchDir dir_;
};

TEST_F(StandardsTest, ScopesAndLocksAreAuthoredInTheLibraryAsVersions) {
  struct Case {
    const char* command;
    const char* line;
  };
  const std::vector<Case> cases = {
      {"scope Night", "scope: \"Night\" governs 8 of 68 values: Lighting, BlurPasses"},
      {"scope Night --only Nowhere", "error: \"Nowhere\" is neither a property nor a section"},
      {"lock Night QualityThreshold --reason x",
       "error: QualityThreshold is not governed by \"Night\" (scope Night shows what it governs)"},
      {"unlock Night ReflectDepth", "error: ReflectDepth of \"Night\" is not locked"},
      {"lock Night BlurPasses", "error: usage: lock NAME PROPERTY... --reason TEXT"},
      // Shrinking the scope takes the lock of what it no longer governs with it.
      {"scope Night --only Lighting",
       "scope: the lock of BlurPasses goes: \"Night\" no longer governs it"},
      {"scope Night --all", "scope: \"Night\" governs all 68 values"},
      {"note Night BlurPasses", "note: BlurPasses of \"Night\": soft enough for print"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    const ProcessResult result = Run({c.command}, "office.zellib");
    EXPECT_THAT(Lines(result.out), Contains(c.line)) << result.out;
    EXPECT_EQ(result.exitCode, std::string(c.line).starts_with("error:") ? 1 : 0);
  }
  const auto history = Lines(Run({"history Night"}, "office.zellib").out);
  EXPECT_THAT(history, Contains(HasSubstr("scope Lighting, BlurPasses -> Lighting")));
  EXPECT_THAT(history, Contains(HasSubstr("scope Lighting -> all")));
  EXPECT_THAT(history, Contains(HasSubstr("lock BlurPasses removed (was \"house look\")")));
  EXPECT_THAT(history, Contains(HasSubstr("note BlurPasses \"soft enough for print\"")));
}

TEST_F(StandardsTest, DriftSeesGovernedValuesWhileTheModuleComparesAndCopiesAllOfThem) {
  Must({"--master", "p.zel", "--library", "office.zellib", "-c", "edit Night ReflectDepth 4", "-c",
        "save Night"});
  LibraryMoves();
  const ProcessResult seen =
      Run({"matches Night", "drift Night", "merge-from-library Night", "save Night"});
  ASSERT_EQ(seen.exitCode, 0) << seen.out;
  const auto lines = Lines(seen.out);
  // The module: a value the library does not govern still makes the two differ.
  EXPECT_THAT(lines, Contains("= 0"));
  // Drift and merge: nothing governed moved, on either side.
  EXPECT_THAT(lines, Contains("drift: 8 values unchanged"));
  EXPECT_THAT(lines, Contains("summary: up to date"));
  EXPECT_EQ(Stored("p.zel", u"Night", "ReflectDepth"), "4");
  EXPECT_EQ(Stored("p.zel", u"Night", "QualityThreshold"), "0.4");

  // A scope that grows shows the newly governed value as the library's change.
  Must({"--master", "office.zellib", "-c", "scope Night --only Lighting BlurPasses ReflectDepth"});
  EXPECT_THAT(Lines(Run({"drift Night"}).out), Contains("summary: library has 1 newer value"));
  // The module's update is its full copy: every value, governed or not.
  const ProcessResult updated = Run({"update-from-library Night", "matches Night"});
  EXPECT_THAT(Lines(updated.out), Contains("= 1")) << updated.out;
  EXPECT_EQ(Stored("p.zel", u"Night", "QualityThreshold"), "0.2");
  EXPECT_EQ(Stored("p.zel", u"Night", "ReflectDepth"), "3");
}

TEST_F(StandardsTest, ALockedValueChangesOnlyWithAnOverrideThatSaveKeepsAndResetDrops) {
  const ProcessResult refused = Run({"edit Night BlurPasses 12", "modified Night"});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_THAT(Lines(refused.out),
              Contains("error: BlurPasses of \"Night\" is locked by \"Night\" in office.zellib: "
                       "house look; edit ... --override \"why\" changes it anyway"));
  EXPECT_THAT(Lines(refused.out), Contains("= 0"));

  const ProcessResult dropped = Run({"edit Night BlurPasses 12 --override \"client asked\"",
                                     "locks Night", "reset Night", "locks Night"});
  ASSERT_EQ(dropped.exitCode, 0) << dropped.out;
  const std::string lock =
      "locks: BlurPasses of \"Night\" is locked by \"Night\" in office.zellib: "
      "house look";
  EXPECT_THAT(Lines(dropped.out), Contains(lock + "; overridden (unsaved): client asked"));
  EXPECT_THAT(Lines(dropped.out), Contains(lock));

  const ProcessResult saved =
      Run({"edit Night BlurPasses 12 --override \"client asked\"", "save Night",
           "edit Night BlurPasses 14", "save Night", "history Night", "why Night BlurPasses"});
  ASSERT_EQ(saved.exitCode, 0) << saved.out;
  EXPECT_EQ(Stored("p.zel", u"Night", "BlurPasses"), "14");
  const auto lines = Lines(saved.out);
  EXPECT_THAT(lines,
              Contains(HasSubstr("BlurPasses 6 -> 12, override BlurPasses \"client asked\"")));
  EXPECT_THAT(lines, Contains(HasSubstr("why: locked: house look")));
  EXPECT_THAT(lines, Contains(HasSubstr("why: overridden by ")));
  EXPECT_THAT(lines, Contains("why: library note: soft enough for print"));
  // The module's full copy from the library leaves nothing to override.
  const ProcessResult updated = Run({"update-from-library Night", "locks Night"});
  EXPECT_THAT(Lines(updated.out), Contains(lock));
  EXPECT_THAT(Lines(updated.out), Not(Contains(HasSubstr("overridden"))));
  EXPECT_EQ(Stored("p.zel", u"Night", "BlurPasses"), "6");
  // Another value is no lock's business, and an override needs a lock.
  const ProcessResult other = Run({"edit Night QualityThreshold 0.3", "modified Night",
                                   "edit Lobby BlurPasses 3 --override \"no\"", "reset Night"});
  EXPECT_THAT(Lines(other.out), Contains("= 1"));
  EXPECT_THAT(Lines(other.out), Contains("error: BlurPasses of \"Lobby\" is not locked; edit it "
                                         "without --override"));

  // Once the library moves a locked value, the drawing may follow it without a reason, and only
  // to the library's value.
  Must({"--master", "office.zellib", "-c", "host add Night BlurPasses=8 QualityThreshold=0.4"});
  const ProcessResult back =
      Run({"edit Night BlurPasses 7", "edit Night BlurPasses 8", "save Night", "locks Night"});
  EXPECT_EQ(back.exitCode, 1);
  EXPECT_THAT(Lines(back.out), Contains(HasSubstr("error: BlurPasses of \"Night\" is locked")));
  EXPECT_THAT(Lines(back.out), Contains(lock));
  EXPECT_EQ(Stored("p.zel", u"Night", "BlurPasses"), "8");
}

TEST_F(StandardsTest, AMergePutsALockedValueBackWhateverTheChoiceUnlessItIsOverridden) {
  Must({"--master", "office.zellib", "-c", "unlock Night BlurPasses"});
  Must({"--master", "p.zel", "--library", "office.zellib", "-c", "edit Night BlurPasses 12", "-c",
        "save Night"});
  Must({"--master", "office.zellib", "-c", "lock Night BlurPasses --reason \"house look\""});
  struct Case {
    std::vector<std::string> commands;
    const char* action;
    std::string stored;
  };
  const std::vector<Case> cases = {
      {{"merge-from-library Night --take local", "save Night"}, "put back (locked)", "6"},
      {{"merge-from-library Night", "save Night"}, "put back (locked)", "6"},
      {{"edit Night BlurPasses 12 --override \"client asked\"",
        "merge-from-library Night --take library", "save Night"},
       "keep here",
       "12"},
  };
  const std::string before = dir_.Read("p.zel");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.commands.front());
    dir_.Write("p.zel", before);
    const ProcessResult result = Run(c.commands);
    EXPECT_EQ(result.exitCode, 0) << result.out;
    EXPECT_THAT(Lines(result.out), Contains(HasSubstr(c.action))) << result.out;
    EXPECT_EQ(Stored("p.zel", u"Night", "BlurPasses"), c.stored);
  }
  dir_.Write("p.zel", before);
  const ProcessResult chosen = Run({"merge-from-library Night BlurPasses=local"});
  EXPECT_EQ(chosen.exitCode, 1);
  EXPECT_THAT(Lines(chosen.out), Contains(HasSubstr("error: BlurPasses of \"Night\" is locked")));
}

TEST_F(StandardsTest, ARestoreOrAnImportThatWouldBreachALockChangesNothing) {
  // Version 2 holds BlurPasses 12, from before the office locked it.
  Must({"--master", "office.zellib", "-c", "unlock Night BlurPasses"});
  Must({"--master", "p.zel", "--library", "office.zellib", "-c", "edit Night BlurPasses 12", "-c",
        "save Night", "-c", "edit Night BlurPasses 6", "-c", "save Night", "-c",
        "export Night night.json"});
  dir_.Write("tuned.json", dir_.Read("night.json")
                               .replace(dir_.Read("night.json").find("\"BlurPasses\": 6"), 15,
                                        "\"BlurPasses\": 9"));
  Must({"--master", "office.zellib", "-c", "lock Night BlurPasses --reason \"house look\""});
  const std::string before = dir_.Read("p.zel");
  const ProcessResult restored = Run({"restore Night 2", "modified Night"});
  EXPECT_EQ(restored.exitCode, 1);
  EXPECT_THAT(Lines(restored.out),
              Contains(HasSubstr("error: BlurPasses is locked by \"Night\" in office.zellib: house "
                                 "look (12 here, 6 in the library); nothing restored")));
  EXPECT_THAT(Lines(restored.out), Contains("= 0"));
  const ProcessResult imported = Run({"import tuned.json --replace"});
  EXPECT_EQ(imported.exitCode, 1);
  EXPECT_THAT(Lines(imported.out),
              Contains(HasSubstr("(9 here, 6 in the library); nothing changed")));
  EXPECT_TRUE(dir_.Read("p.zel") == before);
  // With an override the same restore goes in.
  const ProcessResult overridden =
      Run({"edit Night BlurPasses 7 --override \"client asked\"", "restore Night 2", "save Night"});
  EXPECT_EQ(overridden.exitCode, 0) << overridden.out;
  EXPECT_EQ(Stored("p.zel", u"Night", "BlurPasses"), "12");
}

TEST_F(StandardsTest, AnUndeleteThatWouldBreachALockChangesNothing) {
  Must({"--master", "office.zellib", "-c", "unlock Night BlurPasses"});
  Must({"--master", "p.zel", "--library", "office.zellib", "-c", "edit Night BlurPasses 12", "-c",
        "save Night", "-c", "delete Night"});
  Must({"--master", "office.zellib", "-c", "lock Night BlurPasses --reason \"house look\""});
  const std::string before = dir_.Read("p.zel");
  const ProcessResult refused = Run({"undelete Night", "undelete Night Other", "deleted"});
  EXPECT_EQ(refused.exitCode, 1);
  const auto lines = Lines(refused.out);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& line) {
                            return line.starts_with("error: BlurPasses is locked by \"Night\"") &&
                                   line.find("(12 here, 6 in the library); nothing changed") !=
                                       std::string::npos;
                          }),
            2)
      << refused.out;
  EXPECT_THAT(lines, Contains(HasSubstr("deleted: ")));
  EXPECT_TRUE(dir_.Read("p.zel") == before);
  // Unlocked, it comes back with its value.
  Must({"--master", "office.zellib", "-c", "unlock Night BlurPasses"});
  EXPECT_EQ(Run({"undelete Night"}).exitCode, 0);
  EXPECT_EQ(Stored("p.zel", u"Night", "BlurPasses"), "12");
}

TEST_F(StandardsTest, ApplyTakesOnlyGovernedValuesIntoAnySetupAndWhyNamesTheOverlay) {
  Must({"--master", "p.zel", "--library", "office.zellib", "-c", "edit Lobby QualityThreshold 0.3",
        "-c", "save Lobby"});
  const std::string before = dir_.Read("p.zel");
  const ProcessResult dry = Run({"apply Night Lobby --dry-run", "modified Lobby"});
  ASSERT_EQ(dry.exitCode, 0) << dry.out;
  EXPECT_THAT(Lines(dry.out), Contains("apply: \"Lobby\" BlurPasses 8 -> 6"));
  EXPECT_THAT(Lines(dry.out), Contains("= 0"));
  EXPECT_TRUE(dir_.Read("p.zel") == before);

  const ProcessResult applied = Run({"apply Night Lobby", "save Lobby", "why Lobby BlurPasses",
                                     "why Lobby QualityThreshold", "edit Lobby BlurPasses 2"});
  EXPECT_EQ(applied.exitCode, 1) << applied.out;  // the lock came with the overlay
  const auto lines = Lines(applied.out);
  EXPECT_THAT(lines,
              Contains(HasSubstr("governed by \"Night\" in office.zellib (applied from it)")));
  EXPECT_THAT(lines, Contains("why: no library setup governs it: the drawing's own value"));
  EXPECT_THAT(lines, Contains(HasSubstr("error: BlurPasses of \"Lobby\" is locked by \"Night\"")));
  EXPECT_EQ(Stored("p.zel", u"Lobby", "BlurPasses"), "6");
  EXPECT_EQ(Stored("p.zel", u"Lobby", "QualityThreshold"), "0.3");

  // A second layer over the same-name link: the last applied wins, and each layer shows.
  Must({"--master", "office.zellib", "-c", "host add Day BlurPasses=4", "-c",
        "scope Day --only BlurPasses"});
  const ProcessResult layered =
      Run({"apply Day Night", "save Night", "origin Night", "drift Night", "why Night BlurPasses"});
  ASSERT_EQ(layered.exitCode, 0) << layered.out;
  const auto layers = Lines(layered.out);
  EXPECT_EQ(Stored("p.zel", u"Night", "BlurPasses"), "4");
  EXPECT_THAT(layers, Contains(HasSubstr("origin: \"Night\" from \"Night\" in \"office.zellib\"")));
  EXPECT_THAT(layers, Contains(HasSubstr("origin: overlay \"Day\" in office.zellib (")));
  EXPECT_THAT(layers, Contains("origin: BlurPasses is governed by 2 layers; \"Day\" in "
                               "office.zellib, the last, wins"));
  EXPECT_THAT(layers,
              Contains("drift: taken by name from \"Night\" in office.zellib: nothing moved"));
  EXPECT_THAT(layers, Contains("drift: overlay \"Day\" in office.zellib: nothing moved"));
  EXPECT_THAT(layers, Contains(HasSubstr("why: governed by \"Day\" in office.zellib (applied")));
  // The lock of the link's library setup is shadowed by the last layer, which locks nothing.
  EXPECT_THAT(layers, Not(Contains(HasSubstr("why: locked"))));
}

TEST_F(StandardsTest, ApplyingAnOverlayAgainMovesItLastAndALibraryNeedNotBeOffered) {
  Must({"--master", "other.zellib", "-c", "host add Day BlurPasses=4", "-c",
        "scope Day --only BlurPasses"});
  const ProcessResult result =
      Run({"apply Day --library other.zellib Lobby", "apply Night Lobby",
           "apply Day --library other.zellib Lobby", "save Lobby", "origin Lobby"});
  ASSERT_EQ(result.exitCode, 0) << result.out;
  std::vector<std::string> overlays;
  for (const std::string& line : Lines(result.out)) {
    if (line.starts_with("origin: overlay "))
      overlays.push_back(line.substr(16, line.find(" (") - 16));
  }
  EXPECT_EQ(overlays,
            (std::vector<std::string>{"\"Night\" in office.zellib", "\"Day\" in other.zellib"}))
      << result.out;
  EXPECT_THAT(Lines(result.out), Contains("origin: BlurPasses is governed by 2 layers; \"Day\" in "
                                          "other.zellib, the last, wins"));
  EXPECT_EQ(Stored("p.zel", u"Lobby", "BlurPasses"), "4");
  const ProcessResult missing = Run({"apply Dusk Lobby", "apply Day Lobby"});
  EXPECT_THAT(Lines(missing.out), Contains("error: no library offers a setup \"Dusk\""));
  EXPECT_THAT(Lines(missing.out), Contains("error: no library offers a setup \"Day\""));
}

// The recovery file of a close nobody answered keeps what a save would have stored: the
// override with its reason, and the overlay applied.
TEST_F(StandardsTest, TheRecoveryFileKeepsUnsavedOverridesAndOverlays) {
  const ProcessResult closed = Run({"edit Night BlurPasses 12 --override \"client asked\"",
                                    "apply Night Lobby", "edit Lobby QualityThreshold 0.3"});
  ASSERT_THAT(Lines(closed.out), Contains(HasSubstr("are kept in p.zel.recovered.json")))
      << closed.out;
  const ProcessResult back =
      Run({"import p.zel.recovered.json --replace", "locks", "origin Lobby"});
  ASSERT_EQ(back.exitCode, 0) << back.out;
  const auto lines = Lines(back.out);
  EXPECT_THAT(lines, Contains(AllOf(HasSubstr("locks: BlurPasses of \"Night\""),
                                    HasSubstr("overridden by "), EndsWith(": client asked"))));
  EXPECT_THAT(lines, Contains(StartsWith("origin: overlay \"Night\" in office.zellib")));
  EXPECT_EQ(Stored("p.zel", u"Night", "BlurPasses"), "12");
  EXPECT_EQ(Stored("p.zel", u"Lobby", "QualityThreshold"), "0.3");
}

TEST_F(StandardsTest, NotesAreWrittenAtOnceAndShowBesideTheValues) {
  const ProcessResult result =
      Run({"note Night \"lobby renders\"", "note Night BlurPasses \"agreed with the client\"",
           "note Night", "note Night QualityThreshold", "show Night --notes", "history Night"});
  ASSERT_EQ(result.exitCode, 0) << result.out;
  const auto lines = Lines(result.out);
  EXPECT_THAT(lines, Contains("note: \"Night\": lobby renders"));
  EXPECT_THAT(lines, Contains("note: QualityThreshold of \"Night\" has no note"));
  EXPECT_THAT(lines, Contains("# lobby renders"));
  EXPECT_THAT(lines, Contains("BlurPasses = 6  # agreed with the client  # \"Night\" in "
                              "office.zellib: soft enough for print"));
  EXPECT_THAT(lines, Contains(HasSubstr("note \"lobby renders\"")));
  EXPECT_THAT(lines, Not(Contains(HasSubstr("QualityThreshold = 0.4  #"))));
}

}  // namespace
