#include "viewmodel/PropertyValueText.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <random>
#include <string>

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

// Decimals are worked out from the value's binary form in integers, without the library's general
// formatting: the text must be the library's to the byte, ties (a multiple of 2^-7 lies exactly
// halfway) rounded to even, across every magnitude, up to where the library takes over again.
TEST(PropertyValueText, DecimalsAreTheLibrarysExactlyRoundedText) {
  const std::pair<double, const char*> known[] = {
      {0.0078125, "0.007812"},
      {0.0234375, "0.023438"},
      {-0.0, "-0.000000"},
      {-4e-7, "-0.000000"},
      {6e-7, "0.000001"},
      {0.065, "0.065000"},
      {8796093022207.5, "8796093022207.500000"},
      {8796093022208.5, "8796093022208.500000"},
      {1e-320, "0.000000"},
      {1e30, "10000000000000000198846248386"},
  };
  char text[kValueTextBuffer];
  for (const auto& [value, expected] : known) {
    FormatDouble(value, text);
    EXPECT_STREQ(text, expected) << value;
  }
  const auto library = [](double value) {
    char wide[400];
    const auto [end, error] =
        std::to_chars(wide, wide + sizeof wide, value, std::chars_format::fixed, 6);
    return std::string(wide, std::min<std::size_t>(end - wide, kMaxNumberText));
  };
  std::mt19937_64 random(36);
  for (int i = 0; i < 200000; ++i) {
    const int exponent = static_cast<int>(random() % 90) - 70;
    double value = std::ldexp(static_cast<double>(random() >> 11), exponent - 53);
    if (i % 2 == 1) value = -value;
    if (i % 3 == 0)
      value = static_cast<double>(static_cast<std::int64_t>(random() % 4000001) - 2000000) / 128;
    FormatDouble(value, text);
    ASSERT_EQ(text, library(value)) << value;
  }
}

}  // namespace
