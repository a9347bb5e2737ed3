#include "viewmodel/PropertyValueText.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <system_error>

#include "support/Utf.h"

namespace ornr {

namespace {

// The fixed text with six decimals of value's exact binary value rounded half to even, as
// to_chars gives it, worked out in integers: value is m times 2 to the e, so the text is
// m * 10^6 / 2^-e rounded. 0 for a value this does not cover (not finite, or from 2^43 up, where
// the digits would not fit 64 bits): to_chars then writes it.
std::size_t ExactFixed(double value, char* out) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  if (biased == 0x7FF) return 0;
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  const std::uint64_t m = biased == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
  const int shift = 1075 - (biased == 0 ? 1 : biased);  // value = m / 2^shift
  if (shift <= 9) return 0;                             // 2^43 and up
  std::uint64_t units = 0;                              // value * 10^6, rounded
  if (shift < 128) {
    const unsigned __int128 scaled = static_cast<unsigned __int128>(m) * 1'000'000u;
    const unsigned __int128 whole = scaled >> shift;
    const unsigned __int128 rest = scaled & ((static_cast<unsigned __int128>(1) << shift) - 1);
    const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
    units = static_cast<std::uint64_t>(whole);
    if (rest > half || (rest == half && (units & 1) != 0)) ++units;
  }
  char* at = out;
  if ((bits >> 63) != 0) *at++ = '-';
  at = std::to_chars(at, at + 24, units / 1'000'000u).ptr;
  *at++ = '.';
  std::uint64_t decimals = units % 1'000'000u;
  for (int i = 5; i >= 0; --i) {
    at[i] = static_cast<char>('0' + decimals % 10);
    decimals /= 10;
  }
  at += 6;
  *at = '\0';
  return static_cast<std::size_t>(at - out);
}

// Fixed notation, six decimals, whatever the process locale; a text longer than what a
// 30-character buffer holds is cut to kMaxNumberText.
std::size_t Fixed(double value, char* out) {
  if (const std::size_t length = ExactFixed(value, out); length > 0) return length;
  const auto [end, error] =
      std::to_chars(out, out + kMaxNumberText, value, std::chars_format::fixed, 6);
  if (error == std::errc{}) {
    *end = '\0';
    return static_cast<std::size_t>(end - out);
  }
  char wide[400];
  const auto [wideEnd, wideError] =
      std::to_chars(wide, wide + sizeof wide, value, std::chars_format::fixed, 6);
  const std::size_t length =
      wideError == std::errc{} ? std::min<std::size_t>(wideEnd - wide, kMaxNumberText) : 0;
  std::memcpy(out, wide, length);
  out[length] = '\0';
  return length;
}

template <typename Int>
std::size_t Integer(Int value, char* out) {
  const auto [end, error] = std::to_chars(out, out + kMaxNumberText, value);
  *end = '\0';
  return static_cast<std::size_t>(end - out);
}

}  // namespace

std::size_t FormatFloat(float value, char* out) {
  return Fixed(static_cast<double>(value), out);
}
std::size_t FormatDouble(double value, char* out) {
  return Fixed(value, out);
}
std::size_t FormatBool(bool value, char* out) {
  std::memcpy(out, value ? "true" : "false", value ? 5 : 6);
  return value ? 4 : 5;
}
std::size_t FormatUInt32(std::uint32_t value, char* out) {
  return Integer(static_cast<std::int32_t>(value), out);
}
std::size_t FormatColor(std::uint32_t value, char* out) {
  char* at = out;
  at = std::to_chars(at, at + 4, (value >> 16) & 0xFFu).ptr;
  *at++ = ',';
  at = std::to_chars(at, at + 4, (value >> 8) & 0xFFu).ptr;
  *at++ = ',';
  at = std::to_chars(at, at + 4, value & 0xFFu).ptr;
  *at = '\0';
  return static_cast<std::size_t>(at - out);
}
std::size_t FormatInt32(std::int32_t value, char* out) {
  return Integer(value, out);
}
std::size_t FormatUInt64(std::uint64_t value, char* out) {
  return Integer(static_cast<std::int64_t>(value), out);
}
std::size_t FormatString(const char16_t* value, char* out) {
  const std::string utf8 = Utf16ToUtf8(StringText(value));
  std::memcpy(out, utf8.c_str(), utf8.size() + 1);
  return utf8.size();
}

std::u16string Widen(std::string_view text) {
  return Utf8ToUtf16(text);
}

std::u16string FloatText(float value) {
  char buffer[kValueTextBuffer];
  return Widen(std::string_view(buffer, FormatFloat(value, buffer)));
}
std::u16string DoubleText(double value) {
  char buffer[kValueTextBuffer];
  return Widen(std::string_view(buffer, FormatDouble(value, buffer)));
}
std::u16string BoolText(bool value) {
  return value ? u"true" : u"false";
}
std::u16string UInt32Text(std::uint32_t value) {
  char buffer[kValueTextBuffer];
  return Widen(std::string_view(buffer, FormatUInt32(value, buffer)));
}
std::u16string ColorText(std::uint32_t value) {
  char buffer[kValueTextBuffer];
  return Widen(std::string_view(buffer, FormatColor(value, buffer)));
}
std::u16string Int32Text(std::int32_t value) {
  char buffer[kValueTextBuffer];
  return Widen(std::string_view(buffer, FormatInt32(value, buffer)));
}
std::u16string UInt64Text(std::uint64_t value) {
  char buffer[kValueTextBuffer];
  return Widen(std::string_view(buffer, FormatUInt64(value, buffer)));
}

std::u16string StringText(const char16_t* value) {
  if (value == nullptr) return std::u16string();
  std::u16string_view text(value);
  if (text.size() > kMaxStringText) {
    std::size_t cut = kMaxStringText;
    // Half a pair would leave a stray surrogate that the panel cannot show.
    if (IsSurrogatePairAt(text, cut - 1)) --cut;
    text = text.substr(0, cut);
  }
  return std::u16string(text);
}

}  // namespace ornr
