#include "host/store/SettingsColumns.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <type_traits>
#include <unordered_map>

#include "host/store/SettingKinds.h"

using Teskor::ZelPlatform::OrnSettings;

namespace ornhost::detail {

namespace {

using Kind = SettingKind;

struct ColumnField {
  const char* key;
  Kind kind;
};

constexpr ColumnField kFields[] = {
#define ORN_FIELD(T, GET, SET, KEY, INIT) {#KEY, SettingKindOf<T>()},
#include "host/OrnSettingsFields.def"
#undef ORN_FIELD
};
static_assert(std::size(kFields) == kSettingCount);

std::uint64_t Mix(std::uint64_t hash, std::uint64_t value) {
  hash = (hash ^ value) * 0x9E3779B97F4A7C15ull;
  return hash ^ (hash >> 29);
}

std::uint64_t NameSeed(std::u16string_view name) {
  std::uint64_t hash = name.size();
  for (const char16_t unit : name) hash = Mix(hash, unit);
  return hash;
}

std::uint64_t Bits(double value) {
  return value == 0 ? 0 : std::bit_cast<std::uint64_t>(value);
}
template <typename T>
std::uint64_t Bits(T value) {
  if constexpr (std::is_enum_v<T>) {
    return static_cast<std::uint64_t>(static_cast<std::underlying_type_t<T>>(value));
  } else {
    return static_cast<std::uint64_t>(value);
  }
}

StoredValue Stored(bool value) {
  return {StoredValue::Type::Integer, value ? 1 : 0, 0, ""};
}
StoredValue Stored(double value) {
  return {StoredValue::Type::Real, 0, value, ""};
}
template <typename T>
StoredValue Stored(T value) {
  if constexpr (std::is_enum_v<T>) {
    return Stored(static_cast<std::underlying_type_t<T>>(value));
  } else {
    // Unsigned 64-bit values keep every bit, as their two's complement.
    return {StoredValue::Type::Integer, static_cast<std::int64_t>(value), 0, ""};
  }
}

std::string Shown(const StoredValue& value) {
  if (value.type == StoredValue::Type::Integer) return std::to_string(value.integer);
  if (value.type == StoredValue::Type::Real) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value.real);
    return text;
  }
  return value.other;
}

// Why value is no value of T, or nullptr.
template <typename T>
const char* Read(const StoredValue& value, T& out) {
  if constexpr (std::is_enum_v<T>) {
    std::underlying_type_t<T> raw{};
    const char* why = Read(value, raw);
    out = static_cast<T>(raw);
    return why;
  } else if constexpr (std::is_same_v<T, double>) {
    if (value.type == StoredValue::Type::Integer) {
      out = static_cast<double>(value.integer);
      return nullptr;
    }
    if (value.type != StoredValue::Type::Real || !std::isfinite(value.real)) {
      return "is not a finite number";
    }
    out = value.real;
    return nullptr;
  } else if constexpr (std::is_same_v<T, bool>) {
    if (value.type != StoredValue::Type::Integer || (value.integer != 0 && value.integer != 1)) {
      return "is not 0 or 1";
    }
    out = value.integer == 1;
    return nullptr;
  } else if constexpr (std::is_same_v<T, std::uint64_t>) {
    if (value.type != StoredValue::Type::Integer) return "is not an integer";
    out = static_cast<std::uint64_t>(value.integer);
    return nullptr;
  } else {
    if (value.type != StoredValue::Type::Integer ||
        value.integer < std::int64_t{std::numeric_limits<T>::min()} ||
        value.integer > std::int64_t{std::numeric_limits<T>::max()}) {
      return std::is_signed_v<T> ? "is not an integer from -2147483648 to 2147483647"
                                 : "is not an integer from 0 to 4294967295";
    }
    out = static_cast<T>(value.integer);
    return nullptr;
  }
}

using FieldReader = const char* (*)(OrnSettings&, const StoredValue&);
constexpr FieldReader kReaders[] = {
#define ORN_FIELD(T, GET, SET, KEY, INIT)                              \
  [](OrnSettings& settings, const StoredValue& value) -> const char* { \
    T field{};                                                         \
    const char* why = Read(value, field);                              \
    if (why == nullptr) settings.SET(field);                           \
    return why;                                                        \
  },
#include "host/OrnSettingsFields.def"
#undef ORN_FIELD
};

