// Where the module meets its callers: nothing thrown inside may pass.
#pragma once

#include <exception>
#include <type_traits>

namespace ornr {

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
