// The page's actions on their way from the server's threads to the user-interface thread.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace ornr::workbench {

struct PageAction {
  enum class Kind {
    Command,  // args: the words of a workbench command
    Select,   // args: "master" or "library", the setup's name, the library's file or ""
    Answer,   // args: the question's id, "yes" or "no"
    Dismiss,  // args: the message's id
  };
  Kind kind = Kind::Command;
  std::vector<std::string> args;
};

/// Filled by any thread, emptied by the user-interface thread, which polls Fd() to learn that
/// something waits.
class PageActionQueue {
 public:
  PageActionQueue();
  ~PageActionQueue();
  PageActionQueue(const PageActionQueue&) = delete;
  PageActionQueue& operator=(const PageActionQueue&) = delete;

  void Push(PageAction action);
  /// Everything queued so far, oldest first; makes Fd() quiet again.
  std::deque<PageAction> TakeAll();
  /// Readable while actions wait.
  int Fd() const noexcept { return fd_; }

 private:
  std::mutex mutex_;
  std::deque<PageAction> actions_;
  int fd_ = -1;
};

}  // namespace ornr::workbench
