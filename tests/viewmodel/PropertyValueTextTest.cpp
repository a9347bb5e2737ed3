#include "viewmodel/PropertyValueText.h"

#include <gtest/gtest.h>

#include "tests/settings/SampleProperties.h"

namespace {

using namespace ornr;
using ornr::test::PropertyType;
using ornr::test::SampleProperties;

TEST(PropertyValueText, NumbersFlagsAndStringsInThePanelsForm) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {FloatText(-1.0f / 3), u"-0.333333"},
      {DoubleText(1e30), u"10000000000000000198846248386"},  // cut to 29 characters
      {BoolText(false), u"false"},
      {UInt32Text(0xFFFFFFFF), u"-1"},
      {ColorText(0xAB010203), u"1,2,3"},
      {UInt64Text(1ull << 63), u"-9223372036854775808"},
      {StringText(nullptr), u""},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(text, expected);
  const std::u16string longText(300, u'x');
  EXPECT_EQ(StringText(longText.c_str()), longText.substr(0, 255));
  const std::u16string pairAtCut = std::u16string(254, u'y') + u"\xD83D\xDE00 tail";
  EXPECT_EQ(StringText(pairAtCut.c_str()), pairAtCut.substr(0, 254));  // the pair stays whole
}

TEST(PropertyValueText, ReadsEachTypeWithItsOwnOperation) {
  const SampleProperties sample;
  const std::pair<const char*, std::u16string> cases[] = {
      {"Ratio", u"0.250000"}, {"Scale", u"1.500000"}, {"Visible", u"true"}, {"Count", u"7"},
      {"Label", u"label"},    {"Tint", u"255,128,0"}, {"Offset", u"-4"},    {"Mask", u"9"}};
  for (const auto& [name, text] : cases)
    EXPECT_EQ(PropertyValueText(sample, name, sample.GetPropertyType(name)), text) << name;
  EXPECT_FALSE(PropertyValueText(sample, "Scale", static_cast<PropertyType>(8)).has_value());
  // A name outside the map of the type reads the start value.
  EXPECT_EQ(PropertyValueText(sample, "Count", PropertyType::Color), u"0,0,0");
}

}  // namespace
