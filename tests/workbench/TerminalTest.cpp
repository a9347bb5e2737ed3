// The workbench at a terminal: the close question is asked of the person, also when a stop
// signal (Ctrl-C) or the end of input (Ctrl-D) ends the session.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>

#include "WorkbenchProcess.h"
#include "platform/HostControls.h"

namespace {

using Teskor::ZelPlatform::OrnSettings;

// The workbench on a pseudo-terminal of its own, as a person at a terminal runs it.
class TerminalWorkbench {
 public:
  TerminalWorkbench(const ScratchDir& dir, const std::vector<std::string>& args) {
    pid_ = forkpty(&fd_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      if (chdir(dir.Path().c_str()) != 0) _exit(126);
      setenv("HOME", dir.Path().c_str(), 1);
      setenv("TERM", "dumb", 1);
      std::vector<char*> argv{const_cast<char*>(RSM_WORKBENCH)};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      execv(RSM_WORKBENCH, argv.data());
      _exit(127);
    }
  }
  ~TerminalWorkbench() {
    if (pid_ > 0 && !waited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) close(fd_);
  }

  /// Reads the terminal until text shows (true) or 10 seconds pass.
  bool Await(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      if (const auto at = seen_.find(text); at != std::string::npos) {
        seen_.erase(0, at + text.size());
        return true;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !ReadSome(int(left.count()))) return false;
    }
  }
  void Type(const std::string& keys) {
    ASSERT_EQ(write(fd_, keys.data(), keys.size()), ssize_t(keys.size()));
  }
  /// Reads what it prints until it ends; its exit status, -1 when it did not exit within 10
  /// seconds or not normally.
  int Wait() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) return -1;
      ReadSome(20);
    }
    while (ReadSome(0)) {
    }
    waited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  const std::string& Rest() const { return seen_; }

 private:
  bool ReadSome(int timeoutMs) {
    pollfd pfd{fd_, POLLIN, 0};
    if (poll(&pfd, 1, timeoutMs) <= 0) return false;
    char chunk[4096];
    const ssize_t n = read(fd_, chunk, sizeof chunk);
    if (n <= 0) return false;
    seen_.append(chunk, std::size_t(n));
    return true;
  }

  pid_t pid_ = -1;
  int fd_ = -1;
  bool waited_ = false;
  std::string seen_;
};

const std::string kAsked = "Do you wish to save now? [yes/no] ";

TEST(TerminalTest, TheCloseQuestionIsAskedOfThePersonHoweverTheSessionEnds) {
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::string ending;                // typed at the prompt once the edit is in
    std::vector<std::string> answers;  // typed at the question, each when it is asked
    std::uint32_t stored;
    int exitCode;
  };
  const std::vector<std::string> master = {"--master", "p.zel"};
  const std::vector<Case> cases = {
      {"Ctrl-C, yes", master, "\x03", {"yes\r"}, 3, 0},
      {"Ctrl-D, no after a word that is neither", master, "\x04", {"maybe\r", "n\r"}, 8, 0},
      {"quit, Ctrl-C at the question", master, "quit\r", {"\x03"}, 8, 1},
      {"a script at a terminal, y",
       {"--master", "p.zel", "-c", "edit Sky BlurPasses 3"},
       "",
       {"y\r"},
       3,
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    ornhost::WriteSetup(dir / "p.zel", u"Sky", OrnSettings());
    TerminalWorkbench session(dir, c.args);
    if (c.args.size() == 2) {
      ASSERT_TRUE(session.Await("rsm> "));
      session.Type("edit Sky BlurPasses 3\r");
      ASSERT_TRUE(session.Await("rsm> "));
      session.Type(c.ending);
    }
    ASSERT_TRUE(session.Await(kAsked)) << session.Rest();
    for (std::size_t i = 0; i < c.answers.size(); ++i) {
      if (i > 0) {
        ASSERT_TRUE(session.Await(kAsked)) << session.Rest();
      }
      session.Type(c.answers[i]);
    }
    EXPECT_EQ(session.Wait(), c.exitCode) << session.Rest();
    EXPECT_EQ(ornhost::ReadSetups(dir / "p.zel").at(0).settings.GetBlurPasses(), c.stored);
    // Only a question nobody answered keeps what yes would have saved.
    EXPECT_EQ(std::filesystem::exists(dir / "p.zel.recovered.json"), c.exitCode == 1);
  }
}

}  // namespace
