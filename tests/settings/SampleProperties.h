// A registry with one property of every type, for tests of the registry and of value texts.
#pragma once

#include <cstdint>

#include "settings/PropertiesHelper.h"

namespace ornr::test {

using Teskor::ZelPlatform::PropertyType;

// clang-format off
#define ORNR_SAMPLE_PROPERTIES(X)             \
  X(float, Ratio, Float, 0.25f)               \
  X(double, Scale, Double, 1.5)               \
  X(bool, Visible, Bool, true)                \
  X(std::uint32_t, Count, UInt32, 7u)         \
  X(const char16_t*, Label, String, u"label") \
  X(std::uint32_t, Tint, Color, 0xFF8000u)    \
  X(std::int32_t, Offset, Int32, -4)          \
  X(std::uint64_t, Mask, UInt64, 9u)

/// Registered in the order above, which is not alphabetical.
class SampleProperties : public Teskor::ZelPlatform::PropertiesHelper<SampleProperties> {
 public:
  SampleProperties() {
#define ORNR_REGISTER(type, name, kind, init) \
    RegisterProperty(#name, PropertyType::kind, this, &SampleProperties::Set##name, &SampleProperties::Get##name);
    ORNR_SAMPLE_PROPERTIES(ORNR_REGISTER)
#undef ORNR_REGISTER
  }
#define ORNR_FIELD(type, name, kind, init) \
  void Set##name(type value) { name = value; } \
  type Get##name() const { return name; } \
  type name = init;
  ORNR_SAMPLE_PROPERTIES(ORNR_FIELD)
#undef ORNR_FIELD
};
// clang-format on

}  // namespace ornr::test
