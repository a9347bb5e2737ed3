// A registry of named, typed properties over the accessor pairs of the deriving class T.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "settings/PropertyType.h"

namespace Teskor::ZelPlatform {

/// Called by ForEachProperty for each visited name; name is valid only during the call.
using PropertyCallback = void (*)(const std::string& name, PropertyType type, void* context);

/// Names that ForEachProperty skips.
using PropertyNameSet = std::set<std::string, std::less<>>;

/// A property name as the registry takes it: a zero-terminated string, a std::string or a view.
/// A null pointer names no property.
class PropertyName {
 public:
  // Implicit on purpose: callers pass "DoShadows", a std::string or a buffer alike.
  PropertyName(const char* name) noexcept  // NOLINT(google-explicit-constructor)
      : view_(name != nullptr ? std::string_view(name) : std::string_view()) {}
  PropertyName(const std::string& name) noexcept : view_(name) {}  // NOLINT
  PropertyName(std::string_view name) noexcept : view_(name) {}    // NOLINT

  std::string_view View() const noexcept { return view_; }

 private:
  std::string_view view_;
};

/// One registered property: the object whose accessors are called, and the accessor pair.
template <typename T, typename V>
struct PropertyAccessor {
  T* target = nullptr;
  void (T::*setter)(V) = nullptr;
  V (T::*getter)() const = nullptr;
};

/// Gives T a registry of its properties. T registers them in its constructor; afterwards code
/// that knows only a name can learn its type, read and write it, and visit all names.
/// A read of a name that is not in the map of its type leaves the output untouched and returns
/// it; such a write does nothing. The registry stores the target's address, so the owner is
/// never copied or moved.
template <typename T>
class PropertiesHelper {
 public:
  template <typename V>
  using Setter = void (T::*)(V);
  template <typename V>
  using Getter = V (T::*)() const;

  PropertiesHelper(const PropertiesHelper&) = delete;
  PropertiesHelper& operator=(const PropertiesHelper&) = delete;

  /// Stores the pair under name in the map that type selects, records the type and appends the
  /// name. Throws std::invalid_argument, registering nothing, for an empty or repeated name or a
  /// type whose map does not hold accessors of V (float: Float, double: Double, bool: Bool,
  /// uint32: UInt32 or Color, const char16_t*: String, int32: Int32, uint64: UInt64).
  template <typename V>
  void RegisterProperty(PropertyName name, PropertyType type, T* target, Setter<V> setter,
                        Getter<V> getter) {
    const std::string_view key = name.View();
    if (key.empty()) throw std::invalid_argument("property without a name");
    if (typeByName.find(key) != typeByName.end()) {
      throw std::invalid_argument("property registered twice: " + std::string(key));
    }
    auto* map = MapFor<V>(type);
    if (map == nullptr) {
      throw std::invalid_argument("accessors do not match the type of " + std::string(key));
    }
    map->emplace(std::string(key), PropertyAccessor<T, V>{target, setter, getter});
    typeByName.emplace(std::string(key), type);
    names.emplace_back(key);
  }

  /// kUnregisteredProperty for a name that is not registered; names are case-sensitive.
  PropertyType GetPropertyType(PropertyName name) const {
    const auto it = typeByName.find(name.View());
    return it == typeByName.end() ? kUnregisteredProperty : it->second;
  }

  float GetFloatValue(PropertyName name, float& value) const {
    return Read(floatProperties, name, value);
  }
  double GetDoubleValue(PropertyName name, double& value) const {
    return Read(doubleProperties, name, value);
  }
  bool GetBoolValue(PropertyName name, bool& value) const {
    return Read(boolProperties, name, value);
  }
  /// Type UInt32 reads the UInt32 properties, any other type the Color properties.
  std::uint32_t GetUInt32Value(PropertyName name, PropertyType type, std::uint32_t& value) const {
    return Read(type == PropertyType::UInt32 ? uint32Properties : colorProperties, name, value);
  }
  std::int32_t GetInt32Value(PropertyName name, std::int32_t& value) const {
    return Read(int32Properties, name, value);
  }
  std::uint64_t GetUInt64Value(PropertyName name, std::uint64_t& value) const {
    return Read(uint64Properties, name, value);
  }
  /// The getter's text, owned by the target; null for a name that is not a String property.
  const char16_t* GetStringValue(PropertyName name) const {
    const char16_t* value = nullptr;
    return Read(stringProperties, name, value);
  }

