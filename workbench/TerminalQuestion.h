// The host's question box as a question to the person at the terminal.
#pragma once

#include "host/controls/HostControls.h"
#include "workbench/Terminal.h"

namespace ornr::workbench {

/// Asks at the terminal on standard input until the person answers yes or no, with terminal's
/// line editor when there is one (its prompt comes back on Resume), else with one of its own.
/// kNobodyAnswered at the end of input or on a stop signal (stopFd readable).
int AskAtTerminal(const ornhost::Question& question, Terminal* terminal, int stopFd);

}  // namespace ornr::workbench
