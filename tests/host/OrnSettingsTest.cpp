#include "host/OrnSettings.h"

#include <gtest/gtest.h>

#include "host/controls/HostControls.h"
#include "host/store/SettingsText.h"

using Teskor::ZelPlatform::OrnSettings;

// Every key must change the record and Equals must see every field: other tests lean on both.
TEST(OrnSettings, EqualsSeesAChangeInEveryField) {
  ASSERT_EQ(ornhost::SettingKeys().size(), 68u);
  for (const auto& key : ornhost::SettingKeys()) {
    bool changed = false;
    for (const char* text : {"true", "false", "7", "0.25"}) {
      OrnSettings settings;
      if (!ornhost::SetSettingFromText(settings, key, text) || settings.Equals(OrnSettings()))
        continue;
      changed = true;
      OrnSettings copy;
      copy.Clone(settings);
      EXPECT_TRUE(copy.Equals(settings) && !OrnSettings().Equals(settings)) << key;
    }
    EXPECT_TRUE(changed) << key;
  }
}

// NaN would make a setup unequal to itself, so a stored record holding one is damaged; a large
// finite number from elsewhere is still a value.
TEST(OrnSettings, StoredRecordsWithNumbersThatAreNotFiniteAreDamaged) {
  const std::string record = ornhost::detail::FormatSettingsRecord(OrnSettings());
  const std::size_t at = record.find("AlbedoScale=") + 12;
  const std::string before = record.substr(0, at), after = record.substr(record.find('\n', at));
  for (const auto& [text, readable] : std::vector<std::pair<std::string, bool>>{{"nan", false},
                                                                                {"-nan", false},
                                                                                {"inf", false},
                                                                                {"-inf", false},
                                                                                {"1e309", false},
                                                                                {"1e30", true},
                                                                                {"0.5", true}}) {
    EXPECT_EQ(ornhost::detail::ParseSettingsRecord(before + text + after).has_value(), readable)
        << text;
  }
  OrnSettings settings;
  EXPECT_FALSE(ornhost::SetSettingFromText(settings, "AlbedoScale", "1e21"));
  EXPECT_TRUE(ornhost::SetSettingFromText(settings, "AlbedoScale", "-9.9e20"));
}
