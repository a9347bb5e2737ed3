// Files that are no design file, damaged ones and crafted ones, design files and setups documents:
// one line each, never written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "../host/PlainSql.h"
#include "WorkbenchProcess.h"
#include "host/controls/HostControls.h"

namespace {

using Teskor::ZelPlatform::OrnSettings;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

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
    EXPECT_EQ(Sql(path, sql), SQLITE_OK) << sql;
  };
  make("trigger.zel",
       "CREATE TABLE log (x); CREATE TRIGGER t AFTER UPDATE ON render_setups BEGIN "
       "INSERT INTO log VALUES (1); END;");
  make("view.zel", "CREATE VIEW v AS SELECT 1");
  // The index of names garbled: the records still read in order, the file is damaged all the same.
  make("damaged.zel", "SELECT 1");
  const std::int64_t page = SqlNumber(
      dir / "damaged.zel",
      "SELECT rootpage FROM sqlite_schema WHERE name = 'sqlite_autoindex_render_setups_1'");
  ASSERT_GT(page, 0);
  std::fstream(dir / "damaged.zel", std::ios::in | std::ios::out | std::ios::binary)
          .seekp((page - 1) * 4096 + 8)
      << std::string(64, '\x7f');
  for (const auto& [file, reason] : std::vector<std::pair<std::string, std::string>>{
           {"trigger.zel", "the file holds more than a design file does (table \"log\")"},
           {"view.zel", "the file holds more than a design file does (view \"v\")"},
           {"damaged.zel", "the file is damaged, so nothing is written to it"}}) {
    const std::string before = dir.Read(file);
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
    EXPECT_EQ(dir.Read(file), before) << file;
  }
}

// Someone ran ANALYZE on the file: SQLite's statistics tables are no reason to refuse it.
TEST(ForeignFilesTest, AnalyzedFileIsStillWritten) {
  ScratchDir dir;
  const auto path = dir / "analyzed.zel";
  for (const char16_t* name : {u"Sky", u"Sun", u"Moon"}) {
    ornhost::WriteSetup(path, name, OrnSettings());
  }
  ASSERT_EQ(Sql(path, "ANALYZE"), SQLITE_OK);
  const std::string before = dir.Read("analyzed.zel");
  const ProcessResult result = RunProgram(
      RSM_WORKBENCH, {"--master", "analyzed.zel", "-c", "edit Sky BlurPasses 3", "-c", "save Sky"},
      dir.Path());
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_NE(dir.Read("analyzed.zel"), before);
}

// Setups documents made to exhaust a reader: nested past any use, or with millions of values in a
// member nobody reads (a tree of them would not fit the limit below). Each is refused where it goes
// wrong, and the session goes on with its unsaved edit.
TEST(ForeignFilesTest, HostileSetupsDocumentsCostTheSessionNothing) {
  ScratchDir dir;
  ornhost::WriteSetup(dir / "p.zel", u"Sky", OrnSettings());
  ornhost::ExportSetups(dir / "p.zel", {u"Sky"}, dir / "sky.json");
  dir.Write("deep.json",
            "{\"format\": " + std::string(400000, '[') + std::string(400000, ']') + "}");
  std::string huge = dir.Read("sky.json");
  std::string values;
  for (int i = 0; i < 2000000; ++i) values += "0,";
  huge.insert(huge.find("\"name\""), "\"remarks\": [" + values + "0],\n      ");
  dir.Write("huge.json", huge);
  ProcessOptions options;
#if !defined(__SANITIZE_ADDRESS__)
  // The sanitizer's shadow memory needs far more address space than any limit leaves.
  options.addressSpaceLimitBytes = std::uint64_t(192) << 20;
#endif
  FedWorkbench session(RSM_WORKBENCH, dir, options);
  EXPECT_THAT(session.Run("edit Sky BlurPasses 3\n"), Not(Contains(HasSubstr("error:"))));
  const auto lines = session.Run("import deep.json\nimport huge.json\nmodified Sky\n");
  EXPECT_THAT(lines, Contains("error: deep.json:1: nested deeper than 16 levels"));
  EXPECT_THAT(lines, Contains("error: huge.json:6: setups[0].remarks: unknown member"));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "error: nothing imported"), 2);
  EXPECT_EQ(lines.back(), "= 1");
  const auto [closing, status] = session.End("answer yes\n");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(StoredByName(dir / "p.zel")[u"Sky"].settings.GetBlurPasses(), 3u);
}

}  // namespace
