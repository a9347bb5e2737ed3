#include "settings/OrnSettingsWrapper.h"

#include <gtest/gtest.h>

#include <memory>

#include "host/controls/HostControls.h"

namespace {

using Teskor::KreelPlatform::OrnSettingsWrapper;
using Teskor::ZelPlatform::OrnSettings;
using Teskor::ZelPlatform::PropertyType;
using Property = std::pair<std::string, PropertyType>;

void Write(OrnSettingsWrapper& w, const std::string& name, PropertyType type, std::uint32_t v) {
  if (type == PropertyType::Bool) w.SetBoolValue(name, v != 0);
  if (type == PropertyType::Double) w.SetDoubleValue(name, v);
  if (type == PropertyType::UInt32) w.SetUInt32Value(name, type, v);
  if (type == PropertyType::UInt64) w.SetUInt64Value(name, v);
}

double Read(const OrnSettingsWrapper& w, const std::string& name, PropertyType type) {
  bool b = false;
  double d = 0;
  std::uint32_t u = 0;
  std::int32_t i = 0;
  std::uint64_t m = 0;
  if (type == PropertyType::Bool) return w.GetBoolValue(name, b);
  if (type == PropertyType::Double) return w.GetDoubleValue(name, d);
  if (type == PropertyType::UInt32) return w.GetUInt32Value(name, type, u);
  if (type == PropertyType::Int32) return w.GetInt32Value(name, i);
  return static_cast<double>(w.GetUInt64Value(name, m));
}

// The host's own key table, in record order, is the independent account of each property's field.
// Two values each: a read of the wrong field cannot give both, a write to it breaks Equals.
TEST(OrnSettingsWrapper, EachPropertyReadsAndWritesTheHostFieldOfItsName) {
  OrnSettings defaults;
  std::vector<Property> properties;
  OrnSettingsWrapper(defaults).ForEachProperty(
      [](const std::string& name, PropertyType type, void* out) {
        static_cast<std::vector<Property>*>(out)->emplace_back(name, type);
      },
      &properties);
  ASSERT_EQ(properties.size(), 68u);
  ASSERT_EQ(ornhost::SettingKeys().size(), 68u);
  for (std::size_t index = 0; index < properties.size(); ++index) {
    const auto& [name, type] = properties[index];
    EXPECT_EQ(name, ornhost::SettingKeys()[index]);
    // Enumerations pass any integer unchanged; the Outputs mask is checked on its own below.
    for (const std::uint32_t value : {0u, 0x80000007u}) {
      double held = value;
      if (type == PropertyType::Bool) held = value != 0;
      if (type == PropertyType::Int32) held = static_cast<std::int32_t>(value);
      if (name == "Outputs") held = (value & 0x1FFC) | 3;
      const std::string text = type == PropertyType::Bool ? (value ? "true" : "false")
                                                          : std::to_string(std::int64_t(held));
      OrnSettings expected, written;
      ASSERT_TRUE(ornhost::SetSettingFromText(expected, name, text)) << name;
      OrnSettingsWrapper writer(written);
      Write(writer, name, type, value);
      // ShadowQuality is read-only through the registry.
      EXPECT_TRUE(type == PropertyType::Int32 || written.Equals(expected)) << name << "=" << text;
      EXPECT_EQ(Read(OrnSettingsWrapper(expected), name, type), held) << name << "=" << text;
    }
  }
}

TEST(OrnSettingsWrapper, OutputsKeepsBitsTwoToTwelveAndSetsBitsZeroAndOne) {
  for (const auto& [in, out] : std::vector<std::pair<std::uint64_t, std::uint64_t>>{
           {0, 3}, {~0ull, 0x1FFF}, {0x2000, 3}, {0x5554, 0x1557}}) {
    OrnSettings record;
    OrnSettingsWrapper wrapper(record);
    wrapper.SetUInt64Value("Outputs", in);
    EXPECT_EQ(record.GetRenderOutputChannels(), out) << std::hex << "set " << in;
    record.SetRenderOutputChannels(in);
    EXPECT_EQ(Read(wrapper, "Outputs", PropertyType::UInt64), out) << std::hex << "host " << in;
  }
}

}  // namespace

namespace {

// Wrappers share one registry: each must still read and write its own record, also after the
// wrapper that built the registry is gone.
TEST(OrnSettingsWrapper, WrappersSharingTheRegistryEachReachTheirOwnRecord) {
  OrnSettings records[3];
  auto first = std::make_unique<OrnSettingsWrapper>(records[0]);
  first->SetUInt32Value("BlurPasses", PropertyType::UInt32, 10);
  first.reset();
  OrnSettingsWrapper second(records[1]), third(records[2]);
  second.SetUInt32Value("BlurPasses", PropertyType::UInt32, 20);
  third.SetUInt32Value("BlurPasses", PropertyType::UInt32, 30);
  EXPECT_EQ(records[0].GetBlurPasses(), 10u);
  EXPECT_EQ(records[1].GetBlurPasses(), 20u);
  EXPECT_EQ(records[2].GetBlurPasses(), 30u);
  EXPECT_EQ(Read(second, "BlurPasses", PropertyType::UInt32), 20);
  EXPECT_EQ(Read(OrnSettingsWrapper(records[0]), "BlurPasses", PropertyType::UInt32), 10);
}

}  // namespace
