#include "viewmodel/PropertyValueText.h"

#include <cstdio>
#include <cstring>

namespace ornr {

namespace {

// snprintf into a buffer of kMaxNumberText + 1 cuts a longer text to kMaxNumberText.
std::u16string FromBuffer(const char* buffer, int written) {
  if (written < 0) return std::u16string();
  const std::size_t length = std::strlen(buffer);
  return std::u16string(buffer, buffer + length);
}

}  // namespace

std::u16string FloatText(float value) {
  return DoubleText(static_cast<double>(value));
}

std::u16string DoubleText(double value) {
  char buffer[kMaxNumberText + 1] = {};
  const int written = std::snprintf(buffer, sizeof buffer, "%f", value);
  return FromBuffer(buffer, written);
}

std::u16string BoolText(bool value) {
  return value ? u"true" : u"false";
}

std::u16string UInt32Text(std::uint32_t value) {
  return Int32Text(static_cast<std::int32_t>(value));
}

std::u16string ColorText(std::uint32_t value) {
  char buffer[kMaxNumberText + 1] = {};
  const int written = std::snprintf(buffer, sizeof buffer, "%u,%u,%u", (value >> 16) & 0xFFu,
                                    (value >> 8) & 0xFFu, value & 0xFFu);
  return FromBuffer(buffer, written);
}

std::u16string Int32Text(std::int32_t value) {
  char buffer[kMaxNumberText + 1] = {};
  const int written = std::snprintf(buffer, sizeof buffer, "%d", value);
  return FromBuffer(buffer, written);
}

std::u16string UInt64Text(std::uint64_t value) {
  char buffer[kMaxNumberText + 1] = {};
  const int written = std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value));
  return FromBuffer(buffer, written);
}

std::u16string StringText(const char16_t* value) {
  if (value == nullptr) return std::u16string();
  std::u16string_view text(value);
  if (text.size() > kMaxStringText) {
    std::size_t cut = kMaxStringText;
    // Half a pair would leave a stray surrogate that the panel cannot show.
    if (text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF && text[cut] >= 0xDC00 &&
        text[cut] <= 0xDFFF) {
      --cut;
    }
    text = text.substr(0, cut);
  }
  return std::u16string(text);
}

}  // namespace ornr
