#include "bridge/ResourceMgr.h"

#include "bridge/Localizable.h"
#include "support/UiCulture.h"

namespace ornr::bridge {

ResourceManager* ResourceMgr::s_ResourceManager = nullptr;

// Frees the lookup when the module is unloaded.
struct ResourceManagerOwner {
  ~ResourceManagerOwner() {
    delete ResourceMgr::s_ResourceManager;
    ResourceMgr::s_ResourceManager = nullptr;
  }
};
static ResourceManagerOwner s_resourceManagerOwner;

ResourceManager& ResourceMgr::Resource() {
  if (s_ResourceManager == nullptr) {
    s_ResourceManager = new ResourceManager(std::string(kLocalizableBaseName), TablesDirectory());
  }
  return *s_ResourceManager;
}

String ResourceMgr::GetLocalizedString(const String& key) {
  if (!key) return std::nullopt;
  return Resource().GetString(*key, CurrentUiCultures());
}

}  // namespace ornr::bridge
