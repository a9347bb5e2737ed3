// The guard every caller of the module meets: nothing thrown passes, and each failure is one line
// on standard error, with its status code where the error carries one.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include "support/Boundary.h"

namespace ornr {
namespace {

TEST(Boundary, NothingPassesAndEachFailureIsOneLineWithItsStatus) {
  struct Case {
    std::function<int()> body;
    std::string line;
  };
  const Case cases[] = {
      {[] { return 7; }, ""},
      {[]() -> int { throw StatusError(0x80004005, "no such element"); },
       "ornrender: op failed (status 0x80004005): no such element\n"},
      {[]() -> int { throw std::bad_alloc(); },
       "ornrender: op failed (status 0x8007000E): out of memory\n"},
      {[]() -> int { throw std::runtime_error("broke"); }, "ornrender: op failed: broke\n"},
      {[]() -> int { throw 3; }, "ornrender: op failed: unknown error\n"},
  };
  for (const Case& c : cases) {
    testing::internal::CaptureStderr();
    const int result = Guarded("op", -1, c.body);
    int ran = 0;
    Guarded("op", [&] {
      ++ran;
      c.body();
    });
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line + c.line);
    EXPECT_EQ(result, c.line.empty() ? 7 : -1) << c.line;
    EXPECT_EQ(ran, 1);
  }
}

}  // namespace
}  // namespace ornr
