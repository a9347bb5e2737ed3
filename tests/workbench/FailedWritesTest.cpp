// Writes that do not reach the design file: the person hears of each, nothing is lost.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

#include "WorkbenchProcess.h"
#include "host/controls/HostControls.h"

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

 private:
  sqlite3* db_ = nullptr;
};

class FailedWritesTest : public ::testing::Test {
 protected:
  FailedWritesTest() { setenv("ORNHOST_BUSY_TIMEOUT_MS", "200", 1); }
  ~FailedWritesTest() override { unsetenv("ORNHOST_BUSY_TIMEOUT_MS"); }
  ScratchDir dir_;
  std::filesystem::path file_ = dir_ / "p.zel";
};

// Each way a write can fail, made to happen between an edit and its save, then lifted again
// where it can be before the file closes: the close question must still offer what failed.
TEST_F(FailedWritesTest, AFailedSaveIsReportedAndKeepsTheSetupModifiedUntilItCanBeSaved) {
  if (const std::string why = NobodyCannotRun(RSM_WORKBENCH); !why.empty()) GTEST_SKIP() << why;
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
    auto stored = StoredByName(file_);
    EXPECT_EQ(stored[u"Sky"].settings.GetBlurPasses(), 3u);
    EXPECT_EQ(stored.count(u"Sky - Copy"), 1u);
  }
}

