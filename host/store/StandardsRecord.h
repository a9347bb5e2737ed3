// Office standards of one setup as a design file keeps them beside it: what it governs and locks
// when its file is offered as a library, its notes, and the overrides a drawing's setup was given.
#pragma once

#include <bitset>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/store/SettingsColumns.h"

namespace ornhost {

/// Some of a setup's values, by their places in the record's order.
using PropertySet = std::bitset<detail::kSettingCount>;

/// The stored keys of the properties in set, in the record's order.
std::vector<std::string> PropertyNames(const PropertySet& set);
/// The set of those stored keys; nothing when one is no property (unknown then names it).
std::optional<PropertySet> PropertySetOf(const std::vector<std::string>& names,
                                         std::string* unknown = nullptr);
/// Every property.
PropertySet AllProperties();

/// A locked value deviating on purpose.
struct OverrideRecord {
  std::string reason;
  /// The operating system's user and UTC time of the save that stored it; empty while pending.
  std::string madeBy;
  std::string madeAt;
  bool operator==(const OverrideRecord&) const = default;
};

struct SetupStandards {
  /// The values the setup governs as a library setup; nothing: all of them.
  std::optional<PropertySet> scope;
  /// Locked governed values with their reasons, by stored key.
  std::map<std::string, std::string> locks;
  /// The setup's own note; empty: none.
  std::string description;
  /// The reason for single values, by stored key.
  std::map<std::string, std::string> notes;
  /// Locked values of layers this setup deviates from, by stored key.
  std::map<std::string, OverrideRecord> overrides;

  /// Whether the setup governs the value at index.
  bool Governs(std::size_t index) const { return !scope || scope->test(index); }
  bool Empty() const {
    return !scope && locks.empty() && description.empty() && notes.empty() && overrides.empty();
  }
  bool operator==(const SetupStandards&) const = default;
};

/// Limits the tables' checks hold texts to, in characters.
inline constexpr std::size_t kMaxReasonLength = 1000;
inline constexpr std::size_t kMaxNoteLength = 4000;

}  // namespace ornhost
