#include "WorkbenchProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace {

void CheckSys(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string(what) + " failed");
}

// In the child: working folder, then the program; never returns.
[[noreturn]] void ExecChild(const std::string& program, const std::vector<std::string>& args,
                            const std::filesystem::path& cwd) {
  if (chdir(cwd.c_str()) != 0) _exit(126);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  execv(program.c_str(), argv.data());
  _exit(127);
}

int ExitCodeOf(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

RunningProcess::RunningProcess(const std::string& program, const std::vector<std::string>& args,
                               const std::filesystem::path& cwd, const std::string& stdinText) {
  int in[2];
  int out[2];
  CheckSys(pipe2(in, O_CLOEXEC) == 0 && pipe2(out, O_CLOEXEC) == 0, "pipe");
  pid_ = fork();
  CheckSys(pid_ >= 0, "fork");
  if (pid_ == 0) {
    const int err = open((cwd / "stderr.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    ExecChild(program, args, cwd);
  }
  close(in[0]);
  close(out[1]);
  // Key-in texts of the tests are far below a pipe's capacity.
  CheckSys(write(in[1], stdinText.data(), stdinText.size()) >= 0, "write");
  close(in[1]);
  outFd_ = out[0];
}

RunningProcess::~RunningProcess() {
  if (!waited_) {
    Kill(SIGKILL);
    Wait();
  }
  close(outFd_);
}

bool RunningProcess::ReadLine(std::string& line) {
  for (std::size_t newline; (newline = buffer_.find('\n')) == std::string::npos;) {
    char chunk[4096];
    const ssize_t n = read(outFd_, chunk, sizeof chunk);
    if (n <= 0) return false;
    buffer_.append(chunk, static_cast<std::size_t>(n));
  }
  const std::size_t newline = buffer_.find('\n');
  line = buffer_.substr(0, newline);
  buffer_.erase(0, newline + 1);
  return true;
}

void RunningProcess::Kill(int signal) {
  kill(pid_, signal);
}

int RunningProcess::Wait() {
  int status = 0;
  waitpid(pid_, &status, 0);
  waited_ = true;
  return status;
}

ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::filesystem::path& cwd, const std::string& stdinText) {
  RunningProcess process(program, args, cwd, stdinText);
  ProcessResult result;
  for (std::string line; process.ReadLine(line);) result.out += line + "\n";
  result.exitCode = ExitCodeOf(process.Wait());
  std::ifstream err(cwd / "stderr.log");
  result.err.assign(std::istreambuf_iterator<char>(err), {});
  return result;
}

ProcessResult RunAtPrompt(const std::string& program, const std::vector<std::string>& args,
                          const std::filesystem::path& cwd, const std::string& prompt,
                          const std::vector<std::string>& lines) {
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  CheckSys(pid >= 0, "forkpty");
  if (pid == 0) {
    setenv("HOME", cwd.c_str(), 1);
    setenv("TERM", "dumb", 1);
    ExecChild(program, args, cwd);
  }
  ProcessResult result;
  std::size_t promptsSeen = 0;
  pollfd fd = {terminal, POLLIN, 0};
  char chunk[4096];
  ssize_t n = 0;
  // Ends when the child closes the terminal (EIO) or stays silent for 20 seconds.
  while (poll(&fd, 1, 20000) > 0 && (n = read(terminal, chunk, sizeof chunk)) > 0) {
    result.out.append(chunk, static_cast<std::size_t>(n));
    std::size_t prompts = 0;
    for (std::size_t at = 0; (at = result.out.find(prompt, at)) != std::string::npos; ++at) {
      ++prompts;
    }
    if (prompts == promptsSeen) continue;
    const std::string input = promptsSeen < lines.size() ? lines[promptsSeen] + "\r" : "\x04";
    promptsSeen = prompts;
    CheckSys(write(terminal, input.data(), input.size()) >= 0, "write");
  }
  close(terminal);
  int status = 0;
  for (int i = 0; i < 500 && waitpid(pid, &status, WNOHANG) == 0; ++i) usleep(10000);
  if (kill(pid, SIGKILL) == 0) waitpid(pid, &status, 0);
  result.exitCode = ExitCodeOf(status);
  return result;
}

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "rsm-workbench-XXXXXX").string();
  CheckSys(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path ScratchDir::Write(const std::string& name, const std::string& text) const {
  std::ofstream(path_ / name, std::ios::binary) << text;
  return path_ / name;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}