  void SetFloatValue(PropertyName name, float value) { Write(floatProperties, name, value); }
  void SetDoubleValue(PropertyName name, double value) { Write(doubleProperties, name, value); }
  void SetBoolValue(PropertyName name, bool value) { Write(boolProperties, name, value); }
  /// Type UInt32 writes the UInt32 properties, any other type the Color properties.
  void SetUInt32Value(PropertyName name, PropertyType type, std::uint32_t value) {
    Write(type == PropertyType::UInt32 ? uint32Properties : colorProperties, name, value);
  }
  void SetStringValue(PropertyName name, const char16_t* value) {
    Write(stringProperties, name, value);
  }
  void SetUInt64Value(PropertyName name, std::uint64_t value) {
    Write(uint64Properties, name, value);
  }
  // Int32 properties have no write by name: they are read-only through the registry.

  /// Calls callback for every registered name not in excluded, in registration order.
  void ForEachProperty(PropertyCallback callback, void* context,
                       const PropertyNameSet* excluded = nullptr) const {
    if (callback == nullptr) return;
    // By index and re-reading the size: a callback may register further names.
    for (std::size_t i = 0; i < names.size(); ++i) {
      const std::string& name = names[i];
      if (excluded != nullptr && excluded->find(name) != excluded->end()) continue;
      callback(name, typeByName.find(name)->second, context);
    }
  }

 protected:
  PropertiesHelper() = default;
  ~PropertiesHelper() = default;

 private:
  template <typename V>
  using AccessorMap = std::map<std::string, PropertyAccessor<T, V>, std::less<>>;

  template <typename V>
  static V Read(const AccessorMap<V>& map, PropertyName name, V& value) {
    const auto it = map.find(name.View());
    if (it == map.end()) return value;
    const PropertyAccessor<T, V>& accessor = it->second;
    value = (accessor.target->*accessor.getter)();
    return value;
  }

  template <typename V>
  static void Write(const AccessorMap<V>& map, PropertyName name, V value) {
    const auto it = map.find(name.View());
    if (it == map.end()) return;
    const PropertyAccessor<T, V>& accessor = it->second;
    (accessor.target->*accessor.setter)(value);
  }

  template <typename V>
  AccessorMap<V>* MapFor(PropertyType type) noexcept {
    const auto only = [type](PropertyType wanted, AccessorMap<V>& map) {
      return type == wanted ? &map : nullptr;
    };
    if constexpr (std::is_same_v<V, float>) {
      return only(PropertyType::Float, floatProperties);
    } else if constexpr (std::is_same_v<V, double>) {
      return only(PropertyType::Double, doubleProperties);
    } else if constexpr (std::is_same_v<V, bool>) {
      return only(PropertyType::Bool, boolProperties);
    } else if constexpr (std::is_same_v<V, std::uint32_t>) {
      if (type == PropertyType::Color) return &colorProperties;
      return only(PropertyType::UInt32, uint32Properties);
    } else if constexpr (std::is_same_v<V, const char16_t*>) {
      return only(PropertyType::String, stringProperties);
    } else if constexpr (std::is_same_v<V, std::int32_t>) {
      return only(PropertyType::Int32, int32Properties);
    } else {
      static_assert(std::is_same_v<V, std::uint64_t>, "no property type has this value type");
      return only(PropertyType::UInt64, uint64Properties);
    }
  }

  std::map<std::string, PropertyType, std::less<>> typeByName;
  std::vector<std::string> names;
  AccessorMap<float> floatProperties;
  AccessorMap<double> doubleProperties;
  AccessorMap<bool> boolProperties;
  AccessorMap<std::uint32_t> uint32Properties;
  AccessorMap<std::uint32_t> colorProperties;
  AccessorMap<const char16_t*> stringProperties;
  AccessorMap<std::int32_t> int32Properties;
  AccessorMap<std::uint64_t> uint64Properties;
};

}  // namespace Teskor::ZelPlatform
