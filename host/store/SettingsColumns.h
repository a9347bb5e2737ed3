// The settings of one setup as columns of its row in a design file: one typed column a field,
// named by the stored keys of host/OrnSettingsFields.def, so that plain SQL reads and changes one
// value by its name and the table's constraints refuse what the host could not read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/OrnSettings.h"

namespace ornhost::detail {

inline constexpr std::size_t kSettingCount = 0
#define ORN_FIELD(T, GET, SET, KEY, INIT) +1
#include "host/OrnSettingsFields.def"
#undef ORN_FIELD
    ;

/// A value as SQLite holds it. Bools are 0 or 1, unsigned 64-bit values their two's complement.
struct StoredValue {
  enum class Type { Integer, Real, Other } type = Type::Integer;
  std::int64_t integer = 0;
  double real = 0;
  /// For Other: what it is, in a word or two ("text", "a blob", "NULL").
  const char* other = "";
};

using StoredValues = std::array<StoredValue, kSettingCount>;

/// Every field in the record's order.
StoredValues SettingValues(const Teskor::ZelPlatform::OrnSettings& settings);
/// The value of setting index alone, as its column holds it: no copy of the other values.
StoredValue SettingValue(const Teskor::ZelPlatform::OrnSettings& settings, std::size_t index);

/// The column definitions, one a line, each with the CHECK that admits exactly the values of
/// its field's type.
const std::string& SettingColumnDefinitions();
/// "DoShadows, Stereo, ..." in the record's order.
const std::string& SettingColumnList();

/// The settings when every value is one of its field's type; otherwise nothing, and problem says
/// what is wrong with the first value that is not.
std::optional<Teskor::ZelPlatform::OrnSettings> ReadSettingValues(const StoredValues& values,
                                                                  std::string& problem);

/// The stored key of the field at index, in the record's order.
const char* SettingKey(std::size_t index);
/// The index of the field stored under key; nothing for a key that is no field.
std::optional<std::size_t> SettingIndex(std::string_view key);
/// Sets the field at index from value; false (settings untouched) when it is no value of the
/// field's type.
bool SetSettingValue(Teskor::ZelPlatform::OrnSettings& settings, std::size_t index,
                     const StoredValue& value);
/// The same type and the same bits: 0 and -0 differ, an integer differs from a real.
bool SameStoredValue(const StoredValue& a, const StoredValue& b);

/// Changes whenever the name or any value changes (0 and -0 count as one value, as Equals has it).
std::uint64_t RecordDigest(std::u16string_view name,
                           const Teskor::ZelPlatform::OrnSettings& settings);
/// The same for values that do not read as settings.
std::uint64_t RecordDigest(std::u16string_view name, const StoredValues& values);

}  // namespace ornhost::detail
