#include "host/WString.h"

#include <gtest/gtest.h>

#include <climits>

using Teskor::WString;

TEST(WString, SprintfExpandsWhatTheHostKnowsAndKeepsTheRest) {
  EXPECT_EQ(WString().Sprintf(u"%ls - Copy", u"Sky"), WString(u"Sky - Copy"));
  EXPECT_EQ(WString().Sprintf(u"%ls-%d", u"Sky - Copy", 2), WString(u"Sky - Copy-2"));
  EXPECT_EQ(WString().Sprintf(u"%d|%d|%d", 0, -7, INT_MIN), WString(u"0|-7|-2147483648"));
  EXPECT_EQ(WString().Sprintf(u"100%% %ls", nullptr), WString(u"100% (null)"));
  // Unknown conversions take no argument, so the %d after them still gets the first one.
  EXPECT_EQ(WString().Sprintf(u"%s %x %d %", 5), WString(u"%s %x 5 %"));
  EXPECT_EQ(WString().Sprintf(u"\U0001F600%ls", u"\xD800"), WString(u"\U0001F600\xD800"));
}

TEST(WString, SprintfReplacesEvenWhenFormattingItsOwnText) {
  WString text(u"abc");
  text.Sprintf(u"%ls%ls", text.c_str(), text.c_str());
  EXPECT_EQ(text, WString(u"abcabc"));
}

TEST(WString, NullIsEmptyAndOrderIsByUnsignedCodeUnits) {
  EXPECT_TRUE(WString(static_cast<const char16_t*>(nullptr)).empty());
  EXPECT_LT(WString(u"Z"), WString(u"a"));
  EXPECT_LT(WString(u"ab"), WString(u"abc"));
  // Code units, not code points: a surrogate pair sorts before U+E000.
  EXPECT_LT(WString(u"\U00010000"), WString(u"\uE000"));
}
