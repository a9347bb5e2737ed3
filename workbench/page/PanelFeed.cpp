#include "workbench/page/PanelFeed.h"

#include <utility>

namespace ornr::workbench {

PanelFeed::PanelFeed(std::size_t keptSteps, std::size_t keptBytes)
    : keptSteps_(keptSteps == 0 ? 1 : keptSteps), keptBytes_(keptBytes) {}

std::uint64_t PanelFeed::Publish(std::string json) {
  auto text = std::make_shared<const std::string>(std::move(json));
  std::uint64_t version = 0;
  {
    const std::lock_guard lock(mutex_);
    version = ++version_;
    bytes_ += text->size();
    steps_.push_back({version, std::move(text)});
    while (steps_.size() > 1 && (steps_.size() > keptSteps_ || bytes_ > keptBytes_)) {
      bytes_ -= steps_.front().json->size();
      steps_.pop_front();
    }
  }
  changed_.notify_all();
  return version;
}

std::uint64_t PanelFeed::Version() const {
  const std::lock_guard lock(mutex_);
  return version_;
}

PanelFeed::Waited PanelFeed::WaitAfter(std::uint64_t after, std::vector<Step>& steps,
                                       std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  const std::uint64_t wakes = wakes_;
  changed_.wait_for(lock, timeout, [&] { return closed_ || version_ != after || wakes_ != wakes; });
  if (after > version_) return Waited::Gap;
  if (after == version_) return closed_ ? Waited::Closed : Waited::Nothing;
  if (steps_.empty() || steps_.front().version > after + 1) return Waited::Gap;
  for (const Step& step : steps_) {
    if (step.version > after) steps.push_back(step);
  }
  return Waited::Steps;
}

void PanelFeed::Wake() {
  {
    const std::lock_guard lock(mutex_);
    ++wakes_;
  }
  changed_.notify_all();
}

std::uint64_t PanelFeed::Ask(Query query) {
  const std::lock_guard lock(mutex_);
  const std::uint64_t id = nextQuery_++;
  asked_.emplace(id, std::move(query));
  return id;
}

std::optional<PanelFeed::Answer> PanelFeed::WaitAnswer(std::uint64_t id,
                                                       std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, timeout, [&] { return closed_ || answered_.contains(id); });
  const auto found = answered_.find(id);
  if (found == answered_.end()) {
    // Taken by the user-interface thread already: its answer is dropped when it comes.
    if (asked_.erase(id) == 0) abandoned_.insert(id);
    return std::nullopt;
  }
  Answer answer = std::move(found->second);
  answered_.erase(found);
  return answer;
}

void PanelFeed::AnswerAll(const std::function<std::optional<std::string>(const Query&)>& answer) {
  std::map<std::uint64_t, Query> asked;
  {
    const std::lock_guard lock(mutex_);
    asked = std::exchange(asked_, {});
  }
  if (asked.empty()) return;
  // Answered outside the lock: a snapshot of many setups takes a while to write. An answer may
  // publish what was pending first; its version is the one after that.
  std::map<std::uint64_t, Answer> answers;
  for (const auto& [id, query] : asked) {
    std::optional<std::string> text = answer(query);
    answers.emplace(id, Answer{Version(), std::move(text)});
  }
  {
    const std::lock_guard lock(mutex_);
    for (auto& [id, given] : answers) {
      if (abandoned_.erase(id) == 0) answered_.emplace(id, std::move(given));
    }
  }
  changed_.notify_all();
}

void PanelFeed::Close() {
  {
    const std::lock_guard lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}

bool PanelFeed::Closed() const {
  const std::lock_guard lock(mutex_);
  return closed_;
}

}  // namespace ornr::workbench
