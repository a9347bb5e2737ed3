// Change sets end to end: every --apply run records one in each file it writes, --changes lists
// and shows them, --undo reverts one where the values still hold what it wrote, and the undo is
// itself a change set.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "../host/PlainSql.h"
#include "AuditProject.h"
#include "host/provenance/ChangeSets.h"
#include "host/store/SettingsText.h"

namespace {

using Teskor::ZelPlatform::OrnSettings;
using ::testing::Contains;
using ::testing::HasSubstr;

const OrnSettings kTaken = Values({{"AlbedoScale", "0.5"}, {"BlurPasses", "2"}});
const OrnSettings kOffice =
    Values({{"AlbedoScale", "0.75"}, {"BlurPasses", "6"}, {"Outputs", "7"}});

// Values and merge base of every setup, as texts: what an undo must bring back exactly.
std::map<std::u16string, std::string> CsStored(const std::filesystem::path& file) {
  std::map<std::u16string, std::string> stored;
  const auto origins = ornhost::ProvenanceInFile(file);
  for (const auto& setup : ornhost::ReadSetups(file)) {
    const auto origin = origins.find(setup.name);
    stored[setup.name] =
        ornhost::detail::FormatSettingsRecord(setup.settings) + "|" +
        (origin == origins.end() ? "" : ornhost::detail::FormatSettingsRecord(origin->second.base));
  }
  return stored;
}

// The id the run's last lines name.
std::string CsChangeSetOf(const ProcessResult& run) {
  for (const std::string& line : Lines(run.out)) {
    if (line.starts_with("change set: ")) return line.substr(12, line.find(' ', 12) - 12);
  }
  ADD_FAILURE() << "no change set named in:\n" << run.out;
  return "";
}

class AuditChangeSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    project_.Library("office/standards.zellib", {{u"Office", kOffice}});
    const Taken taken{project_ / "office/standards.zellib", u"Office", kTaken};
    tower_ = project_.Drawing(
        "p/tower.zel", {{u"Office", kTaken, taken},
                        {u"Tuned", Values({{"AlbedoScale", "0.25"}, {"BlurPasses", "2"}}), taken},
                        {u"Own", Values({{"BlurPasses", "1"}}), std::nullopt}});
    annex_ = project_.Drawing("p/annex.zel", {{u"Office", kTaken, taken}});
    project_.Drawing("p/in-step.zel",
                     {{u"Office", kOffice, Taken{taken.library, u"Office", kOffice}}});
    before_ = {CsStored(tower_), CsStored(annex_)};
  }
  ProcessResult Audit(std::vector<std::string> args) {
    args.push_back("p");
    return project_.Audit(args);
  }
  std::string Applied() {
    const ProcessResult fix = Audit({"--library", "office/standards.zellib", "--fix", "merge",
                                     "--take", "local", "--apply", "--json", "fix.json"});
    EXPECT_EQ(fix.exitCode, 1) << fix.out;
    const std::string id = CsChangeSetOf(fix);
    EXPECT_EQ(project_.Json("fix.json")["run"]["fix"].value("changeSet", ""), id);
    return id;
  }

  AuditProject project_;
  std::filesystem::path tower_;
  std::filesystem::path annex_;
  std::vector<std::map<std::u16string, std::string>> before_;
};

TEST_F(AuditChangeSetTest, AnApplyIsOneChangeSetInEveryFileItWroteAndOnlyThere) {
  const ProcessResult dry =
      Audit({"--library", "office/standards.zellib", "--fix", "merge", "--json", "dry.json"});
  EXPECT_TRUE(ornhost::ChangeSetsInFile(tower_).empty()) << "a dry run records nothing";
  EXPECT_FALSE(project_.Json("dry.json")["run"]["fix"].contains("changeSet"));
  EXPECT_THAT(dry.out, ::testing::Not(HasSubstr("change set:")));

  const std::string id = Applied();
  ASSERT_FALSE(id.empty());
  for (const auto& file : {tower_, annex_}) {
    const auto sets = ornhost::ChangeSetsInFile(file);
    ASSERT_EQ(sets.size(), 1u) << file;
    EXPECT_EQ(sets[0].header.id, id);
    EXPECT_THAT(sets[0].header.command,
                HasSubstr("--fix merge --take local --apply --json fix.json p"));
  }
  EXPECT_TRUE(ornhost::ChangeSetsInFile(project_ / "p/in-step.zel").empty());

  // Only what changed is recorded, in the record's order: Office took three values, Tuned kept
  // its own AlbedoScale.
  const auto sets = ornhost::ChangeSetsInFile(tower_);
  std::map<std::u16string, std::vector<std::string>> changed;
  for (const auto& setup : sets[0].setups) {
    EXPECT_NE(setup.standingBefore, setup.standingAfter) << "the merge base moved";
    for (const auto& value : setup.values) {
      changed[*setup.nameAfter].push_back(
          ornhost::detail::SettingKey(value.field) + std::string(" ") +
          ornhost::ChangeSetValueText(value.field, *value.before) + "->" +
          ornhost::ChangeSetValueText(value.field, *value.after));
    }
  }
  using V = std::vector<std::string>;
  EXPECT_EQ(changed[u"Office"], (V{"BlurPasses 2->6", "Outputs 3->7", "AlbedoScale 0.5->0.75"}));
  EXPECT_EQ(changed[u"Tuned"], (V{"BlurPasses 2->6", "Outputs 3->7"}));
  EXPECT_FALSE(changed.contains(u"Own"));

  // The versions the run wrote carry its id.
  const ProcessResult history = RunProgram(
      RSM_WORKBENCH, {"--master", tower_.string(), "-c", "history Office"}, project_.Root());
  EXPECT_THAT(history.out, HasSubstr(id)) << history.out;
}

