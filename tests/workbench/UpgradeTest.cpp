// A design file of an earlier format through the workbench: read-only with the way out named,
// then upgrade FILE, then written as any other.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "../host/OlderFormats.h"
#include "WorkbenchProcess.h"
#include "host/controls/HostControls.h"
#include "host/store/SettingsText.h"

namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

TEST(UpgradeTest, AnOlderFileIsReadOnlyUntilUpgradeConvertsItKeepingABackup) {
  ScratchDir dir;
  ASSERT_EQ(
      WriteOlderDesignFile(dir / "old.zel", 2,
                           {{{"53006B007900", "Sky"}, ornhost::detail::FormatSettingsRecord({})}}),
      SQLITE_OK);
  const ProcessResult refused = RunProgram(
      RSM_WORKBENCH, {"--master", "old.zel", "-c", "host add Moon", "-c", "list"}, dir.Path());
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_THAT(Lines(refused.out),
              Contains(StartsWith("error: old.zel is open read-only: it has format version 2")));
  EXPECT_THAT(refused.out, HasSubstr("\"upgrade old.zel\" converts it"));
  EXPECT_THAT(refused.out, HasSubstr("list: master \"Sky\""));
  EXPECT_EQ(ornhost::ReadSetups(dir / "old.zel").size(), 1u);

  const ProcessResult upgraded =
      RunProgram(RSM_WORKBENCH, {"-c", "upgrade old.zel", "-c", "upgrade old.zel"}, dir.Path());
  EXPECT_EQ(upgraded.exitCode, 0) << upgraded.out;
  EXPECT_THAT(Lines(upgraded.out),
              Contains("upgraded old.zel from format version 2; the file as it was is "
                       "old.format2-backup.zel"));
  EXPECT_THAT(Lines(upgraded.out), Contains("old.zel has format version 7 already"));

  const ProcessResult written =
      RunProgram(RSM_WORKBENCH, {"--master", "old.zel", "-c", "host add Moon"}, dir.Path());
  EXPECT_EQ(written.exitCode, 0) << written.out;
  EXPECT_EQ(ornhost::ReadSetups(dir / "old.zel").size(), 2u);
  EXPECT_EQ(ornhost::ReadSetups(dir / "old.format2-backup.zel").size(), 1u);
}

// Killed while it copies the file, an upgrade leaves a file under the backup's name only once the
// copy is whole and on disk: a person who finds one may trust it, and the next upgrade goes on.
TEST(UpgradeTest, AKilledUpgradeLeavesItsBackupWholeOrNotAtAll) {
  ScratchDir dir;
  // About 8 MB, so that the copy takes a while.
  constexpr int kSetups = 10000;
  std::vector<std::pair<std::pair<std::string, std::string>, std::string>> records;
  const std::string settings = ornhost::detail::FormatSettingsRecord({});
  for (int i = 0; i < kSetups; ++i) {
    const std::string name = "Setup " + std::to_string(i);
    std::string units;
    for (const char c : name) {
      char unit[5];
      std::snprintf(unit, sizeof unit, "%02X00", static_cast<unsigned char>(c));
      units += unit;
    }
    records.push_back({{units, name}, settings});
  }
  ASSERT_EQ(WriteOlderDesignFile(dir / "pristine.zel", 2, records), SQLITE_OK);
  const auto backupNamed = [&](const std::filesystem::path& backup) {
    SCOPED_TRACE(backup.filename().string());
    EXPECT_EQ(SqlRows(backup, "PRAGMA integrity_check"), "ok;");
    EXPECT_EQ(SqlNumber(backup, "PRAGMA user_version"), 2);
    EXPECT_EQ(SqlNumber(backup, "SELECT count(*) FROM render_setups"), kSetups);
  };
  const auto copying = [&] {
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
      if (entry.path().filename().string().starts_with("old.format2-backup")) return true;
    }
    return false;
  };

  std::mt19937 random(20261206);
  int stoppedWhileCopying = 0;
  for (int run = 0; run < 6; ++run) {
    SCOPED_TRACE(run);
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
      if (entry.path().filename() != "pristine.zel") std::filesystem::remove(entry.path());
    }
    std::filesystem::copy_file(dir / "pristine.zel", dir / "old.zel");
    RunningProcess upgrade(RSM_WORKBENCH, {"-c", "upgrade old.zel"}, dir.Path());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!copying() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    // The first runs stop it as the copy begins, the later ones further on.
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::uniform_int_distribution<int>(0, run * 20)(random)));
    upgrade.Kill(SIGKILL);
    upgrade.Wait();
    if (std::filesystem::exists(dir / "old.format2-backup.zel")) {
      backupNamed(dir / "old.format2-backup.zel");
    } else {
      stoppedWhileCopying += copying();
    }
  }
  EXPECT_GT(stoppedWhileCopying, 0) << "no kill came while the backup was being written";
  // What the last kill left beside the file stays: the next upgrade of the file as it was goes on.
  for (const char* stale : {"old.zel", "old.zel-journal"}) std::filesystem::remove(dir / stale);
  std::filesystem::copy_file(dir / "pristine.zel", dir / "old.zel");
  const std::string backup = std::filesystem::exists(dir / "old.format2-backup.zel")
                                 ? "old.format2-backup-2.zel"
                                 : "old.format2-backup.zel";
  const ProcessResult finished = RunProgram(RSM_WORKBENCH, {"-c", "upgrade old.zel"}, dir.Path());
  EXPECT_EQ(finished.exitCode, 0) << finished.out;
  EXPECT_THAT(finished.out, HasSubstr("the file as it was is " + backup));
  backupNamed(dir / backup);
}

