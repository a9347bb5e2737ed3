// The settings catalogue as constant tables, for code that counts, lists or describes the
// settings: each property's position, name and registry type (OrnSettingsCatalogue.def), and the
// sections it is shown in, with the English texts (OrnSettingsSections.def).
#pragma once

#include <array>
#include <cstddef>
#include <iterator>
#include <span>
#include <string_view>

#include "settings/PropertyType.h"

namespace ornr::settings {

/// A row of OrnSettingsCatalogue.def.
struct CatalogueProperty {
  int position = 0;
  std::string_view name;
  Teskor::ZelPlatform::PropertyType type{};
};

/// Every property, in catalogue order: the order of registration, of the view-model document and
/// of an exported setup.
inline constexpr CatalogueProperty kProperties[] = {
#define ORN_PROPERTY(position, name, registryType, valueType, hostGetter, hostSetter) \
  {position, #name, Teskor::ZelPlatform::PropertyType::registryType},
#include "settings/OrnSettingsCatalogue.def"
#undef ORN_PROPERTY
};

/// How many settings a setup has.
inline constexpr std::size_t kPropertyCount = std::size(kProperties);

/// A property as it is shown: its English label and one-line description.
struct ShownProperty {
  std::string_view name;
  std::string_view label;
  std::string_view description;
};

/// Every property in the order shown, section after section.
inline constexpr ShownProperty kShown[] = {
#define ORN_SECTION(identifier, title)
#define ORN_SHOWN(name, label, description) {#name, label, description},
#include "settings/OrnSettingsSections.def"
#undef ORN_SHOWN
#undef ORN_SECTION
};

/// A section: its identifier (a word such as "CameraAndOutput"), its English title, and where
/// its properties stand in kShown.
struct CatalogueSection {
  std::string_view identifier;
  std::string_view title;
  std::size_t first = 0;
  std::size_t count = 0;

  /// The section's properties in the order shown.
  constexpr std::span<const ShownProperty> Properties() const {
    return std::span<const ShownProperty>(kShown).subspan(first, count);
  }
};

namespace detail {

struct SectionsRow {
  bool startsSection = false;
  std::string_view identifier;
  std::string_view title;
};

inline constexpr SectionsRow kSectionsRows[] = {
#define ORN_SECTION(identifier, title) {true, #identifier, title},
#define ORN_SHOWN(name, label, description) {false, {}, {}},
#include "settings/OrnSettingsSections.def"
#undef ORN_SHOWN
#undef ORN_SECTION
};

constexpr std::size_t CountSections() {
  std::size_t count = 0;
  for (const SectionsRow& row : kSectionsRows) count += row.startsSection ? 1 : 0;
  return count;
}

// A property row before the first section makes this no constant expression.
template <std::size_t N>
constexpr std::array<CatalogueSection, N> MakeSections() {
  std::array<CatalogueSection, N> sections{};
  std::size_t next = 0;
  std::size_t shown = 0;
  for (const SectionsRow& row : kSectionsRows) {
    if (row.startsSection) {
      sections.at(next++) = {row.identifier, row.title, shown, 0};
      continue;
    }
    ++sections.at(next - 1).count;
    ++shown;
  }
  return sections;
}

}  // namespace detail

/// The sections in the order shown.
inline constexpr auto kSections = detail::MakeSections<detail::CountSections()>();

/// The catalogue row of name, or null for a name that is no property.
constexpr const CatalogueProperty* FindProperty(std::string_view name) {
  for (const CatalogueProperty& property : kProperties) {
    if (property.name == name) return &property;
  }
  return nullptr;
}

/// The section that shows name, or null for a name that is no property.
constexpr const CatalogueSection* SectionOf(std::string_view name) {
  for (const CatalogueSection& section : kSections) {
    for (const ShownProperty& shown : section.Properties()) {
      if (shown.name == name) return &section;
    }
  }
  return nullptr;
}

/// The shown texts of name, or null for a name that is no property.
constexpr const ShownProperty* FindShown(std::string_view name) {
  for (const ShownProperty& shown : kShown) {
    if (shown.name == name) return &shown;
  }
  return nullptr;
}

namespace detail {

constexpr bool EveryPropertyIsShownOnce() {
  if (std::size(kShown) != kPropertyCount) return false;
  for (const CatalogueProperty& property : kProperties) {
    std::size_t times = 0;
    for (const ShownProperty& shown : kShown) times += shown.name == property.name ? 1 : 0;
    if (times != 1) return false;
  }
  return true;
}

constexpr bool SectionsAreNamedOnceAndHoldSomething() {
  for (std::size_t i = 0; i < kSections.size(); ++i) {
    if (kSections[i].count == 0 || kSections[i].title.empty()) return false;
    for (std::size_t j = 0; j < i; ++j) {
      if (kSections[j].identifier == kSections[i].identifier) return false;
    }
  }
  return true;
}

constexpr bool EveryPropertyHasItsTexts() {
  for (const ShownProperty& shown : kShown) {
    if (shown.label.empty() || shown.description.empty()) return false;
  }
  return true;
}

}  // namespace detail

static_assert(detail::EveryPropertyIsShownOnce(),
              "OrnSettingsSections.def must show every catalogue property exactly once");
static_assert(detail::SectionsAreNamedOnceAndHoldSomething(),
              "each section needs its own identifier, a title and at least one property");
static_assert(detail::EveryPropertyHasItsTexts(), "each property needs a label and a description");

}  // namespace ornr::settings