TEST_F(AuditChangeSetTest, ChangesListsEachRunNewestFirstAndShowsOneValueByValue) {
  const std::string first = Applied();
  // A second run with something to do: the library moves on.
  project_.Library("office/standards.zellib",
                   {{u"Office", Values({{"AlbedoScale", "0.75"}, {"BlurPasses", "8"}})}});
  const std::string second = Applied();
  ASSERT_LT(first, second) << "ids sort as they were made";

  const ProcessResult list = Audit({"--changes"});
  EXPECT_EQ(list.exitCode, 0) << list.out << project_.Read("stderr.log");
  const auto lines = Lines(list.out);
  ASSERT_GE(lines.size(), 3u) << list.out;
  EXPECT_TRUE(lines[1].starts_with(second)) << list.out;
  EXPECT_TRUE(lines[2].starts_with(first)) << list.out;
  // Two files, three setups, eight values; then the command.
  EXPECT_THAT(lines[2],
              ::testing::MatchesRegex(
                  ".* 2 +3 +8  .*rsm-audit .*--fix merge --take local --apply --json fix.json p"));

  const ProcessResult shown = Audit({"--changes", first.substr(0, 10)});
  EXPECT_EQ(shown.exitCode, 0) << shown.out;
  EXPECT_THAT(Lines(shown.out), Contains("  \"Tuned\" BlurPasses 2 -> 6"));
  EXPECT_THAT(Lines(shown.out), Contains("totals: 2 files, 3 setups, 8 values"));

  const ProcessResult unknown = Audit({"--changes", "zzzzzzzz"});
  EXPECT_EQ(unknown.exitCode, 1);
  EXPECT_THAT(project_.Read("stderr.log"), HasSubstr("no file under the PATHs holds change set"));
}

TEST_F(AuditChangeSetTest, UndoPutsBackWhatItWroteKeepsConflictsAndCanItselfBeUndone) {
  const std::string id = Applied();
  const auto fixed = std::vector{CsStored(tower_), CsStored(annex_)};
  // Someone changes one value the run wrote, in one drawing.
  ASSERT_EQ(Sql(tower_, "UPDATE render_setups SET BlurPasses = 5 WHERE name = 'Office'"),
            SQLITE_OK);
  const auto touched = CsStored(tower_);

  const ProcessResult dry = Audit({"--undo", id});
  EXPECT_EQ(dry.exitCode, 1) << dry.out;
  // Which run is undone, and the command line that made it, before any file.
  const auto head = Lines(dry.out);
  ASSERT_GE(head.size(), 2u) << dry.out;
  EXPECT_TRUE(head[0].starts_with("undo of change set " + id + ", made ")) << dry.out;
  EXPECT_THAT(head[1], ::testing::MatchesRegex(
                           "  .*rsm-audit .*--fix merge --take local --apply --json fix.json p"));
  EXPECT_THAT(Lines(dry.out), Contains("  \"Office\" BlurPasses conflict: 5 now, the change set "
                                       "wrote 6, 2 before; kept"));
  EXPECT_THAT(Lines(dry.out), Contains("  \"Office\" AlbedoScale 0.75 -> 0.5"));
  EXPECT_EQ(CsStored(tower_), touched) << "a dry run writes nothing";
  EXPECT_EQ(CsStored(annex_), fixed[1]);

  const ProcessResult undo = Audit({"--undo", id, "--apply"});
  EXPECT_EQ(undo.exitCode, 1) << undo.out << project_.Read("stderr.log");
  EXPECT_EQ(CsStored(annex_), before_[1]) << "values and merge base as before the run";
  // Everything else as before the run, the merge base too; the conflict kept.
  auto expected = before_[0];
  expected[u"Office"] =
      ornhost::detail::FormatSettingsRecord(Values({{"AlbedoScale", "0.5"}, {"BlurPasses", "5"}})) +
      "|" + ornhost::detail::FormatSettingsRecord(kTaken);
  EXPECT_EQ(CsStored(tower_), expected);
  const std::string undoId = CsChangeSetOf(undo);

  // The conflict left, put back when the change set's record is taken.
  const ProcessResult taken = Audit({"--undo", id, "--take", "change-set", "--apply"});
  EXPECT_EQ(taken.exitCode, 0) << taken.out;
  EXPECT_EQ(CsStored(tower_), before_[0]);

  // Undoing the first undo brings back what the run wrote, but for the value that undo kept.
  const ProcessResult again = Audit({"--undo", undoId, "--apply"});
  EXPECT_EQ(again.exitCode, 0) << again.out;
  EXPECT_EQ(CsStored(annex_), fixed[1]);
  expected = fixed[0];
  expected[u"Office"] = ornhost::detail::FormatSettingsRecord(Values(
                            {{"AlbedoScale", "0.75"}, {"BlurPasses", "2"}, {"Outputs", "7"}})) +
                        "|" + ornhost::detail::FormatSettingsRecord(kOffice);
  EXPECT_EQ(CsStored(tower_), expected);
  EXPECT_EQ(ornhost::ChangeSetsInFile(annex_).size(), 3u);
}

