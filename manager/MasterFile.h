// The host's master file as the commands need it.
#pragma once

#include <stdexcept>

#include "host/ZelFile.h"

namespace ornr {

class NoMasterFileError : public std::runtime_error {
 public:
  NoMasterFileError() : std::runtime_error("no master file is open") {}
};

/// The master file, or null when the host has none open.
Teskor::ZelPlatform::ZelFile* MasterFileOrNull();
/// The master file; throws NoMasterFileError when none is open.
Teskor::ZelPlatform::ZelFile& RequireMasterFile();

}  // namespace ornr
