// The bridge's access to its localized texts.
#pragma once

#include "bridge/ResourceManager.h"

namespace ornr::bridge {

class ResourceMgr {
 public:
  /// The lookup over the tables in the module's folder of texts (TablesDirectory); made on first
  /// use and kept until the module is unloaded.
  static ResourceManager& Resource();
  /// The text of key for the current user-interface culture (see CurrentUiCultures), falling
  /// back to the neutral table; null when key is null or in no table.
  static String GetLocalizedString(const String& key);

 private:
  friend struct ResourceManagerOwner;
  static ResourceManager* s_ResourceManager;
};

}  // namespace ornr::bridge
