#include "support/Utf.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ornr {

void AppendCodePointAsUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::size_t WriteCodePointAsUtf16(char32_t cp, char16_t* out) noexcept {
  if (cp < 0x10000) {
    out[0] = static_cast<char16_t>(cp);
    return 1;
  }
  out[0] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
  out[1] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
  return 2;
}

void AppendUtf16AsUtf8(std::string& out, std::u16string_view text) {
  // Texts are mostly ASCII: copy the ASCII prefix in one pass, then go unit by unit.
  std::size_t ascii = 0;
  while (ascii < text.size() && text[ascii] < 0x80) ++ascii;
  const std::size_t start = out.size();
  out.resize(start + ascii);
  char* narrowed = out.data() + start;
  for (std::size_t i = 0; i < ascii; ++i) narrowed[i] = static_cast<char>(text[i]);
  if (ascii == text.size()) return;
  out.reserve(out.size() + (text.size() - ascii) * 3);
  for (std::size_t i = ascii; i < text.size(); ++i) {
    if (IsSurrogatePairAt(text, i)) {
      AppendCodePointAsUtf8(out, CodePointOfPair(text[i], text[i + 1]));
      ++i;
      continue;
    }
    AppendCodePointAsUtf8(out, text[i]);
  }
}

std::string Quoted(std::u16string_view text) {
  return "\"" + Utf16ToUtf8(text) + "\"";
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  AppendUtf16AsUtf8(out, text);
  return out;
}

std::size_t Utf8ToUtf16Units(std::string_view text, char16_t* out) noexcept {
  std::size_t ascii = 0;
  while (ascii < text.size() && static_cast<unsigned char>(text[ascii]) < 0x80) {
    out[ascii] = static_cast<char16_t>(text[ascii]);
    ++ascii;
  }
  if (ascii == text.size()) return ascii;
  char16_t* at = out + ascii;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const auto cont = [&](std::size_t i) { return i < text.size() && (byte(i) & 0xC0) == 0x80; };
  for (std::size_t i = ascii; i < text.size();) {
    const unsigned char b = byte(i);
    char32_t cp = 0xFFFD;
    std::size_t n = 1;
    if (b < 0x80) {
      cp = b;
    } else if ((b & 0xE0) == 0xC0 && cont(i + 1)) {
      cp = (char32_t(b & 0x1F) << 6) | (byte(i + 1) & 0x3F);
      n = cp >= 0x80 ? 2 : 1;
      if (n == 1) cp = 0xFFFD;
    } else if ((b & 0xF0) == 0xE0 && cont(i + 1) && cont(i + 2)) {
      cp = (char32_t(b & 0x0F) << 12) | (char32_t(byte(i + 1) & 0x3F) << 6) | (byte(i + 2) & 0x3F);
      n = cp >= 0x800 ? 3 : 1;
      if (n == 1) cp = 0xFFFD;
    } else if ((b & 0xF8) == 0xF0 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
      cp = (char32_t(b & 0x07) << 18) | (char32_t(byte(i + 1) & 0x3F) << 12) |
           (char32_t(byte(i + 2) & 0x3F) << 6) | (byte(i + 3) & 0x3F);
      n = (cp >= 0x10000 && cp <= 0x10FFFF) ? 4 : 1;
      if (n == 1) cp = 0xFFFD;
    }
    at += WriteCodePointAsUtf16(cp, at);
    i += n;
  }
  return static_cast<std::size_t>(at - out);
}

void AppendUtf8AsUtf16(std::u16string& out, std::string_view text) {
  const std::size_t start = out.size();
  // Never more code units than bytes.
  out.resize(start + text.size());
  out.resize(start + Utf8ToUtf16Units(text, out.data() + start));
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  AppendUtf8AsUtf16(out, text);
  return out;
}

#if defined(__SSE2__)
// Sixteen bytes at a time, read from aligned addresses only: such a read never leaves the page
// the terminator is on, so it cannot fault where it passes it, and what lies past it is not
// used. The sanitizer would count those bytes as read all the same.
__attribute__((no_sanitize_address)) std::size_t Length(const char16_t* text) noexcept {
  if (text == nullptr) return 0;
  const char16_t* at = text;
  // Unit by unit up to the first aligned address.
  for (; (reinterpret_cast<std::uintptr_t>(at) & 15) != 0; ++at) {
    if (*at == 0) return static_cast<std::size_t>(at - text);
  }
  const __m128i zero = _mm_setzero_si128();
  for (;; at += 8) {
    const __m128i units = _mm_load_si128(reinterpret_cast<const __m128i*>(at));
    const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(units, zero));
    if (mask != 0) return static_cast<std::size_t>(at - text) + __builtin_ctz(mask) / 2;
  }
}
#else
std::size_t Length(const char16_t* text) noexcept {
  if (text == nullptr) return 0;
  std::size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}
#endif

namespace {
template <typename Char>
bool Copy(Char* dst, std::uint64_t capacity, std::basic_string_view<Char> text) noexcept {
  if (dst == nullptr || capacity == 0) return false;
  if (text.size() + 1 > capacity) {
    dst[0] = 0;
    return false;
  }
  text.copy(dst, text.size());
  dst[text.size()] = 0;
  return true;
}
}  // namespace

bool BoundedCopy(char16_t* dst, std::uint64_t capacity, std::u16string_view text) noexcept {
  return Copy(dst, capacity, text);
}

bool BoundedCopy(char* dst, std::uint64_t capacity, std::string_view text) noexcept {
  return Copy(dst, capacity, text);
}

}  // namespace ornr
