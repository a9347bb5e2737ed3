// The neutral resource table "Localizable", built into the module.
#pragma once

#include <span>
#include <string_view>

#include "support/TextTable.h"

namespace ornr::bridge {

/// The base name of the resource tables: culture tables are files "Localizable.<culture>.txt".
inline constexpr std::string_view kLocalizableBaseName = ornr::kTextTableBaseName;
/// The folder beside the module that holds the culture tables, in the build and once installed.
inline constexpr std::string_view kLocalizableFolder = ornr::kTextTableFolder;

struct LocalizableEntry {
  std::u16string_view key;
  const char16_t* text;
};

/// The neutral text of key, or null when the table has no such key.
const char16_t* NeutralText(std::u16string_view key) noexcept;
/// Every entry of the neutral table, in key order.
std::span<const LocalizableEntry> NeutralTable() noexcept;

}  // namespace ornr::bridge
