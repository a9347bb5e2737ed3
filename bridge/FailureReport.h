// The one report of a bridge operation that failed.
#pragma once

namespace ornr::bridge {

/// Call only inside a catch block: writes one line naming operation and the caught error to
/// standard error. Never throws.
void ReportFailure(const char* operation) noexcept;

}  // namespace ornr::bridge
