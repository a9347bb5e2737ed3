// "Why is this value what it is?": one answer for a value of a master-file setup, walking the
// layers in order, from the value now through the library setup that governs it and its lock to
// the version that last changed it and the notes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/provenance/Standards.h"

namespace ornhost {

struct ValueWhy {
  std::string property;
  /// Lossless texts: the working copy's value, the stored one (nothing for a setup never
  /// saved or unreadable) and the renderer's default.
  std::string now;
  std::optional<std::string> saved;
  std::string defaultValue;
  /// The value as the governed-values comparison sees it, and the layer that governs it (nothing:
  /// the drawing's own).
  GovernedValue governed;
  std::optional<Layer> layer;
  /// The library setup's value moved since the layer took it (its base does not cover it, or
  /// differs).
  bool libraryChanged = false;
  /// The newest version whose action changed the value or its override.
  struct Change {
    std::int64_t number = 0;
    std::string madeAt;
    std::string madeBy;
    std::string action;
    /// Lossless texts; empty when only the override changed.
    std::string before;
    std::string after;
    /// The override that version stored with it, if any.
    std::optional<std::string> overrideReason;
  };
  std::optional<Change> lastChange;
  /// The governing library setup's notes, then the setup's own: its description and the reason
  /// for the value; each empty when there is none.
  std::string libraryDescription;
  std::string libraryNote;
  std::string description;
  std::string note;
};

struct SetupVersion;

/// The answer for property of the master-file setup. Throws StandardsError (no master file, no
/// such setup or property, an unreadable one), DesignFileError.
ValueWhy WhyOf(const std::u16string& setup, const std::string& property);
/// The same answer for a setup reached without a session: its values now and as stored (nothing:
/// never stored), its governed comparison (nothing: no layers), its own standards with its
/// overrides, and its versions newest first.
ValueWhy WhyOfValues(const std::string& property, const Teskor::ZelPlatform::OrnSettings& now,
                     const std::optional<Teskor::ZelPlatform::OrnSettings>& saved,
                     const std::optional<Governed>& governed, const SetupStandards& own,
                     const std::vector<SetupVersion>& versions);
/// "overridden by USER TIME: REASON", or "overridden (unsaved): REASON" while pending.
std::string OverrideText(const OverrideRecord& record);
/// The answer as `why` says it, in its order, one line each, the setup named as quotedSetup.
std::vector<std::string> WhyLines(const ValueWhy& why, const std::string& quotedSetup);

}  // namespace ornhost
