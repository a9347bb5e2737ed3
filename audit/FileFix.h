// The fix of one design file: every setup with provenance merged with its library as
// merge-from-library does, its locked values put back, dry or written.
#pragma once

#include <filesystem>
#include <string_view>

#include "audit/Findings.h"
#include "host/store/ChangeSetTable.h"

namespace ornr::audit {

/// The action of the versions a fix of locks alone keeps.
inline constexpr const char* kAuditLockFix = "audit lock fix";

/// Sets file.fix from the merges planned for its setups: what would change, or with apply what
/// did, the file at path written in one transaction with a version of each setup it changes; or
/// why the file is skipped. A file that is not plainly read is never written, nor one in which
/// another session changed a setup to merge since it was read. The versions are of action. Given
/// changeSet, the write records itself as that change set.
void FixFile(const std::filesystem::path& path, FileFinding& file, bool apply,
             std::string_view action = ornhost::detail::actions::kAuditFix,
             const ornhost::detail::ChangeSetHeader* changeSet = nullptr);

}  // namespace ornr::audit
