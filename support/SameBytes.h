// Equality of short byte ranges, such as property and element names, without a library call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ornr {

namespace detail {
template <typename Word>
inline Word LoadWord(const unsigned char* at) noexcept {
  Word word;
  std::memcpy(&word, at, sizeof word);
  return word;
}
}  // namespace detail

/// Whether the size bytes at a and at b are the same. Names are a few dozen bytes: words compared
/// in line beat a call into the C library, which is tuned for long ranges.
inline bool SameBytes(const void* a, const void* b, std::size_t size) noexcept {
  const auto* x = static_cast<const unsigned char*>(a);
  const auto* y = static_cast<const unsigned char*>(b);
  using detail::LoadWord;
  if (size >= 8) {
    std::size_t at = 0;
    for (; at + 8 <= size; at += 8) {
      if (LoadWord<std::uint64_t>(x + at) != LoadWord<std::uint64_t>(y + at)) return false;
    }
    // The last word overlaps the one before: its bytes there are known to be the same.
    return at == size ||
           LoadWord<std::uint64_t>(x + size - 8) == LoadWord<std::uint64_t>(y + size - 8);
  }
  if (size >= 4) {
    return LoadWord<std::uint32_t>(x) == LoadWord<std::uint32_t>(y) &&
           LoadWord<std::uint32_t>(x + size - 4) == LoadWord<std::uint32_t>(y + size - 4);
  }
  if (size >= 2) {
    return LoadWord<std::uint16_t>(x) == LoadWord<std::uint16_t>(y) &&
           LoadWord<std::uint16_t>(x + size - 2) == LoadWord<std::uint16_t>(y + size - 2);
  }
  return size == 0 || *x == *y;
}

}  // namespace ornr
