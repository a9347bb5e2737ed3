#include "manager/OnSetupPropertyChanged.h"

#include <cstdint>

#include "manager/SetupManager.h"
#include "ornr/IPrismetWrapper.h"
#include "settings/OrnSettingsWrapper.h"
#include "support/Boundary.h"
#include "viewmodel/ViewModelDocument.h"

namespace ornr {

using Teskor::KreelPlatform::OrnSettingsWrapper;
using Teskor::ZelPlatform::PropertyType;

namespace {

// Reads the panel's value of the property's type and writes it into the settings.
void ApplyValue(OrnSettingsWrapper& wrapper, const char16_t* setupName, const char* property) {
  IPrismetWrapper* bridge = &RequireBridge();
  switch (wrapper.GetPropertyType(property)) {
    case PropertyType::Float: {
      float value = 0.0f;
      bridge->GetRenderSetupPropertyValue(setupName, property, value, false);
      wrapper.SetFloatValue(property, value);
      return;
    }
    case PropertyType::Double: {
      double value = 0.0;
      bridge->GetRenderSetupPropertyValue(setupName, property, value, false);
      wrapper.SetDoubleValue(property, value);
      return;
    }
    case PropertyType::Bool: {
      bool value = false;
      bridge->GetRenderSetupPropertyValue(setupName, property, value, false);
      wrapper.SetBoolValue(property, value);
      return;
    }
    case PropertyType::UInt32: {
      std::uint32_t value = 0;
      bridge->GetRenderSetupPropertyValue(setupName, property, value, false);
      wrapper.SetUInt32Value(property, PropertyType::UInt32, value);
      return;
    }
    case PropertyType::String: {
      char16_t value[256] = {};
      bridge->GetRenderSetupPropertyValue(setupName, property, value, 255, false);
      wrapper.SetStringValue(property, value);
      return;
    }
    case PropertyType::Color: {
      unsigned char rgb[3] = {0, 0, 0};
      bridge->GetRenderSetupPropertyValue(setupName, property, rgb, false);
      wrapper.SetUInt32Value(property, PropertyType::Color,
                             (std::uint32_t{rgb[0]} << 16) | (std::uint32_t{rgb[1]} << 8) | rgb[2]);
      return;
    }
    case PropertyType::UInt64: {
      std::uint64_t value = 0;
      bridge->GetRenderSetupPropertyValue(setupName, property, value, false);
      wrapper.SetUInt64Value(property, value);
      return;
    }
    case PropertyType::Int32:
      // The registry cannot write Int32 properties; unknown names end here as well.
      return;
  }
}

}  // namespace

void OnSetupPropertyChanged(const char16_t* setupName, const char* propertyName) noexcept {
  Guarded("OnSetupPropertyChanged", [&] {
    SetupManager* manager = GetSetupManager();
    if (manager == nullptr || manager->updatingViewModel) return;
    if (!manager->CheckActiveModel()) return;
    if (setupName == nullptr) setupName = u"";
    if (propertyName == nullptr) propertyName = "";
    auto* setup = manager->FindValidSetup(setupName, false);
    if (setup == nullptr || setup->GetSettings() == nullptr) return;
    {
      OrnSettingsWrapper wrapper(*setup->GetSettings());
      ApplyValue(wrapper, setupName, propertyName);
    }
    if (auto* store = manager->FindRenderStore(setupName, false)) store->modified = true;
  });
}

}  // namespace ornr
