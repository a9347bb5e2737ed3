#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "panel/Panel.h"
#include "support/Utf.h"

namespace Teskor::RenderSetup::ViewModel {
namespace {

template <typename T>
struct Case {
  std::u16string text;
  T expected;
};

// Every case reads property "P" holding text into a value that starts at untouched.
template <typename T, typename Pack = T (*)(T)>
void ExpectReads(
    const std::vector<Case<T>>& cases, T untouched, Pack pack = [](T v) { return v; }) {
  for (const auto& c : cases) {
    PropertySupport properties;
    properties.SetPropertyText("P", c.text);
    T value = untouched;
    properties.GetPropertyValue(String(u"P"), value);
    EXPECT_EQ(pack(value), pack(c.expected)) << "text: \"" << ornr::Utf16ToUtf8(c.text) << '"';
  }
}

TEST(PropertySupport, UInt64TakesSignedTextAsItsBits) {
  constexpr std::uint64_t kKeep = 0x5A5A5A5A5A5A5A5A;
  ExpectReads<std::uint64_t>({{u"3", 3},
                              {u"-1", ~0ULL},
                              {u"18446744073709551615", ~0ULL},
                              {u" +7 ", 7},
                              {u"18446744073709551616", kKeep},
                              {u"-9223372036854775809", kKeep},
                              {u"+-1", kKeep},
                              {u"1.5", kKeep},
                              {u"\u0663", kKeep}},
                             kKeep);
}

TEST(PropertySupport, Int32TakesUnsignedTextUpToItsBits) {
  constexpr std::int32_t kKeep = 12345;
  ExpectReads<std::int32_t>({{u"-1", -1},
                             {u"4294967295", -1},
                             {u"2147483648", INT32_MIN},
                             {u"4294967296", kKeep},
                             {u"-2147483649", kKeep},
                             {u"0x10", kKeep}},
                            kKeep);
}

TEST(PropertySupport, ColorIsThreeChannelsWithOpaqueAlpha) {
  const auto pack = [](Color c) { return c.A << 24 | c.R << 16 | c.G << 8 | c.B; };
  const Color keep{1, 2, 3, 4};
  ExpectReads<Color>({{u"255,128,0", {255, 255, 128, 0}},
                      {u" 0, 0 ,9", {255, 0, 0, 9}},
                      {u"256,0,0", keep},
                      {u"1,2", keep},
                      {u"1,2,3,4", keep},
                      {u"-1,2,3", keep}},
                     keep, +pack);
}

TEST(PropertySupport, BoolAndFloatingPointTexts) {
  ExpectReads<bool>({{u"true", true}, {u"False", false}, {u"yes", true}, {u"1", true}}, true);
  ExpectReads<double>(
      {{u"0.500000", 0.5}, {u"-1.250000", -1.25}, {u"1e400", 7.0}, {u"0,5", 7.0}, {u"", 7.0}}, 7.0);
  ExpectReads<float>({{u"0.250000", 0.25F}, {u"1e39", 7.0F}, {u"abc", 7.0F}}, 7.0F);
}

}  // namespace
}  // namespace Teskor::RenderSetup::ViewModel