// A session that opened a file of format 4 keeps its edits until another session upgrades the
// file; then its next write goes on, held to the upgraded file's values as to any other session's.
TEST(UpgradeTest, ASessionOnAnOlderFileWritesAgainOnceAnotherSessionUpgradedIt) {
  ScratchDir dir;
  for (const char16_t* name : {u"Sky", u"Moon", u"Sun"}) {
    ornhost::WriteSetup(dir / "today.zel", name, Teskor::ZelPlatform::OrnSettings());
  }
  ASSERT_EQ(WriteFormat4Copy(dir / "today.zel", dir / "p.zel"), SQLITE_OK);
  FedWorkbench session(RSM_WORKBENCH, dir);
  const auto refused = session.Run("edit Sky BlurPasses 3\nedit Moon BlurPasses 4\nsave Sky\n");
  EXPECT_THAT(refused, Contains(StartsWith("error: could not save \"Sky\" to p.zel: it has format "
                                           "version 4")));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-c", "upgrade p.zel"},
        {"--master", "p.zel", "-c", "host add Moon BlurPasses=7"}}) {
    const ProcessResult other = RunProgram(RSM_WORKBENCH, args, dir.Path());
    ASSERT_EQ(other.exitCode, 0) << other.out;
  }

  const auto saved = session.Run("save Sky\nmodified Sky\nsave Moon\nmodified Moon\n");
  EXPECT_THAT(saved, Not(Contains(HasSubstr("could not save \"Sky\""))));
  EXPECT_THAT(saved, Contains("error: could not save \"Moon\" to p.zel: another session has "
                              "changed it since this session read it (reset takes that copy, "
                              "duplicate keeps both, a forced save overwrites it)"));
  EXPECT_EQ(saved.back(), "= 1");
  EXPECT_THAT(session.Run("history Sky\n"), Contains(HasSubstr("save")));
  const auto [closing, status] = session.End("answer no\n");
  EXPECT_EQ(StoredByName(dir / "p.zel")[u"Sky"].settings.GetBlurPasses(), 3u);
  EXPECT_EQ(StoredByName(dir / "p.zel")[u"Moon"].settings.GetBlurPasses(), 7u);

  // Refresh finds the new format too, before any write.
  std::filesystem::remove(dir / "p.zel");
  std::filesystem::remove(dir / "p.format4-backup.zel");
  ASSERT_EQ(WriteFormat4Copy(dir / "today.zel", dir / "p.zel"), SQLITE_OK);
  FedWorkbench reader(RSM_WORKBENCH, dir);
  EXPECT_THAT(reader.Run("history Sky\n"), Contains(HasSubstr("keeps no history")));
  ASSERT_EQ(RunProgram(RSM_WORKBENCH, {"-c", "upgrade p.zel"}, dir.Path()).exitCode, 0);
  EXPECT_THAT(reader.Run("refresh\nhistory Sky\n"),
              Contains("history: \"Sky\" has no versions: no save has replaced it yet"));
  reader.End();
}

}  // namespace
