#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/UiCulture.h"

namespace {

TEST(UiCulture, CandidatesGoFromRegionToLanguageAndNeverLeaveTheFolder) {
  for (const auto& [name, expected] : std::vector<std::pair<const char*, std::vector<std::string>>>{
           {"de_DE.UTF-8", {"de-DE", "de"}},
           {"sr_RS@latin", {"sr-RS", "sr"}},
           {"zh-Hant-TW", {"zh-Hant-TW", "zh-Hant", "zh"}},
           {"C", {}},
           {"../etc", {}},
           {"de/DE", {}}}) {
    EXPECT_EQ(ornr::CultureCandidates(name), expected) << name;
  }
}

}  // namespace
