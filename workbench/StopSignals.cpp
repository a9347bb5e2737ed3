#include "workbench/StopSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>

namespace ornr::workbench {

namespace {

int pipeFds[2] = {-1, -1};
volatile std::sig_atomic_t caught = 0;

extern "C" void OnStopSignal(int signal) {
  caught = signal;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(pipeFds[1], &byte, 1);
}

}  // namespace

void StopSignals::Install() {
  if (pipeFds[0] >= 0) return;
  if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::runtime_error("cannot make a pipe for stop signals");
  }
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int StopSignals::Fd() noexcept {
  return pipeFds[0];
}

int StopSignals::Caught() noexcept {
  return caught;
}

}  // namespace ornr::workbench

namespace ornr::workbench {

bool StopSignals::Drain() noexcept {
  if (pipeFds[0] < 0) return false;
  bool any = false;
  char bytes[64];
  for (ssize_t n; (n = read(pipeFds[0], bytes, sizeof bytes)) > 0;) any = true;
  return any;
}

void StopSignals::Repost() noexcept {
  if (pipeFds[1] < 0) return;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(pipeFds[1], &byte, 1);
}

}  // namespace ornr::workbench
