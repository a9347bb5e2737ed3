// What an audit finds: each design file's state and each of its setups' state against the
// libraries, with the properties involved and, when asked, what a merge would do.
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/OrnSettings.h"
#include "host/provenance/Provenance.h"
#include "host/store/DesignFile.h"
#include "host/store/StandardsRecord.h"

namespace ornr::audit {

enum class SetupState {
  InStep,
  LibraryNewer,
  ChangedHere,
  /// Changed here and in the library; conflicts counts the properties changed on both sides to
  /// different values.
  BothChanged,
  LibraryGone,
  /// Not taken from a library, but holding the name of a setup a library offers.
  SameNameEqual,
  SameNameDiffers,
  NotFromLibrary,
  /// Its stored record cannot be read.
  Unreadable,
};
inline constexpr std::size_t kSetupStateCount = 9;
using StateCounts = std::array<std::size_t, kSetupStateCount>;

/// "in-step", "library-newer", ...: the state's key in the JSON and CSV reports.
const char* StateKey(SetupState state);
/// "in step", "library newer", "changed here", "both changed", "library setup gone", "same name
/// (equal)", "same name (differs)", "not from a library", "unreadable record".
const char* StateLabel(SetupState state);
/// Whether the state makes the exit status 1: the setup moved from its library, or only shares
/// a library setup's name.
bool IsDrift(SetupState state);

/// One property that differs, as lossless texts. For a setup with provenance, state is its drift
/// state and base the value it was taken with; for a setup that only shares a name, state is
/// ChangedHere and base is empty.
struct PropertyFinding {
  std::string property;
  ornhost::DriftState state = ornhost::DriftState::Unchanged;
  std::string here;
  std::string base;
  std::string library;
};

enum class FixAction {
  /// No merge asked, or the setup has no provenance.
  None,
  /// The merge would change nothing: values and base stay.
  NothingToDo,
  Merge,
  /// Conflicts without --take.
  Undecided,
  /// The library setup is gone, so there is nothing to merge from.
  NoLibrary,
  /// --fix locks alone: locked values put back, the merge bases left as they are.
  Locks,
};

struct SetupFix {
  FixAction action = FixAction::None;
  /// Properties whose library value the merge takes, and those changed here that it keeps.
  std::vector<std::string> take;
  std::vector<std::string> keep;
  /// Conflicts left undecided.
  std::vector<std::string> undecided;
  /// Locked values put back to the library's, and the overrides that go with them.
  std::vector<std::string> locks;
  std::vector<std::string> overridesDropped;
  /// For Merge and Locks: the values it stores; for Merge the new merge base of the same-name
  /// library setup, what that governs now, and the overlays with their new bases.
  Teskor::ZelPlatform::OrnSettings values;
  Teskor::ZelPlatform::OrnSettings base;
  std::optional<ornhost::PropertySet> governed;
  std::vector<ornhost::Provenance> overlays;
};

/// A locked value of a setup that was changed here, or that the setup overrides.
struct LockFinding {
  std::string property;
  /// Lossless texts.
  std::string here;
  std::string library;
  /// The library setup that locks it.
  std::string libraryFile;
  std::string librarySetup;
  std::string reason;
  /// Changed here without an override: a violation.
  bool changed = false;
  std::optional<ornhost::OverrideRecord> override;
};

struct SetupFinding {
  std::string name;
  SetupState state = SetupState::NotFromLibrary;
  /// The library setup it came from (with provenance) or whose name it holds; empty otherwise.
  std::string libraryFile;
  std::string libraryPath;
  std::string librarySetup;
  /// When it was taken; empty without provenance.
  std::string takenAt;
  /// Why the library setup is gone, or why the record cannot be read.
  std::string reason;
  std::size_t conflicts = 0;
  std::vector<PropertyFinding> properties;
  SetupFix fix;
  /// What the fix compares before it writes.
  ornhost::detail::RowRef row;
  std::optional<ornhost::Provenance> origin;
  /// The library setups applied to it, and its overrides, as read.
  std::vector<ornhost::Provenance> overlays;
  std::map<std::string, ornhost::OverrideRecord> overrides;
  /// Every locked value that was changed here or is overridden, in the record's order; and how
  /// many values of the setup are locked.
  std::vector<LockFinding> locks;
  std::size_t lockedValues = 0;

  std::size_t LocksChanged() const;
  std::size_t Overridden() const;
};

enum class FileStatus {
  Read,
  /// Read, but of a format this host no longer writes: never written.
  OlderFormat,
  /// Read in part: a damaged part or record.
  Damaged,
  /// Could not be read at all.
  Unreadable,
};
inline constexpr std::size_t kFileStatusCount = 4;
/// "read", "older-format", "damaged", "unreadable".
const char* FileStatusKey(FileStatus status);
/// "read", "older format", "damaged", "unreadable".
const char* FileStatusLabel(FileStatus status);

enum class FixOutcome {
  /// No merge asked.
  None,
  NothingToDo,
  /// Dry run: what --apply would write.
  WouldChange,
  Changed,
  /// Not written, reason says why.
  Skipped,
};
/// "", "nothing to do", "would change", "changed", "skipped".
const char* FixOutcomeKey(FixOutcome outcome);

struct FileFinding {
  /// As reached from the PATH given.
  std::string path;
  FileStatus status = FileStatus::Read;
  /// Why the file is not plainly read: the older format, the damage, the failure.
  std::string reason;
  int format = 0;
  std::vector<SetupFinding> setups;
  StateCounts counts{};
  FixOutcome fix = FixOutcome::None;
  /// Why the fix skipped the file.
  std::string fixReason;
  /// Setups the fix changes (or would).
  std::size_t fixedSetups = 0;

  bool Drifted() const;
  /// Whether a locked value was changed here, or with strict, one is overridden.
  bool BreaksLocks(bool strict) const;
};

}  // namespace ornr::audit
