// Line editing at a terminal through the line editor's callback interface, so that the caller
// can wait on the terminal and on other things at once.
#pragma once

#include <optional>
#include <string>

namespace ornr::workbench {

/// What the browser panel's questions need of the terminal: the panel's library reaches the
/// terminal only through these, never through the terminal's own code.
class QuestionTerminal {
 public:
  /// Call when standard input is readable. A finished line, or nothing yet; sets ended at the
  /// end of input.
  virtual std::optional<std::string> ReadKey(bool& ended) = 0;
  /// Asks with another prompt until Resume, which brings the usual one back.
  virtual void SwitchPrompt(const std::string& prompt) = 0;

 protected:
  ~QuestionTerminal() = default;
};

class Terminal final : public QuestionTerminal {
 public:
  /// Shows the prompt and takes keys from now on. History is kept in
  /// ~/.rsm-workbench_history between sessions.
  explicit Terminal(const char* prompt);
  /// Leaves the terminal as it found it and writes the history.
  ~Terminal();
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  std::optional<std::string> ReadKey(bool& ended) override;
  /// Before other output: takes the prompt off the screen, and what was typed with it unless
  /// keepTyped is false (the line was just entered).
  void Suspend(bool keepTyped = true);
  /// After other output: shows them again.
  void Resume();
  void SwitchPrompt(const std::string& prompt) override;

 private:
  std::string prompt_;
  std::string history_;
  std::string typed_;
  std::string otherPrompt_;
  bool suspended_ = false;
  bool switched_ = false;
};

}  // namespace ornr::workbench
