// Writes that do not reach the design file: the person hears of each, nothing is lost.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <functional>
#include <map>

#include "WorkbenchProcess.h"
#include "platform/HostControls.h"

namespace {

using Teskor::ZelPlatform::OrnSettings;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

// Another program with the file open in the middle of a transaction.
class Locker {
 public:
  Locker(const std::filesystem::path& path, const char* begin) {
    sqlite3_open(path.c_str(), &db_);
    EXPECT_EQ(sqlite3_exec(db_, begin, nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db_, "SELECT count(*) FROM render_setups", nullptr, nullptr, nullptr),
              SQLITE_OK);
  }
  ~Locker() { sqlite3_close_v2(db_); }
  void Release() { sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr); }

 private:
  sqlite3* db_ = nullptr;
};

class FailedWritesTest : public ::testing::Test {
 protected:
  FailedWritesTest() { setenv("ORNHOST_BUSY_TIMEOUT_MS", "200", 1); }
  ~FailedWritesTest() override { unsetenv("ORNHOST_BUSY_TIMEOUT_MS"); }
  std::map<std::u16string, ornhost::StoredSetup> Stored() {
    std::map<std::u16string, ornhost::StoredSetup> byName;
    for (auto& setup : ornhost::ReadSetups(dir_ / "p.zel")) byName[setup.name] = setup;
    return byName;
  }
  ScratchDir dir_;
  std::filesystem::path file_ = dir_ / "p.zel";
};

// Each way a write can fail, made to happen between an edit and its save, then lifted again
// where it can be before the file closes: the close question must still offer what failed.
TEST_F(FailedWritesTest, AFailedSaveIsReportedAndKeepsTheSetupModifiedUntilItCanBeSaved) {
  std::unique_ptr<Locker> locker;
  struct Case {
    const char* what;
    std::function<void()> fail;
    std::function<void()> lift;  // null: stays failed
    const char* reason;
    bool whileOpen = false;  // what has the file open already keeps its access
  };
  const auto perms = [](const std::filesystem::path& path, std::filesystem::perms p) {
    return [path, p] { std::filesystem::permissions(path, p); };
  };
  using std::filesystem::perms;
  const std::vector<Case> cases = {
      {"reader", [&] { locker = std::make_unique<Locker>(file_, "BEGIN"); },
       [&] { locker.reset(); }, "the file is locked by another program"},
      {"writer", [&] { locker = std::make_unique<Locker>(file_, "BEGIN IMMEDIATE"); },
       [&] { locker.reset(); }, "the file is locked by another program"},
      {"read-only file", perms(file_, perms::owner_read | perms::group_read | perms::others_read),
       nullptr, "the file is read-only"},
      {"read-only folder",
       perms(dir_.Path(), perms::owner_all | perms::others_read | perms::others_exec),
       perms(dir_.Path(), perms::all), "its folder is read-only"},
      {"deleted", [&] { std::filesystem::remove(file_); }, nullptr,
       "the file was moved, replaced or deleted while it was open", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(file_);
    ornhost::WriteSetup(file_, u"Sky", OrnSettings());
    std::filesystem::permissions(dir_.Path(), perms::all);
    std::filesystem::permissions(file_, perms::all);
    if (!c.whileOpen) c.fail();
    FedWorkbench session(RSM_WORKBENCH, dir_, {.withoutRoot = true});
    EXPECT_THAT(session.Run("edit Sky BlurPasses 3\n"), Not(Contains(HasSubstr("error:"))));
    if (c.whileOpen) c.fail();
    const auto lines = session.Run(
        "save Sky\nmodified Sky\nduplicate Sky\n"
        "modified \"Sky - Copy\"\n");
    EXPECT_THAT(lines,
                Contains(std::string("error: could not save \"Sky\" to p.zel: ") + c.reason));
    EXPECT_THAT(
        lines, Contains("error: could not save \"Sky - Copy\" to p.zel: " + std::string(c.reason)));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "= 1"), 3);
    if (c.lift) c.lift();
    const auto [closing, status] = session.End("answer yes\n");
    EXPECT_EQ(status, 1);
    EXPECT_THAT(closing, Contains(HasSubstr("question: There are unsaved")));
    if (!c.lift) continue;
    EXPECT_THAT(closing, Not(Contains(HasSubstr("error:"))));
    auto stored = Stored();
    EXPECT_EQ(stored[u"Sky"].settings.GetBlurPasses(), 3u);
    EXPECT_EQ(stored.count(u"Sky - Copy"), 1u);
  }
}

TEST_F(FailedWritesTest, AFullDiskIsReportedAndNothingIsWrittenHalfWay) {
  ornhost::WriteSetup(file_, u"Sky", OrnSettings());
  const auto before = ornhost::ReadSetups(file_);
  dir_.Write("save.commands", "edit Sky BlurPasses 3\nsave Sky\nmodified Sky\n");
  const ProcessResult result =
      RunProgram("/bin/bash",
                 {"-c", std::string("trap '' XFSZ; ulimit -f 1; exec ") + RSM_WORKBENCH +
                            " --master p.zel save.commands"},
                 dir_.Path());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_THAT(Lines(result.out),
              Contains(HasSubstr("error: could not save \"Sky\" to p.zel: the file has reached")));
  EXPECT_THAT(Lines(result.out), Contains("= 1"));
  const auto after = ornhost::ReadSetups(file_);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_TRUE(after[0].settings.Equals(before[0].settings));
}

TEST_F(FailedWritesTest, StopSignalsCloseTheMasterFileInOrderAndRefusalsCount) {
  for (const int signal : {SIGINT, SIGTERM}) {
    ornhost::WriteSetup(file_, u"Sky", OrnSettings());
    FedWorkbench session(RSM_WORKBENCH, dir_);
    session.Run("edit Sky BlurPasses 3\n");
    session.Signal(signal);
    const auto [closing, status] = session.End();
    EXPECT_THAT(closing, Contains(HasSubstr("question: There are unsaved"))) << signal;
    EXPECT_EQ(status, 0) << signal;
  }
  const ProcessResult refused = RunProgram(RSM_WORKBENCH, {"-c", "new Sky"}, dir_.Path());
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_THAT(Lines(refused.out), Contains("error: no master file is open"));
}

}  // namespace
