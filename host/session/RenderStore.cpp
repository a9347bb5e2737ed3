#include "host/RenderStore.h"

namespace Teskor::ZelPlatform {

void RenderStore::Clone(const RenderStore& source) {
  auto* target = dynamic_cast<OrnSetup*>(this);
  const auto* from = dynamic_cast<const OrnSetup*>(&source);
  if (target == nullptr || from == nullptr || target == from) return;
  target->settings = from->settings;
  valid = source.valid;
}

OrnSetup::OrnSetup(ZelFile& owner, const char16_t* setupName)
    : RenderStore(WString(setupName)), file(&owner) {}

}  // namespace Teskor::ZelPlatform
