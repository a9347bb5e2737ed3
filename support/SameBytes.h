// Equality of short byte ranges, such as property and element names, without a library call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ornr {

namespace detail {
template <typename Word>
inline Word LoadWord(const unsigned char* at) noexcept {
  Word word;
  std::memcpy(&word, at, sizeof word);
  return word;
}

#if defined(__SSE2__)
inline bool SameSixteen(const unsigned char* x, const unsigned char* y) noexcept {
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
  return _mm_movemask_epi8(_mm_cmpeq_epi8(a, b)) == 0xFFFF;
}
#else
inline bool SameSixteen(const unsigned char* x, const unsigned char* y) noexcept {
  return LoadWord<std::uint64_t>(x) == LoadWord<std::uint64_t>(y) &&
         LoadWord<std::uint64_t>(x + 8) == LoadWord<std::uint64_t>(y + 8);
}
#endif
}  // namespace detail

/// Whether the size bytes at a and at b are the same. Names are a few dozen bytes: sixteen at a
/// time in line beat a call into the C library, which is tuned for long ranges, and a call of
/// this function alike.
[[gnu::always_inline]] inline bool SameBytes(const void* a, const void* b,
                                             std::size_t size) noexcept {
  const auto* x = static_cast<const unsigned char*>(a);
  const auto* y = static_cast<const unsigned char*>(b);
  using detail::LoadWord;
  if (size >= 16) {
    std::size_t at = 0;
    for (; at + 16 <= size; at += 16) {
      if (!detail::SameSixteen(x + at, y + at)) return false;
    }
    // The last sixteen overlap those before: their bytes there are known to be the same.
    return at == size || detail::SameSixteen(x + size - 16, y + size - 16);
  }
  if (size >= 8) {
    return LoadWord<std::uint64_t>(x) == LoadWord<std::uint64_t>(y) &&
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
