// Text on one line, as the transcript and the audit's table show it, and a name's bytes kept
// where they are not UTF-8.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/OneLine.h"

namespace {

TEST(OneLine, ControlCharactersAndBrokenBytesBecomeEscapesAndTheRestStays) {
  const struct {
    std::string text;
    std::string line;
    std::string xml;
  } cases[] = {
      {"Lobby \"☾\" \\ 無題", "Lobby \"☾\" \\ 無題", "Lobby \"☾\" \\ 無題"},
      {"two\nlines\r\tand\x1b[31m", "two\\nlines\\r\\tand\\u001b[31m",
       "two&#10;lines&#13;&#9;and&#27;[31m"},
      {std::string("nul\0del\x7f", 8), "nul\\u0000del\\u007f", "nul&#0;del&#127;"},
      // C1 controls are two bytes in UTF-8; the character after them stays.
      {"c1\xC2\x85\xC2\x9F\xC2\xA0", "c1\\u0085\\u009f\xC2\xA0", "c1&#133;&#159;\xC2\xA0"},
      // Latin-1, a stray continuation byte, an overlong slash, a surrogate, a cut character.
      {"caf\xE9", "caf\\xe9", "caf\\xe9"},
      {"a\x80z", "a\\x80z", "a\\x80z"},
      {"\xC0\xAF", "\\xc0\\xaf", "\\xc0\\xaf"},
      {"\xED\xA0\x80", "\\xed\\xa0\\x80", "\\xed\\xa0\\x80"},
      {"end\xE2\x98", "end\\xe2\\x98", "end\\xe2\\x98"},
      {"\xF4\x90\x80\x80", "\\xf4\\x90\\x80\\x80", "\\xf4\\x90\\x80\\x80"},
      {"\xF0\x9F\x8C\x99", "\xF0\x9F\x8C\x99", "\xF0\x9F\x8C\x99"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(ornr::OneLineText(c.text), c.line);
    EXPECT_EQ(ornr::OneLineXml(c.text), c.xml);
    // Appended, what is already there stays, escapes included.
    std::string appended = "a\\n\xff ";
    ornr::AppendOneLineText(appended, c.text);
    EXPECT_EQ(appended, "a\\n\xff " + c.line);
  }
}

// What a reader of the JSON does with pathBytes.
std::string Decode(const std::string& escaped) {
  std::string bytes;
  for (std::size_t i = 0; i < escaped.size(); ++i) {
    if (escaped[i] != '\\') {
      bytes += escaped[i];
    } else if (escaped[i + 1] == '\\') {
      bytes += '\\';
      ++i;
    } else {
      bytes += static_cast<char>(std::stoi(escaped.substr(i + 2, 2), nullptr, 16));
      i += 3;
    }
  }
  return bytes;
}

TEST(OneLine, RecoverableBytesGiveEveryNameBackAndTellNamesApart) {
  EXPECT_EQ(ornr::RecoverableBytes("plain/caf\xC3\xA9.zel"), "");
  EXPECT_EQ(ornr::RecoverableBytes("a\\b\xE9"), "a\\\\b\\xe9");
  // Names that differ only in bytes that are not UTF-8, or in a backslash written like one.
  EXPECT_NE(ornr::RecoverableBytes("caf\xE9"), ornr::RecoverableBytes("caf\xE8"));
  EXPECT_NE(ornr::RecoverableBytes("\\xe9\xFF"), ornr::RecoverableBytes("\xE9\xFF"));
  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int n = 0; n < 2000; ++n) {
    std::string name = "\xFF";  // never UTF-8 through
    for (int length = byte(random) % 24; length > 0; --length) {
      // Bytes around the edges of UTF-8 more often than by chance.
      static constexpr unsigned char kEdges[] = {'\\', 'x',  0x7F, 0x80, 0xBF, 0xC2,
                                                 0xE0, 0xED, 0xF0, 0xF4, 0x9F, 0xA0};
      name += static_cast<char>(byte(random) < 128 ? kEdges[byte(random) % 12] : byte(random));
    }
    const std::string escaped = ornr::RecoverableBytes(name);
    ASSERT_EQ(Decode(escaped), name) << escaped;
    // The escaped form is UTF-8 through, as JSON needs it.
    EXPECT_EQ(ornr::RecoverableBytes(escaped), "") << escaped;
  }
}

}  // namespace
