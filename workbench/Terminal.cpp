#include "workbench/Terminal.h"

// The line editor's header needs stdio.h first.
#include <stdio.h>

#include <editline/readline.h>

#include <cstdlib>

namespace ornr::workbench {

namespace {

// The line editor calls back through a plain function; one terminal exists at a time.
struct Delivered {
  std::optional<std::string> line;
  bool ended = false;
};
Delivered delivered;

void TakeLine(char* line) {
  if (line == nullptr) {
    delivered.ended = true;
    return;
  }
  delivered.line = line;
  std::free(line);
}

std::string HistoryFile() {
  const char* home = std::getenv("HOME");
  return home != nullptr && *home != '\0' ? std::string(home) + "/.rsm-workbench_history"
                                          : std::string();
}

}  // namespace

Terminal::Terminal(const char* prompt) : prompt_(prompt), history_(HistoryFile()) {
  using_history();
  if (!history_.empty()) read_history(history_.c_str());
  rl_callback_handler_install(prompt_.c_str(), TakeLine);
}

Terminal::~Terminal() {
  rl_callback_handler_remove();
  if (!history_.empty()) {
    write_history(history_.c_str());
    history_truncate_file(history_.c_str(), 1000);
  }
}

std::optional<std::string> Terminal::ReadKey(bool& ended) {
  delivered = {};
  rl_callback_read_char();
  ended = delivered.ended;
  if (ended) {
    // Leave the terminal on a fresh line.
    fputs("\n", stdout);
    fflush(stdout);
  }
  if (delivered.line && delivered.line->find_first_not_of(" \t") != std::string::npos) {
    add_history(delivered.line->c_str());
  }
  return std::move(delivered.line);
}

void Terminal::Suspend(bool keepTyped) {
  if (suspended_) return;
  suspended_ = true;
  typed_.clear();
  if (keepTyped && rl_line_buffer != nullptr && rl_end > 0) typed_.assign(rl_line_buffer, rl_end);
  rl_callback_handler_remove();
  fputs("\r\033[K", stdout);
  fflush(stdout);
}

void Terminal::Resume() {
  if (!suspended_) return;
  suspended_ = false;
  if (switched_) {
    switched_ = false;
    rl_callback_handler_remove();
    fputs("\r\033[K", stdout);
    fflush(stdout);
  }
  rl_callback_handler_install(prompt_.c_str(), TakeLine);
  if (!typed_.empty()) {
    rl_replace_line(typed_.c_str(), 0);
    rl_point = rl_end;
    rl_redisplay();
  }
}

void Terminal::SwitchPrompt(const std::string& prompt) {
  Suspend();
  switched_ = true;
  otherPrompt_ = prompt;
  rl_callback_handler_install(otherPrompt_.c_str(), TakeLine);
}

}  // namespace ornr::workbench
