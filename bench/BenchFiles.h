// Design files for the benchmarks, each made in one transaction and removed when the process ends.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "host/OrnSettings.h"

namespace ornr::bench {

/// "Setup 0" ... "Setup <count - 1>", with values that differ from setup to setup. Made once per
/// process and count.
std::filesystem::path MasterWith(int count);
/// A file of exactly these names (same varied values), made once per process and tag.
std::filesystem::path FileWith(const std::string& tag, const std::vector<std::u16string>& names);
/// The settings the files give their index-th setup.
Teskor::ZelPlatform::OrnSettings VariedSettings(int index);
/// A folder for this process's files.
const std::filesystem::path& BenchFolder();

}  // namespace ornr::bench
