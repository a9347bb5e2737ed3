// The terminal side of a run: report lines on standard output, messages on standard error, and
// the progress of the run on standard error: one line that updates itself at a terminal, plain
// lines now and then anywhere else.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace ornr::audit {

class Console {
 public:
  enum class ProgressStyle { Bar, Lines, None };
  /// Bar when standard error is a terminal, else Lines.
  static ProgressStyle DefaultStyle();

  explicit Console(ProgressStyle style);
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  /// A line of the report on standard output, the progress bar kept below it.
  void Out(std::string_view line);
  /// A message on standard error.
  void Err(std::string_view line);
  /// The run's progress: done of total entries after elapsed seconds. Throttled: cheap to call
  /// after every file and between files.
  void Progress(std::size_t done, std::size_t total);
  /// Takes the bar away; the next output starts on a clean line.
  void EndProgress();
  /// Called with every progress told, unthrottled, on the thread that tells it: what a caller
  /// other than a terminal watches the run by.
  void OnProgress(std::function<void(std::size_t done, std::size_t total)> hook) {
    hook_ = std::move(hook);
  }
  /// Takes every line of Out (error false) and Err (error true) instead of standard output and
  /// error, on the thread that writes it: what a caller without a terminal reads the run by.
  void OnLine(std::function<void(bool error, std::string_view line)> sink) {
    sink_ = std::move(sink);
  }

  /// "812/2000 files  405 files/s  0:03 left" for done of total after seconds.
  static std::string ProgressText(std::size_t done, std::size_t total, double seconds);

 private:
  void DrawBar();
  void EraseBar();

  ProgressStyle style_;
  std::function<void(std::size_t, std::size_t)> hook_;
  std::function<void(bool, std::string_view)> sink_;
  bool barShown_ = false;
  std::size_t done_ = 0;
  std::size_t total_ = 0;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDrawn_;
  /// Lines: the tenth of the run last told, and when.
  std::size_t lastTenth_ = 0;
  std::chrono::steady_clock::time_point lastLine_;
};

}  // namespace ornr::audit
