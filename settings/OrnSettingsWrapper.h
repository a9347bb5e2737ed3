// A render setup's settings record presented as 68 named, typed properties.
#pragma once

#include <cstdint>

#include "host/OrnSettings.h"
#include "host/RefCounted.h"
#include "settings/OrnSettingsWrapperBase.h"

namespace Teskor::KreelPlatform {

/// Forwards every accessor to the borrowed record; nothing is cached, every read goes to the
/// record. Enumerations pass their integer value unchanged, without a range test. "Outputs"
/// always reads and writes (value & 0x1FFC) | 3. The record must outlive the wrapper.
class OrnSettingsWrapper final : public OrnSettingsWrapperBase, public RefCountedBase {
 public:
  explicit OrnSettingsWrapper(ZelPlatform::OrnSettings& record);

#define ORN_PROPERTY(position, name, registryType, valueType, hostGetter, hostSetter) \
  void Set##name(valueType value) override;                                           \
  valueType Get##name() const override;
#include "settings/OrnSettingsCatalogue.def"
#undef ORN_PROPERTY

 private:
  ZelPlatform::OrnSettings* settings;
};

}  // namespace Teskor::KreelPlatform
