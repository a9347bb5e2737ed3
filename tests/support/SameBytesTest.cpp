// Equality of short byte ranges: every length a name may have, a difference at every place.
#include <string>

#include <gtest/gtest.h>

#include "support/SameBytes.h"

namespace {

TEST(SameBytes, FindsADifferenceAtEveryPlaceOfEveryLengthAndOnlyThere) {
  // Lengths around each word size and beyond two words, where the last word overlaps.
  for (std::size_t size = 0; size <= 40; ++size) {
    std::string a(size + 3, '\0');
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<char>('A' + i % 50);
    // Bytes after the range differ and must not count; neither may the range's place in memory.
    for (std::size_t offset : {0, 1, 3}) {
      std::string b = std::string(offset, '#') + a;
      b[offset + size] = static_cast<char>(b[offset + size] ^ 0x55);
      const char* y = b.data() + offset;
      SCOPED_TRACE("size " + std::to_string(size) + ", offset " + std::to_string(offset));
      EXPECT_TRUE(ornr::SameBytes(a.data(), y, size));
      for (std::size_t at = 0; at < size; ++at) {
        for (const unsigned char flip : {0x01, 0x80}) {
          std::string c(y, size);
          c[at] = static_cast<char>(c[at] ^ flip);
          EXPECT_FALSE(ornr::SameBytes(a.data(), c.data(), size)) << "at " << at;
          EXPECT_FALSE(ornr::SameBytes(c.data(), a.data(), size)) << "at " << at;
        }
      }
    }
  }
}

}  // namespace
