// One run of the workbench: the host's files, the loaded module and the commands fed to it.
#pragma once

#include <cstddef>
#include <istream>
#include <memory>
#include <ostream>

#include "workbench/CommandLine.h"
#include "workbench/Module.h"
#include "workbench/Terminal.h"
#include "workbench/Transcript.h"
#include "workbench/commands/Commands.h"
#include "workbench/page/PagePanel.h"

namespace ornr::workbench {

class Session {
 public:
  Session(const Options& options, std::ostream& out);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  /// Starts, runs every source (or standard input, with a prompt on a terminal), ends.
  /// Returns the exit status: 0 when every command ran, 1 when any failed or nothing could run.
  int Run();

 private:
  /// Opens the files, loads and initialises the module. False when the module cannot be used.
  bool Start();
  /// Closes the master file, releases and unloads the module.
  void End();
  void RunSource(const CommandSource& source);
  /// Runs commands line by line, echoing each, until the end or "quit".
  void RunLines(std::istream& in);
  /// Runs one line: false once "quit" was given.
  bool RunLine(const std::string& line, bool echo);
  /// Runs the sources, then standard input and the page's actions until quit or a stop signal.
  void RunWithPanel();
  /// Standard input: a terminal with line editing, else lines as they come; with the panel,
  /// the page's actions and stop signals too.
  void RunInput(bool endAtEof);
  /// A command from the page, echoed like a script's.
  void RunWords(const std::vector<std::string>& words);

  const Options& options_;
  Transcript transcript_;
  std::unique_ptr<LoadedModule> module_;
  std::unique_ptr<Commands> commands_;
  std::unique_ptr<Terminal> terminal_;
  std::unique_ptr<PagePanel> panel_;
  std::size_t monitorsBeforeLoad_ = 0;
};

}  // namespace ornr::workbench
