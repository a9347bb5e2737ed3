// Where a setup came from, as a design file keeps it beside the setup: the library setup it was
// taken from by name or applied as an overlay, and the values it had then (the merge base).
#pragma once

#include <optional>
#include <string>

#include "host/OrnSettings.h"
#include "host/store/StandardsRecord.h"

namespace ornhost {

struct Provenance {
  /// The library's file name as the panel's "StoreIn" shows it.
  std::u16string libraryFile;
  /// Its absolute path when it was taken.
  std::string libraryPath;
  std::u16string librarySetup;
  /// UTC, "2026-12-06T00:15:02Z".
  std::string takenAt;
  /// The values as they were taken.
  Teskor::ZelPlatform::OrnSettings base;
  /// The values the library setup governed then: only those of base are the merge base (an
  /// overlay keeps no others). Nothing: all of them.
  std::optional<PropertySet> governed;
};

}  // namespace ornhost
