// What the HTML report looks like: its style sheet and the colour of each state.
#pragma once

#include <string_view>

#include "audit/Findings.h"

namespace ornr::audit {

/// The report's whole style sheet: light and dark schemes, narrow screens, print.
std::string_view ReportStyleSheet();
/// The CSS class that colours a state ("s-in-step", ...), the same in bars, swatches and badges.
std::string StateClass(SetupState state);

}  // namespace ornr::audit