// STRICT gives the column's type; the check gives the field's range.
std::string Definition(const ColumnField& field) {
  const std::string key = field.key;
  switch (field.kind) {
    case Kind::Bool:
      return key + " INTEGER NOT NULL CHECK (" + key + " BETWEEN 0 AND 1)";
    case Kind::UInt32:
      return key + " INTEGER NOT NULL CHECK (" + key + " BETWEEN 0 AND 4294967295)";
    case Kind::Int32:
      return key + " INTEGER NOT NULL CHECK (" + key + " BETWEEN -2147483648 AND 2147483647)";
    case Kind::UInt64:
      return key + " INTEGER NOT NULL";
    case Kind::Double:
      // ANY, not REAL: a REAL column stores -0 as the integer 0 and loses its sign.
      return key + " ANY NOT NULL CHECK (typeof(" + key + ") = 'integer' OR typeof(" + key +
             ") = 'real' AND " + key +
             " BETWEEN -1.7976931348623157e308 AND 1.7976931348623157e308)";
  }
  return key;
}

}  // namespace

StoredValue SettingValue(const OrnSettings& settings, std::size_t index) {
  using Reader = StoredValue (*)(const OrnSettings&);
  static constexpr Reader kOne[] = {
#define ORN_FIELD(T, GET, SET, KEY, INIT) [](const OrnSettings& s) { return Stored(s.GET()); },
#include "host/OrnSettingsFields.def"
#undef ORN_FIELD
  };
  static_assert(std::size(kOne) == kSettingCount);
  return kOne[index](settings);
}

StoredValues SettingValues(const OrnSettings& settings) {
  StoredValues values;
  std::size_t i = 0;
#define ORN_FIELD(T, GET, SET, KEY, INIT) values[i++] = Stored(settings.GET());
#include "host/OrnSettingsFields.def"
#undef ORN_FIELD
  return values;
}

const std::string& SettingColumnDefinitions() {
  static const std::string text = [] {
    std::string lines;
    for (const ColumnField& field : kFields) {
      lines += lines.empty() ? "  " : ",\n  ";
      lines += Definition(field);
    }
    return lines;
  }();
  return text;
}

const std::string& SettingColumnList() {
  static const std::string text = [] {
    std::string list;
    for (const ColumnField& field : kFields) {
      if (!list.empty()) list += ", ";
      list += field.key;
    }
    return list;
  }();
  return text;
}

const char* SettingKey(std::size_t index) {
  return kFields[index].key;
}

std::optional<std::size_t> SettingIndex(std::string_view key) {
  static const auto* byKey = [] {
    auto* map = new std::unordered_map<std::string_view, std::size_t>;
    for (std::size_t i = 0; i < kSettingCount; ++i) map->emplace(kFields[i].key, i);
    return map;
  }();
  const auto found = byKey->find(key);
  if (found == byKey->end()) return std::nullopt;
  return found->second;
}

bool SetSettingValue(OrnSettings& settings, std::size_t index, const StoredValue& value) {
  return kReaders[index](settings, value) == nullptr;
}

bool SameStoredValue(const StoredValue& a, const StoredValue& b) {
  if (a.type != b.type) return false;
  if (a.type == StoredValue::Type::Real) {
    return std::bit_cast<std::uint64_t>(a.real) == std::bit_cast<std::uint64_t>(b.real);
  }
  return a.type == StoredValue::Type::Integer ? a.integer == b.integer
                                              : std::string_view(a.other) == b.other;
}

std::optional<OrnSettings> ReadSettingValues(const StoredValues& values, std::string& problem) {
  OrnSettings settings;
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (const char* why = kReaders[i](settings, values[i])) {
      problem = "the value of " + std::string(kFields[i].key) + " " + why + " (it is " +
                Shown(values[i]) + ")";
      return std::nullopt;
    }
  }
  return settings;
}

std::uint64_t RecordDigest(std::u16string_view name, const OrnSettings& settings) {
  std::uint64_t hash = NameSeed(name);
#define ORN_FIELD(T, GET, SET, KEY, INIT) hash = Mix(hash, Bits(settings.GET()));
#include "host/OrnSettingsFields.def"
#undef ORN_FIELD
  return hash;
}

std::uint64_t RecordDigest(std::u16string_view name, const StoredValues& values) {
  std::uint64_t hash = ~NameSeed(name);
  for (const StoredValue& value : values) {
    hash = Mix(hash, static_cast<std::uint64_t>(value.type));
    hash = Mix(hash, value.type == StoredValue::Type::Real
                         ? Bits(value.real)
                         : static_cast<std::uint64_t>(value.integer));
  }
  return hash;
}

}  // namespace ornhost::detail
