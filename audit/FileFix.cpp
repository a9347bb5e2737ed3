#include "audit/FileFix.h"

#include "host/controls/HostControls.h"
#include "host/provenance/StoredSetups.h"
#include "support/Utf.h"

namespace ornr::audit {

void FixFile(const std::filesystem::path& path, FileFinding& file, bool apply) {
  std::vector<ornhost::StoredMerge> merges;
  for (const SetupFinding& setup : file.setups) {
    if (setup.fix.action != FixAction::Merge || !setup.origin) continue;
    merges.push_back(
        {Utf8ToUtf16(setup.name), setup.row, *setup.origin, setup.fix.values, setup.fix.base});
  }
  if (file.status != FileStatus::Read) {
    file.fix = FixOutcome::Skipped;
    file.fixReason = std::string(FileStatusLabel(file.status)) + ", so it is never written";
    return;
  }
  if (merges.empty()) {
    file.fix = FixOutcome::NothingToDo;
    return;
  }
  file.fixedSetups = merges.size();
  if (!apply) {
    file.fix = FixOutcome::WouldChange;
    return;
  }
  try {
    ornhost::StoreMerges(path, merges, ornhost::detail::actions::kAuditFix);
    file.fix = FixOutcome::Changed;
  } catch (const ornhost::DesignFileError& error) {
    file.fix = FixOutcome::Skipped;
    file.fixedSetups = 0;
    file.fixReason = error.Reason();
  }
}

}  // namespace ornr::audit
