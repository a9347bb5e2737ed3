#include "viewmodel/SetupWriter.h"

#include "settings/OrnSettingsWrapper.h"
#include "support/Utf.h"
#include "viewmodel/PropertyValueText.h"

namespace ornr {

using Teskor::KreelPlatform::OrnSettingsWrapper;
using Teskor::ZelPlatform::OrnSettings;
using Teskor::ZelPlatform::PropertyType;

void WritePropertyElement(const std::string& name, PropertyType type, void* context) {
  auto& target = *static_cast<PropertyElementContext*>(context);
  char buffer[kValueTextBuffer];
  const std::optional<std::string_view> text =
      PropertyValueTextUtf8(target.registry, name, type, buffer);
  if (!text) return;
  target.document.AppendToParentUtf8(name, *text);
}

void WriteSetup(ViewModelDocument& document, const char16_t* group,
                const Teskor::ZelPlatform::OrnSetup& setup, const Teskor::WString& storeIn,
                bool select, bool newBorn) {
  const OrnSettings* settings = setup.GetSettingsR();
  if (!setup.valid || settings == nullptr) return;
  // Converted once here; the document keeps UTF-8.
  const std::string name = XmlText(setup.GetName().c_str());
  if (group == nullptr) throw ComError(kE_POINTER, "null element name");
  const std::string groupName = Utf16ToUtf8(group);
  const std::string store = XmlText(storeIn.c_str());

  document.AppendToRootUtf8(groupName.c_str(), nullptr,
                            {{"Name", name.c_str()},
                             {"New", select ? "false" : "true"},
                             {"NewBorn", newBorn ? "true" : "false"},
                             {"StoreIn", store.c_str()}});
  // The element just appended, not a search by name: names may hold apostrophes, and two
  // libraries may each offer a setup of the same name.
  document.SelectLastRootChild();

  // The wrapper's interface is read-write, but this path only reads.
  OrnSettingsWrapper wrapper(const_cast<OrnSettings&>(*settings));
  PropertyElementContext context{document, wrapper};
  wrapper.ForEachProperty(&WritePropertyElement, &context);

  if (select) document.AppendToRootUtf8("CurrentRenderSetup", name.c_str());
}

}  // namespace ornr
