#include "host/OrnSettings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <set>

#include "platform/HostControls.h"

using Teskor::ZelPlatform::OrnSettings;

TEST(OrnSettings, KeysAreTheRecordsSixtyEightDistinctNames) {
  const auto& keys = ornhost::SettingKeys();
  ASSERT_EQ(keys.size(), 68u);
  EXPECT_EQ(keys.front(), "DoShadows");
  EXPECT_EQ(keys[16], "Outputs");
  EXPECT_EQ(keys.back(), "ToleranceOverrideMeters");
  EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()).size(), keys.size());
}

// Each key must reach its own field, and Equals must look at every field.
TEST(OrnSettings, EqualsSeesAChangeInEveryField) {
  const OrnSettings defaults;
  for (const auto& key : ornhost::SettingKeys()) {
    bool changed = false;
    for (const char* text : {"true", "false", "7", "0.25"}) {
      OrnSettings settings;
      if (!ornhost::SetSettingFromText(settings, key, text)) continue;
      if (settings.Equals(defaults) || defaults.Equals(settings)) continue;
      changed = true;
      OrnSettings copy;
      copy.Clone(settings);
      EXPECT_TRUE(copy.Equals(settings)) << key;
    }
    EXPECT_TRUE(changed) << key;
  }
}

TEST(OrnSettings, SetSettingFromTextTakesTheViewModelsForms) {
  struct Case {
    const char* key;
    const char* text;
    bool accepted;
    std::function<bool(const OrnSettings&)> holds;
  };
  const Case cases[] = {
      {"BlurPasses", "-1", true, [](auto& s) { return s.GetBlurPasses() == 0xFFFFFFFFu; }},
      {"BlurPasses", "-2147483648", true, [](auto& s) { return s.GetBlurPasses() == 0x80000000u; }},
      {"BlurPasses", "4294967296", false, nullptr},
      {"BlurPasses", "-2147483649", false, nullptr},
      {"BlurPasses", " 5", false, nullptr},
      {"Outputs", "-1", true, [](auto& s) { return s.GetRenderOutputChannels() == UINT64_MAX; }},
      {"Outputs", "18446744073709551615", true,
       [](auto& s) { return s.GetRenderOutputChannels() == UINT64_MAX; }},
      {"Outputs", "18446744073709551616", false, nullptr},
      {"ShadowQuality", "-1", true,
       [](auto& s) { return static_cast<int>(s.GetGlobalShadowQuality()) == -1; }},
      {"BlurMethod", "-1", true,
       [](auto& s) { return static_cast<std::uint32_t>(s.GetBlurMethod()) == 0xFFFFFFFFu; }},
      {"DoShadows", "false", true, [](auto& s) { return !s.DoShadows(); }},
      {"DoShadows", "True", false, nullptr},
      {"QualityThreshold", "0.250000", true,
       [](auto& s) { return s.GetQualityThreshold() == 0.25; }},
      {"QualityThreshold", "+2", true, [](auto& s) { return s.GetQualityThreshold() == 2.0; }},
      {"QualityThreshold", "-1e300", true,
       [](auto& s) { return s.GetQualityThreshold() == -1e300; }},
      {"QualityThreshold", "+-1", false, nullptr},
      {"QualityThreshold", "0.5 ", false, nullptr},
      {"doshadows", "true", false, nullptr},
  };
  for (const auto& c : cases) {
    OrnSettings settings;
    EXPECT_EQ(ornhost::SetSettingFromText(settings, c.key, c.text), c.accepted)
        << c.key << "=" << c.text;
    if (c.accepted) {
      EXPECT_TRUE(c.holds(settings)) << c.key << "=" << c.text;
    } else {
      EXPECT_TRUE(settings.Equals(OrnSettings())) << "refused text changed " << c.key;
    }
  }
}
