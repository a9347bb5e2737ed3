#include "host/provenance/ChangeSets.h"

#include <optional>

#include "host/controls/HostControls.h"
#include "host/store/DesignFile.h"
#include "host/store/ProvenanceTable.h"
#include "host/store/StandardsTable.h"
#include "support/Utf.h"

namespace ornhost {

namespace {

using detail::DesignFile;
using detail::SameStoredValue;
using detail::StoredValues;

void PutStanding(DesignFile& file, std::int64_t position, const detail::SetupStanding& standing) {
  detail::ProvenanceTable::Put(file, position, standing.origin ? &*standing.origin : nullptr);
  detail::StandardsTable::PutOverlays(file, position, standing.overlays);
  detail::StandardsTable::PutOverrides(file, position, standing.overrides);
}

UndoneValue ValueOf(std::size_t field, const detail::StoredValue& now,
                    const detail::ChangeSetValue& recorded) {
  UndoneValue value;
  value.property = detail::SettingKey(field);
  value.now = ChangeSetValueText(field, now);
  if (recorded.after) value.written = ChangeSetValueText(field, *recorded.after);
  if (recorded.before) value.before = ChangeSetValueText(field, *recorded.before);
  return value;
}

// The change set created the setup: it goes when it holds what the change set wrote.
void UndoCreated(DesignFile& file, const detail::ChangeSetSetup& setup,
                 const detail::SetupRecord& current, bool take, detail::ChangeSetRecorder* write,
                 UndoneSetup& done) {
  if (!current.settings) {
    done.action = UndoAction::Left;
    done.reason = "its record cannot be read";
    return;
  }
  const StoredValues now = detail::SettingValues(*current.settings);
  bool conflict = current.name != setup.nameAfter;
  for (const detail::ChangeSetValue& recorded : setup.values) {
    if (!recorded.after || SameStoredValue(now[recorded.field], *recorded.after)) continue;
    UndoneValue& value =
        done.values.emplace_back(ValueOf(recorded.field, now[recorded.field], recorded));
    value.conflict = true;
    value.changes = take;
    conflict = true;
  }
  done.standingConflict = detail::StandingAt(file, setup.position) != setup.standingAfter;
  conflict = conflict || done.standingConflict;
  if (conflict && !take) {
    done.action = UndoAction::Left;
    done.reason = "changed since the change set created it";
    return;
  }
  done.action = UndoAction::Delete;
  if (write == nullptr) return;
  write->Touch(setup.position);
  file.Remove(current.row);
}

// The change set deleted the setup: it is stored again, at its place when the file still keeps
// it as deleted there.
void UndoDeleted(DesignFile& file, const detail::ChangeSetSetup& setup,
                 detail::ChangeSetRecorder* write, UndoneSetup& done) {
  StoredValues values{};
  for (const detail::ChangeSetValue& recorded : setup.values) {
    if (recorded.before) values[recorded.field] = *recorded.before;
  }
  std::string problem;
  const auto settings = detail::ReadSettingValues(values, problem);
  const auto standing = detail::StandingOfText(setup.standingBefore);
  if (!settings || !standing) {
    done.action = UndoAction::Left;
    done.reason = settings ? "its record of where it came from cannot be read" : problem;
    return;
  }
  for (const auto& other : file.Load()) {
    if (other.name != done.name) continue;
    done.action = UndoAction::Left;
    done.reason = "another setup holds its name";
    return;
  }
  done.action = UndoAction::Recreate;
  if (write == nullptr) return;
  const auto alongside = [&](std::int64_t position) {
    PutStanding(file, position, *standing);
    return std::vector<detail::VersionMark>();
  };
  write->Touch(setup.position);
  try {
    const detail::SetupRecord back = file.Undelete(setup.position, done.name);
    file.Update(back.row, done.name, *settings, false, detail::actions::kAuditUndo, alongside);
  } catch (const DesignFileError&) {
    // The file no longer keeps it as deleted: a new setup of the same values and provenance.
    const detail::RowRef row = file.Insert(done.name, *settings, alongside);
    write->Created(row.position);
  }
}

void UndoChanged(DesignFile& file, const detail::ChangeSetSetup& setup,
                 const detail::SetupRecord& current, bool take, detail::ChangeSetRecorder* write,
                 UndoneSetup& done) {
  if (!current.settings) {
    done.action = UndoAction::Left;
    done.reason = "its record cannot be read";
    return;
  }
  const StoredValues now = detail::SettingValues(*current.settings);
  StoredValues target = now;
  bool changing = false;
  for (const detail::ChangeSetValue& recorded : setup.values) {
    if (!recorded.before || !recorded.after) continue;
    const detail::StoredValue& held = now[recorded.field];
    if (SameStoredValue(held, *recorded.before)) continue;
    UndoneValue& value = done.values.emplace_back(ValueOf(recorded.field, held, recorded));
    value.conflict = !SameStoredValue(held, *recorded.after);
    value.changes = !value.conflict || take;
    if (!value.changes) continue;
    target[recorded.field] = *recorded.before;
    changing = true;
  }
  const std::string standingNow = detail::StandingAt(file, setup.position);
  if (standingNow != setup.standingBefore) {
    done.standingConflict = standingNow != setup.standingAfter;
    done.standingChanges = !done.standingConflict || take;
  }
  if (!changing && !done.standingChanges) {
    done.action = done.Conflicts() > 0 ? UndoAction::Left : UndoAction::NothingToDo;
    if (done.action == UndoAction::Left) done.reason = "changed since the change set";
    return;
  }
  done.action = UndoAction::Restore;
  std::string problem;
  const auto settings = detail::ReadSettingValues(target, problem);
  const auto standing = detail::StandingOfText(setup.standingBefore);
  if (!settings || !standing) {
    done.action = UndoAction::Left;
    done.reason = settings ? "its record of where it came from cannot be read" : problem;
    return;
  }
  if (write == nullptr) return;
  write->Touch(setup.position);
  const bool putStanding = done.standingChanges;
  file.Update(current.row, current.name, *settings, false, detail::actions::kAuditUndo,
              [&](std::int64_t position) {
                if (putStanding) PutStanding(file, position, *standing);
                return std::vector<detail::VersionMark>();
              });
}

}  // namespace

std::vector<detail::ChangeSet> ChangeSetsInFile(const std::filesystem::path& path) {
  DesignFile file(path, DesignFile::Access::ReadOnly);
  return detail::ChangeSetTable::ReadAll(file);
}

bool ForgetChangeSet(const std::filesystem::path& path, std::string_view id) {
  DesignFile file(path, DesignFile::Access::WriteExisting);
  const auto changeSet = detail::ChangeSetTable::Read(file, id);
  return changeSet && detail::ChangeSetTable::Forget(file, changeSet->header.id);
}

std::string ChangeSetValueText(std::size_t field, const detail::StoredValue& value) {
  Teskor::ZelPlatform::OrnSettings settings;
  if (!detail::SetSettingValue(settings, field, value)) {
    return value.type == detail::StoredValue::Type::Real ? std::to_string(value.real)
                                                         : std::to_string(value.integer);
  }
  return SettingTexts(settings)[field].second;
}

const char* UndoActionKey(UndoAction action) {
  switch (action) {
    case UndoAction::Restore:
      return "restore";
    case UndoAction::Delete:
      return "delete";
    case UndoAction::Recreate:
      return "recreate";
    case UndoAction::NothingToDo:
      return "nothing to do";
    case UndoAction::Left:
      return "left";
  }
  return "";
}

std::size_t UndoneSetup::Conflicts() const {
  std::size_t conflicts = standingConflict ? 1 : 0;
  for (const UndoneValue& value : values) conflicts += value.conflict ? 1 : 0;
  // A setup left for another reason than its values counts once.
  if (action == UndoAction::Left && conflicts == 0) return 1;
  return conflicts;
}

std::size_t UndoResult::Conflicts() const {
  std::size_t conflicts = 0;
  for (const UndoneSetup& setup : setups) conflicts += setup.Conflicts();
  return conflicts;
}

std::size_t UndoResult::Changing() const {
  std::size_t changing = 0;
  for (const UndoneSetup& setup : setups) {
    changing += setup.action == UndoAction::Restore || setup.action == UndoAction::Delete ||
                        setup.action == UndoAction::Recreate
                    ? 1
                    : 0;
  }
  return changing;
}

UndoResult UndoChangeSet(const std::filesystem::path& path, std::string_view id, bool takeChangeSet,
                         const detail::ChangeSetHeader* write) {
  DesignFile file(
      path, write != nullptr ? DesignFile::Access::WriteExisting : DesignFile::Access::ReadOnly);
  return UndoChangeSet(file, id, takeChangeSet, write);
}

UndoResult UndoChangeSet(DesignFile& file, std::string_view id, bool takeChangeSet,
                         const detail::ChangeSetHeader* write) {
  UndoResult result;
  auto changeSet = detail::ChangeSetTable::Read(file, id);
  if (!changeSet) return result;
  std::optional<detail::ChangeSetRecorder> recorder;
  if (write != nullptr) {
    recorder.emplace(file, *write);
    // Read again inside the transaction: what holds until it commits.
    changeSet = detail::ChangeSetTable::Read(file, id);
    if (!changeSet) return result;
  }
  result.found = true;
  result.changeSet = changeSet->header;
  detail::ChangeSetRecorder* writing = recorder ? &*recorder : nullptr;
  for (const detail::ChangeSetSetup& setup : changeSet->setups) {
    UndoneSetup& done = result.setups.emplace_back();
    const auto current = file.Read({setup.position, 0, 0});
    done.name = current ? current->name : setup.nameBefore.value_or(setup.nameAfter.value_or(u""));
    if (setup.Deleted()) {
      if (current) {
        done.action = UndoAction::Left;
        done.reason = "a setup is at its place again";
      } else {
        UndoDeleted(file, setup, writing, done);
      }
    } else if (!current) {
      // Deleted since: nothing of it to put back, and nothing to delete.
      done.action = setup.Created() ? UndoAction::NothingToDo : UndoAction::Left;
      if (!setup.Created()) done.reason = "deleted since the change set";
    } else if (setup.Created()) {
      UndoCreated(file, setup, *current, takeChangeSet, writing, done);
    } else {
      UndoChanged(file, setup, *current, takeChangeSet, writing, done);
    }
  }
  if (recorder) {
    const detail::ChangeSet recorded = recorder->Commit();
    if (!recorded.setups.empty()) result.undoneAs = recorded.header.id;
  }
  return result;
}

}  // namespace ornhost
