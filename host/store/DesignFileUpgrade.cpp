#include "host/store/DesignFile.h"

#include <sqlite3.h>

#include <filesystem>
#include <unordered_set>

#include "host/controls/HostControls.h"
#include "host/store/BackupCopy.h"
#include "host/store/ChangeSetTable.h"
#include "host/store/DesignFileLayout.h"
#include "host/store/DesignFileStatements.h"
#include "host/store/ProvenanceTable.h"
#include "host/store/SetupNames.h"
#include "host/store/StandardsTable.h"
#include "host/store/VersionTable.h"

namespace ornhost::detail {

namespace {

// Beside the file, keeping its extension so that file dialogs still show it.
std::filesystem::path FreeBackupPath(const std::filesystem::path& path, int version) {
  const std::string stem = path.stem().string() + ".format" + std::to_string(version) + "-backup";
  for (int n = 1; n < 1000; ++n) {
    std::filesystem::path candidate = path;
    candidate.replace_filename(stem + (n > 1 ? "-" + std::to_string(n) : "") +
                               path.extension().string());
    std::error_code ec;
    if (!std::filesystem::exists(candidate, ec) && !ec) return candidate;
  }
  return {};
}

}  // namespace

// Format 4 has the columns already: its table of setups is laid out anew (positions are never
// given out twice from 5 on) around the same rows, and the version tables are added.
void DesignFile::AddVersions() {
  Exec("ALTER TABLE render_setups RENAME TO render_setups_format4");
  Exec(SetupsTable(kDesignFileSchemaVersion).c_str());
  // A record a plain SQL edit damaged with the checks off stays as it is, unread as before.
  Exec("PRAGMA ignore_check_constraints = ON");
  try {
    Exec("INSERT INTO render_setups SELECT * FROM render_setups_format4");
  } catch (...) {
    sqlite3_exec(db_, "PRAGMA ignore_check_constraints = OFF", nullptr, nullptr, nullptr);
    throw;
  }
  Exec("PRAGMA ignore_check_constraints = OFF");
  Exec("DROP TABLE render_setups_format4");
  for (const std::string& sql : VersionsLayOut()) Exec(sql.c_str());
}

// Format 5 holds everything of format 6 but the standards, which start empty: its setups govern
// all their values and lock none, as before.
void DesignFile::AddStandards() {
  for (const std::string& sql : StandardsLayOut()) Exec(sql.c_str());
}

// Format 6 holds everything of format 7 but the change sets, which start empty.
void DesignFile::AddChangeSets() {
  for (const std::string& sql : ChangeSetsLayOut()) Exec(sql.c_str());
}

// Formats 1 to 3 keep a text of all settings a record: each record is read and written anew.
void DesignFile::ConvertRecords(UpgradeReport& report) {
  std::vector<SetupRecord> records;
  {
    Statement old(*this, RecordSelect(nullptr));
    while (old.Step()) records.push_back(OldRecordFrom(old.get()));
  }
  Exec("DROP TABLE render_setups");
  Exec(kMarksTable);
  Exec(SetupsTable(kDesignFileSchemaVersion).c_str());
  // Format 3 has them already, under the positions that are kept.
  if (report.fromVersion < 3) Exec(kProvenanceLayOut);
  for (const std::string& sql : VersionsLayOut()) Exec(sql.c_str());
  for (const std::string& sql : StandardsLayOut()) Exec(sql.c_str());
  for (const std::string& sql : ChangeSetsLayOut()) Exec(sql.c_str());
  Exec(HeaderMarks(kDesignFileSchemaVersion).c_str());
  Exec(MarksRow(kDesignFileSchemaVersion).c_str());
  version_ = kDesignFileSchemaVersion;

  std::unordered_set<std::u16string> names;
  const auto keptInBackup = "; it is kept in " + report.backup.string();
  for (const SetupRecord& record : records) {
    const std::string shown = "\"" + PrintableSetupName(record.name) + "\"";
    std::optional<std::string> refusal = RefusalOfSetupName(record.name);
    if (record.problem == kNotWholeUtf16) refusal = record.problem;
    if (!refusal && !names.insert(record.name).second) refusal = "a second record of that name";
    if (!refusal && !record.settings) refusal = record.problem;
    if (refusal) {
      report.problems.push_back("the setup " + shown + " is left out (" + *refusal + ")" +
                                keptInBackup);
      ProvenanceTable::ForgetAt(*this, record.row.position);
      continue;
    }
    Write(record.row.position, record.name, *record.settings);
  }
}

UpgradeReport DesignFile::Upgrade() {
  UpgradeReport report;
  report.fromVersion = version_;
  if (version_ >= kDesignFileSchemaVersion) {
    CheckBeforeFirstWrite();
    return report;
  }
  // Only a whole file of a layout of ours is converted; the check is the one before any write.
  refusal_.clear();
  try {
    CheckIntegrityAndSchema(true);
  } catch (const DesignFileError& error) {
    Refuse("cannot be upgraded: " + error.Reason());
  }

  report.backup = FreeBackupPath(path_, version_);
  if (report.backup.empty()) Refuse("cannot be upgraded: no free name for its backup copy");
  if (const std::string why = WriteBackupCopy(db_, report.backup); !why.empty()) {
    Refuse("cannot be upgraded: its backup copy " + report.backup.string() +
           " cannot be written: " + why);
  }

  try {
    Transaction transaction(*this, false);
    if (QueryInteger("PRAGMA user_version") != version_) {
      Refuse("cannot be upgraded: another program changed it meanwhile");
    }
    if (report.fromVersion >= kColumnsVersion) {
      if (report.fromVersion < kVersionsFormat) AddVersions();
      if (report.fromVersion < kStandardsFormat) AddStandards();
      AddChangeSets();
      Exec(HeaderMarks(kDesignFileSchemaVersion).c_str());
      Exec(MarksRow(kDesignFileSchemaVersion).c_str());
      version_ = kDesignFileSchemaVersion;
    } else {
      ConvertRecords(report);
    }
    transaction.Commit();
  } catch (...) {
    version_ = report.fromVersion;
    std::error_code ignored;
    std::filesystem::remove(report.backup, ignored);
    throw;
  }
  refusal_.clear();
  checked_ = true;
  marksToRestore_ = false;
  return report;
}

void DesignFile::FollowUpgrade() {
  // A damaged file stays refused, whatever its marks say now.
  if (version_ >= kDesignFileSchemaVersion || !readProblem_.empty()) return;
  const std::string older = refusal_;
  refusal_.clear();
  try {
    CheckOrLayOut(true);
  } catch (...) {
    refusal_ = older;
    throw;
  }
  // The layout another session made is checked as before any first write.
  if (version_ < kDesignFileSchemaVersion) return;
  checked_ = false;
  if (checkInBackground_) CheckInBackground();
}

}  // namespace ornhost::detail
