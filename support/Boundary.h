// Where the module meets its callers, the host and the panel: nothing thrown inside may pass.
#pragma once

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>

namespace ornr {

/// An error that carries the status code its caller would be given.
class StatusError : public std::runtime_error {
 public:
  StatusError(std::uint32_t status, const std::string& message)
      : std::runtime_error(message), status_(status) {}
  std::uint32_t Status() const noexcept { return status_; }

 private:
  std::uint32_t status_;
};

/// Tells standard error once that operation failed, with the status code where there is one.
void ReportFailure(const char* operation, std::exception_ptr error) noexcept;

/// Runs body; when it throws, reports the failure and returns notDone instead.
template <typename Result, typename Body>
Result Guarded(const char* operation, Result notDone, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    ReportFailure(operation, std::current_exception());
  }
  return notDone;
}

template <typename Body>
void Guarded(const char* operation, Body&& body) noexcept {
  try {
    body();
  } catch (...) {
    ReportFailure(operation, std::current_exception());
  }
}

}  // namespace ornr
