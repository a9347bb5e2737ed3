#include "workbench/InputLoop.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

namespace ornr::workbench {

namespace {

// Lines from a pipe or file, as they come.
class LineBuffer {
 public:
  /// Reads what is there; false at the end of input.
  bool Fill() {
    char chunk[4096];
    ssize_t n = 0;
    do {
      n = read(STDIN_FILENO, chunk, sizeof chunk);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
      ended_ = true;
      return false;
    }
    pending_.append(chunk, static_cast<std::size_t>(n));
    return true;
  }
  /// The next whole line (or, at the end, the unterminated rest).
  bool Next(std::string& line) {
    const std::size_t newline = pending_.find('\n');
    if (newline == std::string::npos) {
      if (!ended_ || pending_.empty()) return false;
      line = std::exchange(pending_, {});
      return true;
    }
    line = pending_.substr(0, newline);
    pending_.erase(0, newline + 1);
    return true;
  }

 private:
  std::string pending_;
  bool ended_ = false;
};

}  // namespace

bool RunInputLoop(const InputSources& sources,
                  const std::function<bool(const std::string& line)>& runLine,
                  const std::function<bool()>& runPage) {
  Terminal* terminal = sources.terminal;
  bool inputOpen = sources.readInput;
  LineBuffer lines;
  for (;;) {
    std::vector<pollfd> fds;
    if (sources.stopFd >= 0) fds.push_back({sources.stopFd, POLLIN, 0});
    if (sources.pageFd >= 0) fds.push_back({sources.pageFd, POLLIN, 0});
    if (inputOpen) fds.push_back({STDIN_FILENO, POLLIN, 0});
    if (fds.empty()) return true;
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return true;
    }
    for (const pollfd& fd : fds) {
      if ((fd.revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      if (fd.fd == sources.stopFd) return false;
      if (fd.fd == sources.pageFd) {
        if (terminal != nullptr) terminal->Suspend();
        // After quit the prompt stays away: the session's close may still ask or print.
        if (!runPage()) return true;
        if (terminal != nullptr) terminal->Resume();
        continue;
      }
      // Standard input.
      bool ended = false;
      if (terminal != nullptr) {
        const auto line = terminal->ReadKey(ended);
        if (line) {
          terminal->Suspend(false);
          if (!runLine(*line)) return true;
          terminal->Resume();
        }
      } else {
        ended = !lines.Fill();
        std::string line;
        while (lines.Next(line)) {
          if (!runLine(line)) return true;
        }
      }
      if (ended) {
        if (sources.endAtEof) return true;
        inputOpen = false;
      }
    }
  }
}

}  // namespace ornr::workbench
