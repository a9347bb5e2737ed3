// The files made from the settings catalogue: the page's catalogue module and the settings table
// of the documentation. The build writes the first into the page it embeds; the copies under
// workbench/page/web/ and docs/ are kept equal to these texts by the tests.
#pragma once

#include <string>
#include <string_view>

#include "settings/PropertyType.h"

namespace ornr::settings {

/// The page's name of a registry type ("bool", "u32", "i32", "u64", "f64"); empty for a type
/// the page has no editor for.
std::string_view PageType(Teskor::ZelPlatform::PropertyType type);

/// The registry type's name as the catalogue spells it ("Bool", "UInt32"...).
std::string_view TypeName(Teskor::ZelPlatform::PropertyType type);

/// workbench/page/web/settings-catalogue.js: a JavaScript module exporting CATALOGUE, the
/// sections in the order shown as [identifier, title, settings], each setting as
/// [name, type, label, description]; texts in single quotes, everything outside ASCII escaped.
std::string PageCatalogueModule();

/// docs/settings.md: the sections, then one table row per setting in catalogue order.
std::string SettingsTable();

}  // namespace ornr::settings
