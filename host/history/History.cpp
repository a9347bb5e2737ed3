#include "host/history/History.h"

#include <algorithm>

#include "host/controls/HostControls.h"
#include "host/session/HostState.h"
#include "host/store/SettingFields.h"
#include "host/store/SetupNames.h"
#include "host/store/VersionTable.h"
#include "support/Utf.h"

using Teskor::ZelPlatform::OrnSettings;

namespace ornhost {

namespace {

using detail::HostFile;

using ornr::Quoted;

// The open master file, of a format that keeps versions.
HostFile& Master() {
  HostFile* master = detail::State().master;
  if (master == nullptr || !master->IsOpen()) throw HistoryError("no master file is open");
  try {
    // Another session may have upgraded it since it was opened.
    master->Db()->FollowUpgrade();
  } catch (const DesignFileError& error) {
    throw HistoryError(error.what());
  }
  if (master->Db()->Version() < detail::kVersionsFormat) {
    throw HistoryError(master->DisplayName() + " keeps no history: " + master->Db()->Refusal());
  }
  return *master;
}

// Runs a read or write of the file, its failures told as the history's.
template <typename Work>
auto InFile(Work work) {
  try {
    return work();
  } catch (const DesignFileError& error) {
    throw HistoryError(error.what());
  }
}

// Where the history of a setup is: the stored setup of that name, else the one most recently
// deleted under it.
struct Located {
  std::int64_t position = 0;  // 0: not yet stored, so nothing replaced
  bool deleted = false;
  std::u16string name;
};

Located Locate(HostFile& master, const std::u16string& setup) {
  if (const detail::StoreEntry* entry = master.Find(setup)) {
    return {entry->row ? entry->row->position : 0, false, setup};
  }
  const auto deleted = InFile([&] { return detail::VersionTable::Deleted(*master.Db()); });
  for (const detail::DeletedEntry& entry : deleted) {
    if (entry.name == setup) return {entry.position, true, setup};
  }
  throw HistoryError("the master file holds no setup " + Quoted(setup) +
                     " and keeps none deleted under that name");
}

// A value no setting of that field can hold (left by an edit with the checks off) is shown as
// such: as a number it would read as one it is not.
std::string ValueText(std::size_t field, const detail::StoredValue& value) {
  OrnSettings settings;
  if (!detail::SetSettingValue(settings, field, value)) return "unreadable";
  return detail::Fields()[field].text(settings);
}

}  // namespace

std::vector<SetupVersion> SetupHistory(const std::u16string& setup) {
  HostFile& master = Master();
  const Located located = Locate(master, setup);
  if (located.position == 0) return {};
  const auto entries =
      InFile([&] { return detail::VersionTable::History(*master.Db(), located.position); });
  std::vector<SetupVersion> versions;
  versions.reserve(entries.size());
  // The name each write left: that of the next newer stored state, or the setup's now.
  std::u16string after = located.deleted ? u"" : located.name;
  for (const detail::VersionEntry& entry : entries) {
    SetupVersion& version = versions.emplace_back();
    version.number = entry.number;
    version.madeAt = entry.madeAt;
    version.action = entry.action;
    version.madeBy = entry.madeBy;
    version.name = entry.name;
    const bool reset = entry.action == detail::actions::kReset;
    version.nameAfter = reset ? entry.name : after;
    if (!reset) after = entry.name;
    version.marks = entry.marks;
    version.changeSet = entry.changeSet;
    version.changeSetCommand = entry.changeSetCommand;
    for (const detail::VersionChange& change : entry.changes) {
      version.changes.push_back(
          {detail::SettingKey(change.field), ValueText(change.field, change.before),
           change.after ? ValueText(change.field, *change.after) : std::string()});
    }
  }
  return versions;
}

OrnSettings SetupVersionValues(const std::u16string& setup, std::int64_t number) {
  HostFile& master = Master();
  const Located located = Locate(master, setup);
  const auto noVersion = [&] {
    return HistoryError(Quoted(setup) + " has no version " + std::to_string(number) + " (history " +
                        Quoted(setup) + " lists its versions)");
  };
  if (located.position == 0) throw noVersion();
  detail::DesignFile& db = *master.Db();
  const auto entries = InFile([&] { return detail::VersionTable::History(db, located.position); });
  const auto entry = std::find_if(entries.begin(), entries.end(),
                                  [&](const auto& e) { return e.number == number; });
  if (entry == entries.end()) throw noVersion();
  if (entry->action == detail::actions::kUndelete) {
    throw HistoryError("version " + std::to_string(number) + " of " + Quoted(setup) +
                       " marks where it came back after being deleted; the version before it "
                       "holds its values then");
  }
  const auto state =
      InFile([&] { return detail::VersionTable::StateAt(db, located.position, number); });
  if (!state) throw noVersion();
  std::string problem;
  auto settings = detail::ReadSettingValues(state->values, problem);
  if (!settings) {
    throw HistoryError("version " + std::to_string(number) + " of " + Quoted(setup) +
                       " does not read back: " + problem);
  }
  return *settings;
}

std::vector<DeletedSetup> DeletedSetups() {
  HostFile& master = Master();
  std::vector<DeletedSetup> deleted;
  for (auto& entry : InFile([&] { return detail::VersionTable::Deleted(*master.Db()); })) {
    deleted.push_back({std::move(entry.name), std::move(entry.deletedAt),
                       std::move(entry.deletedBy), entry.versions});
  }
  return deleted;
}

void UndeleteSetup(
    const std::u16string& name, const std::u16string& newName,
    const std::function<void(std::int64_t position, const OrnSettings& values)>& check) {
  HostFile& master = Master();
  const std::u16string& target = newName.empty() ? name : newName;
  if (const auto refusal = RefusalOfSetupName(target)) throw HistoryError(*refusal);
  if (!master.IsWritable()) throw HistoryError(master.DisplayName() + " is open read-only");
  detail::DesignFile& db = *master.Db();
  if (const detail::StoreEntry* held = master.Find(target)) {
    // This session may still show a setup that another session deleted or renamed since.
    const auto stored = held->row ? InFile([&] { return db.Read(*held->row); })
                                  : std::optional<detail::SetupRecord>();
    if (!held->row || (stored && stored->name == target)) {
      throw HistoryError("the master file holds a setup named " + Quoted(target) + " already" +
                         (newName.empty()
                              ? "; \"undelete " + ornr::Utf16ToUtf8(name) +
                                    " NEWNAME\" brings the deleted one back under another name"
                              : ""));
    }
    if (stored) {
      throw HistoryError("another session has renamed " + Quoted(target) + " to " +
                         Quoted(stored->name) + " since this session read it");
    }
    if (held->working->modified) {
      throw HistoryError("another session has deleted " + Quoted(target) +
                         " since this session read it, and this session has unsaved changes to it, "
                         "which stay: \"save " +
                         ornr::Utf16ToUtf8(target) + " --force\" stores them, \"undelete " +
                         ornr::Utf16ToUtf8(name) +
                         " NEWNAME\" brings the deleted one back beside them");
    }
  }
  const auto deleted = InFile([&] { return detail::VersionTable::Deleted(db); });
  const auto found = std::find_if(deleted.begin(), deleted.end(),
                                  [&](const auto& entry) { return entry.name == name; });
  if (found == deleted.end()) {
    throw HistoryError(master.DisplayName() + " keeps no deleted setup named " + Quoted(name));
  }
  const auto record = InFile([&] {
    if (!check) return db.Undelete(found->position, target);
    return db.Undelete(found->position, target, [&](const detail::SetupRecord& stored) {
      check(stored.row.position, *stored.settings);
    });
  });
  master.Adopt(record.row, target, *record.settings);
  Refresh();
}

HistoryLimits GetHistoryLimits() {
  HostFile& master = Master();
  std::string problem;
  const auto limits = InFile([&] { return detail::VersionTable::Limits(*master.Db(), &problem); });
  return {limits.versionsPerSetup, limits.deletedDays, problem};
}

void SetHistoryLimits(const HistoryLimits& limits) {
  HostFile& master = Master();
  if (limits.versionsPerSetup < 0 || limits.versionsPerSetup > detail::kMostVersionsPerSetup) {
    throw HistoryError("a number of versions from 0 to " +
                       std::to_string(detail::kMostVersionsPerSetup) + ", not " +
                       std::to_string(limits.versionsPerSetup));
  }
  if (limits.deletedDays < 0 || limits.deletedDays > detail::kMostDeletedDays) {
    throw HistoryError("a number of days from 0 to " + std::to_string(detail::kMostDeletedDays) +
                       ", not " + std::to_string(limits.deletedDays));
  }
  if (!master.IsWritable()) throw HistoryError(master.DisplayName() + " is open read-only");
  InFile([&] {
    detail::VersionTable::SetLimits(*master.Db(), {limits.versionsPerSetup, limits.deletedDays});
  });
}

SaveActionScope::SaveActionScope(const std::string& action)
    : previous_(detail::State().saveAction) {
  detail::State().saveAction = action;
}

SaveActionScope::~SaveActionScope() {
  detail::State().saveAction = std::move(previous_);
}

}  // namespace ornhost
