#include "settings/PropertiesHelper.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>
#include <vector>

#include "tests/settings/SampleProperties.h"

namespace {

using ornr::test::SampleProperties;
using S = SampleProperties;
using Teskor::ZelPlatform::PropertyType;

TEST(PropertiesHelper, VisitsInRegistrationOrderSkippingExcludedNames) {
  std::vector<std::string> names;
  const Teskor::ZelPlatform::PropertyNameSet excluded = {"Ratio", "Mask", "Nope"};
  S().ForEachProperty(
      [](const std::string& name, PropertyType, void* out) {
        static_cast<std::vector<std::string>*>(out)->push_back(name);
      },
      &names, &excluded);
  EXPECT_EQ(names,
            (std::vector<std::string>{"Scale", "Visible", "Count", "Label", "Tint", "Offset"}));
}

// A name outside the map of the operation's type changes nothing, and a read returns its output's
// sentinel 42 untouched. Color and UInt32 share a C++ type, so they are the likeliest to mix.
TEST(PropertiesHelper, OperationsReachOnlyTheMapOfTheirType) {
  // clang-format off
  const std::vector<std::tuple<const char*, std::function<void(S&)>, bool>> cases = {
      {"double", [](S& s) { s.SetDoubleValue("Scale", 9); }, true},
      {"double write of a float", [](S& s) { s.SetDoubleValue("Ratio", 9); }, false},
      {"uint32", [](S& s) { s.SetUInt32Value("Count", PropertyType::UInt32, 9); }, true},
      {"color write of a uint32", [](S& s) { s.SetUInt32Value("Count", PropertyType::Color, 9); }, false},
      {"uint32 write of a color", [](S& s) { s.SetUInt32Value("Tint", PropertyType::UInt32, 9); }, false},
      {"string", [](S& s) { s.SetStringValue("Label", u"x"); }, true},
      {"float read of a double", [](S& s) { float v = 42; EXPECT_EQ(s.GetFloatValue("Scale", v) + v, 84); }, false},
      {"color read of a uint32", [](S& s) { std::uint32_t v = 42; EXPECT_EQ(s.GetUInt32Value("Count", PropertyType::Color, v) + v, 84u); }, false},
      {"string read of a uint32", [](S& s) { EXPECT_EQ(s.GetStringValue("Count"), nullptr); }, false},
  };
  // clang-format on
  const auto fields = [](const S& s) {
    return std::tie(s.Ratio, s.Scale, s.Visible, s.Count, s.Label, s.Tint, s.Offset, s.Mask);
  };
  for (const char* name : {"ratio", "Ratio ", "", static_cast<const char*>(nullptr)})
    EXPECT_EQ(S().GetPropertyType(name), Teskor::ZelPlatform::kUnregisteredProperty);
  for (const auto& [what, operation, changes] : cases) {
    S sample;
    operation(sample);
    EXPECT_EQ(fields(sample) != fields(S()), changes) << what;
  }
}

// Names are found through a hash of their length and their first and last eight bytes: names
// alike in all three must still each reach their own accessor, and a name like them that was
// never registered none.
TEST(PropertiesHelper, NamesAlikeAtBothEndsEachReachTheirOwnProperty) {
  S owner;
  std::vector<S> targets(300);
  std::vector<std::string> names;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    names.push_back("HeadHead" + std::to_string(1000 + i) + "TailTail");
    targets[i].Count = static_cast<std::uint32_t>(i);
    owner.RegisterProperty(names.back(), PropertyType::UInt32, &targets[i], &S::SetCount,
                           &S::GetCount);
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::uint32_t value = 0;
    EXPECT_EQ(owner.GetUInt32Value(names[i], PropertyType::UInt32, value), i) << names[i];
  }
  EXPECT_EQ(owner.GetPropertyType("HeadHead9999TailTail"),
            Teskor::ZelPlatform::kUnregisteredProperty);
  EXPECT_EQ(owner.GetPropertyType("Scale"), PropertyType::Double);
}

}  // namespace
