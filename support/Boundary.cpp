#include "support/Boundary.h"

#include <cstdio>
#include <new>

namespace ornr {

void ReportFailure(const char* operation, std::exception_ptr error) noexcept {
  try {
    std::rethrow_exception(error);
  } catch (const StatusError& e) {
    std::fprintf(stderr, "ornrender: %s failed (status 0x%08X): %s\n", operation,
                 static_cast<unsigned>(e.Status()), e.what());
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "ornrender: %s failed (status 0x8007000E): out of memory\n", operation);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ornrender: %s failed: %s\n", operation, e.what());
  } catch (...) {
    std::fprintf(stderr, "ornrender: %s failed: unknown error\n", operation);
  }
}

}  // namespace ornr
