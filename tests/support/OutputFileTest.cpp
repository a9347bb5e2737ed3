// The one writer of files named for output, where the process-level tests cannot reach: open
// descriptors, a reader that goes away, a full device, a write given up, and a large text.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/OutputFile.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

class OutputFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("output-file-" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::size_t Entries() {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), {}));
  }

  fs::path dir_;
};

// As "rsm-audit --json /dev/stdout > log" finds it: the program writes to the file itself before
// and after the report, which must neither be overwritten nor overwrite.
TEST_F(OutputFileTest, AnOpenDescriptorOfTheProgramIsWrittenWhereTheProgramWrites) {
  const int fd = open((dir_ / "log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "table\n", 6), 6);
  ornr::WriteOutputFile("/dev/fd/" + std::to_string(fd), "report\n");
  ornr::WriteOutputFile("/proc/self/fd/" + std::to_string(fd), "again\n");
  ASSERT_EQ(write(fd, "totals\n", 7), 7);
  close(fd);
  EXPECT_EQ(Read(dir_ / "log"), "table\nreport\nagain\ntotals\n");
  EXPECT_EQ(Entries(), 1u);

  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  ornr::OutputFile out("/dev/fd/" + std::to_string(pipe[1]));
  EXPECT_TRUE(out.WritesThrough());
  out.Write("through a pipe");
  out.Commit();
  close(pipe[1]);
  char text[32] = {};
  EXPECT_EQ(read(pipe[0], text, sizeof text), 14);
  EXPECT_STREQ(text, "through a pipe");
  close(pipe[0]);
}

TEST_F(OutputFileTest, AReaderThatGoesAwayFailsTheWriteAndNotTheProgram) {
  const fs::path fifo = dir_ / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  ornr::OutputFile out(fifo);
  close(reader);
  out.Write("nobody reads this");
  // Without SIGPIPE held back, the test would end here.
  try {
    out.Commit();
    ADD_FAILURE() << "the write went through to nobody";
  } catch (const ornr::OutputFileError& error) {
    EXPECT_THAT(error.what(), HasSubstr("Broken pipe"));
  }
}

TEST_F(OutputFileTest, AFailedWriteIsReportedAtCommit) {
  ornr::OutputFile full("/dev/full");
  full.Write(std::string(1 << 17, 'x'));
  try {
    full.Commit();
    ADD_FAILURE() << "a full device took the text";
  } catch (const ornr::OutputFileError& error) {
    EXPECT_EQ(error.Reason(), "No space left on device");
    EXPECT_THAT(error.what(), HasSubstr("cannot write /dev/full: "));
  }
}

TEST_F(OutputFileTest, AWriteGivenUpLeavesTheFileAsItWasAndNothingBeside) {
  std::ofstream(dir_ / "kept.json") << "before";
  {
    ornr::OutputFile out(dir_ / "kept.json");
    EXPECT_FALSE(out.WritesThrough());
    out.Write("half");
    EXPECT_EQ(Entries(), 2u);
  }
  EXPECT_EQ(Read(dir_ / "kept.json"), "before");
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(OutputFileTest, ALargeTextArrivesWholeInPiecesOfAnySize) {
  std::string text;
  for (int i = 0; text.size() < (3u << 17); ++i) text += std::to_string(i * 7919) + ",";
  ornr::OutputFile out(dir_ / "large.csv");
  // Pieces smaller and larger than the writer's buffer.
  for (std::size_t at = 0, piece = 1; at < text.size(); at += piece, piece = piece * 3 + 1) {
    out.Write(std::string_view(text).substr(at, piece));
  }
  out.Commit();
  EXPECT_EQ(Read(dir_ / "large.csv"), text);
  EXPECT_THROW(out.Commit(), ornr::OutputFileError);
}

}  // namespace
