#include "audit/StopSignals.h"

#include <csignal>

namespace ornr::audit {

namespace {

std::atomic<bool> stopAsked{false};
std::atomic<int> stopSignal{0};

extern "C" void OnStopSignal(int signal) {
  stopSignal.store(signal);
  stopAsked.store(true);
  // The reports are written after the files being read are done; a second signal does not wait.
  std::signal(signal, SIG_DFL);
}

}  // namespace

const std::atomic<bool>& CatchStopSignals() {
  static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  return stopAsked;
}

int StopSignal() {
  return stopSignal.load();
}

std::string StopSignalName() {
  const int signal = StopSignal();
  if (signal == SIGINT) return "Ctrl-C";
  if (signal == SIGTERM) return "SIGTERM";
  return signal == 0 ? "" : "signal " + std::to_string(signal);
}

}  // namespace ornr::audit
