// What rsm-audit finds in a project folder: each state of a setup against its library, the
// files it cannot read whole, the exit status, the reports, and what the fix would do.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "../host/OlderFormats.h"
#include "../host/PlainSql.h"
#include "AuditProject.h"
#include "host/store/SettingsText.h"

namespace {

using Teskor::ZelPlatform::OrnSettings;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

const OrnSettings kOldOffice = Values({});
const OrnSettings kNewOffice = Values({{"BlurPasses", "9"}, {"ShadowQuality", "3"}});

// The office's libraries and a drawing with a setup in each state the audit tells apart.
class AuditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    standards_ = project_.Library("office/standards.zellib",
                                  {{u"Office", kNewOffice},
                                   {u"Night", Values({{"BlurPasses", "4"}})},
                                   {u"Studio", Values({{"AlbedoScale", "0.5"}})}});
    // Sorts before standards.zellib, so its "Night" is the one a setup of that name is held to.
    project_.Library("office/archive.zellib", {{u"Night", Values({{"BlurPasses", "6"}})}});
    const auto from = [&](const OrnSettings& base, std::u16string setup = u"Office",
                          std::filesystem::path library = {}) {
      return Taken{library.empty() ? standards_ : library, std::move(setup), base};
    };
    project_.Drawing(
        "proj/tower.zel",
        {{u"In step", kNewOffice, from(kNewOffice)},
         {u"Alike", kNewOffice, from(kOldOffice)},
         {u"Newer", kOldOffice, from(kOldOffice)},
         {u"Tuned",
          Values({{"BlurPasses", "9"}, {"ShadowQuality", "3"}, {"QualityThreshold", "0.25"}}),
          from(kNewOffice)},
         {u"Both", Values({{"BlurPasses", "12"}}), from(kOldOffice)},
         {u"Apart", Values({{"QualityThreshold", "0.25"}}), from(kOldOffice)},
         {u"Gone", kOldOffice, from(kOldOffice, u"Retired")},
         {u"Moved", kOldOffice, from(kOldOffice, u"Office", project_ / "old/standards.zellib")},
         {u"Night", Values({{"BlurPasses", "6"}}), std::nullopt},
         {u"Studio", Values({{"AlbedoScale", "0.75"}}), std::nullopt},
         {u"Own", Values({{"BlurPasses", "2"}}), std::nullopt}});
  }

  std::vector<std::string> Offices() const {
    return {"--library", "office/standards.zellib", "--library", "office/archive.zellib"};
  }
  ProcessResult Audit(std::vector<std::string> more) const {
    std::vector<std::string> args = Offices();
    args.insert(args.end(), more.begin(), more.end());
    return project_.Audit(args);
  }

  AuditProject project_;
  std::filesystem::path standards_;
};

struct Expected {
  std::string setup;
  std::string state;
  std::map<std::string, std::string> properties;
  int conflicts;
  std::string fix;
  std::vector<std::string> take;
  std::vector<std::string> keep;
};

