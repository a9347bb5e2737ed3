// The line editor's functions, from its library opened the first time a terminal needs them:
// a session that runs scripts or -c commands never loads it.
#pragma once

namespace ornr::workbench {

struct LineEditor {
  void (*usingHistory)();
  int (*readHistory)(const char* file);
  int (*writeHistory)(const char* file);
  int (*historyTruncateFile)(const char* file, int lines);
  int (*addHistory)(const char* line);
  void (*handlerInstall)(const char* prompt, void (*handler)(char* line));
  void (*handlerRemove)();
  void (*readChar)();
  void (*replaceLine)(const char* text, int clearUndo);
  void (*redisplay)();
  char** lineBuffer;
  int* end;
  int* point;
};

/// Opens the line editor's library once. Throws std::runtime_error when it cannot be loaded or
/// lacks a function.
const LineEditor& TheLineEditor();

}  // namespace ornr::workbench
