#include "panel/PropertyTexts.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>
#include <unordered_map>

#include "support/Utf.h"

namespace Teskor::RenderSetup::ViewModel {

namespace {

// Fixed text with six decimals of a magnitude from 1e21 up no longer fits 29 characters.
constexpr double kMaxMagnitude = 1e21;

template <typename T>
bool ParsesWhole(std::string_view s, T& out) {
  if (s.empty()) return false;
  const char* end = s.data() + s.size();
  const auto [next, error] = std::from_chars(s.data(), end, out);
  return error == std::errc{} && next == end;
}

// Either the signed form of the type's width or its unsigned form.
template <typename Unsigned>
bool IsIntegerOfWidth(std::string_view s) {
  if (!s.empty() && s.front() == '-') {
    std::make_signed_t<Unsigned> value = 0;
    return ParsesWhole(s, value);
  }
  Unsigned value = 0;
  return ParsesWhole(s, value);
}

bool IsFiniteDecimal(std::string_view s) {
  double value = 0;
  return ParsesWhole(s, value) && std::isfinite(value) && std::fabs(value) < kMaxMagnitude;
}

bool IsChannel(std::string_view s) {
  unsigned value = 0;
  return ParsesWhole(s, value) && value <= 255;
}

bool IsColor(std::string_view s) {
  const std::size_t first = s.find(',');
  if (first == std::string_view::npos) return false;
  const std::size_t second = s.find(',', first + 1);
  if (second == std::string_view::npos) return false;
  return IsChannel(s.substr(0, first)) && IsChannel(s.substr(first + 1, second - first - 1)) &&
         IsChannel(s.substr(second + 1));
}

const char* Expected(PropertyKind kind) {
  switch (kind) {
    case PropertyKind::Bool:
      return "true or false";
    case PropertyKind::UInt32:
      return "a whole number from 0 to 4294967295 (or -2147483648 to -1)";
    case PropertyKind::UInt64:
      return "a whole number from 0 to 18446744073709551615 (or -9223372036854775808 to -1)";
    case PropertyKind::Float:
    case PropertyKind::Double:
      return "a decimal number such as 0.5, less than 1e21 in magnitude";
    case PropertyKind::Color:
      return "red,green,blue with each from 0 to 255";
    case PropertyKind::String:
    case PropertyKind::Int32:
      break;
  }
  return "";
}

bool IsValue(PropertyKind kind, std::string_view s) {
  switch (kind) {
    case PropertyKind::Bool:
      return s == "true" || s == "false";
    case PropertyKind::UInt32:
      return IsIntegerOfWidth<std::uint32_t>(s);
    case PropertyKind::UInt64:
      return IsIntegerOfWidth<std::uint64_t>(s);
    case PropertyKind::Float:
    case PropertyKind::Double:
      return IsFiniteDecimal(s);
    case PropertyKind::Color:
      return IsColor(s);
    case PropertyKind::String:
      return true;
    case PropertyKind::Int32:
      return false;
  }
  return false;
}

}  // namespace

std::optional<PropertyKind> KindOfProperty(std::string_view property) {
  static const std::unordered_map<std::string_view, PropertyKind> kinds = {
#define ORN_PROPERTY(POS, NAME, TYPE, VALUE, GET, SET) {#NAME, PropertyKind::TYPE},
#include "settings/OrnSettingsCatalogue.def"
#undef ORN_PROPERTY
  };
  const auto found = kinds.find(property);
  if (found == kinds.end()) return std::nullopt;
  return found->second;
}

std::optional<std::string> RefusalOfText(std::string_view property, std::u16string_view text) {
  const std::optional<PropertyKind> kind = KindOfProperty(property);
  const std::string name(property);
  if (!kind) return "the panel offers no property " + name;
  // The module keeps no way to write it back, so taking the text would only mark the setup.
  if (*kind == PropertyKind::Int32) return name + " is shown only; it cannot be changed here";
  const std::string utf8 = ornr::Utf16ToUtf8(text);
  if (IsValue(*kind, utf8)) return std::nullopt;
  return "\"" + utf8 + "\" is not a value of " + name + ": expected " + Expected(*kind);
}

}  // namespace Teskor::RenderSetup::ViewModel
