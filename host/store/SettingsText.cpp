#include "host/store/SettingsText.h"

#include <bitset>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "host/controls/HostControls.h"
#include "host/store/SettingsColumns.h"

using Teskor::ZelPlatform::OrnSettings;

namespace ornhost {

namespace {

constexpr std::size_t kFieldCount = 0
#define ORN_FIELD(T, GET, SET, KEY, INIT) +1
#include "host/OrnSettingsFields.def"
#undef ORN_FIELD
    ;

bool ParseValue(std::string_view text, bool& out) {
  if (text == "true") {
    out = true;
    return true;
  }
  if (text == "false") {
    out = false;
    return true;
  }
  return false;
}

// Integers come as signed or unsigned decimal of the field's width: "-1" fills every bit.
template <typename Int>
bool ParseInteger(std::string_view text, Int& out) {
  using Signed = std::make_signed_t<Int>;
  using Unsigned = std::make_unsigned_t<Int>;
  const char* end = text.data() + text.size();
  if (!text.empty() && text.front() == '-') {
    std::int64_t value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || value < std::numeric_limits<Signed>::min()) return false;
    out = static_cast<Int>(static_cast<Signed>(value));
    return true;
  }
  std::uint64_t value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || value > std::numeric_limits<Unsigned>::max()) return false;
  out = static_cast<Int>(static_cast<Unsigned>(value));
  return true;
}

bool ParseValue(std::string_view text, std::uint32_t& out) {
  return ParseInteger(text, out);
}
bool ParseValue(std::string_view text, std::int32_t& out) {
  return ParseInteger(text, out);
}
bool ParseValue(std::string_view text, std::uint64_t& out) {
  return ParseInteger(text, out);
}

// from_chars rather than strtod: the file must not depend on the process's locale.
bool ParseValue(std::string_view text, double& out) {
  // strtod's optional plus sign, which from_chars does not take.
  if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, out);
  // NaN would make a setup unequal to itself.
  return ec == std::errc() && ptr == end && std::isfinite(out);
}

// A value the view model can show: fixed text of a double from 1e21 up would be cut.
template <typename T>
bool ShowableInViewModel(const T&) {
  return true;
}
bool ShowableInViewModel(double value) {
  return std::fabs(value) < 1e21;
}

template <typename Enum>
requires std::is_enum_v<Enum>
bool ParseValue(std::string_view text, Enum& out) {
  std::underlying_type_t<Enum> raw{};
  if (!ParseValue(text, raw)) return false;
  out = static_cast<Enum>(raw);
  return true;
}

std::string FormatValue(bool value) {
  return value ? "true" : "false";
}

template <typename Int>
requires std::is_integral_v<Int> std::string FormatValue(Int value) {
  return std::to_string(value);
}

std::string FormatValue(double value) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 17);
  return std::string(buffer, result.ptr);
}

template <typename Enum>
requires std::is_enum_v<Enum> std::string FormatValue(Enum value) {
  return FormatValue(static_cast<std::underlying_type_t<Enum>>(value));
}

// Index of key in the record's order, or kFieldCount. Records list their fields in that order,
// so the expected index is tried first.
std::size_t FieldIndex(std::string_view key, std::size_t expected = kFieldCount) {
  const auto& keys = SettingKeys();
  if (expected < keys.size() && keys[expected] == key) return expected;
  // Values read back from a table come in the order of its key, not the record's.
  return detail::SettingIndex(key).value_or(kFieldCount);
}

}  // namespace

namespace {

// The parse of each field, by its index in the record's order.
using FieldSetter = bool (*)(OrnSettings&, std::string_view, bool);
constexpr FieldSetter kFieldSetters[] = {
#define ORN_FIELD(T, GET, SET, KEY, INIT)                                \
  [](OrnSettings& settings, std::string_view text, bool viewModelForm) { \
    T value{};                                                           \
    if (!ParseValue(text, value)) return false;                          \
    if (viewModelForm && !ShowableInViewModel(value)) return false;      \
    settings.SET(value);                                                 \
    return true;                                                         \
  },
#include "host/OrnSettingsFields.def"
#undef ORN_FIELD
};

bool SetField(OrnSettings& settings, std::string_view key, std::string_view text,
              bool viewModelForm) {
  const std::size_t index = FieldIndex(key);
  return index < kFieldCount && kFieldSetters[index](settings, text, viewModelForm);
}

}  // namespace

bool SetSettingFromText(OrnSettings& settings, std::string_view key, std::string_view text) {
  return SetField(settings, key, text, true);
}

const std::vector<std::string>& SettingKeys() {
  static const std::vector<std::string> keys = {
#define ORN_FIELD(T, GET, SET, KEY, INIT) #KEY,
#include "host/OrnSettingsFields.def"
#undef ORN_FIELD
  };
  return keys;
}

namespace detail {

std::string FormatSettingsRecord(const OrnSettings& settings) {
  std::string out;
#define ORN_FIELD(T, GET, SET, KEY, INIT) \
  out += #KEY "=";                        \
  out += FormatValue(settings.GET());     \
  out += '\n';
#include "host/OrnSettingsFields.def"
#undef ORN_FIELD
  return out;
}

std::optional<OrnSettings> ParseSettingsRecord(std::string_view text) {
  OrnSettings settings;
  std::bitset<kFieldCount> seen;
  while (!text.empty()) {
    const std::size_t eol = text.find('\n');
    const std::string_view line = text.substr(0, eol);
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    const std::string_view key = line.substr(0, eq);
    const std::size_t index = FieldIndex(key, seen.count());
    if (index == kFieldCount || seen.test(index)) return std::nullopt;
    if (!kFieldSetters[index](settings, line.substr(eq + 1), false)) return std::nullopt;
    seen.set(index);
  }
  if (!seen.all()) return std::nullopt;
  return settings;
}

}  // namespace detail

}  // namespace ornhost
