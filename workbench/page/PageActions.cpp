#include "workbench/page/PageActions.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

#include "workbench/commands/CommandTable.h"

namespace ornr::workbench {

void PageOutcome::Finish(PageResult result) {
  {
    const std::lock_guard lock(mutex_);
    result_ = std::move(result);
    done_ = true;
  }
  finished_.notify_all();
}

bool PageOutcome::Wait(std::chrono::milliseconds timeout, const std::function<bool()>& stop,
                       PageResult& result) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock lock(mutex_);
  while (!done_) {
    if (stop() || std::chrono::steady_clock::now() >= deadline) return false;
    finished_.wait_for(lock, std::chrono::milliseconds(100));
  }
  result = result_;
  return true;
}

std::string PageCommandRefusal(const std::vector<std::string>& words) {
  if (words.empty()) return "no command";
  const CommandEntry* command = FindCommand(words[0]);
  const auto bounds = command != nullptr ? PageArgs(*command) : std::nullopt;
  if (!bounds) return "the page may not run " + words[0];
  const std::size_t args = words.size() - 1;
  if (args < bounds->min || args > bounds->max) return "wrong number of words for " + words[0];
  return {};
}

PageActionQueue::PageActionQueue() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

PageActionQueue::~PageActionQueue() {
  close(fd_);
}

void PageActionQueue::Push(PageAction action) {
  {
    const std::lock_guard lock(mutex_);
    actions_.push_back(std::move(action));
  }
  const std::uint64_t one = 1;
  // A full counter is still readable, so a lost increment wakes the reader all the same.
  [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
}

std::deque<PageAction> PageActionQueue::TakeAll() {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t read_ = read(fd_, &count, sizeof count);
  const std::lock_guard lock(mutex_);
  return std::exchange(actions_, {});
}

PageActionOrder::PageActionOrder(std::chrono::milliseconds gapWait, std::size_t maxPages)
    : gapWait_(gapWait), maxPages_(std::max<std::size_t>(maxPages, 1)) {}

PageActionOrder::Page& PageActionOrder::Find(std::string_view page) {
  auto found = pages_.find(page);
  if (found == pages_.end()) {
    // A page long gone makes room; one that comes back waits once for what it sent before.
    if (pages_.size() >= maxPages_) {
      pages_.erase(std::min_element(pages_.begin(), pages_.end(), [](const auto& a, const auto& b) {
        return a.second.lastUse < b.second.lastUse;
      }));
    }
    found = pages_.emplace(std::string(page), Page{}).first;
  }
  found->second.lastUse = ++uses_;
  return found->second;
}

bool PageActionOrder::InTurn(std::string_view page, std::uint64_t seq,
                             const std::function<void()>& push, const std::function<bool()>& stop) {
  const auto deadline = std::chrono::steady_clock::now() + gapWait_;
  std::unique_lock lock(mutex_);
  while (Find(page).next < seq && std::chrono::steady_clock::now() < deadline) {
    if (stop()) return false;
    turned_.wait_for(
        lock, std::min<std::chrono::steady_clock::duration>(
                  std::chrono::milliseconds(100), deadline - std::chrono::steady_clock::now()));
  }
  // Pushed under the lock: the next in turn must not overtake this one on its way to the queue.
  const auto done = [&] {
    Page& entry = Find(page);
    entry.next = std::max(entry.next, seq + 1);
    turned_.notify_all();
  };
  try {
    push();
  } catch (...) {
    done();
    throw;
  }
  done();
  return true;
}

}  // namespace ornr::workbench
