// A setups document checked as its file is read: only the setups it holds are kept, never the
// document, so that a large file costs what its setups cost.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "host/OrnSettings.h"
#include "host/controls/HostControls.h"
#include "host/provenance/Provenance.h"
#include "host/store/StandardsRecord.h"

namespace ornhost::detail {

/// Problems listed; those beyond are only counted, so that a file of nothing but problems cannot
/// take all memory.
inline constexpr std::size_t kMaxListedProblems = 1000;

struct SetupsRead {
  /// Every setup in document order, as they would be stored; none once a problem is found.
  std::vector<std::pair<std::u16string, Teskor::ZelPlatform::OrnSettings>> records;
  /// Beside each record: where the setup was taken from, or null.
  std::vector<std::unique_ptr<Provenance>> sources;
  /// Beside each record: its office standards and overlays, and the line where it starts.
  std::vector<SetupStandards> standards;
  std::vector<std::vector<Provenance>> overlays;
  std::vector<std::size_t> lines;
  /// Everything wrong with the document, in document order (the root's missing members last),
  /// up to kMaxListedProblems; then how many more there are.
  std::vector<ImportProblem> problems;
  std::size_t unlisted = 0;
};

/// Reads the setups document at path (docs/render-setups.schema.json) and checks all of it: names
/// once each in it, and not among taken unless that is null. A file that cannot be read, is not
/// JSON or nests deeper than kMaxJsonDepth, or a root that is no object, gives that one problem
/// alone.
SetupsRead ReadSetupsDocument(const std::filesystem::path& path,
                              const std::unordered_set<std::u16string>* taken);

}  // namespace ornhost::detail