TEST_F(AuditChangeSetTest, AFileBusyOrWrittenByAnotherSessionIsSkippedAndTheRestUndone) {
  const std::string id = Applied();
  // Another session holds the file for writing throughout the undo.
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(tower_.c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  const auto busy = std::vector{CsStored(tower_)};
  setenv("ORNHOST_BUSY_TIMEOUT_MS", "200", 1);
  const ProcessResult undo = Audit({"--undo", id, "--apply"});
  unsetenv("ORNHOST_BUSY_TIMEOUT_MS");
  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);
  EXPECT_EQ(undo.exitCode, 1) << undo.out;
  EXPECT_THAT(undo.out, HasSubstr("p/tower.zel: skipped: "));
  EXPECT_THAT(undo.out, HasSubstr("; 1 file skipped"));
  EXPECT_EQ(CsStored(tower_), busy[0]);
  EXPECT_EQ(CsStored(annex_), before_[1]);
  // What the undo did not reach, a later one does.
  const ProcessResult rest = Audit({"--undo", id, "--apply"});
  EXPECT_EQ(rest.exitCode, 0) << rest.out;
  EXPECT_EQ(CsStored(tower_), before_[0]);
  EXPECT_THAT(rest.out, HasSubstr("p/annex.zel: nothing to do"));
}

TEST_F(AuditChangeSetTest, ForgetRemovesTheRecordOnlyWithApply) {
  const std::string id = Applied();
  const ProcessResult dry = Audit({"--forget", id});
  EXPECT_EQ(dry.exitCode, 0) << dry.out;
  EXPECT_EQ(ornhost::ChangeSetsInFile(tower_).size(), 1u);
  const ProcessResult forget = Audit({"--forget", id.substr(0, 11), "--apply"});
  EXPECT_EQ(forget.exitCode, 0) << forget.out;
  EXPECT_TRUE(ornhost::ChangeSetsInFile(tower_).empty());
  EXPECT_TRUE(ornhost::ChangeSetsInFile(annex_).empty());
  EXPECT_EQ(Audit({"--undo", id}).exitCode, 1) << "nothing left to undo";
}

TEST(AuditChangeSetOptions, WrongCommandLinesAreRefusedWithTheirReason) {
  AuditProject project;
  project.Drawing("p/a.zel", {{u"A", kTaken, std::nullopt}});
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"--undo", "Not-An-Id", "p"}, "--undo takes a change set's id"},
      {{"--undo", "abc", "--undo", "abd", "p"}, "--undo may be given once"},
      {{"--take", "change-set", "--fix", "merge", "p"}, "--take change-set goes with --undo"},
      {{"--take", "library", "--undo", "abc", "p"}, "--take goes with --fix merge"},
      {{"--changes", "--undo", "abc", "p"}, "go one at a time"},
      {{"--changes", "--apply", "p"}, "--apply goes with"},
      {{"--undo", "abc"}, "name at least one file or folder"},
      {{"--changes", "--json", "r.json", "p"},
       "--json and --csv go with an audit, --fix, --deploy"},
      {{"--forget", "abc", "--html", "r.html", "p"}, "--html goes with an audit, --fix, --deploy"},
      {{"--undo", "abc", "--strict", "p"}, "--strict goes with an audit or --fix"},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(::testing::PrintToString(each.args));
    const ProcessResult run = project.Audit(each.args);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_THAT(project.Read("stderr.log"), HasSubstr(each.message));
  }
}

}  // namespace
