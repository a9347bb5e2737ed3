#include "workbench/Prompt.h"

// readline.h needs stdio.h first.
#include <stdio.h>

#include <readline/history.h>
#include <readline/readline.h>

#include <cstdlib>
#include <memory>

namespace ornr::workbench {

namespace {

std::string HistoryFile() {
  const char* home = std::getenv("HOME");
  return home != nullptr && *home != '\0' ? std::string(home) + "/.rsm-workbench_history"
                                          : std::string();
}

}  // namespace

void RunPrompt(const std::function<bool(const std::string& line)>& runLine) {
  const std::string history = HistoryFile();
  using_history();
  if (!history.empty()) read_history(history.c_str());
  for (;;) {
    std::unique_ptr<char, decltype(&std::free)> raw(readline("rsm> "), &std::free);
    if (raw == nullptr) {
      // End of input: leave the terminal on a fresh line.
      fputs("\n", stdout);
      break;
    }
    const std::string line = raw.get();
    if (line.find_first_not_of(" \t") != std::string::npos) add_history(raw.get());
    if (!runLine(line)) break;
  }
  if (!history.empty()) {
    write_history(history.c_str());
    history_truncate_file(history.c_str(), 1000);
  }
}

}  // namespace ornr::workbench
