// SIGINT and SIGTERM as something the user-interface thread can wait for.
#pragma once

namespace ornr::workbench {

/// From Install on, SIGINT and SIGTERM make Fd() readable for good instead of ending the
/// process, so that the session can close in order.
class StopSignals {
 public:
  static void Install();
  /// Readable once a stop signal came; -1 before Install.
  static int Fd() noexcept;
  /// The signal that came, or 0.
  static int Caught() noexcept;
  /// Makes Fd() wait for the next stop signal; true when one had come.
  static bool Drain() noexcept;
  /// Makes Fd() readable again, as after a stop signal.
  static void Repost() noexcept;
};

}  // namespace ornr::workbench
