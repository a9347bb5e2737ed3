// A design file of an earlier format through the workbench: read-only with the way out named,
// then upgrade FILE, then written as any other.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "../host/OlderFormats.h"
#include "WorkbenchProcess.h"
#include "host/controls/HostControls.h"
#include "host/store/SettingsText.h"

namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
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
  EXPECT_THAT(Lines(upgraded.out), Contains("old.zel has format version 4 already"));

  const ProcessResult written =
      RunProgram(RSM_WORKBENCH, {"--master", "old.zel", "-c", "host add Moon"}, dir.Path());
  EXPECT_EQ(written.exitCode, 0) << written.out;
  EXPECT_EQ(ornhost::ReadSetups(dir / "old.zel").size(), 2u);
  EXPECT_EQ(ornhost::ReadSetups(dir / "old.format2-backup.zel").size(), 1u);
}

}  // namespace
