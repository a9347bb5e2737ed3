// The renderer's settings record of one render setup.
#pragma once

#include <cstdint>

namespace Teskor::ZelPlatform {

class OrnSettings {
 public:
  // The enumerations hold any value of their underlying type; the named ones are the renderer's.
  enum class BlurMethod : std::uint32_t { Camera = 0, Object = 1, Combined = 2 };
  enum class GlobalShadowQuality : std::int32_t { Draft = 0, Medium = 1, High = 2, Best = 3 };
  enum class CameraProjection : std::uint32_t { Perspective = 0, Parallel = 1, Spherical = 2 };
  enum class AntiAliasStrategy : std::uint32_t { None = 0, Fixed = 1, Adaptive = 2 };
  enum class LightingModel : std::uint32_t { Basic = 0, Radiosity = 1, PathTracing = 2 };
  enum class JitterMode : std::uint32_t { Off = 0, Random = 1, Stratified = 2 };
  enum class JitterBucketSize : std::uint32_t { Size16 = 0, Size32 = 1, Size64 = 2 };

  /// Every field at the renderer's default.
  OrnSettings() = default;

  /// Copies every value of source.
  void Clone(const OrnSettings& source) { *this = source; }
  /// True when every value equals (doubles compared exactly).
  bool Equals(const OrnSettings& other) const;

#define ORN_FIELD(type, getter, setter, key, init) \
  type getter() const {                            \
    return m_##key;                                \
  }                                                \
  void setter(type value) {                        \
    m_##key = value;                               \
  }
#include "host/OrnSettingsFields.def"
#undef ORN_FIELD

 private:
#define ORN_FIELD(type, getter, setter, key, init) type m_##key = init;
#include "host/OrnSettingsFields.def"
#undef ORN_FIELD
};

}  // namespace Teskor::ZelPlatform
