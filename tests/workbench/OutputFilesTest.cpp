// The files the workbench and the audit write under a name given to them (export, the audit's
// reports): a link there stays a link and its target is written, a device or FIFO is written
// through, and what cannot be written is refused with the reason, never replaced.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <functional>
#include <ostream>
#include <thread>

#include "WorkbenchProcess.h"
#include "host/controls/HostControls.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// Reads a FIFO from before its writer comes until the writer has closed it.
class FifoReader {
 public:
  explicit FifoReader(const fs::path& fifo)
      : fd_(open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)), thread_([this] { Read(); }) {}
  ~FifoReader() {
    Stop();
    close(fd_);
  }
  /// What came; stops reading.
  std::string Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return text_;
  }

 private:
  void Read() {
    for (;;) {
      const bool last = stop_;
      pollfd pfd{fd_, POLLIN, 0};
      poll(&pfd, 1, last ? 0 : 50);
      char chunk[4096];
      ssize_t n = 0;
      while ((n = read(fd_, chunk, sizeof chunk)) > 0) text_.append(chunk, std::size_t(n));
      if (last) return;
    }
  }

  int fd_;
  std::atomic<bool> stop_{false};
  std::string text_;
  std::thread thread_;
};

struct Writer {
  const char* name;
  std::string program;
  std::function<std::vector<std::string>(const std::string& target)> args;
  std::string starts;  // how what it writes begins
  int status;          // its exit status when the write went well
};

// Test names show the writer's name, not the bytes of the case.
void PrintTo(const Writer& writer, std::ostream* out) {
  *out << writer.name;
}

const std::vector<Writer>& Writers() {
  static const std::vector<Writer> writers = {
      {"export", RSM_WORKBENCH,
       [](const std::string& target) {
         return std::vector<std::string>{"--master", "p.zel", "-c",
                                         "export Sky \"" + target + "\""};
       },
       "{\n  \"format\"", 0},
      {"audit --json", RSM_AUDIT,
       [](const std::string& target) {
         return std::vector<std::string>{"--json", target, "proj"};
       },
       "{\n\"report\": \"rsm-audit\"", 0},
      {"audit --csv", RSM_AUDIT,
       [](const std::string& target) {
         return std::vector<std::string>{"--csv", target, "proj"};
       },
       "file,file_status,", 0},
      {"audit --html", RSM_AUDIT,
       [](const std::string& target) {
         return std::vector<std::string>{"--html", target, "proj"};
       },
       "<!DOCTYPE html>", 0},
  };
  return writers;
}

struct WriterRun {
  int status = -1;   // -1: killed, it did not end
  std::string said;  // standard output and error
};

// As "nobody" when the test runs as root: no writer under test can then replace what belongs to
// the system, such as /dev/null, whatever it does wrong.
WriterRun RunWriter(const Writer& writer, const std::string& target, const ScratchDir& dir) {
  RunningProcess process(writer.program, writer.args(target), dir.Path(), {.withoutRoot = true});
  WriterRun run;
  const int status = process.Finish();
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  for (std::string line; process.ReadLine(line);) run.said += line + "\n";
  run.said += process.Pending() + dir.Read("stderr.log");
  return run;
}

std::vector<std::string> Leftovers(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".partial-") != std::string::npos || name.find(".tmp-") != std::string::npos) {
      names.push_back(name);
    }
  }
  return names;
}

class OutputFilesTest : public ::testing::TestWithParam<Writer> {
 protected:
  void SetUp() override {
    if (const std::string why = NobodyCannotRun(GetParam().program); !why.empty())
      GTEST_SKIP() << why;
    ornhost::WriteSetup(dir_ / "p.zel", u"Sky", Teskor::ZelPlatform::OrnSettings());
    fs::create_directory(dir_ / "proj");
    ornhost::WriteSetup(dir_ / "proj/a.zel", u"Sea", Teskor::ZelPlatform::OrnSettings());
    for (const auto& entry : fs::recursive_directory_iterator(dir_.Path())) {
      chmod(entry.path().c_str(), entry.is_directory() ? 0777 : 0666);
    }
    chmod(dir_.Path().c_str(), 0777);
  }
  fs::path At(const std::string& name) const { return dir_ / name; }
  WriterRun Write(const std::string& target) { return RunWriter(GetParam(), target, dir_); }

