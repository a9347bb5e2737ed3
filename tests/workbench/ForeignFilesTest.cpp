// Files that are no design file, damaged ones and crafted ones: one line each, never written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "WorkbenchProcess.h"
#include "platform/HostControls.h"

namespace {

using Teskor::ZelPlatform::OrnSettings;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

std::string Bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Sql(const std::filesystem::path& path, const char* sql) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
  sqlite3_close(db);
}

TEST(ForeignFilesTest, SpecialFilesAreRefusedBeforeSQLiteTouchesThem) {
  ScratchDir dir;
  ASSERT_EQ(mkfifo((dir / "pipe.zel").c_str(), 0644), 0);
  std::filesystem::create_directory(dir / "folder.zel");
  for (const auto& [master, reason] :
       std::vector<std::pair<std::string, std::string>>{{"/dev/full", "is a device"},
                                                        {"pipe.zel", "is a pipe"},
                                                        {"folder.zel", "is a folder"}}) {
    const ProcessResult result =
        RunProgram(RSM_WORKBENCH, {"--master", master, "-c", "list"}, dir.Path());
    EXPECT_EQ(result.exitCode, 1) << master;
    EXPECT_THAT(Lines(result.out), Contains("error: design file \"" + master + "\": " + reason +
                                            ", not a design file"));
  }
  EXPECT_FALSE(std::filesystem::exists("/dev/full-journal"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 3);
}

// Each file opens and shows its setups, but the first write finds what is wrong with it and
// nothing is written then or later.
TEST(ForeignFilesTest, DamagedAndCraftedFilesAreReadButNeverWritten) {
  ScratchDir dir;
  const auto make = [&](const std::string& name, const char* sql) {
    const auto path = dir / name;
    for (int i = 0; i < 40; ++i) {
      ornhost::WriteSetup(path, u"Setup " + std::u16string(1, char16_t(u'A' + i)), OrnSettings());
    }
    ornhost::WriteSetup(path, u"Sky", OrnSettings());
    Sql(path, sql);
  };
  make("trigger.zel",
       "CREATE TABLE log (x); CREATE TRIGGER t AFTER UPDATE ON render_setups BEGIN "
       "INSERT INTO log VALUES (1); END;");
  make("view.zel", "CREATE VIEW v AS SELECT 1");
  // The index of names garbled: the records still read in order, the file is damaged all the same.
  make("damaged.zel", "SELECT 1");
  {
    sqlite3* db = nullptr;
    sqlite3_open((dir / "damaged.zel").c_str(), &db);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT rootpage FROM sqlite_schema WHERE name = "
                       "'sqlite_autoindex_render_setups_1'",
                       -1, &stmt, nullptr);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    const long page = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    std::fstream out(dir / "damaged.zel", std::ios::in | std::ios::out | std::ios::binary);
    out.seekp((page - 1) * 4096 + 8);
    out << std::string(64, '\x7f');
  }
  for (const auto& [file, reason] : std::vector<std::pair<std::string, std::string>>{
           {"trigger.zel", "the file holds more than a design file does (table \"log\")"},
           {"view.zel", "the file holds more than a design file does (view \"v\")"},
           {"damaged.zel", "the file is damaged, so nothing is written to it"}}) {
    const std::string before = Bytes(dir / file);
    const ProcessResult result = RunProgram(
        RSM_WORKBENCH,
        {"--master", file, "-c", "edit Sky BlurPasses 3", "-c", "save Sky", "-c", "save Sky"},
        dir.Path());
    EXPECT_EQ(result.exitCode, 1) << file;
    const auto lines = Lines(result.out);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const std::string& line) {
                              return line.starts_with("error: could not save \"Sky\" to " + file +
                                                      ": " + reason);
                            }),
              2)
        << result.out;
    EXPECT_THAT(lines, Not(Contains(HasSubstr("CREATE"))));
    EXPECT_EQ(Bytes(dir / file), before) << file;
  }
}

// Someone ran ANALYZE on the file: SQLite's statistics tables are no reason to refuse it.
TEST(ForeignFilesTest, AnalyzedFileIsStillWritten) {
  ScratchDir dir;
  const auto path = dir / "analyzed.zel";
  for (const char16_t* name : {u"Sky", u"Sun", u"Moon"}) {
    ornhost::WriteSetup(path, name, OrnSettings());
  }
  Sql(path, "ANALYZE");
  const std::string before = Bytes(path);
  const ProcessResult result = RunProgram(
      RSM_WORKBENCH, {"--master", "analyzed.zel", "-c", "edit Sky BlurPasses 3", "-c", "save Sky"},
      dir.Path());
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_NE(Bytes(path), before);
}

}  // namespace
