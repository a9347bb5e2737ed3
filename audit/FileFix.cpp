#include "audit/FileFix.h"

#include "host/controls/HostControls.h"
#include "host/provenance/StoredSetups.h"
#include "support/Utf.h"

namespace ornr::audit {

void FixFile(const std::filesystem::path& path, FileFinding& file, bool apply,
             std::string_view action, const ornhost::detail::ChangeSetHeader* changeSet) {
  std::vector<ornhost::StoredFix> merges;
  for (const SetupFinding& setup : file.setups) {
    const bool merge = setup.fix.action == FixAction::Merge;
    if (!merge && setup.fix.action != FixAction::Locks) continue;
    ornhost::StoredFix& stored = merges.emplace_back();
    stored.merge = {Utf8ToUtf16(setup.name), setup.row, setup.origin, setup.fix.values,
                    setup.fix.base};
    stored.governed = setup.fix.governed;
    stored.valuesOnly = !merge;
    // Overlays and overrides are written only where they change, so that older formats,
    // which keep neither, are written as before.
    const bool overlaysMove = merge && !setup.overlays.empty();
    if (!overlaysMove && setup.fix.overridesDropped.empty()) continue;
    auto& standards = stored.standards.emplace();
    standards.overlaysRead = setup.overlays;
    standards.overlays = overlaysMove ? setup.fix.overlays : setup.overlays;
    standards.overridesRead = setup.overrides;
    standards.overrides = setup.overrides;
    for (const std::string& property : setup.fix.overridesDropped) {
      standards.overrides.erase(property);
    }
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
    ornhost::StoreFixes(path, merges, action, changeSet);
    file.fix = FixOutcome::Changed;
  } catch (const ornhost::DesignFileError& error) {
    file.fix = FixOutcome::Skipped;
    file.fixedSetups = 0;
    file.fixReason = error.Reason();
  }
}

}  // namespace ornr::audit
