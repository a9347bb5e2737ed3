#include "WorkbenchProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace {

void CheckSys(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string(what) + " failed");
}

[[noreturn]] void Exec(const std::string& program, const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  execv(program.c_str(), argv.data());
  _exit(127);
}

}  // namespace

RunningProcess::RunningProcess(const std::string& program, const std::vector<std::string>& args,
                               const std::filesystem::path& cwd, ProcessOptions options) {
  // A child that is gone must fail a Send, not end the test.
  signal(SIGPIPE, SIG_IGN);
  if (options.terminal) {
    pid_ = forkpty(&outFd_, nullptr, nullptr, nullptr);
    CheckSys(pid_ >= 0, "forkpty");
    if (pid_ == 0) {
      if (chdir(cwd.c_str()) != 0) _exit(126);
      setenv("HOME", cwd.c_str(), 1);
      setenv("TERM", "dumb", 1);
      Exec(program, args);
    }
    inFd_ = dup(outFd_);
    return;
  }
  int out[2];
  int in[2] = {-1, -1};
  CheckSys(pipe2(out, O_CLOEXEC) == 0, "pipe");
  if (options.withInput) CheckSys(pipe2(in, O_CLOEXEC) == 0, "pipe");
  pid_ = fork();
  CheckSys(pid_ >= 0, "fork");
  if (pid_ == 0) {
    dup2(options.withInput ? in[0] : open("/dev/null", O_RDONLY), STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(open((cwd / "stderr.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
    if (chdir(cwd.c_str()) != 0) _exit(126);
    if (options.withoutRoot && getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
      _exit(125);
    }
    if (options.maxOpenFiles > 0) {
      const rlimit files{rlim_t(options.maxOpenFiles), rlim_t(options.maxOpenFiles)};
      if (setrlimit(RLIMIT_NOFILE, &files) != 0) _exit(124);
    }
    const auto limit = [](int resource, std::uint64_t bytes) {
      const rlimit value{bytes, bytes};
      if (bytes != 0 && setrlimit(resource, &value) != 0) _exit(124);
    };
    limit(RLIMIT_FSIZE, options.fileSizeLimitBytes);
    limit(RLIMIT_AS, options.addressSpaceLimitBytes);
    signal(SIGXFSZ, SIG_DFL);
    Exec(program, args);
  }
  close(out[1]);
  outFd_ = out[0];
  if (options.withInput) {
    close(in[0]);
    inFd_ = in[1];
  }
}

void RunningProcess::Send(const std::string& text) {
  CheckSys(write(inFd_, text.data(), text.size()) == static_cast<ssize_t>(text.size()), "write");
}

void RunningProcess::CloseInput() {
  if (inFd_ >= 0) close(inFd_);
  inFd_ = -1;
}

RunningProcess::~RunningProcess() {
  CloseInput();
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

bool RunningProcess::ReadSome(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  pollfd pfd{outFd_, POLLIN, 0};
  if (left.count() <= 0 || poll(&pfd, 1, int(left.count())) <= 0) return false;
  char chunk[4096];
  const ssize_t n = read(outFd_, chunk, sizeof chunk);
  if (n <= 0) return false;
  buffer_.append(chunk, static_cast<std::size_t>(n));
  return true;
}

bool RunningProcess::Await(const std::string& text) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (buffer_.find(text) == std::string::npos) {
    if (!ReadSome(deadline)) return false;
  }
  buffer_.erase(0, buffer_.find(text) + text.size());
  return true;
}

int RunningProcess::Finish() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (ReadSome(deadline)) {
  }
  if (std::chrono::steady_clock::now() >= deadline) Kill(SIGKILL);
  return Wait();
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
                         const std::filesystem::path& cwd) {
  RunningProcess process(program, args, cwd);
  ProcessResult result;
  for (std::string line; process.ReadLine(line);) result.out += line + "\n";
  const int status = process.Wait();
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream err(cwd / "stderr.log");
  result.err.assign(std::istreambuf_iterator<char>(err), {});
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

void ScratchDir::Write(const std::string& name, const std::string& text) const {
  std::ofstream(path_ / name, std::ios::binary) << text;
}

std::string ScratchDir::Read(const std::string& name) const {
  std::ifstream in(path_ / name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::map<std::u16string, ornhost::StoredSetup> StoredByName(const std::filesystem::path& file) {
  std::map<std::u16string, ornhost::StoredSetup> byName;
  for (auto& setup : ornhost::ReadSetups(file)) byName[setup.name] = setup;
  return byName;
}

FedWorkbench::FedWorkbench(const std::string& program, const ScratchDir& dir,
                           ProcessOptions options)
    : process_(program, {"--master", "p.zel"}, dir.Path(), [&] {
        options.withInput = true;
        return options;
      }()) {}

std::vector<std::string> FedWorkbench::Run(const std::string& commands) {
  // The answer to a command that changes nothing marks the end.
  process_.Send(commands + "modified --sync--\n");
  std::vector<std::string> lines;
  for (std::string line; process_.ReadLine(line) && line != "> modified --sync--";) {
    lines.push_back(line);
  }
  std::string answer;
  process_.ReadLine(answer);
  return lines;
}

std::pair<std::vector<std::string>, int> FedWorkbench::End(const std::string& commands) {
  process_.Send(commands);
  process_.CloseInput();
  std::vector<std::string> lines;
  for (std::string line; process_.ReadLine(line);) lines.push_back(line);
  const int status = process_.Wait();
  return {lines, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

std::string NobodyCannotRun(const std::string& program) {
  if (getuid() != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    _exit(setgid(65534) == 0 && setuid(65534) == 0 && access(program.c_str(), X_OK) == 0 ? 0 : 1);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child)
    return "could not check what nobody may run";
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  return "run as root, this test runs " + program +
         " as nobody, who cannot reach it: build in a folder everyone may enter (not under /root)";
}
