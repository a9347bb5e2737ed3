#include "workbench/LineEditor.h"

#include <dlfcn.h>

// The line editor's header needs stdio.h first; it is read for its declarations only.
#include <stdio.h>

#include <editline/readline.h>

#include <stdexcept>
#include <string>
#include <type_traits>

#ifndef ORNR_LINE_EDITOR_LIBRARY
#error "the build names the line editor's library with ORNR_LINE_EDITOR_LIBRARY"
#endif

namespace ornr::workbench {

namespace {

template <typename Pointer>
void Bind(void* library, const char* name, Pointer& to) {
  void* symbol = dlsym(library, name);
  if (symbol == nullptr) {
    throw std::runtime_error(std::string("the line editor ") + ORNR_LINE_EDITOR_LIBRARY +
                             " has no " + name);
  }
  to = reinterpret_cast<Pointer>(symbol);
}

// The declarations the functions are called by are the header's own.
static_assert(std::is_same_v<decltype(&using_history), decltype(LineEditor::usingHistory)>);
static_assert(std::is_same_v<decltype(&read_history), decltype(LineEditor::readHistory)>);
static_assert(std::is_same_v<decltype(&write_history), decltype(LineEditor::writeHistory)>);
static_assert(
    std::is_same_v<decltype(&history_truncate_file), decltype(LineEditor::historyTruncateFile)>);
static_assert(std::is_same_v<decltype(&add_history), decltype(LineEditor::addHistory)>);
static_assert(
    std::is_same_v<decltype(&rl_callback_handler_install), decltype(LineEditor::handlerInstall)>);
static_assert(
    std::is_same_v<decltype(&rl_callback_handler_remove), decltype(LineEditor::handlerRemove)>);
static_assert(std::is_same_v<decltype(&rl_callback_read_char), decltype(LineEditor::readChar)>);
static_assert(std::is_same_v<decltype(&rl_replace_line), decltype(LineEditor::replaceLine)>);
static_assert(std::is_same_v<decltype(&rl_redisplay), decltype(LineEditor::redisplay)>);
static_assert(std::is_same_v<decltype(&rl_line_buffer), decltype(LineEditor::lineBuffer)>);
static_assert(std::is_same_v<decltype(&rl_end), decltype(LineEditor::end)>);
static_assert(std::is_same_v<decltype(&rl_point), decltype(LineEditor::point)>);

LineEditor Load() {
  // Kept loaded: the terminal's state lives in it until the process ends.
  void* library = dlopen(ORNR_LINE_EDITOR_LIBRARY, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (library == nullptr) {
    const char* reason = dlerror();
    throw std::runtime_error(std::string("cannot load the line editor ") +
                             ORNR_LINE_EDITOR_LIBRARY + ": " +
                             (reason != nullptr ? reason : "unknown reason"));
  }
  LineEditor editor{};
  Bind(library, "using_history", editor.usingHistory);
  Bind(library, "read_history", editor.readHistory);
  Bind(library, "write_history", editor.writeHistory);
  Bind(library, "history_truncate_file", editor.historyTruncateFile);
  Bind(library, "add_history", editor.addHistory);
  Bind(library, "rl_callback_handler_install", editor.handlerInstall);
  Bind(library, "rl_callback_handler_remove", editor.handlerRemove);
  Bind(library, "rl_callback_read_char", editor.readChar);
  Bind(library, "rl_replace_line", editor.replaceLine);
  Bind(library, "rl_redisplay", editor.redisplay);
  Bind(library, "rl_line_buffer", editor.lineBuffer);
  Bind(library, "rl_end", editor.end);
  Bind(library, "rl_point", editor.point);
  return editor;
}

}  // namespace

const LineEditor& TheLineEditor() {
  static const LineEditor editor = Load();
  return editor;
}

}  // namespace ornr::workbench