TEST_F(AuditTest, EachSetupIsHeldAgainstItsLibraryWithThePropertiesInvolved) {
  const ProcessResult result =
      Audit({"--json", "r.json", "--fix", "merge", "--take", "library", "proj"});
  EXPECT_EQ(result.exitCode, 1) << result.out;
  const auto setups = SetupsOf(project_.Json("r.json"), "proj/tower.zel");
  const std::map<std::string, std::string> newer = {{"BlurPasses", "changed in library"},
                                                    {"ShadowQuality", "changed in library"}};
  const std::vector<Expected> cases = {
      {"In step", "in-step", {}, 0, "nothing to do", {}, {}},
      // Both moved to the same values: in step, and a merge only moves the base.
      {"Alike",
       "in-step",
       {{"BlurPasses", "changed alike"}, {"ShadowQuality", "changed alike"}},
       0,
       "merge",
       {},
       {}},
      {"Newer", "library-newer", newer, 0, "merge", {"BlurPasses", "ShadowQuality"}, {}},
      {"Tuned", "changed-here", {{"QualityThreshold", "changed here"}}, 0, "nothing to do", {}, {}},
      {"Both",
       "both-changed",
       {{"BlurPasses", "conflict"}, {"ShadowQuality", "changed in library"}},
       1,
       "merge",
       {"BlurPasses", "ShadowQuality"},
       {}},
      {"Apart",
       "both-changed",
       {{"BlurPasses", "changed in library"},
        {"ShadowQuality", "changed in library"},
        {"QualityThreshold", "changed here"}},
       0,
       "merge",
       {"BlurPasses", "ShadowQuality"},
       {"QualityThreshold"}},
      {"Gone", "library-gone", {}, 0, "library setup gone", {}, {}},
      {"Moved", "library-gone", {}, 0, "library setup gone", {}, {}},
      {"Night", "same-name-equal", {}, 0, "", {}, {}},
      {"Studio", "same-name-differs", {{"AlbedoScale", "differs"}}, 0, "", {}, {}},
      {"Own", "not-from-library", {}, 0, "", {}, {}},
  };
  ASSERT_EQ(setups.size(), cases.size());
  for (const Expected& expected : cases) {
    SCOPED_TRACE(expected.setup);
    ASSERT_TRUE(setups.contains(expected.setup));
    const auto& setup = setups.at(expected.setup);
    EXPECT_EQ(setup["state"], expected.state);
    std::map<std::string, std::string> properties;
    for (const auto& property : setup.value("properties", nlohmann::json::array())) {
      properties[property["property"]] = property["state"];
    }
    EXPECT_EQ(properties, expected.properties);
    EXPECT_EQ(setup.value("conflicts", 0), expected.conflicts);
    EXPECT_EQ(setup.contains("fix") ? setup["fix"]["action"].get<std::string>() : "", expected.fix);
    if (expected.fix == "merge") {
      EXPECT_EQ(setup["fix"]["take"].get<std::vector<std::string>>(), expected.take);
      EXPECT_EQ(setup["fix"]["keep"].get<std::vector<std::string>>(), expected.keep);
    }
  }
  // Values and where they came from, as the host writes them.
  const auto& both = setups.at("Both");
  EXPECT_EQ(both["library"]["file"], "standards.zellib");
  EXPECT_EQ(both["library"]["path"], standards_.string());
  EXPECT_EQ(both["library"]["takenAt"], "2026-01-15T09:30:00Z");
  EXPECT_EQ(both["properties"][0], (nlohmann::json{{"property", "BlurPasses"},
                                                   {"state", "conflict"},
                                                   {"here", "12"},
                                                   {"base", "8"},
                                                   {"library", "9"}}));
  EXPECT_THAT(setups.at("Gone")["reason"].get<std::string>(),
              HasSubstr("the library \"standards.zellib\" holds no setup \"Retired\""));
  EXPECT_THAT(setups.at("Moved")["reason"].get<std::string>(),
              HasSubstr("the library \"standards.zellib\" is gone from"));
  EXPECT_EQ(setups.at("Night")["library"]["file"], "archive.zellib");
  EXPECT_EQ(setups.at("Studio")["properties"][0], (nlohmann::json{{"property", "AlbedoScale"},
                                                                  {"state", "differs"},
                                                                  {"here", "0.75"},
                                                                  {"library", "0.5"}}));
}

TEST_F(AuditTest, TheTableShowsEachFileThenEachSetupThatDriftedThenTheTotals) {
  const ProcessResult result = Audit({"proj"});
  const auto lines = Lines(result.out);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_THAT(lines[0], HasSubstr("SETUPS"));
  EXPECT_THAT(lines[1], ::testing::MatchesRegex("drift +11 +2 +1 +1 +2 +2 +1 +2 +proj/tower.zel"));
  EXPECT_THAT(lines,
              Contains("  \"Both\": both changed (1 conflict): BlurPasses 8 -> 12 here, 9 in "
                       "library, ShadowQuality 1 -> 3 in library"));
  EXPECT_THAT(lines, Contains("  \"Tuned\": changed here: QualityThreshold 0.5 -> 0.25 here"));
  EXPECT_THAT(
      lines, Contains(HasSubstr("\"Studio\": not from a library, but \"standards.zellib\" "
                                "has a setup of its name: AlbedoScale 0.75 here, 0.5 in library")));
  // In step, namesakes with equal values and setups of the drawing's own are not drifts.
  for (const char* quiet : {"\"In step\"", "\"Alike\"", "\"Night\"", "\"Own\""}) {
    EXPECT_THAT(lines, Not(Contains(HasSubstr(quiet)))) << quiet;
  }
  EXPECT_THAT(lines, Contains("totals: 1 design file, drift in 1"));
  EXPECT_THAT(lines,
              Contains("        11 setups: 2 in step, 1 library newer, 1 changed here, 2 both "
                       "changed, 2 library setup gone, 1 same name (equal), 1 same name "
                       "(differs), 1 not from a library"));
}