  ScratchDir dir_;
};

TEST_P(OutputFilesTest, ALinkStaysALinkAndItsTargetIsWrittenWhole) {
  const Writer& writer = GetParam();
  dir_.Write("real.out", "what was there");
  fs::create_symlink("real.out", At("link.out"));
  fs::create_symlink("made.out", At("dangling.out"));
  chmod(At("real.out").c_str(), 0666);

  for (const auto& [link, target] : std::vector<std::pair<std::string, std::string>>{
           {"link.out", "real.out"}, {"dangling.out", "made.out"}}) {
    SCOPED_TRACE(link);
    const WriterRun run = Write(link);
    EXPECT_EQ(run.status, writer.status) << run.said;
    EXPECT_TRUE(fs::is_symlink(At(link)));
    EXPECT_EQ(fs::read_symlink(At(link)), target);
    ASSERT_TRUE(fs::is_regular_file(At(target)));
    EXPECT_THAT(dir_.Read(target), StartsWith(writer.starts));
  }
  // A file written by someone else keeps its permissions.
  EXPECT_EQ(fs::status(At("real.out")).permissions(), fs::perms(0666));
  EXPECT_THAT(Leftovers(dir_.Path()), ::testing::IsEmpty());
}

TEST_P(OutputFilesTest, DevicesAndFifosAreWrittenThroughAndStayWhatTheyAre) {
  const Writer& writer = GetParam();
  ASSERT_EQ(mkfifo(At("pipe.out").c_str(), 0666), 0);
  chmod(At("pipe.out").c_str(), 0666);
  {
    FifoReader reader(At("pipe.out"));
    const WriterRun run = Write("pipe.out");
    EXPECT_EQ(run.status, writer.status) << run.said;
    EXPECT_THAT(reader.Stop(), StartsWith(writer.starts));
  }
  struct stat info {};
  ASSERT_EQ(lstat(At("pipe.out").c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));

  // Standard output here is a pipe, whose name in /proc is no path.
  const WriterRun toOut = Write("/dev/stdout");
  EXPECT_EQ(toOut.status, writer.status) << toOut.said;
  EXPECT_THAT(toOut.said, HasSubstr(writer.starts));

  const WriterRun toNull = Write("/dev/null");
  EXPECT_EQ(toNull.status, writer.status) << toNull.said;
  ASSERT_EQ(lstat("/dev/null", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));
  EXPECT_THAT(Leftovers(dir_.Path()), ::testing::IsEmpty());
}

TEST_P(OutputFilesTest, WhatCannotBeWrittenIsRefusedWithTheReasonAndLeftAsItWas) {
  ASSERT_EQ(mkfifo(At("unread.out").c_str(), 0666), 0);
  chmod(At("unread.out").c_str(), 0666);
  fs::create_directory(At("folder.out"));
  chmod(At("folder.out").c_str(), 0777);
  fs::create_symlink("loop2.out", At("loop1.out"));
  fs::create_symlink("loop1.out", At("loop2.out"));
  struct Case {
    std::string target;
    std::string reason;
    std::function<bool()> unchanged;
  };
  const std::vector<Case> cases = {
      // Nobody reads it: refused at once rather than waited for.
      {"unread.out", "no program has open for reading",
       [&] {
         struct stat info {};
         return lstat(At("unread.out").c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
       }},
      {"folder.out", "is a folder",
       [&] { return fs::is_directory(At("folder.out")) && fs::is_empty(At("folder.out")); }},
      {"loop1.out", "symbolic links loop",
       [&] { return fs::is_symlink(At("loop1.out")) && fs::is_symlink(At("loop2.out")); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    const WriterRun run = Write(c.target);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.status, -1) << "did not end";
    EXPECT_THAT(run.said, HasSubstr(c.reason));
    EXPECT_TRUE(c.unchanged());
  }
  EXPECT_THAT(Leftovers(dir_.Path()), ::testing::IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Writers, OutputFilesTest, ::testing::ValuesIn(Writers()),
                         [](const auto& info) {
                           std::string name;
                           for (const char c : std::string(info.param.name)) {
                             if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                           }
                           return name;
                         });

}  // namespace
