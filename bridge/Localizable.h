// The neutral resource table "Localizable", built into the module.
#pragma once

#include <string_view>

namespace ornr::bridge {

/// The base name of the resource tables: culture tables are files "Localizable.<culture>.txt".
inline constexpr std::string_view kLocalizableBaseName = "Localizable";

/// The neutral text of key, or null when the table has no such key.
const char16_t* NeutralText(std::u16string_view key) noexcept;

}  // namespace ornr::bridge
