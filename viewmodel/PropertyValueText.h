// The text of a property value as the view-model document carries it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

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

/// Reads the property with the operation of its type and gives its text; nullopt for a type
/// without a text form. A read starts from 0, false or null, so a name missing from the map of
/// its type gives that value's text.
template <typename T>
std::optional<std::u16string> PropertyValueText(
    const Teskor::ZelPlatform::PropertiesHelper<T>& registry, const std::string& name,
    Teskor::ZelPlatform::PropertyType type) {
  using Teskor::ZelPlatform::PropertyType;
  switch (type) {
    case PropertyType::Float: {
      float value = 0.0f;
      return FloatText(registry.GetFloatValue(name, value));
    }
    case PropertyType::Double: {
      double value = 0.0;
      return DoubleText(registry.GetDoubleValue(name, value));
    }
    case PropertyType::Bool: {
      bool value = false;
      return BoolText(registry.GetBoolValue(name, value));
    }
    case PropertyType::UInt32: {
      std::uint32_t value = 0;
      return UInt32Text(registry.GetUInt32Value(name, PropertyType::UInt32, value));
    }
    case PropertyType::String:
      return StringText(registry.GetStringValue(name));
    case PropertyType::Color: {
      std::uint32_t value = 0;
      return ColorText(registry.GetUInt32Value(name, PropertyType::Color, value));
    }
    case PropertyType::Int32: {
      std::int32_t value = 0;
      return Int32Text(registry.GetInt32Value(name, value));
    }
    case PropertyType::UInt64: {
      std::uint64_t value = 0;
      return UInt64Text(registry.GetUInt64Value(name, value));
    }
  }
  return std::nullopt;
}

}  // namespace ornr
