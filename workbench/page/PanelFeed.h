// Between the user-interface thread and the server's threads: the numbered steps of what changed,
// kept for a while so that a page that reconnects can catch up, and the questions the server's
// threads ask of the user-interface thread (a snapshot, one setup's values).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace ornr::workbench {

class PanelFeed {
 public:
  struct Step {
    std::uint64_t version = 0;
    std::shared_ptr<const std::string> json;
  };
  /// A question for the user-interface thread: what ("snapshot", "values") and its arguments.
  struct Query {
    std::string what;
    std::vector<std::string> args;
  };
  /// An answer, with the version of the last step published when it was given; no text: the
  /// thing asked for is not there.
  struct Answer {
    std::uint64_t version = 0;
    std::optional<std::string> text;
  };

  /// Keeps at least the last step, and no more than steps or bytes beyond it.
  explicit PanelFeed(std::size_t keptSteps = 512, std::size_t keptBytes = 8u << 20);

  /// Appends the next step and returns its version (one more than the last).
  std::uint64_t Publish(std::string json);
  /// The version of the last step published, 0 before the first.
  std::uint64_t Version() const;

  enum class Waited {
    Steps,    // steps holds every step after the one asked for that is there now
    Nothing,  // the time was up
    Gap,      // the step after the one asked for is no longer kept (or never was): start afresh
    Closed,   // the feed closed and every step was taken
  };
  /// The steps after version after, waiting up to timeout for the first, or until Wake.
  Waited WaitAfter(std::uint64_t after, std::vector<Step>& steps,
                   std::chrono::milliseconds timeout);
  /// Ends every WaitAfter now as if its time were up: a stream whose page hung up then finds out.
  void Wake();

  /// Queues a query; WaitAnswer then waits for it.
  std::uint64_t Ask(Query query);
  /// The answer to query id, or nothing when the time is up or the feed closed (the query is
  /// then forgotten).
  std::optional<Answer> WaitAnswer(std::uint64_t id, std::chrono::milliseconds timeout);
  /// On the user-interface thread: answers every waiting query.
  void AnswerAll(const std::function<std::optional<std::string>(const Query&)>& answer);

  /// Wakes every waiter for good.
  void Close();
  bool Closed() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t keptSteps_;
  std::size_t keptBytes_;
  std::deque<Step> steps_;
  std::size_t bytes_ = 0;
  std::uint64_t version_ = 0;
  std::uint64_t wakes_ = 0;
  std::uint64_t nextQuery_ = 1;
  std::map<std::uint64_t, Query> asked_;
  std::map<std::uint64_t, Answer> answered_;
  std::set<std::uint64_t> abandoned_;
  bool closed_ = false;
};

}  // namespace ornr::workbench
