#include "viewmodel/PropertyValueText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

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
}

// What the C library prints for "%.6f", cut as a document cuts a number.
std::string PrintedFixed(double value) {
  char wide[400];
  const int length = std::snprintf(wide, sizeof wide, "%.6f", value);
  return std::string(wide, std::min<std::size_t>(static_cast<std::size_t>(length), kMaxNumberText));
}

double FromBits(std::uint64_t bits) {
  double value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Swept against the C library's own fixed notation: every kind of double (random bit patterns
// reach subnormals, infinities and NaNs of either sign), the magnitudes around the sixth decimal
// and around 2^43, where the integer path hands over, and ties at the sixth decimal with their
// neighbours either side.
TEST(PropertyValueText, DecimalsMatchTheCLibraryAcrossEveryKindOfDouble) {
  std::vector<double> values = {0.0,
                                -0.0,
                                std::numeric_limits<double>::denorm_min(),
                                -std::numeric_limits<double>::min(),
                                std::numeric_limits<double>::max(),
                                -std::numeric_limits<double>::max(),
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity(),
                                std::numeric_limits<double>::quiet_NaN(),
                                -std::numeric_limits<double>::quiet_NaN(),
                                5e-7,
                                -5e-7,
                                std::ldexp(1.0, -75),
                                std::ldexp(1.0, 43),
                                std::nextafter(std::ldexp(1.0, 43), 0.0),
                                -std::nextafter(std::ldexp(1.0, 43), 0.0),
                                999999.9999995,
                                9999999999999.9999995};
  std::mt19937_64 random(7);
  for (int i = 0; i < 60000; ++i) values.push_back(FromBits(random()));
  for (int i = 0; i < 60000; ++i) {
    const int exponent = static_cast<int>(random() % 80) - 35;
    const double value = std::ldexp(static_cast<double>(random() >> 11), exponent - 53);
    values.push_back(i % 2 == 0 ? value : -value);
  }
  // n / 128 for an odd n lies exactly halfway between two sixth decimals.
  for (int i = 0; i < 30000; ++i) {
    const auto n = static_cast<std::int64_t>((random() >> (14 + i % 40)) | 1);
    const double tie = std::ldexp(static_cast<double>(n), -7);
    for (const double value : {tie, std::nextafter(tie, 0.0), std::nextafter(tie, HUGE_VAL)})
      values.push_back(i % 2 == 0 ? value : -value);
  }
  char text[kValueTextBuffer];
  for (const double value : values) {
    FormatDouble(value, text);
    ASSERT_EQ(text, PrintedFixed(value)) << std::hexfloat << value;
  }
  for (int i = 0; i < 30000; ++i) {
    float single = 0;
    const auto bits = static_cast<std::uint32_t>(random());
    std::memcpy(&single, &bits, sizeof single);
    FormatFloat(single, text);
    ASSERT_EQ(text, PrintedFixed(static_cast<double>(single))) << std::hexfloat << single;
  }
}

}  // namespace
