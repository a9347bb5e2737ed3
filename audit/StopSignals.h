// Ctrl-C (SIGINT) and SIGTERM ask the run to stop; a second one ends the process at once.
#pragma once

#include <atomic>
#include <string>

namespace ornr::audit {

/// Installs the handlers; the flag turns true at the first signal.
const std::atomic<bool>& CatchStopSignals();
/// The signal that stopped the run (0: none).
int StopSignal();
/// "Ctrl-C" or "SIGTERM".
std::string StopSignalName();

}  // namespace ornr::audit
