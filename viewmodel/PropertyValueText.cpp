#include "viewmodel/PropertyValueText.h"

#include <algorithm>
#include <charconv>
#include <system_error>

namespace ornr {

namespace {

// Locale-independent: a host that set a comma-decimal locale must not change the document.
template <typename... Format>
std::u16string NumberText(auto value, Format... format) {
  // Room for the longest fixed double; the text is then cut to what a 30-character buffer holds.
  char buffer[400];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, format...);
  if (error != std::errc{}) return std::u16string();
  const std::size_t length = std::min<std::size_t>(end - buffer, kMaxNumberText);
  return std::u16string(buffer, buffer + length);
}

}  // namespace

std::u16string FloatText(float value) {
  return DoubleText(static_cast<double>(value));
}

std::u16string DoubleText(double value) {
  return NumberText(value, std::chars_format::fixed, 6);
}

std::u16string BoolText(bool value) {
  return value ? u"true" : u"false";
}

std::u16string UInt32Text(std::uint32_t value) {
  return Int32Text(static_cast<std::int32_t>(value));
}

std::u16string ColorText(std::uint32_t value) {
  return NumberText((value >> 16) & 0xFFu) + u',' + NumberText((value >> 8) & 0xFFu) + u',' +
         NumberText(value & 0xFFu);
}

std::u16string Int32Text(std::int32_t value) {
  return NumberText(value);
}

std::u16string UInt64Text(std::uint64_t value) {
  return NumberText(static_cast<std::int64_t>(value));
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
