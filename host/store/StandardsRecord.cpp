#include "host/store/StandardsRecord.h"

namespace ornhost {

std::vector<std::string> PropertyNames(const PropertySet& set) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < set.size(); ++i) {
    if (set.test(i)) names.emplace_back(detail::SettingKey(i));
  }
  return names;
}

std::optional<PropertySet> PropertySetOf(const std::vector<std::string>& names,
                                         std::string* unknown) {
  PropertySet set;
  for (const std::string& name : names) {
    const auto index = detail::SettingIndex(name);
    if (!index) {
      if (unknown != nullptr) *unknown = name;
      return std::nullopt;
    }
    set.set(*index);
  }
  return set;
}

PropertySet AllProperties() {
  return PropertySet().set();
}

}  // namespace ornhost
