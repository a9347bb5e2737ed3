// How a setup and its settings are written into the view-model document.
#pragma once

#include <string>

#include "host/RenderStore.h"
#include "settings/PropertyType.h"
#include "viewmodel/ViewModelDocument.h"

namespace ornr {

inline constexpr char16_t kGroupMasterFile[] = u"SetupsFromMasterFile";
inline constexpr char16_t kGroupLibrary[] = u"SetupsFromZelLib";

/// Appends the setup's element with its 68 property elements and, with select, a
/// "CurrentRenderSetup" element. Writes nothing for a setup whose valid flag is clear.
void WriteSetup(ViewModelDocument& document, const char16_t* group,
                const Teskor::ZelPlatform::OrnSetup& setup, const Teskor::WString& storeIn,
                bool select, bool newBorn);

}  // namespace ornr
