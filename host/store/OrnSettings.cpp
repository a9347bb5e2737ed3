#include "host/OrnSettings.h"

namespace Teskor::ZelPlatform {

bool OrnSettings::Equals(const OrnSettings& other) const {
  return true
#define ORN_FIELD(T, GET, SET, KEY, INIT) &&GET() == other.GET()
#include "host/OrnSettingsFields.def"
#undef ORN_FIELD
      ;
}

}  // namespace Teskor::ZelPlatform
