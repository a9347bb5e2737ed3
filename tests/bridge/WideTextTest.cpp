// Wide text coming into the bridge: its length is found sixteen bytes at a time, so every place a
// terminator can fall in those sixteen bytes, and a text that ends at the last unit of its memory,
// must give back exactly the units before the terminator.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "bridge/RuntimeString.h"
#include "support/Utf.h"

namespace {

TEST(WideTextTest, EveryLengthAtEveryPlaceIsCopiedUpToItsTerminator) {
  alignas(16) char16_t buffer[128];
  for (std::size_t offset = 0; offset < 8; ++offset) {
    for (std::size_t length = 0; length < 64; ++length) {
      for (std::size_t i = 0; i < std::size(buffer); ++i) buffer[i] = u'a' + (i % 26);
      buffer[offset + length] = 0;
      const std::u16string expected(buffer + offset, length);
      EXPECT_EQ(ornr::Length(buffer + offset), length) << offset << " " << length;
      EXPECT_EQ(ornr::bridge::FromWide(buffer + offset), expected) << offset << " " << length;
    }
  }
  EXPECT_EQ(ornr::Length(nullptr), 0u);
  EXPECT_FALSE(ornr::bridge::FromWide(nullptr).has_value());
}

// Nothing may be read past the page the terminator is on: the next one is not there.
TEST(WideTextTest, TextEndingAtTheEndOfItsMemoryIsRead) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  void* memory =
      mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(memory, MAP_FAILED);
  ASSERT_EQ(mprotect(static_cast<char*>(memory) + page, page, PROT_NONE), 0);
  auto* units = static_cast<char16_t*>(memory);
  const std::size_t last = page / sizeof(char16_t) - 1;
  for (std::size_t i = 0; i < last; ++i) units[i] = u'x';
  units[last] = 0;
  for (const std::size_t from : {std::size_t{0}, last - 7, last - 1, last}) {
    EXPECT_EQ(ornr::Length(units + from), last - from);
    EXPECT_EQ(ornr::bridge::FromWide(units + from), std::u16string(last - from, u'x'));
  }
  munmap(memory, 2 * page);
}

// A document of megabytes arrives whole, however its copy's memory is laid out.
TEST(WideTextTest, LargeTextArrivesWhole) {
  std::u16string text;
  for (int i = 0; i < 3'000'000; ++i) text.push_back(static_cast<char16_t>(u'A' + i % 50));
  EXPECT_EQ(ornr::bridge::FromWide(text.c_str()), text);
}

}  // namespace
