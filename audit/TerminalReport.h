// The report on standard output: a table of the design files, one line each, with a line for each
// setup that drifted, then the totals.
#pragma once

#include <memory>
#include <string>

#include "audit/Console.h"
#include "audit/Report.h"

namespace ornr::audit {

/// reportFiles: the report files asked for, named at the end.
std::unique_ptr<Report> MakeTerminalReport(Console& console, std::vector<std::string> reportFiles);

/// "BlurPasses 8 -> 12 here, 9 in library": one property as a line of the table tells it.
std::string PropertyChange(const PropertyFinding& property, bool sameName);

}  // namespace ornr::audit
