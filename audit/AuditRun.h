// One run over the PATHs: the files read and classified on every core, handed to the reports in
// the order of the walk, the progress shown, and a stop asked for by a signal honoured.
#pragma once

#include <atomic>
#include <filesystem>
#include <vector>

#include "audit/Console.h"
#include "audit/FileAudit.h"
#include "audit/Report.h"
#include "audit/Totals.h"

namespace ornr::audit {

struct RunSettings {
  std::vector<std::filesystem::path> roots;
  /// Worker threads; 0: one per core.
  unsigned jobs = 0;
};

/// Audits every file under the roots, each report hearing of each listed file in walk order, then
/// of the totals. When stop becomes true the files being read are finished and the rest left;
/// the totals are then partial. Returns the totals.
Totals RunAudit(const RunSettings& settings, const AuditContext& context,
                std::vector<Report*> reports, Console& console, const std::atomic<bool>& stop);

}  // namespace ornr::audit
