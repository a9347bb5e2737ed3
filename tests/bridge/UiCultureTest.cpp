#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bridge/UiCulture.h"

namespace {

TEST(UiCulture, CandidatesGoFromRegionToLanguage) {
  struct Case {
    const char* name;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"de_DE.UTF-8", {"de-DE", "de"}},
      {"sr_RS@latin", {"sr-RS", "sr"}},
      {"zh-Hant-TW", {"zh-Hant-TW", "zh-Hant", "zh"}},
      {"fr", {"fr"}},
      {"C", {}},
      {"../etc", {}},
      {"de/DE", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ornr::bridge::CultureCandidates(c.name), c.expected) << c.name;
  }
}

}  // namespace
