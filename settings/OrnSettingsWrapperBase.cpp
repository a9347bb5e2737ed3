#include "settings/OrnSettingsWrapperBase.h"

#include <cstddef>
#include <iterator>
#include <type_traits>

#include "settings/SettingsCatalogue.h"

namespace Teskor::KreelPlatform {

namespace {

using ZelPlatform::PropertyType;

// The value type that the registry's map of each type holds.
template <PropertyType>
struct RegistryValue;
template <>
struct RegistryValue<PropertyType::Bool> {
  using type = bool;
};
template <>
struct RegistryValue<PropertyType::Double> {
  using type = double;
};
template <>
struct RegistryValue<PropertyType::UInt32> {
  using type = std::uint32_t;
};
template <>
struct RegistryValue<PropertyType::Int32> {
  using type = std::int32_t;
};
template <>
struct RegistryValue<PropertyType::UInt64> {
  using type = std::uint64_t;
};

#define ORN_PROPERTY(position, name, registryType, valueType, hostGetter, hostSetter)       \
  static_assert(std::is_same_v<RegistryValue<PropertyType::registryType>::type, valueType>, \
                #name ": the wrapper value type is not the one its registry type holds");
#include "settings/OrnSettingsCatalogue.def"
#undef ORN_PROPERTY

using ornr::settings::CatalogueProperty;
using ornr::settings::kProperties;

constexpr bool PositionsFollowRowOrder() {
  for (std::size_t i = 0; i < std::size(kProperties); ++i) {
    if (kProperties[i].position != static_cast<int>(i)) return false;
  }
  return true;
}

constexpr int CountOf(PropertyType type) {
  int count = 0;
  for (const CatalogueProperty& row : kProperties) count += row.type == type ? 1 : 0;
  return count;
}

// The panel, the design files and the documents already sent all rely on these numbers.
static_assert(ornr::settings::kPropertyCount == 68, "the catalogue has 68 properties");
static_assert(PositionsFollowRowOrder(), "positions must run 0, 1, 2, ... in row order");
static_assert(CountOf(PropertyType::Bool) == 26);
static_assert(CountOf(PropertyType::UInt32) == 23);
static_assert(CountOf(PropertyType::Double) == 17);
static_assert(CountOf(PropertyType::Int32) == 1);
static_assert(CountOf(PropertyType::UInt64) == 1);

}  // namespace

OrnSettingsWrapperBase::OrnSettingsWrapperBase() {
  // Built by the first wrapper and shared: every entry calls the wrapper it is read through.
  ShareRegistry([this] {
  // Member pointers to virtual functions: a call through the registry reaches the override.
#define ORN_PROPERTY(position, name, registryType, valueType, hostGetter, hostSetter)           \
  RegisterProperty(#name, PropertyType::registryType, this, &OrnSettingsWrapperBase::Set##name, \
                   &OrnSettingsWrapperBase::Get##name);
#include "settings/OrnSettingsCatalogue.def"
#undef ORN_PROPERTY
  });
}

}  // namespace Teskor::KreelPlatform
