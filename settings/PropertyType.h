// The value type codes of registered properties.
#pragma once

#include <cstdint>

namespace Teskor::ZelPlatform {

enum class PropertyType : std::int32_t {
  Float = 0,
  Double = 1,
  Bool = 2,
  UInt32 = 3,
  String = 4,
  Color = 5,
  Int32 = 6,
  UInt64 = 7,
};

/// What GetPropertyType reports for a name that is not registered: outside 0 to 7.
inline constexpr PropertyType kUnregisteredProperty = static_cast<PropertyType>(-1);

}  // namespace Teskor::ZelPlatform
