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
  const std::optional<std::u16string> text = PropertyValueText(target.registry, name, type);
  if (!text) return;
  const std::u16string elementName = Utf8ToUtf16(name);
  target.document.AppendToParent(nullptr, elementName.c_str(), text->c_str());
}

void WriteSetup(ViewModelDocument& document, const char16_t* group,
                const Teskor::ZelPlatform::OrnSetup& setup, const Teskor::WString& storeIn,
                bool select, bool newBorn) {
  const OrnSettings* settings = setup.GetSettingsR();
  if (!setup.valid || settings == nullptr) return;
  const char16_t* name = setup.GetName().c_str();

  document.AppendToRoot(group, nullptr,
                        {u"Name", name, u"New", select ? u"false" : u"true", u"NewBorn",
                         newBorn ? u"true" : u"false", u"StoreIn", storeIn.c_str()});
  // The element just appended, not a search by name: names may hold apostrophes, and two
  // libraries may each offer a setup of the same name.
  document.SelectLastRootChild();

  // The wrapper's interface is read-write, but this path only reads.
  OrnSettingsWrapper wrapper(const_cast<OrnSettings&>(*settings));
  PropertyElementContext context{document, wrapper};
  wrapper.ForEachProperty(&WritePropertyElement, &context);

  if (select) document.AppendTextToRoot(u"CurrentRenderSetup", name);
}

}  // namespace ornr