TEST_F(AuditTest, ExitStatusSaysWhatWasFound) {
  project_.Drawing("clean/a.zel",
                   {{u"Office", kNewOffice, Taken{standards_, u"Office", kNewOffice}},
                    {u"Own", kOldOffice, std::nullopt}});
  const auto damaged = project_.Drawing("broken/b.zel", {{u"Office", kNewOffice, std::nullopt}});
  ASSERT_TRUE(ornhost::InvalidateSetup(damaged, u"Office"));
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"clean"}, 0, ""},
      {{"clean", "proj"}, 1, ""},
      // A file that could not be read whole wins over drift.
      {{"proj", "broken"}, 3, ""},
      {{"clean", "broken/b.zel"}, 3, ""},
      {{}, 2, "name at least one file or folder"},
      {{"nowhere"}, 2, "nowhere: no such file or folder"},
      {{"--fix", "rebase", "proj"}, 2, "--fix takes merge"},
      {{"--take", "library", "proj"}, 2, "--take goes with --fix merge"},
      {{"--fix", "merge", "--take", "mine", "proj"}, 2, "--take takes library or local"},
      {{"--jobs", "0", "proj"}, 2, "--jobs takes a number"},
      {{"--frobnicate", "proj"}, 2, "unknown option --frobnicate"},
      {{"--json", "same", "--csv", "same", "proj"}, 2, "two reports cannot both go to same"},
      {{"--json", "no/such/folder/r.json", "proj"}, 2, "cannot write no/such/folder/r.json"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const ProcessResult result = Audit(c.args);
    EXPECT_EQ(result.exitCode, c.status) << result.out;
    if (!c.err.empty()) {
      EXPECT_THAT(project_.Read("stderr.log"), HasSubstr(c.err));
    }
  }
  const ProcessResult noLibrary = project_.Audit({"--library", "office/none.zellib", "proj"});
  EXPECT_EQ(noLibrary.exitCode, 2);
  EXPECT_THAT(project_.Read("stderr.log"), HasSubstr("--library design file"));
}

TEST_F(AuditTest, FilesThatCannotBeReadAreListedWithTheirReasonAndTheRunGoesOn) {
  // The last page of records garbled: the setups before it still count.
  std::vector<ProjectSetup> many;
  for (int i = 0; i < 60; ++i) {
    many.push_back({u"Setup " + std::u16string(1, char16_t(u'A' + i)), kOldOffice,
                    Taken{standards_, u"Office", kOldOffice}});
  }
  const auto cut = project_.Drawing("bad/cut.zel", many);
  const std::int64_t page = SqlNumber(cut,
                                      "SELECT pageno FROM dbstat WHERE name = 'render_setups' AND"
                                      " pagetype = 'leaf' ORDER BY path DESC LIMIT 1");
  ASSERT_GT(page, 1);
  std::fstream(cut, std::ios::in | std::ios::out | std::ios::binary).seekp((page - 1) * 4096)
      << std::string(64, '\x7f');
  const auto record = project_.Drawing(
      "bad/record.zel", {{u"Sky", kOldOffice, std::nullopt}, {u"Sea", kOldOffice, std::nullopt}});
  ASSERT_TRUE(ornhost::InvalidateSetup(record, u"Sky"));
  ASSERT_EQ(WriteOlderDesignFile(project_ / "bad/old.zel", 2,
                                 {{{"4f0066006600690063006500", "Office"},
                                   ornhost::detail::FormatSettingsRecord(kOldOffice)}}),
            SQLITE_OK);
  ASSERT_EQ(WriteFormat4Copy(project_ / "proj/tower.zel", project_ / "bad/four.zel"), SQLITE_OK);
  project_.Drawing("bad/newer.zel", {{u"Sky", kOldOffice, std::nullopt}});
  ASSERT_EQ(Sql(project_ / "bad/newer.zel", "PRAGMA user_version = 99"), SQLITE_OK);
  // Not design files: counted, not listed.
  project_.Dir().Write("bad/notes.txt", "not a drawing");
  project_.Dir().Write("bad/empty.zel", "");
  ASSERT_EQ(Sql(project_ / "bad/other.sqlite", "CREATE TABLE t (x)"), SQLITE_OK);
  // Libraries: by their name, and by being the file given as one.
  std::filesystem::copy_file(standards_, project_ / "bad/copy.zellib");
  std::filesystem::copy_file(standards_, project_ / "bad/shared.library");

  const ProcessResult result = Audit(
      {"--library", "bad/shared.library", "--json", "r.json", "--fix", "merge", "bad", "proj"});
  EXPECT_EQ(result.exitCode, 3) << result.out;
  const auto report = project_.Json("r.json");
  const std::map<std::string, std::pair<std::string, std::string>> expected = {
      {"bad/cut.zel", {"damaged", "cannot be read, and nothing is written to it"}},
      {"bad/record.zel", {"damaged", "the stored record of 1 setup cannot be read"}},
      {"bad/old.zel",
       {"older-format", "it has format version 2, which this host reads but no longer writes"}},
      {"bad/newer.zel", {"unreadable", "has format version 99, newer than version"}},
      {"bad/four.zel",
       {"older-format", "it has format version 4, which this host reads but no longer writes"}},
  };
  std::map<std::string, std::pair<std::string, std::string>> listed;
  for (const auto& file : report["files"]) {
    if (file["path"] == "proj/tower.zel") continue;
    listed[file["path"]] = {file["status"], file.value("reason", "")};
    // Never written, whatever the fix would do.
    EXPECT_EQ(file["fix"]["outcome"], "skipped") << file["path"];
  }
  ASSERT_EQ(listed.size(), expected.size());
  for (const auto& [path, status] : expected) {
    SCOPED_TRACE(path);
    EXPECT_EQ(listed[path].first, status.first);
    EXPECT_THAT(listed[path].second, HasSubstr(status.second));
  }
  // What could be read is classified all the same.
  const auto* cutFile = FileOf(report, "bad/cut.zel");
  ASSERT_NE(cutFile, nullptr);
  EXPECT_GT((*cutFile)["setups"].size(), 0u);
  EXPECT_LT((*cutFile)["setups"].size(), 60u);
  EXPECT_EQ(SetupsOf(report, "bad/record.zel")["Sky"]["state"], "unreadable");
  EXPECT_EQ(SetupsOf(report, "bad/record.zel")["Sea"]["state"], "not-from-library");
  EXPECT_EQ(SetupsOf(report, "bad/old.zel")["Office"]["state"], "same-name-differs");
  EXPECT_EQ(report["totals"]["otherFiles"], 3);
  EXPECT_EQ(report["totals"]["librariesSkipped"], 2);
  EXPECT_EQ(report["exitStatus"], 3);

  // A file named on the command line is listed even when it is no design file.
  const ProcessResult named = Audit({"--json", "n.json", "bad/notes.txt"});
  EXPECT_EQ(named.exitCode, 3);
  EXPECT_EQ(project_.Json("n.json")["files"][0]["reason"], "is not a design file");
}

