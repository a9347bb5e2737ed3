// The user-interface thread's wait: standard input (a terminal with line editing, or lines from
// a pipe), the page's queue and the stop signals at once, so that none blocks the others.
#pragma once

#include <functional>
#include <string>

#include "workbench/Terminal.h"

namespace ornr::workbench {

struct InputSources {
  /// The terminal to read, or null to read lines from standard input.
  Terminal* terminal = nullptr;
  bool readInput = true;
  /// Whether the end of standard input ends the loop.
  bool endAtEof = true;
  int pageFd = -1;  // readable while page actions wait
  int stopFd = -1;  // readable once a stop signal came
};

/// Runs until runLine or runPage returns false, a stop signal, or the end of input when that
/// counts. Returns false when a stop signal ended it.
bool RunInputLoop(const InputSources& sources,
                  const std::function<bool(const std::string& line)>& runLine,
                  const std::function<bool()>& runPage);

}  // namespace ornr::workbench
