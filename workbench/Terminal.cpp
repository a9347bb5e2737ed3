#include "workbench/Terminal.h"

#include <stdio.h>

#include <cstdlib>

#include "workbench/LineEditor.h"

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

Terminal::Terminal(const char* prompt)
    : editor_(TheLineEditor()), prompt_(prompt), history_(HistoryFile()) {
  editor_.usingHistory();
  if (!history_.empty()) editor_.readHistory(history_.c_str());
  editor_.handlerInstall(prompt_.c_str(), TakeLine);
}

Terminal::~Terminal() {
  editor_.handlerRemove();
  if (!history_.empty()) {
    editor_.writeHistory(history_.c_str());
    editor_.historyTruncateFile(history_.c_str(), 1000);
  }
}

std::optional<std::string> Terminal::ReadKey(bool& ended) {
  delivered = {};
  editor_.readChar();
  ended = delivered.ended;
  if (ended) {
    // Leave the terminal on a fresh line.
    fputs("\n", stdout);
    fflush(stdout);
  }
  if (delivered.line && delivered.line->find_first_not_of(" \t") != std::string::npos) {
    editor_.addHistory(delivered.line->c_str());
  }
  return std::move(delivered.line);
}

void Terminal::Suspend(bool keepTyped) {
  if (suspended_) return;
  suspended_ = true;
  typed_.clear();
  if (keepTyped && *editor_.lineBuffer != nullptr && *editor_.end > 0) {
    typed_.assign(*editor_.lineBuffer, static_cast<std::size_t>(*editor_.end));
  }
  editor_.handlerRemove();
  fputs("\r\033[K", stdout);
  fflush(stdout);
}

void Terminal::Resume() {
  if (!suspended_) return;
  suspended_ = false;
  if (switched_) {
    switched_ = false;
    editor_.handlerRemove();
    fputs("\r\033[K", stdout);
    fflush(stdout);
  }
  editor_.handlerInstall(prompt_.c_str(), TakeLine);
  if (!typed_.empty()) {
    editor_.replaceLine(typed_.c_str(), 0);
    *editor_.point = *editor_.end;
    editor_.redisplay();
  }
}

void Terminal::SwitchPrompt(const std::string& prompt) {
  Suspend();
  switched_ = true;
  otherPrompt_ = prompt;
  editor_.handlerInstall(otherPrompt_.c_str(), TakeLine);
}

}  // namespace ornr::workbench
