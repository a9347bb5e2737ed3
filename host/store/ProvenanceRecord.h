// Where a setup came from, as a design file keeps it beside the setup: the library setup it was
// taken from and the values it had then (the merge base).
#pragma once

#include <string>

#include "host/OrnSettings.h"

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
};

}  // namespace ornhost
