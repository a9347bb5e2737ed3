// The text of a property value as the view-model document carries it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/PropertiesHelper.h"

namespace ornr {

/// Number texts longer than this are cut to it (what a 30-character buffer holds).
inline constexpr std::size_t kMaxNumberText = 29;
/// String values longer than this are cut to it, never inside a surrogate pair.
inline constexpr std::size_t kMaxStringText = 255;

/// Fixed notation with six decimals ("%f"), the float widened to double.
std::u16string FloatText(float value);
std::u16string DoubleText(double value);
/// "true" or "false".
std::u16string BoolText(bool value);
/// The 32 bits as a signed decimal: all bits set is "-1".
std::u16string UInt32Text(std::uint32_t value);
/// "red,green,blue" from bits 16-23, 8-15 and 0-7.
std::u16string ColorText(std::uint32_t value);
std::u16string Int32Text(std::int32_t value);
/// The 64 bits as a signed decimal.
std::u16string UInt64Text(std::uint64_t value);
/// A null text gives the empty text.
std::u16string StringText(const char16_t* value);
/// UTF-8 to UTF-16.
std::u16string Widen(std::string_view text);

/// Room for any value text in UTF-8, terminator included.
inline constexpr std::size_t kValueTextBuffer = kMaxStringText * 3 + 1;

// The same texts in UTF-8, written into out (at least kValueTextBuffer bytes) with a terminator;
// each returns the length.
std::size_t FormatFloat(float value, char* out);
std::size_t FormatDouble(double value, char* out);
std::size_t FormatBool(bool value, char* out);
std::size_t FormatUInt32(std::uint32_t value, char* out);
std::size_t FormatColor(std::uint32_t value, char* out);
std::size_t FormatInt32(std::int32_t value, char* out);
std::size_t FormatUInt64(std::uint64_t value, char* out);
std::size_t FormatString(const char16_t* value, char* out);

/// Reads the property with the operation of its type and writes its UTF-8 text into out (at least
/// kValueTextBuffer bytes); nullopt for a type without a text form. A read starts from 0, false
/// or null, so a name missing from the map of its type gives that value's text.
template <typename T>
std::optional<std::string_view> PropertyValueTextUtf8(
    const Teskor::ZelPlatform::PropertiesHelper<T>& registry, const std::string& name,
    Teskor::ZelPlatform::PropertyType type, char* out) {
  using Teskor::ZelPlatform::PropertyType;
  std::size_t length = 0;
  switch (type) {
    case PropertyType::Float: {
      float value = 0.0f;
      length = FormatFloat(registry.GetFloatValue(name, value), out);
      break;
    }
    case PropertyType::Double: {
      double value = 0.0;
      length = FormatDouble(registry.GetDoubleValue(name, value), out);
      break;
    }
    case PropertyType::Bool: {
      bool value = false;
      length = FormatBool(registry.GetBoolValue(name, value), out);
      break;
    }
    case PropertyType::UInt32: {
      std::uint32_t value = 0;
      length = FormatUInt32(registry.GetUInt32Value(name, PropertyType::UInt32, value), out);
      break;
    }
    case PropertyType::String:
      length = FormatString(registry.GetStringValue(name), out);
      break;
    case PropertyType::Color: {
      std::uint32_t value = 0;
      length = FormatColor(registry.GetUInt32Value(name, PropertyType::Color, value), out);
      break;
    }
    case PropertyType::Int32: {
      std::int32_t value = 0;
      length = FormatInt32(registry.GetInt32Value(name, value), out);
      break;
    }
    case PropertyType::UInt64: {
      std::uint64_t value = 0;
      length = FormatUInt64(registry.GetUInt64Value(name, value), out);
      break;
    }
    default:
      return std::nullopt;
  }
  return std::string_view(out, length);
}

/// PropertyValueTextUtf8 in UTF-16.
template <typename T>
std::optional<std::u16string> PropertyValueText(
    const Teskor::ZelPlatform::PropertiesHelper<T>& registry, const std::string& name,
    Teskor::ZelPlatform::PropertyType type) {
  char buffer[kValueTextBuffer];
  const auto text = PropertyValueTextUtf8(registry, name, type, buffer);
  if (!text) return std::nullopt;
  return Widen(*text);
}

}  // namespace ornr
