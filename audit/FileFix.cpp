#include "audit/FileFix.h"

namespace ornr::audit {

void FixFile(FileFinding& file) {
  std::size_t merges = 0;
  for (const SetupFinding& setup : file.setups) merges += setup.fix.action == FixAction::Merge;
  if (file.status != FileStatus::Read) {
    file.fix = FixOutcome::Skipped;
    file.fixReason = std::string(FileStatusLabel(file.status)) + ", so it is never written";
    return;
  }
  if (merges == 0) {
    file.fix = FixOutcome::NothingToDo;
    return;
  }
  file.fixedSetups = merges;
  file.fix = FixOutcome::WouldChange;
}

}  // namespace ornr::audit
