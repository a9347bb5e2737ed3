// The fix of one design file: every setup with provenance merged with its library as
// merge-from-library does, dry or written.
#pragma once

#include <filesystem>

#include "audit/Findings.h"

namespace ornr::audit {

/// Sets file.fix from the merges planned for its setups: what would change, or with apply what
/// did, the file at path written in one transaction with a version of each setup it changes; or
/// why the file is skipped. A file that is not plainly read is never written, nor one in which
/// another session changed a setup to merge since it was read.
void FixFile(const std::filesystem::path& path, FileFinding& file, bool apply);

}  // namespace ornr::audit
