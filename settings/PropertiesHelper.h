// A registry of named, typed properties over the accessor pairs of the deriving class T.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
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
/// it; such a write does nothing. A registry whose targets are the owner itself can be built once
/// and shared read-only by every owner of the class (ShareRegistry). The registry stores the
/// target's address when it is another object, so the owner is never copied or moved.
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
    if (registry_->Find(key) != nullptr) {
      throw std::invalid_argument("property registered twice: " + std::string(key));
    }
    const Map map = MapFor<V>(type);
    if (map == Map::None) {
      throw std::invalid_argument("accessors do not match the type of " + std::string(key));
    }
    // The owner itself is stored as "self", so that the registry serves any owner.
    T* stored = target == Self() ? nullptr : target;
    Own().Add(Entry{std::string(key), type, map, PropertyAccessor<T, V>{stored, setter, getter}});
  }

  /// kUnregisteredProperty for a name that is not registered; names are case-sensitive.
  PropertyType GetPropertyType(PropertyName name) const {
    const Entry* entry = registry_->Find(name.View());
    return entry == nullptr ? kUnregisteredProperty : entry->type;
  }

  float GetFloatValue(PropertyName name, float& value) const {
    return Read(Map::Float, name, value);
  }
  double GetDoubleValue(PropertyName name, double& value) const {
    return Read(Map::Double, name, value);
  }
  bool GetBoolValue(PropertyName name, bool& value) const { return Read(Map::Bool, name, value); }
  /// Type UInt32 reads the UInt32 properties, any other type the Color properties.
  std::uint32_t GetUInt32Value(PropertyName name, PropertyType type, std::uint32_t& value) const {
    return Read(type == PropertyType::UInt32 ? Map::UInt32 : Map::Color, name, value);
  }
  std::int32_t GetInt32Value(PropertyName name, std::int32_t& value) const {
    return Read(Map::Int32, name, value);
  }
  std::uint64_t GetUInt64Value(PropertyName name, std::uint64_t& value) const {
    return Read(Map::UInt64, name, value);
  }
  /// The getter's text, owned by the target; null for a name that is not a String property.
  const char16_t* GetStringValue(PropertyName name) const {
    const char16_t* value = nullptr;
    return Read(Map::String, name, value);
  }

  void SetFloatValue(PropertyName name, float value) { Write(Map::Float, name, value); }
  void SetDoubleValue(PropertyName name, double value) { Write(Map::Double, name, value); }
  void SetBoolValue(PropertyName name, bool value) { Write(Map::Bool, name, value); }
  /// Type UInt32 writes the UInt32 properties, any other type the Color properties.
  void SetUInt32Value(PropertyName name, PropertyType type, std::uint32_t value) {
    Write(type == PropertyType::UInt32 ? Map::UInt32 : Map::Color, name, value);
  }
  void SetStringValue(PropertyName name, const char16_t* value) { Write(Map::String, name, value); }
  void SetUInt64Value(PropertyName name, std::uint64_t value) { Write(Map::UInt64, name, value); }
  // Int32 properties have no write by name: they are read-only through the registry.

  /// Calls callback for every registered name not in excluded, in registration order.
  void ForEachProperty(PropertyCallback callback, void* context,
                       const PropertyNameSet* excluded = nullptr) const {
    if (callback == nullptr) return;
    // By index and re-reading the size: a callback may register further names.
    for (std::size_t i = 0; i < registry_->entries.size(); ++i) {
      const Entry& entry = registry_->entries[i];
      if (excluded != nullptr && excluded->find(entry.name) != excluded->end()) continue;
      callback(entry.name, entry.type, context);
    }
  }

 protected:
  PropertiesHelper() noexcept : registry_(&EmptyRegistry()) {}
  ~PropertiesHelper() = default;

  /// The first owner that calls this from a given place runs fill, which registers properties
  /// whose target is the owner itself; that registry is kept, and every later owner uses it
  /// read-only instead of building its own. fill must be the same for every owner.
  template <typename Fill>
  void ShareRegistry(Fill&& fill) {
    static const std::unique_ptr<const Registry> shared = [&] {
      fill();
      return std::unique_ptr<const Registry>(std::move(own_));
    }();
    own_.reset();
    registry_ = shared.get();
  }

 private:
  // The maps of the registry; Color and UInt32 hold the same C++ type but are separate maps.
  enum class Map : std::uint8_t { None, Float, Double, Bool, UInt32, Color, String, Int32, UInt64 };

  struct Entry {
    std::string name;
    PropertyType type;
    Map map;
    std::variant<PropertyAccessor<T, float>, PropertyAccessor<T, double>, PropertyAccessor<T, bool>,
                 PropertyAccessor<T, std::uint32_t>, PropertyAccessor<T, const char16_t*>,
                 PropertyAccessor<T, std::int32_t>, PropertyAccessor<T, std::uint64_t>>
        accessor;
  };

  // Entries in registration order, found by name through an open-addressed table of indices.
  struct Registry {
    std::vector<Entry> entries;
    std::vector<std::int32_t> slots;  // -1 for free; size a power of two, at most half used

    // The length and the first and last eight bytes: every value read looks a name up, and
    // names that share all three only cost a comparison more.
    static std::size_t Hash(std::string_view name) noexcept {
      std::uint64_t head = 0;
      std::uint64_t tail = 0;
      if (name.size() >= 8) {
        std::memcpy(&head, name.data(), 8);
        std::memcpy(&tail, name.data() + name.size() - 8, 8);
      } else if (!name.empty()) {
        std::memcpy(&head, name.data(), name.size());
      }
      std::uint64_t h =
          (head ^ (tail * 0x9E3779B97F4A7C15ull) ^ name.size()) * 0xC2B2AE3D27D4EB4Full;
      h ^= h >> 32;
      return static_cast<std::size_t>(h * 0x9E3779B97F4A7C15ull >> 16);
    }
    const Entry* Find(std::string_view name) const noexcept {
      if (slots.empty()) return nullptr;
      const std::size_t mask = slots.size() - 1;
      for (std::size_t i = Hash(name) & mask;; i = (i + 1) & mask) {
        const std::int32_t at = slots[i];
        if (at < 0) return nullptr;
        if (entries[static_cast<std::size_t>(at)].name == name) return &entries[at];
      }
    }
    void Add(Entry entry) {
      entries.push_back(std::move(entry));
      if (slots.size() < 2 * entries.size()) {
        slots.assign(slots.empty() ? 16 : slots.size() * 2, -1);
        for (std::size_t i = 0; i < entries.size(); ++i) Place(i);
      } else {
        Place(entries.size() - 1);
      }
    }
    void Place(std::size_t index) {
      const std::size_t mask = slots.size() - 1;
      std::size_t i = Hash(entries[index].name) & mask;
      while (slots[i] >= 0) i = (i + 1) & mask;
      slots[i] = static_cast<std::int32_t>(index);
    }
  };

  static const Registry& EmptyRegistry() {
    static const Registry empty;
    return empty;
  }

  Registry& Own() {
    if (!own_) {
      own_ = std::make_unique<Registry>(*registry_);
      registry_ = own_.get();
    }
    return *own_;
  }

  T* Self() noexcept { return static_cast<T*>(this); }
  const T* Self() const noexcept { return static_cast<const T*>(this); }

  template <typename V>
  V Read(Map map, PropertyName name, V& value) const {
    const Entry* entry = registry_->Find(name.View());
    if (entry == nullptr || entry->map != map) return value;
    const auto& accessor = std::get<PropertyAccessor<T, V>>(entry->accessor);
    const T* target = accessor.target != nullptr ? accessor.target : Self();
    value = (target->*accessor.getter)();
    return value;
  }

  template <typename V>
  void Write(Map map, PropertyName name, V value) {
    const Entry* entry = registry_->Find(name.View());
    if (entry == nullptr || entry->map != map) return;
    const auto& accessor = std::get<PropertyAccessor<T, V>>(entry->accessor);
    T* target = accessor.target != nullptr ? accessor.target : Self();
    (target->*accessor.setter)(value);
  }

  template <typename V>
  static Map MapFor(PropertyType type) noexcept {
    const auto only = [type](PropertyType wanted, Map map) {
      return type == wanted ? map : Map::None;
    };
    if constexpr (std::is_same_v<V, float>) {
      return only(PropertyType::Float, Map::Float);
    } else if constexpr (std::is_same_v<V, double>) {
      return only(PropertyType::Double, Map::Double);
    } else if constexpr (std::is_same_v<V, bool>) {
      return only(PropertyType::Bool, Map::Bool);
    } else if constexpr (std::is_same_v<V, std::uint32_t>) {
      if (type == PropertyType::Color) return Map::Color;
      return only(PropertyType::UInt32, Map::UInt32);
    } else if constexpr (std::is_same_v<V, const char16_t*>) {
      return only(PropertyType::String, Map::String);
    } else if constexpr (std::is_same_v<V, std::int32_t>) {
      return only(PropertyType::Int32, Map::Int32);
    } else {
      static_assert(std::is_same_v<V, std::uint64_t>, "no property type has this value type");
      return only(PropertyType::UInt64, Map::UInt64);
    }
  }

  std::unique_ptr<Registry> own_;
  const Registry* registry_;
};

}  // namespace Teskor::ZelPlatform
