#include "audit/Deploy.h"

#include <algorithm>
#include <filesystem>
#include <optional>

#include "host/controls/HostControls.h"
#include "support/Utf.h"

namespace ornr::audit {

namespace {

using Teskor::ZelPlatform::OrnSettings;

// A record names its library as the session was given it ("office/standards.zellib"); the file's
// name is what stays when a project moves.
bool SameLibrarySetup(const ornhost::Provenance& a, const ornhost::Provenance& b) {
  const auto name = [](const std::u16string& file) {
    return std::filesystem::path(Utf16ToUtf8(file)).filename();
  };
  return a.librarySetup == b.librarySetup && name(a.libraryFile) == name(b.libraryFile);
}

void SetText(OrnSettings& values, const std::string& property, const std::string& text) {
  ornhost::SetSettingFromText(values, property, text);
}

// The governed values of the target: the three-way rule against record's base when it has
// one, else the library's values over the local ones. Returns the merge base to keep.
OrnSettings Rows(const ornhost::StoredSetupRecord& setup, const ornhost::Provenance* record,
                 const DeployRequest& request, OrnSettings& values, DeployedSetup& deployed) {
  const DeploySource& source = request.source;
  const ornhost::PropertySet governed = source.standards.scope.value_or(ornhost::AllProperties());
  const auto here = ornhost::SettingTexts(values);
  const auto library = ornhost::SettingTexts(source.origin.base);
  const auto base = ornhost::SettingTexts(record != nullptr ? record->base : source.origin.base);
  OrnSettings newBase = source.origin.base;
  for (std::size_t i = 0; i < here.size(); ++i) {
    if (!governed.test(i) || here[i].second == library[i].second) continue;
    const std::string& property = here[i].first;
    DeployRow row{property, DeployRow::Kind::Library, here[i].second, library[i].second,
                  library[i].second};
    const bool locked =
        source.standards.locks.contains(property) && !setup.standards.overrides.contains(property);
    // A value the record's base does not cover counts as changed in the library only.
    const bool covered = record != nullptr && (!record->governed || record->governed->test(i));
    const std::string& was = covered ? base[i].second : here[i].second;
    if (locked) {
      row.kind = DeployRow::Kind::Locked;
    } else if (record == nullptr) {
      row.kind = DeployRow::Kind::Replaced;
    } else if (here[i].second == was) {
      row.kind = DeployRow::Kind::Library;
    } else if (was == library[i].second) {
      row.kind = DeployRow::Kind::Kept;
      row.to = row.here;
    } else if (request.take == ornhost::MergeTake::Undecided) {
      row.kind = DeployRow::Kind::Undecided;
      row.to = row.here;
      // Left as it is, the conflict stays one: the base keeps what it was.
      SetText(newBase, property, was);
    } else {
      row.kind = DeployRow::Kind::Decided;
      if (request.take == ornhost::MergeTake::Local) row.to = row.here;
    }
    if (row.Changes()) SetText(values, property, row.to);
    deployed.rows.push_back(std::move(row));
  }
  return newBase;
}

// Whether two merge bases hold the same values where they count.
bool SameBase(const OrnSettings& a, const OrnSettings& b,
              const std::optional<ornhost::PropertySet>& governed) {
  const auto left = ornhost::SettingTexts(a);
  const auto right = ornhost::SettingTexts(b);
  for (std::size_t i = 0; i < left.size(); ++i) {
    if ((!governed || governed->test(i)) && left[i] != right[i]) return false;
  }
  return true;
}

}  // namespace

std::size_t DeployedSetup::Undecided() const {
  return static_cast<std::size_t>(std::count_if(rows.begin(), rows.end(), [](const DeployRow& row) {
    return row.kind == DeployRow::Kind::Undecided;
  }));
}

std::size_t DeployPlan::Undecided() const {
  std::size_t undecided = 0;
  for (const DeployedSetup& setup : setups) undecided += setup.Undecided();
  return undecided;
}

DeployPlan PlanDeploy(const ornhost::StoredFile& file, const DeployRequest& request) {
  DeployPlan plan;
  const ornhost::Provenance& source = request.source.origin;
  bool named = false;
  for (const ornhost::StoredSetupRecord& setup : file.setups) {
    named = named || setup.name == source.librarySetup;
    if (!setup.settings) continue;
    const bool byName = setup.origin && SameLibrarySetup(*setup.origin, source);
    const auto overlay = std::find_if(
        setup.overlays.begin(), setup.overlays.end(),
        [&](const ornhost::Provenance& each) { return SameLibrarySetup(each, source); });
    const bool linked = byName || overlay != setup.overlays.end();
    const bool target =
        request.targets == DeployTargets::Every ||
        (request.targets == DeployTargets::Linked && linked) ||
        (request.targets == DeployTargets::Named &&
         std::find(request.names.begin(), request.names.end(), setup.name) != request.names.end());
    if (!target) continue;

    DeployedSetup deployed;
    deployed.name = setup.name;
    deployed.linked = linked;
    const ornhost::Provenance* record = byName ? &*setup.origin : linked ? &*overlay : nullptr;
    OrnSettings values = *setup.settings;
    const OrnSettings newBase = Rows(setup, record, request, values, deployed);

    ornhost::StoredFix fix;
    fix.merge = {setup.name, setup.row, setup.origin, values,
                 setup.origin ? setup.origin->base : OrnSettings()};
    fix.governed = setup.origin ? setup.origin->governed : std::nullopt;
    fix.valuesOnly = true;
    ornhost::Provenance taken = source;
    taken.base = newBase;
    taken.governed = request.source.standards.scope;
    taken.takenAt.clear();
    // What it keeps of the library setup: its same-name link, or an overlay (a new one last,
    // as apply adds it).
    bool standingMoves = true;
    if (byName) {
      fix.valuesOnly = false;
      fix.merge.base = newBase;
      fix.governed = taken.governed;
      standingMoves = setup.origin->governed != taken.governed ||
                      !SameBase(setup.origin->base, newBase, taken.governed);
    } else if (!linked && setup.name == source.librarySetup && !setup.origin) {
      fix.newOrigin = taken;
    } else {
      deployed.overlay = true;
      auto& standards = fix.standards.emplace();
      standards.overlaysRead = setup.overlays;
      standards.overlays = setup.overlays;
      standards.overridesRead = setup.standards.overrides;
      standards.overrides = setup.standards.overrides;
      if (linked) {
        auto& kept = standards.overlays[static_cast<std::size_t>(overlay - setup.overlays.begin())];
        standingMoves = kept.governed.value_or(ornhost::AllProperties()) !=
                            taken.governed.value_or(ornhost::AllProperties()) ||
                        !SameBase(kept.base, newBase, taken.governed);
        kept = taken;
      } else {
        standards.overlays.push_back(taken);
      }
    }
    const bool valuesMove = !values.Equals(*setup.settings);
    if (!valuesMove && !standingMoves) continue;
    plan.fixes.push_back(std::move(fix));
    plan.setups.push_back(std::move(deployed));
  }
  if (request.create && !named) {
    DeployedSetup& deployed = plan.setups.emplace_back();
    deployed.name = source.librarySetup;
    deployed.created = true;
    ornhost::Provenance origin = source;
    origin.governed = request.source.standards.scope;
    plan.added.push_back({source.librarySetup, source.base, origin});
  }
  return plan;
}

}  // namespace ornr::audit
