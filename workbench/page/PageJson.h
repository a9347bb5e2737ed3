// The shapes the page reads: a setup's row in the list, its values, where it came from, the
// renderer's names for values. Shared by snapshots, steps and the answers to queries.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "host/provenance/Provenance.h"
#include "panel/Panel.h"
#include "workbench/page/Json.h"

namespace ornr::workbench {

/// The small mark of a master-file setup taken from a library: what moved on which side.
struct OriginBadge {
  std::u16string libraryFile;
  std::u16string librarySetup;
  std::string summary;
  bool gone = false;
  /// Changed in the library, changed here, in conflict.
  std::array<std::size_t, 3> counts{};

  static OriginBadge Of(const ornhost::Drift& drift);
  bool operator==(const OriginBadge&) const = default;
};

/// What the module says of a master-file setup, as its row in the list shows it.
struct SetupMarks {
  bool modified = false;
  /// 1 same as its library setup, 0 differs, -1 none to compare with.
  int matches = -1;
  bool newBorn = false;
  std::optional<OriginBadge> origin;

  bool operator==(const SetupMarks&) const = default;
};

/// "group", "library" (the file a library setup is listed under; "" for the master file's) and
/// "name" as members of the object being written.
void WriteKeyMembers(JsonWriter& json, const Teskor::RenderSetup::ViewModel::RenderSetup& setup);
/// The same, for a setup that is gone or was renamed.
void WriteKeyMembers(JsonWriter& json, Teskor::RenderSetup::ViewModel::Group group,
                     std::u16string_view library, std::u16string_view name);
/// {group, library, name} of the setup, or null.
void WriteKey(JsonWriter& json, const Teskor::RenderSetup::ViewModel::RenderSetup* setup);
/// A row of the list: the name, the values' revision and, for the master file's setups, marks
/// (members that have their usual value are left out).
void WriteRow(JsonWriter& json, const Teskor::RenderSetup::ViewModel::RenderSetup& setup,
              std::uint64_t revision, const SetupMarks* marks);
/// The setup's values as [property, text] pairs in the panel's order.
void WriteValues(JsonWriter& json, const Teskor::RenderSetup::ViewModel::RenderSetup& setup);
/// Where the setup came from and every value of base, here and library; null without a drift.
void WriteOrigin(JsonWriter& json, const ornhost::Drift* drift);
/// The renderer's names for enumerated values and output channels, as members "labels" and
/// "outputs".
void WriteLabels(JsonWriter& json);

}  // namespace ornr::workbench