TEST_F(AuditTest, ReadingWritesNothingNotEvenToDamagedOrOlderFiles) {
  const auto record = project_.Drawing("bad/record.zel", {{u"Sky", kOldOffice, std::nullopt}});
  ASSERT_TRUE(ornhost::InvalidateSetup(record, u"Sky"));
  ASSERT_EQ(WriteOlderDesignFile(project_ / "bad/old.zel", 3,
                                 {{{"4f0066006600690063006500", "Office"},
                                   ornhost::detail::FormatSettingsRecord(kOldOffice)}}),
            SQLITE_OK);
  // A dump restored into a new file lost the header's marks: the host repairs them at its first
  // write, the audit must not.
  ASSERT_EQ(std::system(("sqlite3 '" + (project_ / "proj/tower.zel").string() +
                         "' .dump | sqlite3 '" + (project_ / "proj/restored.zel").string() + "'")
                            .c_str()),
            0);
  const auto snapshot = [&] {
    std::map<std::string, std::pair<std::string, std::int64_t>> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(project_.Root())) {
      if (!entry.is_regular_file() || entry.path().filename() == "stderr.log") continue;
      struct stat info {};
      stat(entry.path().c_str(), &info);
      files[entry.path().string()] = {
          project_.Dir().Read(std::filesystem::relative(entry.path(), project_.Root())),
          info.st_mtim.tv_sec * 1000000000 + info.st_mtim.tv_nsec};
    }
    return files;
  };
  const auto before = snapshot();
  const ProcessResult result =
      Audit({"--fix", "merge", "--take", "library", "--json", "r.json", "proj", "bad"});
  EXPECT_EQ(result.exitCode, 3) << result.out;
  auto after = snapshot();
  after.erase((project_ / "r.json").string());
  EXPECT_TRUE(before == after) << "a file was written, made or removed";
  EXPECT_EQ(SetupsOf(project_.Json("r.json"), "proj/restored.zel").size(), 11u);
}

