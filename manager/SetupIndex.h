// Finding a setup by name in a setup list without walking the list.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/RenderStore.h"

namespace ornr {

using SetupList = std::vector<const Teskor::ZelPlatform::OrnSetup*>;

/// Answers what a walk of the list from its first element would: the first setup whose name
/// equals the wanted one in every code unit (optionally only among valid setups; the valid flag
/// is read at lookup time). Follow keeps it in step with the list after each re-read; a setup
/// renamed in place must be reported with Renamed. What a lookup finds is checked against the
/// setup's current name, and a mismatch rebuilds the index, so a stale entry never answers.
class SetupIndex {
 public:
  /// The list after a re-read. Cheap when the list is unchanged, grew at its end or lost one
  /// setup; anything else is rebuilt at the next lookup.
  void Follow(const SetupList& list);
  /// The store renamed a setup of the list in place from oldName to newName.
  void Renamed(std::u16string_view oldName, std::u16string_view newName);
  void Invalidate() noexcept;
  const Teskor::ZelPlatform::OrnSetup* Find(const SetupList& list, std::u16string_view name,
                                            bool validOnly);

 private:
  void Build(const SetupList& list);
  void Add(const Teskor::ZelPlatform::OrnSetup* setup);
  bool Remove(const Teskor::ZelPlatform::OrnSetup* setup);

  std::unordered_map<std::u16string, std::vector<const Teskor::ZelPlatform::OrnSetup*>> byName_;
  SetupList indexed_;
  bool built_ = false;
};

}  // namespace ornr
