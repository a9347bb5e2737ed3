// Tables of translated texts read from a folder anyone may have put anything in: only a regular
// file of a bounded size is read, and whatever else is there is reported, never waited on.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "support/TextTable.h"

namespace {

namespace fs = std::filesystem;

class TextTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("text-table-" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
};

// In a child of its own, with a clock and a memory ceiling: a read that hangs or grows without
// end fails the case instead of the whole run (or the machine).
[[noreturn]] void ReadInAChild(const fs::path& file, const std::string& reason) {
  alarm(10);
#if !defined(__SANITIZE_ADDRESS__)
  const rlimit memory{rlim_t(1) << 30, rlim_t(1) << 30};
  setrlimit(RLIMIT_AS, &memory);
#endif
  ornr::TextTableError error;
  const auto table = ornr::ReadTextTable(file, &error);
  const std::string why(error.reason);
  std::fprintf(stderr, "read: %s; %s\n", table ? "a table" : "none", why.c_str());
  std::_Exit(!table && why.find(reason) != std::string::npos ? 0 : 1);
}

void ExpectRefused(const fs::path& file, const std::string& reason) {
  EXPECT_EXIT(ReadInAChild(file, reason), ::testing::ExitedWithCode(0), "") << file;
}

TEST_F(TextTableTest, OnlyARegularFileWithinTheLimitIsRead) {
  ASSERT_EQ(mkfifo((dir_ / "Localizable.fifo.txt").c_str(), 0644), 0);
  fs::create_symlink("/dev/zero", dir_ / "Localizable.zero.txt");
  fs::create_directory(dir_ / "Localizable.folder.txt");
  {
    std::ofstream big(dir_ / "Localizable.big.txt", std::ios::binary);
    const std::string line = "Key=" + std::string(1019, 'x') + "\n";
    for (std::size_t n = 0; n * line.size() <= ornr::kMaxTextTableBytes; ++n) big << line;
  }
  const struct {
    const char* culture;
    const char* reason;
  } refused[] = {
      {"fifo", "is not a regular file"},
      {"zero", "is not a regular file"},
      {"folder", "is not a regular file"},
      {"big", "larger than"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.culture);
    ExpectRefused(ornr::TextTablePath(dir_, c.culture), c.reason);
  }
}

TEST_F(TextTableTest, ATableJustWithinTheLimitAndALinkToOneAreRead) {
  {
    std::ofstream table(dir_ / "Localizable.de.txt", std::ios::binary);
    const std::string line = "K=" + std::string(1021, 'y') + "\n";
    for (std::size_t n = 0; (n + 1) * line.size() <= ornr::kMaxTextTableBytes; ++n) table << line;
  }
  fs::create_symlink("Localizable.de.txt", dir_ / "Localizable.de-AT.txt");
  for (const char* culture : {"de", "de-AT"}) {
    SCOPED_TRACE(culture);
    ornr::TextTableError error;
    const auto table = ornr::ReadTextTable(ornr::TextTablePath(dir_, culture), &error);
    ASSERT_TRUE(table) << error.reason;
    EXPECT_EQ(table->at(u"K").size(), 1021u);
  }
  // No file is no table, and nothing to report.
  ornr::TextTableError error;
  EXPECT_FALSE(ornr::ReadTextTable(ornr::TextTablePath(dir_, "fr"), &error));
  EXPECT_EQ(std::string(error.reason), "");
}

}  // namespace
