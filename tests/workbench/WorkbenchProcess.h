// Runs the built workbench as a child process in a folder of its own.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/controls/HostControls.h"

struct ProcessResult {
  int exitCode = -1;  // -1 when the process did not exit normally
  std::string out;
  std::string err;
};

/// A child in cwd whose standard output is read as it comes; standard error goes to the file
/// "stderr.log" in cwd. Its input is empty, or a pipe fed by Send when withInput. Run by root,
/// withoutRoot runs it as "nobody", for whom file permissions hold. On a terminal, input and
/// both outputs are a pseudo-terminal of its own, as for a person at a terminal. With
/// maxOpenFiles, the child may hold that many file handles at most; a limit in bytes that is not
/// 0 holds for the child (RLIMIT_FSIZE, RLIMIT_AS), with SIGXFSZ as it would be by default. A
/// child not waited for is killed on destruction.
struct ProcessOptions {
  bool withInput = false;
  bool withoutRoot = false;
  bool terminal = false;
  int maxOpenFiles = 0;
  std::uint64_t fileSizeLimitBytes = 0;
  std::uint64_t addressSpaceLimitBytes = 0;
};

/// Why a test run by root cannot run program as "nobody" (the build folder is out of its reach,
/// as under /root); empty when it can, or when the test does not run as root.
std::string NobodyCannotRun(const std::string& program);

class RunningProcess {
 public:
  RunningProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::filesystem::path& cwd, ProcessOptions options = {});
  /// Writes text to the child's input; CloseInput ends it.
  void Send(const std::string& text);
  void CloseInput();
  ~RunningProcess();
  RunningProcess(const RunningProcess&) = delete;

  /// The next line of standard output without its newline; false at the end of output.
  bool ReadLine(std::string& line);
  /// Reads output until text shows (true: what came up to it is taken) or 10 seconds pass.
  bool Await(const std::string& text);
  /// What was read and not yet taken.
  const std::string& Pending() const noexcept { return buffer_; }
  void Kill(int signal);
  /// Waits for the process; returns its wait status.
  int Wait();
  /// Reads the rest of the output and waits, killing the process after 10 seconds.
  int Finish();

 private:
  bool ReadSome(std::chrono::steady_clock::time_point deadline);

  pid_t pid_ = -1;
  int outFd_ = -1;
  int inFd_ = -1;
  std::string buffer_;
  bool waited_ = false;
};

/// Runs the program to its end.
ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::filesystem::path& cwd);

/// A fresh temporary folder, removed with everything in it on destruction.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  const std::filesystem::path& Path() const noexcept { return path_; }
  /// Writes a file into the folder, reads one from it.
  void Write(const std::string& name, const std::string& text) const;
  std::string Read(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

std::vector<std::string> Lines(const std::string& text);

/// The setups a design file holds, by name.
std::map<std::u16string, ornhost::StoredSetup> StoredByName(const std::filesystem::path& file);

/// A workbench on the master file p.zel in dir, fed command by command, so that a test can act
/// between commands.
class FedWorkbench {
 public:
  FedWorkbench(const std::string& program, const ScratchDir& dir, ProcessOptions options = {});
  /// Runs the commands and returns every line printed until they are done.
  std::vector<std::string> Run(const std::string& commands);
  /// Sends the last commands, ends the input and returns what was printed up to the exit, and
  /// the exit status (-1 when killed).
  std::pair<std::vector<std::string>, int> End(const std::string& commands = "");
  void Signal(int signal) { process_.Kill(signal); }

 private:
  RunningProcess process_;
};
