// The text form of a settings record inside design files of formats 1 and 2: one "Key=value" line
// a field, in the record's order, under the stored keys of host/OrnSettingsFields.def.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/OrnSettings.h"

namespace ornhost::detail {

/// Every field, doubles in "%.17g" form so that they read back exactly.
std::string FormatSettingsRecord(const Teskor::ZelPlatform::OrnSettings& settings);
/// Nothing when a field is missing, repeated, unknown or not a value of its type.
std::optional<Teskor::ZelPlatform::OrnSettings> ParseSettingsRecord(std::string_view text);

}  // namespace ornhost::detail
