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
std::optional<ValueWhy::Change> LastChange(const std::u16string& setup,
                                           const std::string& property) {
  std::vector<SetupVersion> versions;
  try {
    versions = SetupHistory(setup);
  } catch (const HistoryError&) {
    return std::nullopt;  // a file of a format without history
  }
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
  ValueWhy why;
  why.property = property;
  why.now = TextOf(StoreAccess::Settings(*entry->working), property);
  if (entry->stored && entry->stored->valid) {
    why.saved = TextOf(entry->stored->settings, property);
  }
  why.defaultValue = TextOf(OrnSettings(), property);
  why.governed.property = property;
  why.governed.here = why.now;
  if (const auto governed = GovernedOf(setup)) {
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
  const SetupStandards own = StandardsOf(setup);
  if (const auto found = own.overrides.find(property); found != own.overrides.end()) {
    why.governed.override = found->second;
  }
  why.description = own.description;
  if (const auto note = own.notes.find(property); note != own.notes.end()) why.note = note->second;
  why.lastChange = LastChange(setup, property);
  return why;
}

}  // namespace ornhost
