// The latest picture of the panel, handed from the user-interface thread to the server's
// threads that stream it to every open page.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

namespace ornr::workbench {

class PanelFeed {
 public:
  /// Replaces the picture when it differs from the last one.
  void Publish(std::string picture);
  /// Waits until a picture newer than version seen is there (then copies it into picture,
  /// updates seen and returns true), the time is up, or the feed closes (both false).
  bool WaitNewer(std::uint64_t& seen, std::string& picture, std::chrono::milliseconds timeout);
  /// Wakes every waiter for good.
  void Close();
  bool Closed() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::string picture_;
  std::uint64_t version_ = 0;
  bool closed_ = false;
};

}  // namespace ornr::workbench
