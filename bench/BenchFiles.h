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
/// The design library of the audit's project: 20 setups, changed since in every fifth.
std::filesystem::path AuditLibrary();
/// A folder of count drawings, forty a sub-folder, copies of a few made through the host: 20
/// setups each, 15 taken from AuditLibrary (some tuned since), 5 of their own. Made once.
std::filesystem::path AuditProject(int count);

}  // namespace ornr::bench
