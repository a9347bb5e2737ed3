#include "settings/OrnSettingsWrapper.h"

#include <cstddef>
#include <iterator>
#include <string_view>
#include <type_traits>
#include <utility>

namespace Teskor::KreelPlatform {

using ZelPlatform::OrnSettings;

namespace {

// The ids let one property differ from the plain forwarding below.
enum class PropertyId {
#define ORN_PROPERTY(position, name, registryType, valueType, hostGetter, hostSetter) name,
#include "settings/OrnSettingsCatalogue.def"
#undef ORN_PROPERTY
};

// Bits 0 and 1 always set, bits 2 to 12 kept, the rest cleared: in both directions.
constexpr std::uint64_t MaskOutputs(std::uint64_t value) {
  return (value & 0x1FFCu) | 3u;
}

template <PropertyId Id, typename Value>
constexpr Value Adjust(Value value) {
  if constexpr (Id == PropertyId::Outputs) {
    return MaskOutputs(value);
  } else {
    return value;
  }
}

// The host's field list and the catalogue are two files, one on each side of the module's
// boundary: row by row they name the same record field, stored under the property's name.
struct Accessors {
  std::string_view getter;
  std::string_view setter;
  std::string_view key;
};

constexpr Accessors kHostFields[] = {
#define ORN_FIELD(type, getter, setter, key, init) {#getter, #setter, #key},
#include "host/OrnSettingsFields.def"
#undef ORN_FIELD
};

constexpr Accessors kCatalogueFields[] = {
#define ORN_PROPERTY(position, name, registryType, valueType, hostGetter, hostSetter) \
  {#hostGetter, #hostSetter, #name},
#include "settings/OrnSettingsCatalogue.def"
#undef ORN_PROPERTY
};

constexpr std::size_t FirstRowThatDiffers() {
  std::size_t row = 0;
  for (; row < std::size(kHostFields) && row < std::size(kCatalogueFields); ++row) {
    const Accessors& host = kHostFields[row];
    const Accessors& catalogue = kCatalogueFields[row];
    if (host.getter != catalogue.getter || host.setter != catalogue.setter ||
        host.key != catalogue.key) {
      break;
    }
  }
  return row;
}

static_assert(std::size(kHostFields) == std::size(kCatalogueFields),
              "the catalogue and host/OrnSettingsFields.def differ in their number of rows");
static_assert(FirstRowThatDiffers() == std::size(kCatalogueFields),
              "a row of the catalogue and of host/OrnSettingsFields.def names another field");

template <typename Host>
using Underlying = typename std::conditional_t<std::is_enum_v<Host>, std::underlying_type<Host>,
                                               std::type_identity<Host>>::type;

}  // namespace

OrnSettingsWrapper::OrnSettingsWrapper(OrnSettings& record) : settings(&record) {}

// A host type that is an enumeration must have the wrapper type as its underlying type, so that
// the static_cast keeps every integer value, in range or not.
#define ORN_PROPERTY(position, name, registryType, valueType, hostGetter, hostSetter)            \
  static_assert(std::is_same_v<Underlying<std::remove_cvref_t<                                   \
                                   decltype(std::declval<const OrnSettings&>().hostGetter())>>,  \
                               valueType>,                                                       \
                #name ": the host value does not pass unchanged");                               \
  void OrnSettingsWrapper::Set##name(valueType value) {                                          \
    using Host = std::remove_cvref_t<decltype(std::declval<const OrnSettings&>().hostGetter())>; \
    settings->hostSetter(static_cast<Host>(Adjust<PropertyId::name>(value)));                    \
  }                                                                                              \
  valueType OrnSettingsWrapper::Get##name() const {                                              \
    return Adjust<PropertyId::name>(static_cast<valueType>(settings->hostGetter()));             \
  }
#include "settings/OrnSettingsCatalogue.def"
#undef ORN_PROPERTY

}  // namespace Teskor::KreelPlatform
