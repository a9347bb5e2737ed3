// The text conversions at the edges of each UTF-8 length and of the surrogate ranges.
#include <gtest/gtest.h>

#include <string>

#include "support/Utf.h"

namespace ornr {
namespace {

TEST(Utf, SurrogateRangesEndWhereTheyShould) {
  struct Case {
    char32_t unit;
    bool high, low;
  };
  for (const Case& c :
       {Case{0xD7FF, false, false}, Case{0xD800, true, false}, Case{0xDBFF, true, false},
        Case{0xDC00, false, true}, Case{0xDFFF, false, true}, Case{0xE000, false, false}}) {
    EXPECT_EQ(IsHighSurrogate(c.unit), c.high) << std::hex << static_cast<unsigned>(c.unit);
    EXPECT_EQ(IsLowSurrogate(c.unit), c.low) << std::hex << static_cast<unsigned>(c.unit);
    EXPECT_EQ(IsSurrogate(c.unit), c.high || c.low) << std::hex << static_cast<unsigned>(c.unit);
  }
  const std::u16string text = u"a\xD83D\xDE00\xDE00\xD83D";
  for (std::size_t at = 0; at <= text.size(); ++at) {
    EXPECT_EQ(IsSurrogatePairAt(text, at), at == 1) << at;
  }
  EXPECT_EQ(CodePointOfPair(0xD83D, 0xDE00), 0x1F600U);
  EXPECT_EQ(CodePointOfPair(0xDBFF, 0xDFFF), 0x10FFFFU);
}

// Each code point at the edge of a length, with its bytes as UTF-8 defines them; a lone
// surrogate keeps its own three bytes so that it comes back as it was.
TEST(Utf, CodePointsAtEachLengthsEdgeGoThereAndBack) {
  struct Case {
    std::u16string utf16;
    std::string utf8;
  };
  const Case cases[] = {
      {u"\x7F", "\x7F"},
      {u"\x80", "\xC2\x80"},
      {u"\x7FF", "\xDF\xBF"},
      {u"\x800", "\xE0\xA0\x80"},
      {u"\xFFFF", "\xEF\xBF\xBF"},
      {u"\xD800\xDC00", "\xF0\x90\x80\x80"},
      {u"\xDBFF\xDFFF", "\xF4\x8F\xBF\xBF"},
      {u"x\xD800", "x\xED\xA0\x80"},
      {u"\xDC00x", "\xED\xB0\x80x"},
      {u"\xDBFF\xD800\xDFFF", "\xED\xAF\xBF\xF0\x90\x8F\xBF"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8) << c.utf8;
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
  }
}

}  // namespace
}  // namespace ornr
