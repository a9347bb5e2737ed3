#include "host/controls/ValueWhy.h"

#include <algorithm>

#include "host/controls/HostControls.h"
#include "host/history/History.h"
#include "host/session/HostState.h"
#include "host/store/SettingsColumns.h"
#include "support/Utf.h"

using Teskor::ZelPlatform::OrnSettings;
using Teskor::ZelPlatform::StoreAccess;

namespace ornhost {

namespace {

std::string TextOf(const OrnSettings& settings, const std::string& property) {
  for (auto& [key, text] : SettingTexts(settings)) {
    if (key == property) return text;
  }
  return {};
}

// The newest version that changed the value or its override; a reset's version is the unsaved
// values it threw away, not a change that stood.
std::optional<ValueWhy::Change> LastChange(const std::vector<SetupVersion>& versions,
                                           const std::string& property) {
  for (const SetupVersion& version : versions) {
    if (version.action == "reset" || version.action == "delete") continue;
    ValueWhy::Change change;
    bool touched = false;
    for (const auto& value : version.changes) {
      if (value.property != property) continue;
      change.before = value.before;
      change.after = value.after;
      touched = true;
    }
    for (const auto& mark : version.marks) {
      if (mark.kind != "override" || mark.property != property) continue;
      if (!mark.after.empty()) change.overrideReason = mark.after;
      touched = true;
    }
    if (!touched) continue;
    change.number = version.number;
    change.madeAt = version.madeAt;
    change.madeBy = version.madeBy;
    change.action = version.action;
    return change;
  }
  return std::nullopt;
}

}  // namespace

ValueWhy WhyOf(const std::u16string& setup, const std::string& property) {
  detail::HostFile* master = detail::State().master;
  if (master == nullptr || !master->IsOpen()) throw StandardsError("no master file is open");
  detail::StoreEntry* entry = master->Find(setup);
  if (entry == nullptr) {
    throw StandardsError("the master file holds no setup \"" + ornr::Utf16ToUtf8(setup) + "\"");
  }
  if (!detail::SettingIndex(property)) {
    throw StandardsError("the renderer has no setting " + property);
  }
  if (!entry->working->valid) {
    throw StandardsError("the stored record of \"" + ornr::Utf16ToUtf8(setup) +
                         "\" cannot be read");
  }
  std::optional<OrnSettings> saved;
  if (entry->stored && entry->stored->valid) saved = entry->stored->settings;
  std::vector<SetupVersion> versions;
  try {
    versions = SetupHistory(setup);
  } catch (const HistoryError&) {
    // a file of a format without history
  }
  return WhyOfValues(property, StoreAccess::Settings(*entry->working), saved, GovernedOf(setup),
                     StandardsOf(setup), versions);
}

ValueWhy WhyOfValues(const std::string& property, const OrnSettings& now,
                     const std::optional<OrnSettings>& saved,
                     const std::optional<Governed>& governed, const SetupStandards& own,
                     const std::vector<SetupVersion>& versions) {
  ValueWhy why;
  why.property = property;
  why.now = TextOf(now, property);
  if (saved) why.saved = TextOf(*saved, property);
  why.defaultValue = TextOf(OrnSettings(), property);
  why.governed.property = property;
  why.governed.here = why.now;
  if (governed) {
    why.governed = *governed->Find(property);
    if (why.governed.layer) {
      const Layer& layer = governed->layers[*why.governed.layer];
      why.layer = layer;
      why.libraryChanged = why.governed.library != why.governed.base || why.governed.newlyGoverned;
      why.libraryDescription = layer.standards.description;
      if (const auto note = layer.standards.notes.find(property);
          note != layer.standards.notes.end()) {
        why.libraryNote = note->second;
      }
    }
  }
  if (const auto found = own.overrides.find(property); found != own.overrides.end()) {
    why.governed.override = found->second;
  }
  why.description = own.description;
  if (const auto note = own.notes.find(property); note != own.notes.end()) why.note = note->second;
  why.lastChange = LastChange(versions, property);
  return why;
}

std::string OverrideText(const OverrideRecord& record) {
  if (record.madeBy.empty()) return "overridden (unsaved): " + record.reason;
  return "overridden by " + record.madeBy + " " + record.madeAt + ": " + record.reason;
}

std::vector<std::string> WhyLines(const ValueWhy& why, const std::string& quotedSetup) {
  std::vector<std::string> lines;
  std::string now = why.property + " of " + quotedSetup + " is " + why.now;
  if (!why.saved) {
    now += " (never saved)";
  } else if (*why.saved != why.now) {
    now += " (unsaved; saved " + *why.saved + ")";
  }
  lines.push_back(now + ", default " + why.defaultValue);
  if (!why.layer) {
    lines.emplace_back("no library setup governs it: the drawing's own value");
  } else {
    const Layer& layer = *why.layer;
    const char* how = layer.kind == LayerKind::SameName ? "taken by name from " : "applied from ";
    if (layer.libraryGone) {
      lines.push_back(std::string(how) + layer.Label() + ", which is gone (" + layer.goneReason +
                      ")");
    } else {
      lines.push_back("governed by " + layer.Label() + " (" + how + "it), which holds " +
                      why.governed.library +
                      (why.libraryChanged ? "; the library changed it since it was taken"
                                          : "; unchanged in the library since it was taken"));
    }
    if (!why.governed.shadowed.empty()) {
      lines.emplace_back("an earlier library setup governs it too; the last one applied wins");
    }
    if (why.governed.lockReason) lines.push_back("locked: " + *why.governed.lockReason);
  }
  if (why.governed.override) lines.push_back(OverrideText(*why.governed.override));
  if (why.lastChange) {
    const auto& change = *why.lastChange;
    std::string line = "last changed in version " + std::to_string(change.number) + ", " +
                       change.madeAt + " by " + change.madeBy + " (" + change.action + ")";
    if (!change.before.empty() || !change.after.empty()) {
      line += ": " + change.before + " -> " + change.after;
    }
    if (change.overrideReason) line += ", overridden: " + *change.overrideReason;
    lines.push_back(line);
  } else {
    lines.emplace_back("no version changed it");
  }
  if (!why.libraryNote.empty()) lines.push_back("library note: " + why.libraryNote);
  if (!why.note.empty()) lines.push_back("note: " + why.note);
  if (!why.description.empty()) lines.push_back("note of " + quotedSetup + ": " + why.description);
  return lines;
}

}  // namespace ornhost
