#include "settings/OrnSettingsWrapper.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

namespace {

using Teskor::KreelPlatform::OrnSettingsWrapper;
using Teskor::ZelPlatform::OrnSettings;
using Teskor::ZelPlatform::PropertyType;

// The host record's own field list is the independent account of names, order and types.
template <typename Host>
using Raw = typename std::conditional_t<std::is_enum_v<Host>, std::underlying_type<Host>,
                                        std::type_identity<Host>>::type;
template <typename Host>
double ToNumber(Host value) {
  return static_cast<double>(static_cast<Raw<Host>>(value));
}
template <typename Host>
Host FromNumber(double value) {
  return static_cast<Host>(static_cast<Raw<Host>>(value));
}

template <typename Host>
constexpr PropertyType TypeOfHostValue() {
  if constexpr (std::is_same_v<Raw<Host>, bool>) return PropertyType::Bool;
  if constexpr (std::is_same_v<Raw<Host>, double>) return PropertyType::Double;
  if constexpr (std::is_same_v<Raw<Host>, std::uint32_t>) return PropertyType::UInt32;
  if constexpr (std::is_same_v<Raw<Host>, std::int32_t>) return PropertyType::Int32;
  return PropertyType::UInt64;
}

struct HostField {
  std::string key;
  PropertyType type;
  double (*get)(const OrnSettings&);
  void (*set)(OrnSettings&, double);
};

const std::vector<HostField> kHostFields = {
#define ORN_FIELD(type, getter, setter, key, init)                                           \
  {#key, TypeOfHostValue<type>(), [](const OrnSettings& s) { return ToNumber(s.getter()); }, \
   [](OrnSettings& s, double v) { s.setter(FromNumber<type>(v)); }},
#include "host/OrnSettingsFields.def"
#undef ORN_FIELD
};

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

void Write(OrnSettingsWrapper& w, const std::string& name, PropertyType type, double v) {
  if (type == PropertyType::Bool) w.SetBoolValue(name, v != 0);
  if (type == PropertyType::Double) w.SetDoubleValue(name, v);
  if (type == PropertyType::UInt32) w.SetUInt32Value(name, type, std::uint32_t(v));
  if (type == PropertyType::UInt64) w.SetUInt64Value(name, std::uint64_t(v));
}

// A value unlike the default, that "Outputs" keeps through its mask.
double Distinct(const HostField& field, std::size_t index) {
  if (field.type == PropertyType::Bool) return field.get(OrnSettings()) == 0 ? 1 : 0;
  if (field.type == PropertyType::UInt64) return 0x1F;
  return field.get(OrnSettings()) + 100 + index + (field.type == PropertyType::Double ? 0.25 : 0);
}

std::vector<double> HostValues(const OrnSettings& s) {
  std::vector<double> values;
  for (const HostField& field : kHostFields) values.push_back(field.get(s));
  return values;
}

TEST(OrnSettingsWrapper, RegistersOnePropertyPerHostFieldInRecordOrder) {
  OrnSettings record;
  OrnSettingsWrapper wrapper(record);
  std::vector<std::pair<std::string, PropertyType>> visits, expected;
  wrapper.ForEachProperty(
      [](const std::string& name, PropertyType type, void* out) {
        static_cast<decltype(visits)*>(out)->emplace_back(name, type);
      },
      &visits);
  for (const HostField& field : kHostFields) expected.emplace_back(field.key, field.type);
  EXPECT_EQ(visits, expected);
  ASSERT_EQ(visits.size(), 68u);
  EXPECT_EQ(visits.front(), std::make_pair(std::string("DoShadows"), PropertyType::Bool));
  EXPECT_EQ(visits[1].first, "Stereo");
  EXPECT_EQ(visits.back(),
            std::make_pair(std::string("ToleranceOverrideMeters"), PropertyType::Double));
}

// Reaching the wrong field, or a field through the wrong accessor, shows up here.
TEST(OrnSettingsWrapper, EachPropertyReadsAndWritesOnlyItsOwnHostField) {
  const std::vector<double> defaults = HostValues(OrnSettings());
  for (std::size_t index = 0; index < kHostFields.size(); ++index) {
    const HostField& field = kHostFields[index];
    const double value = Distinct(field, index);
    OrnSettings record;
    field.set(record, value);
    OrnSettingsWrapper reader(record);
    for (std::size_t other = 0; other < kHostFields.size(); ++other) {
      EXPECT_EQ(Read(reader, kHostFields[other].key, kHostFields[other].type),
                other == index ? value : defaults[other])
          << "reading " << kHostFields[other].key << " after changing " << field.key;
    }
    if (field.type == PropertyType::Int32) continue;  // read-only through the registry
    OrnSettings written;
    OrnSettingsWrapper writer(written);
    Write(writer, field.key, field.type, value);
    std::vector<double> expected = defaults;
    expected[index] = value;
    EXPECT_EQ(HostValues(written), expected) << "writing " << field.key;
  }
}

TEST(OrnSettingsWrapper, OutputsKeepsBitsTwoToTwelveAndSetsBitsZeroAndOne) {
  struct Case {
    std::uint64_t in, out;
  };
  for (const Case c : {Case{0, 3}, Case{~0ull, 0x1FFF}, Case{0x2000, 3}, Case{0x1FFF, 0x1FFF},
                       Case{0x5554, 0x1557}}) {
    OrnSettings record;
    OrnSettingsWrapper wrapper(record);
    wrapper.SetUInt64Value("Outputs", c.in);
    EXPECT_EQ(record.GetRenderOutputChannels(), c.out) << std::hex << "set " << c.in;
    record.SetRenderOutputChannels(c.in);
    std::uint64_t read = 0;
    EXPECT_EQ(wrapper.GetUInt64Value("Outputs", read), c.out) << std::hex << "host " << c.in;
  }
}

// Written through one wrapper, read through another: nothing is kept in a wrapper.
TEST(OrnSettingsWrapper, EnumerationsPassAnyIntegerUnchanged) {
  OrnSettings record;
  OrnSettingsWrapper wrapper(record);
  for (const char* name : {"BlurMethod", "CameraProjection", "AntiAliasStrategy", "LightingModel",
                           "JitterMode", "JitterBucketSize"}) {
    for (const std::uint32_t value : {0xFFFFFFFFu, 77u, 0x80000000u}) {
      wrapper.SetUInt32Value(name, PropertyType::UInt32, value);
      std::uint32_t read = 0;
      EXPECT_EQ(OrnSettingsWrapper(record).GetUInt32Value(name, PropertyType::UInt32, read), value)
          << name;
    }
  }
  EXPECT_EQ(ToNumber(record.GetJitterBucketSize()), 0x80000000u);
  for (const std::int32_t value : {-1, INT32_MIN, 99}) {
    record.SetGlobalShadowQuality(OrnSettings::GlobalShadowQuality(value));
    std::int32_t read = 0;
    EXPECT_EQ(wrapper.GetInt32Value("ShadowQuality", read), value);
  }
}

TEST(OrnSettingsWrapper, LastReleaseDestroysTheWrapperButNotTheRecord) {
  OrnSettings record;
  auto* wrapper = new OrnSettingsWrapper(record);
  EXPECT_EQ(wrapper->AddRef(), 1u);
  EXPECT_EQ(wrapper->AddRef(), 2u);
  EXPECT_EQ(wrapper->Release(), 1u);
  EXPECT_EQ(wrapper->Release(), 0u);  // the sanitizer build reports a leak if it was not freed
  EXPECT_TRUE(record.DoShadows());
}

}  // namespace
