// The page's actions on their way from the server's threads to the user-interface thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ornr::workbench {

/// How a page's command went.
struct PageResult {
  /// The error lines the command printed (none: it ran).
  std::vector<std::string> errors;
  /// The name a new setup was given by the module ("new" only; empty: none was made).
  std::string made;
  /// An edit's: the revision its setup's values have with it, as the pages hear of it (0: none),
  /// so that a page can tell values from before the edit from those after it.
  std::uint64_t revision = 0;
};

/// What became of a page's command: filled on the user-interface thread, awaited by the
/// server's thread that answers the page.
class PageOutcome {
 public:
  void Finish(PageResult result);
  /// Waits until Finish, the time is up or stop() turns true (checked every tenth of a
  /// second); true with the result when finished.
  bool Wait(std::chrono::milliseconds timeout, const std::function<bool()>& stop,
            PageResult& result);

 private:
  std::mutex mutex_;
  std::condition_variable finished_;
  bool done_ = false;
  PageResult result_;
};

struct PageAction {
  enum class Kind {
    Command,  // args: the words of a workbench command; "new" may add the name to give
    Select,   // args: "master" or "library", the setup's name, the library's file or ""
    Answer,   // args: the question's id, "yes" or "no"
    Dismiss,  // args: the message's id
    Query,    // args: none; the queries wait in the panel's feed
  };
  Kind kind = Kind::Command;
  std::vector<std::string> args;
  /// For a command: told its errors once it ran; null when nobody waits.
  std::shared_ptr<PageOutcome> outcome;
};

/// Why the page may not send these words as a command, its name first: the command table does
/// not let the page send it, or not with that many arguments. Empty when it may.
std::string PageCommandRefusal(const std::vector<std::string>& words);

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

/// Each request runs on its own server thread, and a browser sends a page's requests on several
/// connections, so a pick and the command clicked right after it can reach the queue in either
/// order. A page numbers its actions from 1; each is pushed only after the page's earlier ones,
/// or once the earliest missing has been awaited for gapWait (a lost request holds up nothing
/// for longer).
class PageActionOrder {
 public:
  explicit PageActionOrder(std::chrono::milliseconds gapWait = std::chrono::seconds(2),
                           std::size_t maxPages = 64);
  /// Runs push once it is the turn of the page's action number seq, and notes it done, even when
  /// push throws. false, without running push, when stop() turned true first (checked every
  /// tenth of a second).
  bool InTurn(std::string_view page, std::uint64_t seq, const std::function<void()>& push,
              const std::function<bool()>& stop);

 private:
  struct Page {
    std::uint64_t next = 1;
    std::uint64_t lastUse = 0;
  };
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const noexcept {
      return std::hash<std::string_view>{}(name);
    }
  };
  Page& Find(std::string_view page);

  const std::chrono::milliseconds gapWait_;
  const std::size_t maxPages_;
  std::mutex mutex_;
  std::condition_variable turned_;
  std::unordered_map<std::string, Page, NameHash, std::equal_to<>> pages_;
  std::uint64_t uses_ = 0;
};

}  // namespace ornr::workbench
