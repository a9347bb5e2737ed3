// A run over many files: the order of the walk whatever the threads, progress at a terminal and
// elsewhere, Ctrl-C, folders and files that cannot be read, links that lead back up.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <map>
#include <string>
#include <vector>

#include "AuditProject.h"

namespace {

using Teskor::ZelPlatform::OrnSettings;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

class AuditRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = project_.Library("standards.zellib", {{u"Office", Values({{"BlurPasses", "9"}})}});
    drawing_ = project_.Drawing(
        "proj/model.zel", {{u"Office", OrnSettings(), Taken{library_, u"Office", OrnSettings()}},
                           {u"Own", OrnSettings(), std::nullopt}});
  }
  // Copies of the drawing, as a project's many drawings: name i of count in folder.
  void Copies(const std::string& folder, int count) {
    std::filesystem::create_directories(project_ / folder);
    for (int i = 0; i < count; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "/d%05d.zel", i);
      std::filesystem::copy_file(drawing_, project_ / (folder + name));
    }
  }
  static std::vector<std::string> Paths(const nlohmann::json& report) {
    std::vector<std::string> paths;
    for (const auto& file : report["files"]) paths.push_back(file["path"]);
    return paths;
  }

  AuditProject project_;
  std::filesystem::path library_;
  std::filesystem::path drawing_;
};

TEST_F(AuditRunTest, FilesComeInTheOrderOfTheWalkWhateverTheThreads) {
  Copies("proj/b", 150);
  std::filesystem::create_directories(project_ / "proj/a");
  std::filesystem::copy_file(drawing_, project_ / "proj/a/z.zel");
  std::filesystem::copy_file(drawing_, project_ / "proj/a.zel");
  // A link back up the tree is not followed; a link to a file is.
  std::filesystem::create_directory_symlink("..", project_ / "proj/b/up");
  std::filesystem::create_symlink("../model.zel", project_ / "proj/b/linked.zel");
  std::vector<std::string> expected = {"proj/a/z.zel", "proj/a.zel"};
  for (int i = 0; i < 150; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "proj/b/d%05d.zel", i);
    expected.push_back(name);
  }
  expected.push_back("proj/b/linked.zel");
  expected.push_back("proj/model.zel");
  for (const char* jobs : {"1", "4"}) {
    SCOPED_TRACE(jobs);
    const ProcessResult result = project_.Audit(
        {"--library", "standards.zellib", "--jobs", jobs, "--json", "r.json", "proj"});
    EXPECT_EQ(result.exitCode, 1);
    const auto report = project_.Json("r.json");
    EXPECT_EQ(Paths(report), expected);
    EXPECT_EQ(report["totals"]["states"]["library-newer"], expected.size());
    // Not at a terminal: plain progress lines, the last one at the end.
    const auto progress = Lines(project_.Read("stderr.log"));
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(progress.back().starts_with("rsm-audit: 154/154 files") &&
                progress.back().ends_with("(100%)"))
        << progress.back();
  }
}

TEST_F(AuditRunTest, AtATerminalTheProgressIsOneLineThatUpdatesItself) {
  Copies("proj/many", 40);
  RunningProcess audit(RSM_AUDIT, {"--library", "standards.zellib", "proj"}, project_.Root(),
                       {.terminal = true});
  std::string out;
  for (std::string line; audit.ReadLine(line);) out += line + "\n";
  const int status = audit.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << out;
  // Drawn over itself, cleared before each line of the table and at the end.
  EXPECT_THAT(out, HasSubstr("\r[........................................] 0/41 files\x1b[K"));
  EXPECT_THAT(out, HasSubstr("\r\x1b[Kdrift "));
  EXPECT_THAT(out, HasSubstr("totals: 41 design files, drift in 41"));
  EXPECT_THAT(out, ::testing::Not(HasSubstr("rsm-audit: 41/41")));
}

TEST_F(AuditRunTest, CtrlCStopsCleanlyAndWritesTheReportsMarkedPartial) {
  Copies("proj/many", 3000);
  RunningProcess audit(RSM_AUDIT,
                       {"--library", "standards.zellib", "--jobs", "1", "--json", "r.json", "--csv",
                        "r.csv", "--html", "r.html", "proj"},
                       project_.Root());
  ASSERT_TRUE(audit.Await("proj/many/d00000.zel"));
  audit.Kill(SIGINT);
  std::string out = audit.Pending();
  for (std::string line; audit.ReadLine(line);) out += line + "\n";
  const int status = audit.Wait();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 130);
  const auto report = project_.Json("r.json");
  EXPECT_TRUE(report["partial"].get<bool>());
  EXPECT_EQ(report["stoppedBy"], "Ctrl-C");
  EXPECT_EQ(report["exitStatus"], 130);
  const std::size_t done = report["files"].size();
  EXPECT_GT(done, 0u);
  EXPECT_LT(done, 3001u);
  EXPECT_EQ(report["totals"]["designFiles"], done);
  EXPECT_THAT(out, HasSubstr("stopped by Ctrl-C after "));
  EXPECT_THAT(out, HasSubstr("report: r.html (partial)"));
  EXPECT_THAT(project_.Read("r.html"), HasSubstr("Partial report: stopped by Ctrl-C after"));
  EXPECT_THAT(project_.Read("r.csv"), HasSubstr("# partial: stopped after"));
  // Nothing half-written is left beside the reports.
  for (const auto& entry : std::filesystem::directory_iterator(project_.Root())) {
    EXPECT_EQ(entry.path().string().find(".partial-"), std::string::npos) << entry.path();
  }
}

