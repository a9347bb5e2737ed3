// How a setup and its settings are written into the view-model document.
#pragma once

#include <string>

#include "host/RenderStore.h"
#include "settings/OrnSettingsWrapperBase.h"
#include "settings/PropertyType.h"
#include "viewmodel/ViewModelDocument.h"

namespace ornr {

inline constexpr char16_t kGroupMasterFile[] = u"SetupsFromMasterFile";
inline constexpr char16_t kGroupLibrary[] = u"SetupsFromZelLib";

/// What WritePropertyElement writes with: the document whose current parent receives the
/// element, and the registry the value is read from.
struct PropertyElementContext {
  ViewModelDocument& document;
  const Teskor::KreelPlatform::OrnSettingsWrapperBase& registry;
};

/// A PropertyCallback; context is a PropertyElementContext. Appends an element named after the
/// property, holding its value text, under the document's current parent. A type without a text
/// form writes nothing.
void WritePropertyElement(const std::string& name, Teskor::ZelPlatform::PropertyType type,
                          void* context);

/// Appends the setup's element with its 68 property elements, in catalogue order, and, with
/// select, a "CurrentRenderSetup" element. Each setup element gets its own properties, whatever
/// its name. Writes nothing for a setup whose valid flag is clear.
void WriteSetup(ViewModelDocument& document, const char16_t* group,
                const Teskor::ZelPlatform::OrnSetup& setup, const Teskor::WString& storeIn,
                bool select, bool newBorn);

}  // namespace ornr
