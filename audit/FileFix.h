// The fix of one design file: every setup with provenance merged with its library as
// merge-from-library does, dry or written.
#pragma once

#include "audit/Findings.h"

namespace ornr::audit {

/// Sets file.fix from the merges planned for its setups: what would change, or why the file is
/// skipped. A file that is not plainly read is never written.
void FixFile(FileFinding& file);

}  // namespace ornr::audit
