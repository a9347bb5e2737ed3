#include "host/WString.h"

#include <gtest/gtest.h>

#include <climits>

using Teskor::WString;

TEST(WString, SprintfExpandsWhatTheHostKnowsAndKeepsTheRest) {
  EXPECT_EQ(WString().Sprintf(u"%ls-%d", u"Sky - Copy", 2), WString(u"Sky - Copy-2"));
  EXPECT_EQ(WString().Sprintf(u"%d|%d", -7, INT_MIN), WString(u"-7|-2147483648"));
  EXPECT_EQ(WString().Sprintf(u"100%% %ls", nullptr), WString(u"100% (null)"));
  // Unknown conversions take no argument, so the %d after them still gets the first one.
  EXPECT_EQ(WString().Sprintf(u"%s %x %d %", 5), WString(u"%s %x 5 %"));
  EXPECT_EQ(WString().Sprintf(u"\U0001F600%ls", u"\xD800"), WString(u"\U0001F600\xD800"));
  WString text(u"abc");
  text.Sprintf(u"%ls%ls", text.c_str(), text.c_str());  // its own text as the argument
  EXPECT_EQ(text, WString(u"abcabc"));
}
