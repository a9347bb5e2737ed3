// The 68 settings of a render setup as named, typed properties: the accessors every wrapper
// implements, registered by name and type.
#pragma once

#include <cstdint>

#include "settings/PropertiesHelper.h"

namespace Teskor::KreelPlatform {

/// One setter and one getter per catalogue property, in catalogue order, registered in the
/// constructor so that a call through the registry reaches the deriving class's override.
class OrnSettingsWrapperBase : public ZelPlatform::PropertiesHelper<OrnSettingsWrapperBase> {
 public:
#define ORN_PROPERTY(position, name, registryType, valueType, hostGetter, hostSetter) \
  virtual void Set##name(valueType value) = 0;                                        \
  virtual valueType Get##name() const = 0;
#include "settings/OrnSettingsCatalogue.def"
#undef ORN_PROPERTY

 protected:
  OrnSettingsWrapperBase();
  ~OrnSettingsWrapperBase() = default;
};

}  // namespace Teskor::KreelPlatform
