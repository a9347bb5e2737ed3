// The text of a setups document, shared by export and the recovery file written at close.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/controls/HostControls.h"
#include "host/provenance/Provenance.h"
#include "host/store/StandardsRecord.h"

namespace ornhost::detail {

/// The format's name and version, as a document's "format" and "version" give them.
inline constexpr const char* kSetupsFormatName = "ornr-render-setups";
inline constexpr std::int64_t kSetupsFormatVersion = 1;

/// The setups as a setups document (docs/render-setups.schema.json), in the order given. Each
/// name must be whole UTF-16. members, when given, adds members after a setup's settings
/// (",\n      \"source\": {...}").
/// A setup's "source" member, as members gives it to SetupsDocument.
std::string SourceMember(const Provenance& origin);
/// A setup's description, notes, scope, locks, overrides and overlays, each only when it has
/// any: nothing for a setup without standards.
std::string StandardsMembers(const SetupStandards& standards,
                             const std::vector<Provenance>& overlays);

std::string SetupsDocument(const std::vector<StoredSetup>& setups,
                           const std::function<std::string(const StoredSetup&)>& members = {});

}  // namespace ornhost::detail
