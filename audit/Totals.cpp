#include "audit/Totals.h"

#include <algorithm>

namespace ornr::audit {

std::size_t DrawingBar::Findings() const {
  std::size_t findings = status == FileStatus::Read ? 0 : 1;
  for (std::size_t i = 0; i < kSetupStateCount; ++i) {
    if (IsDrift(static_cast<SetupState>(i))) findings += counts[i];
  }
  return findings + counts[static_cast<std::size_t>(SetupState::Unreadable)];
}

std::size_t Totals::Listed() const {
  std::size_t listed = 0;
  for (const std::size_t n : files) listed += n;
  return listed;
}

void Totals::Add(const FileFinding& file) {
  ++files[static_cast<std::size_t>(file.status)];
  if (file.Drifted()) ++drawingsWithDrift;
  for (const SetupFinding& setup : file.setups) {
    ++setups;
    ++states[static_cast<std::size_t>(setup.state)];
    if (setup.fix.action == FixAction::Undecided) ++setupsUndecided;
    lockedValues += setup.lockedValues;
    locksChanged += setup.LocksChanged();
    overridden += setup.Overridden();
    for (const PropertyFinding& property : setup.properties) {
      if (property.here == property.library) continue;
      PropertyCounts& counts = properties[property.property];
      if (setup.state == SetupState::SameNameDiffers) {
        ++counts.sameName;
      } else if (property.state == ornhost::DriftState::ChangedHere) {
        ++counts.changedHere;
      } else if (property.state == ornhost::DriftState::ChangedInLibrary) {
        ++counts.changedInLibrary;
      } else if (property.state == ornhost::DriftState::Conflict) {
        ++counts.conflict;
      }
    }
  }
  if (file.fix == FixOutcome::WouldChange || file.fix == FixOutcome::Changed) {
    ++filesFixed;
    setupsFixed += file.fixedSetups;
    for (const SetupFinding& setup : file.setups) {
      if (setup.fix.action == FixAction::Merge || setup.fix.action == FixAction::Locks) {
        locksRestored += setup.fix.locks.size();
      }
    }
  } else if (file.fix == FixOutcome::Skipped) {
    ++filesSkipped;
  }
  DrawingBar bar{file.path, file.status, file.counts};
  if (bar.Findings() == 0) return;
  // Most findings first; among equals the earlier file stays ahead.
  const auto at = std::upper_bound(
      chart.begin(), chart.end(), bar,
      [](const DrawingBar& a, const DrawingBar& b) { return a.Findings() > b.Findings(); });
  if (at == chart.end() && chart.size() >= kChartedDrawings) return;
  chart.insert(at, std::move(bar));
  if (chart.size() > kChartedDrawings) chart.pop_back();
}

std::vector<std::pair<std::string, PropertyCounts>> Totals::PropertiesByDrift() const {
  std::vector<std::pair<std::string, PropertyCounts>> sorted(properties.begin(), properties.end());
  std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
    return a.second.Total() > b.second.Total();
  });
  return sorted;
}

int Totals::ExitStatus(bool strict) const {
  if (files[static_cast<std::size_t>(FileStatus::Damaged)] +
          files[static_cast<std::size_t>(FileStatus::Unreadable)] >
      0) {
    return 3;
  }
  return drawingsWithDrift > 0 || locksChanged > 0 || (strict && overridden > 0) ? 1 : 0;
}

}  // namespace ornr::audit
