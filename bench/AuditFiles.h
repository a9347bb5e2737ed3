// The audit benchmark's project: an office library and drawings whose setups were taken from it,
// some tuned since, as rsm-audit and ornr.audit are timed on.
#pragma once

#include <filesystem>

namespace ornr::bench {

/// The office's library in folder, made once per process and folder.
std::filesystem::path AuditLibrary(const std::filesystem::path& folder);
/// A folder of count drawings in folder (made when missing), copies of a few made through the
/// host: 20 setups each, 15 taken from the library (some tuned since), 5 of their own, forty
/// drawings a subfolder.
std::filesystem::path AuditProject(const std::filesystem::path& folder, int count);

}  // namespace ornr::bench
