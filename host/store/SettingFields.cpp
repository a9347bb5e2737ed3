#include "host/store/SettingFields.h"

#include <charconv>
#include <type_traits>

#include "host/controls/HostControls.h"

using Teskor::ZelPlatform::OrnSettings;

namespace ornhost::detail {

namespace {

using Kind = SettingKind;

std::string Text(bool value) {
  return value ? "true" : "false";
}
std::string Text(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string text(buffer, result.ptr);
  // Whole numbers keep a fraction, so a reader takes them as doubles: "-0" would read as 0.
  if (text.find_first_not_of("-0123456789") == std::string::npos) text += ".0";
  return text;
}
template <typename T>
std::string Text(T value) {
  if constexpr (std::is_enum_v<T>) {
    return Text(static_cast<std::underlying_type_t<T>>(value));
  } else {
    return std::to_string(value);
  }
}

template <typename T>
T As(const FieldValue& value) {
  if constexpr (std::is_enum_v<T>) {
    return static_cast<T>(As<std::underlying_type_t<T>>(value));
  } else if constexpr (std::is_same_v<T, bool>) {
    return value.boolean;
  } else if constexpr (std::is_same_v<T, double>) {
    return value.real;
  } else if constexpr (std::is_same_v<T, std::int32_t>) {
    return static_cast<T>(value.integer);
  } else {
    return static_cast<T>(value.unsignedInteger);
  }
}

}  // namespace

const std::vector<Field>& Fields() {
  static const std::vector<Field> fields = {
#define ORN_FIELD(T, GET, SET, KEY, INIT)                                        \
  {#KEY, SettingKindOf<T>(), [](const OrnSettings& s) { return Text(s.GET()); }, \
   [](OrnSettings& s, const FieldValue& v) { s.SET(As<T>(v)); }},
#include "host/OrnSettingsFields.def"
#undef ORN_FIELD
  };
  return fields;
}

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::Bool:
      return "Bool";
    case Kind::UInt32:
      return "UInt32";
    case Kind::Int32:
      return "Int32";
    case Kind::UInt64:
      return "UInt64";
    case Kind::Double:
      return "Double";
  }
  return "?";
}

}  // namespace ornhost::detail

namespace ornhost {

std::vector<std::pair<std::string, std::string>> SettingTexts(const OrnSettings& settings) {
  std::vector<std::pair<std::string, std::string>> texts;
  for (const detail::Field& field : detail::Fields()) {
    texts.emplace_back(field.key, field.text(settings));
  }
  return texts;
}

}  // namespace ornhost
