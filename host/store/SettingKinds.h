// The C++ type of each settings field as one of the five kinds a stored or exported value takes.
#pragma once

#include <cstdint>
#include <type_traits>

namespace ornhost::detail {

enum class SettingKind { Bool, UInt32, Int32, UInt64, Double };

template <typename T>
constexpr SettingKind SettingKindOf() {
  if constexpr (std::is_enum_v<T>) {
    return SettingKindOf<std::underlying_type_t<T>>();
  } else if constexpr (std::is_same_v<T, bool>) {
    return SettingKind::Bool;
  } else if constexpr (std::is_same_v<T, double>) {
    return SettingKind::Double;
  } else if constexpr (std::is_same_v<T, std::uint32_t>) {
    return SettingKind::UInt32;
  } else if constexpr (std::is_same_v<T, std::int32_t>) {
    return SettingKind::Int32;
  } else {
    static_assert(std::is_same_v<T, std::uint64_t>);
    return SettingKind::UInt64;
  }
}

}  // namespace ornhost::detail