TEST_F(AuditRunTest, FilesAndFoldersThatCannotBeReadAreListed) {
  if (getuid() != 0) GTEST_SKIP() << "needs root to run the audit as another user";
  if (const std::string why = NobodyCannotRun(RSM_AUDIT); !why.empty()) GTEST_SKIP() << why;
  Copies("proj/shut", 2);
  std::filesystem::copy_file(drawing_, project_ / "proj/locked.zel");
  // Everyone may read and write the project, except what is shut.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(project_.Root())) {
    chmod(entry.path().c_str(), entry.is_directory() ? 0777 : 0666);
  }
  chmod(project_.Root().c_str(), 0777);
  chmod((project_ / "proj/locked.zel").c_str(), 0);
  chmod((project_ / "proj/shut").c_str(), 0);
  RunningProcess audit(RSM_AUDIT, {"--library", "standards.zellib", "--json", "r.json", "proj"},
                       project_.Root(), {.withoutRoot = true});
  const int status = audit.Finish();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << project_.Read("stderr.log");
  const auto report = project_.Json("r.json");
  std::map<std::string, std::string> reasons;
  for (const auto& file : report["files"]) reasons[file["path"]] = file.value("reason", "");
  EXPECT_EQ(reasons, (std::map<std::string, std::string>{
                         {"proj/locked.zel", "cannot be read (Permission denied)"},
                         {"proj/model.zel", ""},
                         {"proj/shut", "the folder cannot be read (Permission denied)"}}));
}

// Names as a file system allows them: a newline, bytes that are not UTF-8 (two that would both
// read as U+FFFD). And what the walk does not read as a file, each listed with the reason.
TEST_F(AuditRunTest, OddNamesStayOnTheirLineAndReadApartAndEveryEntrySkippedIsListed) {
  const std::string newline = "proj/two\nlines.zel";
  const std::string acute = "proj/caf\xE9.zel";
  const std::string grave = "proj/caf\xE8.zel";
  for (const std::string& name : {newline, acute, grave}) {
    std::filesystem::copy_file(drawing_, project_ / name);
  }
  ASSERT_EQ(mkfifo((project_ / "proj/pipe.zel").c_str(), 0644), 0);
  std::filesystem::create_symlink("/dev/null", project_ / "proj/device.zel");
  std::filesystem::create_symlink("gone.zel", project_ / "proj/dangling.zel");
  std::filesystem::create_symlink("loop-b.zel", project_ / "proj/loop-a.zel");
  std::filesystem::create_symlink("loop-a.zel", project_ / "proj/loop-b.zel");
  std::filesystem::create_directory_symlink("..", project_ / "proj/up");
  const std::map<std::string, std::string> skipped = {
      {"proj/dangling.zel", "is a link to nothing"},
      {"proj/device.zel", "is a link to a character device"},
      {"proj/loop-a.zel", "is a link in a loop of links"},
      {"proj/loop-b.zel", "is a link in a loop of links"},
      {"proj/pipe.zel", "is a FIFO"},
      {"proj/up", "is a link to a folder, not followed"},
  };

  const ProcessResult result = project_.Audit({"--library", "standards.zellib", "--json", "r.json",
                                               "--csv", "r.csv", "--html", "r.html", "proj"});
  EXPECT_EQ(result.exitCode, 1) << project_.Read("stderr.log");

  // The table: one row a file, escaped as the workbench escapes, and nothing that is not UTF-8.
  EXPECT_EQ(ornr::Utf16ToUtf8(ornr::Utf8ToUtf16(result.out)), result.out);
  const auto lines = Lines(result.out);
  EXPECT_THAT(lines, Not(Contains(::testing::StartsWith("lines.zel"))));
  for (const char* shown : {"proj/two\\nlines.zel", "proj/caf\\xe9.zel", "proj/caf\\xe8.zel"}) {
    EXPECT_THAT(lines, Contains(::testing::EndsWith(shown))) << shown;
  }
  for (const auto& [path, reason] : skipped) {
    EXPECT_THAT(lines, Contains(::testing::AllOf(::testing::StartsWith("skipped"),
                                                 ::testing::EndsWith(" " + path))));
    EXPECT_THAT(lines, Contains("  " + reason));
  }
  EXPECT_THAT(lines, Contains(HasSubstr("; 6 entries skipped")));

  // The JSON: the bytes of each name can be had back.
  const auto report = project_.Json("r.json");
  std::map<std::string, std::string> bytes;
  for (const auto& file : report["files"]) {
    bytes[file["path"]] += file.value("pathBytes", std::string("(none)")) + ";";
  }
  EXPECT_EQ(bytes["proj/caf\xEF\xBF\xBD.zel"], "proj/caf\\xe8.zel;proj/caf\\xe9.zel;");
  EXPECT_EQ(bytes[newline], "(none);");
  std::map<std::string, std::string> listed;
  for (const auto& entry : report["skipped"]) listed[entry["path"]] = entry["reason"];
  EXPECT_EQ(listed, skipped);
  EXPECT_EQ(report["totals"]["skipped"], skipped.size());

  // CSV and HTML list them too.
  const std::string csv = project_.Read("r.csv");
  const std::string html = project_.Read("r.html");
  for (const auto& [path, reason] : skipped) {
    const std::string field = reason.find(',') == std::string::npos ? reason : '"' + reason + '"';
    EXPECT_THAT(csv, HasSubstr(path + ",skipped,,,,,,,,,," + field + "\r\n"));
    EXPECT_THAT(html, HasSubstr(path));
  }
  EXPECT_THAT(html, HasSubstr("is a link to a folder, not followed"));
  EXPECT_THAT(html, HasSubstr("proj/caf\\xe9.zel"));
  EXPECT_EQ(ornr::Utf16ToUtf8(ornr::Utf8ToUtf16(html)), html);
}

}  // namespace
