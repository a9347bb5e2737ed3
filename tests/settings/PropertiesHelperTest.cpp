#include "settings/PropertiesHelper.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/settings/SampleProperties.h"

namespace {

using ornr::test::SampleProperties;
using Teskor::ZelPlatform::kUnregisteredProperty;
using Teskor::ZelPlatform::PropertyNameSet;
using Teskor::ZelPlatform::PropertyType;
using Visit = std::pair<std::string, PropertyType>;

std::vector<Visit> Visits(const SampleProperties& sample, const PropertyNameSet* excluded) {
  std::vector<Visit> visits;
  sample.ForEachProperty(
      [](const std::string& name, PropertyType type, void* out) {
        static_cast<std::vector<Visit>*>(out)->emplace_back(name, type);
      },
      &visits, excluded);
  return visits;
}

const std::vector<Visit> kAll = {
#define ORNR_VISIT(type, name, kind, init) {#name, PropertyType::kind},
    ORNR_SAMPLE_PROPERTIES(ORNR_VISIT)
#undef ORNR_VISIT
};

TEST(PropertiesHelper, VisitsInRegistrationOrderSkippingExcludedNames) {
  const SampleProperties sample;
  EXPECT_EQ(Visits(sample, nullptr), kAll);
  const PropertyNameSet excluded = {"Count", "Mask", "NotRegistered"};
  std::vector<Visit> expected = kAll;
  std::erase_if(expected, [&](const Visit& v) { return excluded.contains(v.first); });
  EXPECT_EQ(Visits(sample, &excluded), expected);
  for (const auto& [name, type] : kAll) EXPECT_EQ(sample.GetPropertyType(name), type) << name;
  for (const char* name : {"ratio", "RATIO", "Ratio ", "Rati", "", (const char*)nullptr})
    EXPECT_EQ(sample.GetPropertyType(name), kUnregisteredProperty) << (name ? name : "null");
}

TEST(PropertiesHelper, ReadsStoreInOutputAndReturnAndWritesReachTheTarget) {
  SampleProperties sample;
  float f = 0;
  std::uint32_t u = 0, c = 0;
  std::int32_t i = 0;
  std::uint64_t m = 0;
  EXPECT_EQ(std::make_tuple(sample.GetFloatValue("Ratio", f),
                            sample.GetUInt32Value("Count", PropertyType::UInt32, u),
                            sample.GetUInt32Value("Tint", PropertyType::Color, c),
                            sample.GetInt32Value(std::string("Offset"), i),
                            sample.GetUInt64Value("Mask", m)),
            std::make_tuple(0.25f, 7u, 0xFF8000u, -4, 9ull));
  EXPECT_EQ(std::make_tuple(f, u, c, i, m), std::make_tuple(0.25f, 7u, 0xFF8000u, -4, 9ull));
  EXPECT_EQ(std::u16string(sample.GetStringValue("Label")), u"label");

  sample.SetUInt32Value("Count", PropertyType::UInt32, 11);
  sample.SetUInt32Value("Tint", PropertyType::Color, 0x123456);
  sample.SetStringValue("Label", u"new");
  sample.SetUInt64Value("Mask", 1ull << 40);
  EXPECT_EQ(std::make_tuple(sample.Count, sample.Tint, std::u16string(sample.Label), sample.Mask),
            std::make_tuple(11u, 0x123456u, std::u16string(u"new"), 1ull << 40));
}

// Each name is missing from the map the operation uses: nothing is called or changed, and a
// read returns its output's sentinel 42 untouched.
TEST(PropertiesHelper, NameOutsideTheMapOfItsTypeChangesNothing) {
  using S = SampleProperties;
  // clang-format off
  const std::vector<std::pair<const char*, std::function<void(S&)>>> cases = {
      {"float read of a double", [](S& s) { float v = 42; EXPECT_EQ(s.GetFloatValue("Scale", v) + v, 84); }},
      {"bool read, wrong case", [](S& s) { bool v = false; EXPECT_FALSE(s.GetBoolValue("visible", v) || v); }},
      {"uint32 read of a color", [](S& s) { std::uint32_t v = 42; EXPECT_EQ(s.GetUInt32Value("Tint", PropertyType::UInt32, v) + v, 84u); }},
      {"color read of a uint32", [](S& s) { std::uint32_t v = 42; EXPECT_EQ(s.GetUInt32Value("Count", PropertyType::Color, v) + v, 84u); }},
      {"uint64 read, null name", [](S& s) { std::uint64_t v = 42; EXPECT_EQ(s.GetUInt64Value(nullptr, v) + v, 84u); }},
      {"string read of a uint32", [](S& s) { EXPECT_EQ(s.GetStringValue("Count"), nullptr); }},
      {"double write of a float", [](S& s) { s.SetDoubleValue("Ratio", 9); }},
      {"color write of a uint32", [](S& s) { s.SetUInt32Value("Count", PropertyType::Color, 9); }},
      {"uint32 write of a color", [](S& s) { s.SetUInt32Value("Tint", PropertyType::UInt32, 9); }},
      {"uint32 write of an int32", [](S& s) { s.SetUInt32Value("Offset", PropertyType::UInt32, 9); }},
      {"string write, unknown", [](S& s) { s.SetStringValue("Nope", u"x"); }},
  };
  // clang-format on
  for (const auto& [what, operation] : cases) {
    S sample;
    operation(sample);
    EXPECT_EQ(sample.calls, 0) << what;
    const S untouched;
    EXPECT_EQ(std::tie(sample.Ratio, sample.Count, sample.Tint, sample.Label, sample.Offset),
              std::tie(untouched.Ratio, untouched.Count, untouched.Tint, untouched.Label,
                       untouched.Offset))
        << what;
  }
}

TEST(PropertiesHelper, RefusesRegistrationsThatWouldBreakItsMaps) {
  using S = SampleProperties;
  S s;
  // clang-format off
  EXPECT_THROW(s.RegisterProperty("Ratio", PropertyType::Float, &s, &S::SetRatio, &S::GetRatio), std::invalid_argument);
  EXPECT_THROW(s.RegisterProperty("", PropertyType::Float, &s, &S::SetRatio, &S::GetRatio), std::invalid_argument);
  EXPECT_THROW(s.RegisterProperty("X", PropertyType::Double, &s, &S::SetVisible, &S::GetVisible), std::invalid_argument);
  EXPECT_THROW(s.RegisterProperty("X", PropertyType::Int32, &s, &S::SetCount, &S::GetCount), std::invalid_argument);
  // clang-format on
  EXPECT_EQ(Visits(s, nullptr), kAll);
}

}  // namespace
