// Line editing at a terminal through the line editor's callback interface, so that the caller
// can wait on the terminal and on other things at once.
#pragma once

#include <optional>
#include <string>

namespace ornr::workbench {

class Terminal {
 public:
  /// Shows the prompt and takes keys from now on. History is kept in
  /// ~/.rsm-workbench_history between sessions.
  explicit Terminal(const char* prompt);
  /// Leaves the terminal as it found it and writes the history.
  ~Terminal();
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  /// Call when standard input is readable. A finished line, or nothing yet; sets ended at the
  /// end of input.
  std::optional<std::string> ReadKey(bool& ended);
  /// Before other output: takes the prompt off the screen, and what was typed with it unless
  /// keepTyped is false (the line was just entered).
  void Suspend(bool keepTyped = true);
  /// After other output: shows them again.
  void Resume();
  /// Asks with another prompt until Resume, which brings the usual one back.
  void SwitchPrompt(const std::string& prompt);

 private:
  std::string prompt_;
  std::string history_;
  std::string typed_;
  std::string otherPrompt_;
  bool suspended_ = false;
  bool switched_ = false;
};

}  // namespace ornr::workbench
