#include "manager/SetupIndex.h"

#include <algorithm>
#include <cstring>

namespace ornr {

using Teskor::ZelPlatform::OrnSetup;

namespace {

bool SameRange(const OrnSetup* const* a, const OrnSetup* const* b, std::size_t count) {
  return count == 0 || std::memcmp(a, b, count * sizeof(*a)) == 0;
}

}  // namespace

void SetupIndex::Invalidate() noexcept {
  built_ = false;
  byName_.clear();
  indexed_.clear();
}

void SetupIndex::Build(const SetupList& list) {
  Invalidate();
  byName_.reserve(list.size());
  for (const OrnSetup* setup : list) Add(setup);
  indexed_ = list;
  built_ = true;
}

void SetupIndex::Add(const OrnSetup* setup) {
  if (setup != nullptr) byName_[setup->GetName().str()].push_back(setup);
}

bool SetupIndex::Remove(const OrnSetup* setup) {
  if (setup == nullptr) return true;
  const auto bucket = byName_.find(setup->GetName().str());
  if (bucket == byName_.end()) return false;
  auto& setups = bucket->second;
  const auto at = std::find(setups.begin(), setups.end(), setup);
  if (at == setups.end()) return false;
  setups.erase(at);
  if (setups.empty()) byName_.erase(bucket);
  return true;
}

void SetupIndex::Follow(const SetupList& list) {
  if (!built_) return;
  const std::size_t old = indexed_.size();
  if (list.size() >= old && SameRange(list.data(), indexed_.data(), old)) {
    // Unchanged, or new setups at the end, which come after every indexed one.
    for (std::size_t i = old; i < list.size(); ++i) Add(list[i]);
    indexed_.insert(indexed_.end(), list.begin() + static_cast<std::ptrdiff_t>(old), list.end());
    return;
  }
  if (list.size() + 1 == old) {
    std::size_t k = 0;
    while (k < list.size() && list[k] == indexed_[k]) ++k;
    if (SameRange(list.data() + k, indexed_.data() + k + 1, list.size() - k) &&
        Remove(indexed_[k])) {
      indexed_.erase(indexed_.begin() + static_cast<std::ptrdiff_t>(k));
      return;
    }
  }
  Invalidate();
}

void SetupIndex::Renamed(std::u16string_view oldName, std::u16string_view newName) {
  if (!built_) return;
  const auto from = byName_.find(std::u16string(oldName));
  // The renamed setup joins an empty bucket; anywhere else its place among others is unknown.
  if (from == byName_.end() || byName_.count(std::u16string(newName)) != 0) {
    Invalidate();
    return;
  }
  auto& setups = from->second;
  const auto renamed = std::find_if(setups.begin(), setups.end(), [&](const OrnSetup* setup) {
    return setup->GetName().str() == newName;
  });
  if (renamed == setups.end()) {
    Invalidate();
    return;
  }
  const OrnSetup* setup = *renamed;
  setups.erase(renamed);
  if (setups.empty()) byName_.erase(from);
  byName_[std::u16string(newName)].push_back(setup);
}

const OrnSetup* SetupIndex::Find(const SetupList& list, std::u16string_view name, bool validOnly) {
  // Someone may have changed the list without a re-read passing through Follow.
  if (!built_ || list.size() != indexed_.size()) Build(list);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const auto bucket = byName_.find(std::u16string(name));
    if (bucket == byName_.end()) return nullptr;
    bool stale = false;
    for (const OrnSetup* setup : bucket->second) {
      if (setup->GetName().str() != name) {
        stale = true;
        break;
      }
      if (!validOnly || setup->valid) return setup;
    }
    if (!stale) return nullptr;
    Build(list);
  }
  return nullptr;
}

}  // namespace ornr
