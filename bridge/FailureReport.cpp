#include "bridge/FailureReport.h"

#include <cstdio>
#include <exception>

namespace ornr::bridge {

void ReportFailure(const char* operation) noexcept {
  try {
    throw;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "ornrender bridge: %s failed: %s\n", operation, error.what());
  } catch (...) {
    std::fprintf(stderr, "ornrender bridge: %s failed: unknown error\n", operation);
  }
}

}  // namespace ornr::bridge
