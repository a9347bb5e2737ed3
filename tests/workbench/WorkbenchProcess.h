// Runs the built workbench as a child process in a folder of its own.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

struct ProcessResult {
  int exitCode = -1;  // -1 when the process did not exit normally
  std::string out;
  std::string err;
};

/// A child in cwd fed stdinText, whose standard output is read as it comes; standard error
/// goes to the file "stderr.log" in cwd.
class RunningProcess {
 public:
  RunningProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::filesystem::path& cwd, const std::string& stdinText = {});
  /// Kills a child that has not been waited for.
  ~RunningProcess();
  RunningProcess(const RunningProcess&) = delete;
  RunningProcess& operator=(const RunningProcess&) = delete;

  /// The next line of standard output without its newline; false at the end of output.
  bool ReadLine(std::string& line);
  void Kill(int signal);
  /// Waits for the process; returns its wait status.
  int Wait();

 private:
  pid_t pid_ = -1;
  int outFd_ = -1;
  std::string buffer_;
  bool waited_ = false;
};

/// Runs the program to its end.
ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::filesystem::path& cwd, const std::string& stdinText = {});

/// Runs the program on a pseudo-terminal with HOME set to cwd, typing the next line at each
/// prompt and Ctrl-D after the last. Returns what the terminal showed.
ProcessResult RunAtPrompt(const std::string& program, const std::vector<std::string>& args,
                          const std::filesystem::path& cwd, const std::string& prompt,
                          const std::vector<std::string>& lines);

/// A fresh folder under the system's temporary folder, removed on destruction.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& Path() const noexcept { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  /// Writes a file into the folder and returns its path.
  std::filesystem::path Write(const std::string& name, const std::string& text) const;

 private:
  std::filesystem::path path_;
};

std::vector<std::string> Lines(const std::string& text);
