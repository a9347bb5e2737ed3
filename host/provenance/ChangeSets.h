// A design file's change sets without a session: listed, forgotten, and undone from their record,
// one file at a time, each write in one transaction.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "host/store/ChangeSetTable.h"

namespace ornhost {

/// Every change set the file keeps, newest first. Throws DesignFileError when it cannot be read.
std::vector<detail::ChangeSet> ChangeSetsInFile(const std::filesystem::path& path);
/// Removes the change set id (or the one id begins with) from the file; false when it has none.
/// Throws DesignFileError when the file takes no write.
bool ForgetChangeSet(const std::filesystem::path& path, std::string_view id);

/// The text of a value as a change set keeps it: lossless, as the reports show values.
std::string ChangeSetValueText(std::size_t field, const detail::StoredValue& value);

/// One value an undo puts back, or cannot.
struct UndoneValue {
  std::string property;
  /// Lossless texts: what the file holds now, what the change set wrote and what it replaced
  /// (empty for a setup it created).
  std::string now;
  std::string written;
  std::string before;
  /// Changed since the change set wrote it: kept unless the change set's record is taken.
  bool conflict = false;
  /// The undo changes it (or would).
  bool changes = false;
};

enum class UndoAction {
  /// Values or where it came from put back.
  Restore,
  /// Created by the change set and deleted by the undo.
  Delete,
  /// Deleted by the change set and stored again by the undo.
  Recreate,
  /// Holds what it held before the change set already.
  NothingToDo,
  /// Left as it is: changed since, deleted since, or its name taken.
  Left,
};
/// "restore", "delete", "recreate", "nothing to do", "left".
const char* UndoActionKey(UndoAction action);

struct UndoneSetup {
  std::u16string name;
  UndoAction action = UndoAction::NothingToDo;
  /// Every value the change set changed that still differs from before, in the record's order.
  std::vector<UndoneValue> values;
  /// Where it came from (provenance, overlays, overrides): put back, or changed since.
  bool standingChanges = false;
  bool standingConflict = false;
  /// Why it is left, in a few words.
  std::string reason;

  std::size_t Conflicts() const;
};

struct UndoResult {
  /// Whether the file holds the change set.
  bool found = false;
  detail::ChangeSetHeader changeSet;
  std::vector<UndoneSetup> setups;
  /// With a write: the change set the undo recorded (empty when it changed nothing).
  std::string undoneAs;

  std::size_t Conflicts() const;
  /// Setups the undo changes (or would).
  std::size_t Changing() const;
};

/// Reverts the change set id (or the one id begins with) in the file at path, where the values
/// and provenance still hold what it wrote: each value it changed back to what it replaced, each
/// setup it created deleted when unchanged since, each it deleted stored again. A value or
/// provenance changed since is a conflict: kept, or with takeChangeSet put back all the same. A
/// dry run without write; with write, everything in one transaction recorded as that change
/// set. Throws DesignFileError, having written nothing, when the file cannot be read or written.
UndoResult UndoChangeSet(const std::filesystem::path& path, std::string_view id, bool takeChangeSet,
                         const detail::ChangeSetHeader* write);
/// The same through a file the caller opened (for writing, given write): a dry run and then the
/// write through one opening.
UndoResult UndoChangeSet(detail::DesignFile& file, std::string_view id, bool takeChangeSet,
                         const detail::ChangeSetHeader* write);

}  // namespace ornhost
