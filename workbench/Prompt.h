// The interactive prompt: line editing and history on a terminal.
#pragma once

#include <functional>
#include <string>

namespace ornr::workbench {

/// Reads lines at a prompt until end of input or until runLine returns false. Non-blank lines
/// go into the history, which is kept in ~/.rsm-workbench_history between sessions.
void RunPrompt(const std::function<bool(const std::string& line)>& runLine);

}  // namespace ornr::workbench
