#include "workbench/TerminalQuestion.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "support/Utf.h"
#include "workbench/StopSignals.h"

namespace ornr::workbench {

int AskAtTerminal(const ornhost::Question& question, Terminal* terminal, int stopFd) {
  // The stop that led to this close must not answer for the person; one after the question
  // shows does, so this comes before the prompt.
  const bool stopPending = StopSignals::Drain();
  const std::string prompt = Utf16ToUtf8(question.text) + " [yes/no] ";
  std::unique_ptr<Terminal> own;
  if (terminal == nullptr) {
    own = std::make_unique<Terminal>(prompt.c_str());
    terminal = own.get();
  } else {
    terminal->SwitchPrompt(prompt);
  }
  int answer = ornhost::kNobodyAnswered;
  for (bool asking = true; asking;) {
    std::vector<pollfd> fds{{STDIN_FILENO, POLLIN, 0}};
    if (stopFd >= 0) fds.push_back({stopFd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds.size() > 1 && (fds[1].revents & POLLIN) != 0) break;
    if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    bool ended = false;
    const auto line = terminal->ReadKey(ended);
    if (ended) break;
    if (!line) continue;
    if (*line == "y" || *line == "yes") {
      answer = ornhost::kAnswerYes;
      asking = false;
    } else if (*line == "n" || *line == "no") {
      answer = ornhost::kAnswerNo;
      asking = false;
    } else {
      terminal->SwitchPrompt(prompt);
    }
  }
  if (stopPending) StopSignals::Repost();
  return answer;
}

}  // namespace ornr::workbench
