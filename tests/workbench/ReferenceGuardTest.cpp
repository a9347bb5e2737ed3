// While the active model is a reference attachment, nothing the workbench does changes the master
// file's setups or their history, except the host's own commands and upgrade.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "WorkbenchProcess.h"
#include "host/controls/HostControls.h"
#include "workbench/commands/CommandTable.h"

namespace {

using Teskor::ZelPlatform::OrnSettings;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::StartsWith;

OrnSettings Blur(std::uint32_t passes) {
  OrnSettings settings;
  settings.SetBlurPasses(passes);
  return settings;
}

using ornr::workbench::MasterChange;

// What each command of the table changes, fixed here: a table entry that loses its mark fails, and
// so does a new command until it is given one here.
const std::map<std::string, MasterChange> kChanges = {
    {"open", MasterChange::None},
    {"close", MasterChange::None},
    {"library", MasterChange::None},
    {"refresh", MasterChange::None},
    {"reference", MasterChange::None},
    {"answer", MasterChange::None},
    {"init", MasterChange::None},
    {"release", MasterChange::None},
    {"load", MasterChange::None},
    {"new", MasterChange::ByModule},
    {"duplicate", MasterChange::ByModule},
    {"rename", MasterChange::ByModule},
    {"delete", MasterChange::ByModule},
    {"reset", MasterChange::ByModule},
    {"save", MasterChange::ByModule},
    {"modified", MasterChange::None},
    {"copy-from-library", MasterChange::ByModule},
    {"update-from-library", MasterChange::ByModule},
    {"matches", MasterChange::None},
    {"origin", MasterChange::None},
    {"drift", MasterChange::None},
    {"merge-from-library", MasterChange::Guarded},
    {"scope", MasterChange::Guarded},
    {"lock", MasterChange::Guarded},
    {"unlock", MasterChange::Guarded},
    {"locks", MasterChange::None},
    {"note", MasterChange::Guarded},
    {"why", MasterChange::None},
    {"apply", MasterChange::Guarded},
    {"edit", MasterChange::ByModule},
    {"show", MasterChange::None},
    {"export", MasterChange::None},
    {"import", MasterChange::Guarded},
    {"upgrade", MasterChange::None},
    {"history", MasterChange::None},
    {"diff", MasterChange::None},
    {"restore", MasterChange::Guarded},
    {"deleted", MasterChange::None},
    {"undelete", MasterChange::Guarded},
    {"history-limit", MasterChange::Guarded},
    {"host", MasterChange::None},
    {"list", MasterChange::None},
    {"help", MasterChange::None},
    {"quit", MasterChange::None},
};

// Each command as it would change something here: a setup with a version and a library it was
// taken from that has moved on, a deleted setup, a setups document to import. The exempt ones
// change the file.
const char* const kCommands[] = {
    "import other.json",
    "import sky.json --replace",
    "undelete Gone",
    "undelete Gone Back",
    "restore Sky 1",
    "history-limit 0",
    "scope Sky --only Lighting",
    "scope Sky --all",
    "lock Sky BlurPasses --reason \"house look\"",
    "unlock Sky BlurPasses",
    "note Sky \"for night shots\"",
    "note Sky BlurPasses \"soft\"",
    "apply Sky --library lib.zellib Sky",
    "history-limit 5 5",
    "history-limit",
    "merge-from-library Sky",
    "merge-from-library Sky --take library",
    "new Sky",
    "duplicate Sky",
    "rename Sky Night",
    "delete Sky",
    "reset Sky",
    "save Sky",
    "save Sky --force",
    "copy-from-library Sky",
    "update-from-library Sky",
    "edit Sky BlurPasses 4",
    "host add Other",
    "upgrade p.zel",
    "history Sky",
};

std::string FirstWord(const std::string& command) {
  return command.substr(0, command.find(' '));
}

TEST(ReferenceGuardTableTest, EachCommandSaysWhetherItChangesTheMasterFile) {
  for (const auto& command : ornr::workbench::CommandTable()) {
    SCOPED_TRACE(command.name);
    const auto expected = kChanges.find(command.name);
    ASSERT_TRUE(expected != kChanges.end()) << "a command this test does not know";
    EXPECT_EQ(command.changesMaster, expected->second);
    if (command.changesMaster == MasterChange::None) continue;
    EXPECT_TRUE(std::any_of(std::begin(kCommands), std::end(kCommands), [&](const std::string& c) {
      return FirstWord(c) == command.name;
    })) << "no case below runs it";
  }
  EXPECT_EQ(kChanges.size(), ornr::workbench::CommandTable().size());
}

class ReferenceGuardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ornhost::WriteSetup(dir_ / "lib.zellib", u"Sky", Blur(9));
    const ProcessResult made =
        RunProgram(RSM_WORKBENCH,
                   {"--master", "p.zel", "--library", "lib.zellib", "-c", "copy-from-library Sky",
                    "-c", "edit Sky BlurPasses 3", "-c", "save Sky", "-c", "host add Gone", "-c",
                    "refresh", "-c", "delete Gone", "-c", "export Sky sky.json"},
                   dir_.Path());
    ASSERT_EQ(made.exitCode, 0) << made.out;
    ornhost::WriteSetup(dir_ / "lib.zellib", u"Sky", Blur(11));
    ornhost::WriteSetup(dir_ / "other.zel", u"Imported", Blur(2));
    ornhost::ExportSetups(dir_ / "other.zel", {u"Imported"}, dir_ / "other.json");
  }
  ProcessResult UnderReference(const std::string& command) {
    return RunProgram(RSM_WORKBENCH,
                      {"--master", "p.zel", "--library", "lib.zellib", "-c", "reference on", "-c",
                       command, "-c", "reference off", "-c", "modified Sky"},
                      dir_.Path());
  }
  ScratchDir dir_;
};

TEST_F(ReferenceGuardTest, EveryCommandThatChangesTheMasterFileIsRefusedBeforeItDoesAnything) {
  const std::string pristine = dir_.Read("p.zel");
  for (const std::string command : kCommands) {
    SCOPED_TRACE(command);
    const auto* entry = ornr::workbench::FindCommand(FirstWord(command));
    ASSERT_NE(entry, nullptr);
    dir_.Write("p.zel", pristine);
    const ProcessResult result = UnderReference(command);
    const auto lines = Lines(result.out);
    if (entry->changesMaster == MasterChange::None) {
      EXPECT_EQ(result.exitCode, 0) << result.out;
      continue;
    }
    EXPECT_EQ(result.exitCode, 1) << result.out;
    if (entry->changesMaster == MasterChange::Guarded) {
      EXPECT_THAT(lines, Contains("error: the active model is a reference attachment, which cannot "
                                  "be changed; " +
                                  FirstWord(command) + " changed nothing"))
          << result.out;
    } else {
      EXPECT_THAT(lines, Contains(StartsWith("message: "))) << result.out;
    }
    const auto asked = std::find(lines.begin(), lines.end(), "> modified Sky");
    ASSERT_TRUE(asked != lines.end() && asked + 1 != lines.end()) << result.out;
    EXPECT_EQ(asked[1], "= 0") << "left unsaved changes";
    EXPECT_TRUE(dir_.Read("p.zel") == pristine) << "the master file changed";
  }
}

}  // namespace