// The file may not grow (a save) or not by much (an import, which then fails midway): the person
// hears of it and the file holds what it held.
TEST_F(FailedWritesTest, AFullDiskIsReportedAndNothingIsWrittenHalfWay) {
  std::vector<ornhost::StoredSetup> many;
  std::vector<std::u16string> names;
  for (int i = 0; i < 300; ++i) {
    names.push_back(u"Imported " + std::u16string(1, char16_t(u'A' + i % 26)) +
                    std::u16string(1, char16_t(u'A' + i / 26)));
    many.push_back({names.back(), true, OrnSettings()});
  }
  ornhost::WriteSetups(dir_ / "source.zel", many);
  ornhost::ExportSetups(dir_ / "source.zel", names, dir_ / "many.json");
  struct Case {
    const char* commands;
    bool midway;  // the file may grow by a little, else no file may grow beyond 1 KiB
    std::vector<std::string> told;
  };
  const Case cases[] = {
      {"edit Sky BlurPasses 3\nsave Sky\nmodified Sky\n",
       false,
       {"error: could not save \"Sky\" to p.zel: the file has reached", "= 1"}},
      {"import many.json\n", true, {"error: design file \"p.zel\": "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.commands);
    std::filesystem::remove(file_);
    ornhost::WriteSetup(file_, u"Sky", OrnSettings());
    const auto before = ornhost::ReadSetups(file_);
    dir_.Write("full.commands", c.commands);
    const auto limit = c.midway ? (std::filesystem::file_size(file_) + 4096) / 1024 : 1;
    const ProcessResult result =
        RunProgram("/bin/bash",
                   {"-c", "trap '' XFSZ; ulimit -f " + std::to_string(limit) +
                              "; exec " RSM_WORKBENCH " --master p.zel full.commands"},
                   dir_.Path());
    EXPECT_EQ(result.exitCode, 1);
    for (const std::string& told : c.told) {
      EXPECT_THAT(Lines(result.out), Contains(HasSubstr(told))) << result.out;
    }
    const auto after = ornhost::ReadSetups(file_);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_TRUE(after[0].settings.Equals(before[0].settings));
  }
  // Without the limit, all of it.
  EXPECT_EQ(RunProgram(RSM_WORKBENCH, {"--master", "p.zel", "-c", "import many.json"}, dir_.Path())
                .exitCode,
            0);
  EXPECT_EQ(ornhost::ReadSetups(file_).size(), 301u);
}

// Under a file-size limit the session lives on: the save that would pass it fails and says why,
// and the close keeps the setup in a recovery file or, when no file may grow that far, names
// what changed so that it can be set again. (A journal takes more than 8 KiB; the recovery file
// of one setup less than 3.)
TEST_F(FailedWritesTest, AFileSizeLimitFailsTheWriteAndNotTheSession) {
  struct Case {
    std::uint64_t limitBytes;
    std::vector<std::string> told;  // at the close
  };
  const Case cases[] = {
      {4096, {"is kept in p.zel.recovered.json"}},
      {1024,
       {"error: could not keep the unsaved setup \"Sky\" of p.zel in a recovery file beside it "
        "(it would pass this process's file-size limit, ulimit -f) nor in " +
            (dir_ / "tmp").string() + " (it would pass",
        "error: \"Sky\" of p.zel: DoShadows = false (stored true), BlurPasses = 3 (stored 8)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.limitBytes);
    for (const char* name : {"p.zel", "p.zel.recovered.json", "tmp"}) {
      std::filesystem::remove_all(dir_ / name);
    }
    std::filesystem::create_directory(dir_ / "tmp");
    ornhost::WriteSetup(file_, u"Sky", OrnSettings());
    setenv("TMPDIR", (dir_ / "tmp").c_str(), 1);
    FedWorkbench session(RSM_WORKBENCH, dir_, {.fileSizeLimitBytes = c.limitBytes});
    unsetenv("TMPDIR");
    EXPECT_THAT(session.Run("edit Sky BlurPasses 3\nedit Sky DoShadows false\n"),
                Not(Contains(HasSubstr("error:"))));
    const auto saving = session.Run("save Sky\nmodified Sky\n");
    EXPECT_THAT(saving, Contains("error: could not save \"Sky\" to p.zel: the file has reached "
                                 "this process's file-size limit, ulimit -f"));
    EXPECT_EQ(saving.back(), "= 1");
    const auto [closing, status] = session.End();
    EXPECT_EQ(status, 1);
    for (const std::string& told : c.told) {
      EXPECT_THAT(closing, Contains(HasSubstr(told)));
    }
    EXPECT_EQ(StoredByName(file_)[u"Sky"].settings.GetBlurPasses(), 8u);
    if (!std::filesystem::exists(dir_ / "p.zel.recovered.json")) continue;
    ornhost::ImportSetups(file_, dir_ / "p.zel.recovered.json", true);
    EXPECT_EQ(StoredByName(file_)[u"Sky"].settings.GetBlurPasses(), 3u);
  }
}

// Without a terminal nobody can answer the close question: what a Yes would have saved is kept.
TEST_F(FailedWritesTest, StopSignalsCloseTheMasterFileInOrderAndRefusalsCount) {
  for (const auto& [signal, kept] : std::vector<std::pair<int, std::string>>{
           {SIGINT, "p.zel.recovered.json"}, {SIGTERM, "p.zel.recovered-2.json"}}) {
    ornhost::WriteSetup(file_, u"Sky", OrnSettings());
    FedWorkbench session(RSM_WORKBENCH, dir_);
    session.Run("edit Sky BlurPasses 3\n");
    session.Signal(signal);
    const auto [closing, status] = session.End();
    EXPECT_THAT(closing, Contains(HasSubstr("question: There are unsaved"))) << signal;
    EXPECT_THAT(closing, Contains(HasSubstr("is kept in " + kept))) << signal;
    EXPECT_EQ(status, 1) << signal;
  }
  const ProcessResult refused = RunProgram(RSM_WORKBENCH, {"-c", "new Sky"}, dir_.Path());
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_THAT(Lines(refused.out), Contains("error: no master file is open"));
}

// A failed save at close, the automatic save of "Untitled" that fails, and a question nobody can
// answer each leave a fresh recovery file that import brings back; a person's No leaves none.
TEST_F(FailedWritesTest, WhatCloseCouldNotSaveGoesToAFreshRecoveryFileThatImportBringsBack) {
  if (const std::string why = NobodyCannotRun(RSM_WORKBENCH); !why.empty()) GTEST_SKIP() << why;
  using std::filesystem::perms;
  const auto tmp = dir_ / "tmp";
  struct Case {
    const char* what;
    const char* edits;
    std::function<void()> fail;  // right before the close
    const char* closing;
    std::map<std::u16string, std::uint32_t> kept;  // name and BlurPasses
    std::filesystem::path keptIn;
  };
  const auto readOnly = [](const std::filesystem::path& path) {
    return [path] {
      std::filesystem::permissions(path,
                                   perms::owner_read | perms::others_read | perms::others_exec);
    };
  };
  const std::vector<Case> cases = {
      {"nobody answers, a recovery file is there already",
       "edit Sky BlurPasses 3\n",
       [&] { dir_.Write("p.zel.recovered.json", "mine"); },
       "",
       {{u"Sky", 3}},
       "p.zel.recovered-2.json"},
      {"yes, but the file is read-only",
       "edit Sky BlurPasses 3\nedit Moon BlurPasses 4\n",
       readOnly(file_),
       "answer yes\n",
       {{u"Sky", 3}, {u"Moon", 4}},
       "p.zel.recovered.json"},
      {"the automatic save of Untitled fails",
       "new Sky\nedit Untitled BlurPasses 5\n",
       readOnly(file_),
       "answer no\n",
       {{u"Untitled", 5}},
       "p.zel.recovered.json"},
      {"the folder is read-only too",
       "edit Sky BlurPasses 3\n",
       readOnly(dir_.Path()),
       "answer yes\n",
       {{u"Sky", 3}},
       tmp / "p.zel.recovered.json"},
      {"a person says no", "edit Sky BlurPasses 3\n", [] {}, "answer no\n", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::permissions(dir_.Path(), perms::all);
    for (const auto& name : {"p.zel", "p.zel.recovered.json", "p.zel.recovered-2.json", "tmp"}) {
      std::filesystem::remove_all(dir_ / name);
    }
    std::filesystem::create_directory(tmp);
    std::filesystem::permissions(tmp, perms::all);
    ornhost::WriteSetup(file_, u"Sky", OrnSettings());
    ornhost::WriteSetup(file_, u"Moon", OrnSettings());
    setenv("TMPDIR", tmp.c_str(), 1);
    FedWorkbench session(RSM_WORKBENCH, dir_, {.withoutRoot = true});
    unsetenv("TMPDIR");
    session.Run(c.edits);
    c.fail();
    const auto [lines, status] = session.End(c.closing);
    std::filesystem::permissions(dir_.Path(), perms::all);
    EXPECT_EQ(status, c.kept.empty() ? 0 : 1);
    if (c.kept.empty()) {
      EXPECT_THAT(lines, Not(Contains(HasSubstr("error:"))));
      EXPECT_FALSE(std::filesystem::exists(dir_ / "p.zel.recovered.json"));
      continue;
    }
    EXPECT_THAT(lines, Contains(HasSubstr(" kept in " + c.keptIn.string() + "; to bring ")));
    EXPECT_THAT(lines, Contains(HasSubstr("import " + c.keptIn.string() + " --replace")));
    if (std::filesystem::exists(dir_ / "p.zel.recovered-2.json")) {
      EXPECT_EQ(dir_.Read("p.zel.recovered.json"), "mine");
    }
    const auto back = dir_ / "back.zel";
    std::filesystem::remove(back);
    const auto keptIn = c.keptIn.is_absolute() ? c.keptIn : dir_.Path() / c.keptIn;
    ASSERT_NO_THROW(ornhost::ImportSetups(back, keptIn, false));
    std::map<std::u16string, std::uint32_t> imported;
    for (const auto& setup : ornhost::ReadSetups(back)) {
      imported[setup.name] = setup.settings.GetBlurPasses();
    }
    EXPECT_EQ(imported, c.kept);
  }
}

}  // namespace
