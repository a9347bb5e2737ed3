// The history of the master file's setups: every stored state that a write replaced, kept as a
// version in the file; deleted setups, and bringing them back.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/OrnSettings.h"
#include "host/store/DesignFile.h"

namespace ornhost {

/// A history that cannot be read or changed: no master file, no such setup or version, a name
/// taken, a write that did not reach the file. The message says which in plain words.
class HistoryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct VersionChange {
  /// The property's stored key, which is also its name in the panel.
  std::string property;
  /// Lossless texts, as SettingTexts writes them; after is empty where the setup was deleted.
  std::string before;
  std::string after;
};

/// What a version changed besides values: kind "scope", "lock", "note", "override" or
/// "overlay", the property concerned (empty: the whole setup), the text before and after.
using VersionMark = detail::VersionMark;

struct SetupVersion {
  /// 1, 2, ... for each setup; the newest is highest. Numbers stay when older versions go.
  std::int64_t number = 0;
  /// When the state was replaced, UTC, "2026-12-06T00:15:02Z".
  std::string madeAt;
  /// What replaced it: "save", "save --force", "save at close", "update from library", "rename",
  /// "delete", "undelete", "reset", "import", "host write", or what the host's caller named.
  std::string action;
  /// The operating system's user who did it.
  std::string madeBy;
  /// The setup's name in the state the version keeps, and the name the action left it with
  /// (empty after a delete).
  std::u16string name;
  std::u16string nameAfter;
  /// Every value the action changed, in the record's order: for a reset the unsaved values it
  /// threw away (before) and the stored ones (after); for a delete every value.
  std::vector<VersionChange> changes;
  /// What else it changed: a scope, a lock, a note, an override, an overlay.
  std::vector<VersionMark> marks;
  /// The change set (an rsm-audit run) that wrote it, and its command line; empty for none.
  std::string changeSet;
  std::string changeSetCommand;
};

/// The versions of the master file's setup of that name, newest first; of the setup most recently
/// deleted under that name when the master file holds none. Empty for a setup never replaced.
/// Throws HistoryError.
std::vector<SetupVersion> SetupHistory(const std::u16string& setup);

/// The values the version number of that setup keeps (as SetupHistory finds the setup). Throws
/// HistoryError: no such version, one that marks where the setup came back from being deleted,
/// values that do not read back.
Teskor::ZelPlatform::OrnSettings SetupVersionValues(const std::u16string& setup,
                                                    std::int64_t number);

struct DeletedSetup {
  std::u16string name;
  std::string deletedAt;
  std::string deletedBy;
  /// Its versions, the deletion included.
  std::int64_t versions = 0;
};
/// The setups deleted from the master file that it keeps, most recently deleted first.
std::vector<DeletedSetup> DeletedSetups();

/// Stores the setup most recently deleted under name in the master file again, at its old place,
/// with its values, provenance, standards and history, under newName when that is not empty.
/// check, when given, sees its position and values inside the write's transaction and throws to
/// refuse it. Then the open master file's store holds it and the session monitors hear
/// OnSessionRefresh. Throws HistoryError (nothing changed): nothing deleted under name, the name
/// it would take in use; what check throws.
void UndeleteSetup(
    const std::u16string& name, const std::u16string& newName = u"",
    const std::function<void(std::int64_t position,
                             const Teskor::ZelPlatform::OrnSettings& values)>& check = {});

struct HistoryLimits {
  /// The newest versions kept for each setup; 0 keeps no history at all.
  std::int64_t versionsPerSetup = 50;
  /// How long a deleted setup is kept; 0 keeps none.
  std::int64_t deletedDays = 30;
  /// Set by GetHistoryLimits when the file holds a limit out of range, which then counts as its
  /// default: which one, in a line.
  std::string problem{};
};
/// The master file's limits. Throws HistoryError.
HistoryLimits GetHistoryLimits();
/// Sets the master file's limits and drops, in one transaction, what they no longer keep; the
/// current state of every setup stays. Throws HistoryError.
void SetHistoryLimits(const HistoryLimits& limits);

/// While alive, the versions that saves of the master file keep name action (e.g. "update from
/// library") instead of "save". Saves at close and forced saves keep their own names.
class SaveActionScope {
 public:
  explicit SaveActionScope(const std::string& action);
  ~SaveActionScope();
  SaveActionScope(const SaveActionScope&) = delete;
  SaveActionScope& operator=(const SaveActionScope&) = delete;

 private:
  std::string previous_;
};

}  // namespace ornhost
