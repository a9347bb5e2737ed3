#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
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

// Reads property "P" holding each text into a value starting at untouched; texts that do not
// parse must leave it alone.
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

TEST(PropertySupport, IntegersTakeTextOfEitherSignAsTheirBits) {
  ExpectReads<std::uint64_t>({{u"-1", ~0ULL},
                              {u" +7 ", 7},
                              {u"18446744073709551616", 5},
                              {u"-9223372036854775809", 5},
                              {u"+-1", 5},
                              {u"1.5", 5}},
                             5);
  ExpectReads<std::int32_t>(
      {{u"4294967295", -1}, {u"2147483648", INT32_MIN}, {u"4294967296", 5}, {u"0x10", 5}}, 5);
}

TEST(PropertySupport, ColorBoolAndFloatingPointTexts) {
  const auto pack = [](Color c) { return c.A << 24 | c.R << 16 | c.G << 8 | c.B; };
  const Color keep{1, 2, 3, 4};
  ExpectReads<Color>({{u" 255, 128 ,0", {255, 255, 128, 0}},
                      {u"256,0,0", keep},
                      {u"1,2", keep},
                      {u"1,2,3,4", keep}},
                     keep, +pack);
  ExpectReads<bool>({{u"true", true}, {u"False", false}, {u"yes", true}}, true);
  ExpectReads<double>({{u"-1.250000", -1.25}, {u"1e400", 7.0}, {u"0,5", 7.0}, {u"", 7.0}}, 7.0);
  ExpectReads<float>({{u"0.250000", 0.25F}, {u"1e39", 7.0F}}, 7.0F);
}

}  // namespace
// The texts share one buffer that edits overwrite, append to and compact; whatever the order of
// edits, every property must read back as last set, in the order first set.
TEST(PropertySupport, EditsOfEveryLengthReadBackInOrder) {
  const std::vector<std::pair<std::string, std::u16string>> edits = {
      {"DoShadows", u"true"},       {"Unknown", u"a"},          {"DoShadows", u"false"},
      {"BlurPasses", u"7"},         {"DoShadows", u""},         {"Unknown", u"\xD83D\xDE00 long"},
      {"BlurPasses", u"123456789"}, {"DoShadows", u"true"},     {"Unknown", u"b"},
      {"BlurPasses", u"1"},         {"Other name", u"x y z w"}, {"BlurPasses", u"22222222222"},
  };
  PropertySupport properties;
  std::vector<std::pair<std::string, std::u16string>> expected;
  for (const auto& [name, text] : edits) {
    properties.SetPropertyText(name, text);
    auto at = std::find_if(expected.begin(), expected.end(),
                           [&](const auto& entry) { return entry.first == name; });
    if (at == expected.end()) {
      expected.emplace_back(name, text);
    } else {
      at->second = text;
    }
    std::vector<std::pair<std::string, std::u16string>> held;
    for (const auto& [heldName, heldText] : properties.Properties())
      held.emplace_back(heldName, heldText);
    ASSERT_EQ(held, expected) << "after " << name << " = " << ornr::Utf16ToUtf8(text);
  }
  // A text of the setup's own given to another property.
  properties.SetPropertyText("Copy", *properties.PropertyText("Other name"));
  EXPECT_EQ(*properties.PropertyText("Copy"), u"x y z w");
}

// Of two properties with one name the first counts, whether the name is a catalogue one or not.
TEST(PropertySupport, TakenDocumentKeepsTheFirstOfTwoNames) {
  PropertySupport::Builder builder(4, 16);
  for (const auto& [name, text] : {std::pair{"BlurPasses", "3"}, std::pair{"Odd", "\xC3\xA9"},
                                   std::pair{"BlurPasses", "4"}, std::pair{"Odd", "z"}}) {
    builder.Add(name, text);
  }
  PropertySupport properties;
  properties.SetPropertyText("Gone", u"replaced whole");
  builder.ReplaceIn(properties);
  EXPECT_EQ(properties.PropertyCount(), 4U);
  EXPECT_EQ(*properties.PropertyText("BlurPasses"), u"3");
  EXPECT_EQ(*properties.PropertyText("Odd"), u"\u00E9");
  EXPECT_FALSE(properties.PropertyText("Gone"));
}

}  // namespace Teskor::RenderSetup::ViewModel
