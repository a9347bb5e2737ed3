#include "host/OrnSettings.h"

#include <gtest/gtest.h>

#include "platform/HostControls.h"

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