TEST_F(AuditTest, TheCsvHasARowPerSetupAndPropertyThatDiffers) {
  project_.Drawing("proj/odd.zel", {{u"=cmd,\"quoted\"", Values({{"BlurPasses", "4"}}),
                                     Taken{standards_, u"Office", kOldOffice}}});
  ASSERT_EQ(Audit({"--csv", "r.csv", "proj"}).exitCode, 1);
  const auto rows = Lines(project_.Read("r.csv"));
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0],
            "file,file_status,setup,state,property,change,here,base,library,library_file,"
            "library_setup,reason\r");
  std::set<std::string> keys;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const std::string& row = rows[i];
    const auto comma = [&](int n) {
      std::size_t at = 0;
      bool quoted = false;
      for (std::size_t k = 0; k < row.size(); ++k) {
        if (row[k] == '"') quoted = !quoted;
        if (row[k] == ',' && !quoted && --n == 0) at = k;
        if (n == 0) break;
      }
      return at;
    };
    keys.insert(row.substr(0, comma(5)));
  }
  // One row per drifted setup and differing property; a gone library setup has a row of its own.
  EXPECT_EQ(keys, (std::set<std::string>{
                      "proj/tower.zel,read,Newer,library-newer,BlurPasses",
                      "proj/tower.zel,read,Newer,library-newer,ShadowQuality",
                      "proj/tower.zel,read,Tuned,changed-here,QualityThreshold",
                      "proj/tower.zel,read,Both,both-changed,BlurPasses",
                      "proj/tower.zel,read,Both,both-changed,ShadowQuality",
                      "proj/tower.zel,read,Apart,both-changed,BlurPasses",
                      "proj/tower.zel,read,Apart,both-changed,ShadowQuality",
                      "proj/tower.zel,read,Apart,both-changed,QualityThreshold",
                      "proj/tower.zel,read,Gone,library-gone,",
                      "proj/tower.zel,read,Moved,library-gone,",
                      "proj/tower.zel,read,Studio,same-name-differs,AlbedoScale",
                      "proj/odd.zel,read,\"'=cmd,\"\"quoted\"\"\",both-changed,BlurPasses",
                      "proj/odd.zel,read,\"'=cmd,\"\"quoted\"\"\",both-changed,ShadowQuality",
                  }));
}

TEST_F(AuditTest, TheHtmlReportIsOneFileThatFetchesNothing) {
  project_.Drawing("proj/odd.zel", {{u"<script>alert(1)</script> & \"Lobby\"", kOldOffice,
                                     Taken{standards_, u"Office", kOldOffice}}});
  ASSERT_EQ(Audit({"--html", "report.html", "--fix", "merge", "proj"}).exitCode, 1);
  const std::string html = project_.Read("report.html");
  EXPECT_TRUE(html.starts_with("<!DOCTYPE html>"));
  for (const char* outside : {"http:", "https:", "src=", "@import", "url(", "<link", "<script"}) {
    EXPECT_THAT(html, Not(HasSubstr(outside))) << outside;
  }
  EXPECT_THAT(html, HasSubstr("&lt;script&gt;alert(1)&lt;/script&gt; &amp; &quot;Lobby&quot;"));
  for (const char* part : {"id=\"totals\"", "id=\"chart\"", "id=\"properties\"", "id=\"drawings\"",
                           "<footer>", "--html report.html --fix merge proj"}) {
    EXPECT_THAT(html, HasSubstr(part)) << part;
  }
}

TEST_F(AuditTest, ADryRunSaysWhatAMergeWouldChangeAndChangesNothing) {
  const std::string before = project_.Read("proj/tower.zel");
  const ProcessResult undecided = Audit({"--fix", "merge", "--json", "r.json", "proj"});
  EXPECT_EQ(undecided.exitCode, 1);
  const auto lines = Lines(undecided.out);
  EXPECT_THAT(lines, Contains("    fix: 1 conflict to decide; left as it is"));
  EXPECT_THAT(lines,
              Contains(HasSubstr("  fix: would change \"Alike\" (the merge base only), "
                                 "\"Newer\" (2 values from the library), \"Apart\" (2 values "
                                 "from the library)")));
  EXPECT_THAT(lines,
              Contains("fix: would change 3 setups in 1 design file; 1 setup has conflicts to "
                       "decide (--take library|local); --apply writes the changes"));
  const auto setups = SetupsOf(project_.Json("r.json"), "proj/tower.zel");
  EXPECT_EQ(setups.at("Both")["fix"]["undecided"], nlohmann::json::array({"BlurPasses"}));

  const ProcessResult local =
      Audit({"--fix", "merge", "--take", "local", "--json", "r.json", "proj"});
  EXPECT_EQ(local.exitCode, 1);
  const auto both = SetupsOf(project_.Json("r.json"), "proj/tower.zel").at("Both");
  EXPECT_EQ(both["fix"]["take"], nlohmann::json::array({"ShadowQuality"}));
  EXPECT_EQ(both["fix"]["keep"], nlohmann::json::array({"BlurPasses"}));
  EXPECT_EQ(project_.Read("proj/tower.zel"), before);
}

}  // namespace
