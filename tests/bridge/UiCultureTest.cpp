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
           // Culture names are the same in any case; the tables' names are written one way.
           {"DE", {"de"}},
           {"de_at.UTF-8", {"de-AT", "de"}},
           {"ZH-hANT-tw", {"zh-Hant-TW", "zh-Hant", "zh"}},
           {"es-419", {"es-419", "es"}},
           {"C", {}},
           {"../etc", {}},
           {"de/DE", {}}}) {
    EXPECT_EQ(ornr::CultureCandidates(name), expected) << name;
  }
}

}  // namespace
