#include "audit/Findings.h"

#include <algorithm>

namespace ornr::audit {

const char* StateKey(SetupState state) {
  switch (state) {
    case SetupState::InStep:
      return "in-step";
    case SetupState::LibraryNewer:
      return "library-newer";
    case SetupState::ChangedHere:
      return "changed-here";
    case SetupState::BothChanged:
      return "both-changed";
    case SetupState::LibraryGone:
      return "library-gone";
    case SetupState::SameNameEqual:
      return "same-name-equal";
    case SetupState::SameNameDiffers:
      return "same-name-differs";
    case SetupState::NotFromLibrary:
      return "not-from-library";
    case SetupState::Unreadable:
      return "unreadable";
  }
  return "?";
}

const char* StateLabel(SetupState state) {
  switch (state) {
    case SetupState::InStep:
      return "in step";
    case SetupState::LibraryNewer:
      return "library newer";
    case SetupState::ChangedHere:
      return "changed here";
    case SetupState::BothChanged:
      return "both changed";
    case SetupState::LibraryGone:
      return "library setup gone";
    case SetupState::SameNameEqual:
      return "same name (equal)";
    case SetupState::SameNameDiffers:
      return "same name (differs)";
    case SetupState::NotFromLibrary:
      return "not from a library";
    case SetupState::Unreadable:
      return "unreadable record";
  }
  return "?";
}

bool IsDrift(SetupState state) {
  switch (state) {
    case SetupState::LibraryNewer:
    case SetupState::ChangedHere:
    case SetupState::BothChanged:
    case SetupState::LibraryGone:
    case SetupState::SameNameDiffers:
      return true;
    default:
      return false;
  }
}

const char* FileStatusKey(FileStatus status) {
  switch (status) {
    case FileStatus::Read:
      return "read";
    case FileStatus::OlderFormat:
      return "older-format";
    case FileStatus::Damaged:
      return "damaged";
    case FileStatus::Unreadable:
      return "unreadable";
  }
  return "?";
}

const char* FileStatusLabel(FileStatus status) {
  switch (status) {
    case FileStatus::Read:
      return "read";
    case FileStatus::OlderFormat:
      return "older format";
    case FileStatus::Damaged:
      return "damaged";
    case FileStatus::Unreadable:
      return "unreadable";
  }
  return "?";
}

const char* FixOutcomeKey(FixOutcome outcome) {
  switch (outcome) {
    case FixOutcome::None:
      return "";
    case FixOutcome::NothingToDo:
      return "nothing to do";
    case FixOutcome::WouldChange:
      return "would change";
    case FixOutcome::Changed:
      return "changed";
    case FixOutcome::Skipped:
      return "skipped";
  }
  return "?";
}

bool FileFinding::Drifted() const {
  return status == FileStatus::OlderFormat ||
         std::any_of(setups.begin(), setups.end(),
                     [](const SetupFinding& setup) { return IsDrift(setup.state); });
}

std::size_t SetupFinding::LocksChanged() const {
  return static_cast<std::size_t>(std::count_if(
      locks.begin(), locks.end(), [](const LockFinding& lock) { return lock.changed; }));
}

std::size_t SetupFinding::Overridden() const {
  return static_cast<std::size_t>(
      std::count_if(locks.begin(), locks.end(),
                    [](const LockFinding& lock) { return lock.override.has_value(); }));
}

bool FileFinding::BreaksLocks(bool strict) const {
  return std::any_of(setups.begin(), setups.end(), [&](const SetupFinding& setup) {
    return setup.LocksChanged() > 0 || (strict && setup.Overridden() > 0);
  });
}

}  // namespace ornr::audit
