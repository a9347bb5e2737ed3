#include "viewmodel/PropertyValueText.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <system_error>

#include "support/Utf.h"

namespace ornr {

namespace {

// Fixed notation, six decimals, whatever the process locale; a text longer than what a
// 30-character buffer holds is cut to kMaxNumberText.
std::size_t Fixed(double value, char* out) {
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
