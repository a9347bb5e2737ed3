#include "audit/FileAudit.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "audit/ProjectWalk.h"
#include "host/controls/HostControls.h"
#include "support/Utf.h"

namespace ornr::audit {

namespace {

using ornhost::DriftState;

constexpr char kSqliteMagic[] = "SQLite format 3";

enum class Marks { DesignFile, MaybeDesignFile, None };

// The file's first 100 bytes are SQLite's header; the application id at 68 marks a design file.
// A dump restored into a new file keeps only the marks table, so an unmarked SQLite file may
// still be one.
Marks ReadMarks(const std::filesystem::path& path, std::string& failure) {
  unsigned char header[100] = {};
  const long got = ReadFileStart(path, header, sizeof header);
  if (got < 0) {
    failure = std::string("cannot be read (") + std::strerror(errno) + ")";
    return Marks::None;
  }
  if (static_cast<std::size_t>(got) < sizeof header ||
      std::memcmp(header, kSqliteMagic, sizeof kSqliteMagic) != 0) {
    return Marks::None;
  }
  const std::uint32_t id = (std::uint32_t{header[68]} << 24) | (std::uint32_t{header[69]} << 16) |
                           (std::uint32_t{header[70]} << 8) | header[71];
  if (id == ornhost::detail::kDesignFileApplicationId) return Marks::DesignFile;
  return id == 0 ? Marks::MaybeDesignFile : Marks::None;
}

void SetValue(Teskor::ZelPlatform::OrnSettings& values, const std::string& property,
              const std::string& text) {
  ornhost::SetSettingFromText(values, property, text);
}

// The locked values changed here or overridden, as the reports list them.
void FindLocks(SetupFinding& finding, const ornhost::Governed& governed) {
  for (const ornhost::GovernedValue& value : governed.values) {
    if (!value.Locked()) continue;
    ++finding.lockedValues;
    if (!value.Breached() && !value.Overridden()) continue;
    const ornhost::Layer& layer = governed.layers[*value.layer];
    finding.locks.push_back({value.property, value.here, value.library,
                             Utf16ToUtf8(layer.origin.libraryFile),
                             Utf16ToUtf8(layer.origin.librarySetup), *value.lockReason,
                             value.Breached(), value.override});
  }
}

// What a merge leaves for the next comparison: each layer that is there gets its library's
// values as base, with what it governs now.
void NewBases(SetupFix& fix, const ornhost::Governed& governed) {
  for (const ornhost::Layer& layer : governed.layers) {
    ornhost::Provenance origin = layer.origin;
    if (!layer.libraryGone) {
      origin.base = layer.library;
      origin.governed = layer.standards.scope;
    }
    if (layer.kind == ornhost::LayerKind::SameName) {
      fix.base = origin.base;
      fix.governed = origin.governed;
      continue;
    }
    if (!layer.libraryGone) {
      origin.governed = layer.governed;
      origin.takenAt.clear();
    }
    fix.overlays.push_back(std::move(origin));
  }
}

void PlanFix(SetupFinding& finding, const ornhost::StoredSetupRecord& stored,
             const ornhost::Governed& governed, const AuditContext& context) {
  SetupFix& fix = finding.fix;
  const std::size_t upstream = governed.Count(DriftState::ChangedInLibrary);
  const std::size_t alike = governed.Count(DriftState::ChangedAlike);
  const bool breached = std::any_of(finding.locks.begin(), finding.locks.end(),
                                    [](const LockFinding& lock) { return lock.changed; });
  fix.values = *stored.settings;
  bool merge = false;
  // The base moves to the library's values wherever they left it, and a merge puts every
  // locked value back that is not overridden.
  if (context.fix && (upstream + finding.conflicts + alike > 0 || breached)) {
    auto merged = ornhost::MergeGoverned(*stored.settings, governed, context.take);
    if (!merged.undecided.empty()) {
      fix.action = FixAction::Undecided;
      fix.undecided = std::move(merged.undecided);
      return;
    }
    merge = true;
    fix.values = merged.values;
    NewBases(fix, governed);
    for (const ornhost::GovernedValue& value : governed.values) {
      if (!value.layer || value.state == DriftState::Unchanged) continue;
      const bool locked = value.Locked() && !value.Overridden() && value.here != value.library;
      if (locked || (!value.Overridden() && ornhost::TakesLibrary(value.state, context.take))) {
        fix.take.push_back(value.property);
      } else if (value.state == DriftState::ChangedHere || value.state == DriftState::Conflict) {
        fix.keep.push_back(value.property);
      }
    }
  }
  if (context.fixLocks) {
    std::string now;
    for (const LockFinding& lock : finding.locks) {
      if (lock.override && !context.includeOverrides) continue;
      if (lock.override) fix.overridesDropped.push_back(lock.property);
      // A merge has put back the values it was free to.
      if (merge && !lock.override) continue;
      if (lock.here == lock.library) continue;
      SetValue(fix.values, lock.property, lock.library);
      fix.locks.push_back(lock.property);
    }
  }
  if (merge) {
    fix.action = FixAction::Merge;
  } else if (!fix.locks.empty() || !fix.overridesDropped.empty()) {
    fix.action = FixAction::Locks;
  } else {
    fix.action = FixAction::NothingToDo;
  }
}

void ClassifyGoverned(SetupFinding& finding, const ornhost::StoredSetupRecord& stored,
                      const AuditContext& context) {
  const bool fixing = context.fix || context.fixLocks;
  const auto governed = ornhost::GovernedOfStored(stored, *context.shelf, true);
  if (!governed) return;
  for (const ornhost::Layer& layer : governed->layers) {
    if (!layer.libraryGone) continue;
    finding.state = SetupState::LibraryGone;
    finding.reason = layer.goneReason;
    if (fixing) finding.fix.action = FixAction::NoLibrary;
    return;
  }
  const std::size_t local = governed->Count(DriftState::ChangedHere);
  const std::size_t upstream = governed->Count(DriftState::ChangedInLibrary);
  finding.conflicts = governed->Count(DriftState::Conflict);
  if (finding.conflicts > 0 || (local > 0 && upstream > 0)) {
    finding.state = SetupState::BothChanged;
  } else if (upstream > 0) {
    finding.state = SetupState::LibraryNewer;
  } else if (local > 0) {
    finding.state = SetupState::ChangedHere;
  } else {
    finding.state = SetupState::InStep;
  }
  // A value the library setups do not govern is the drawing's own: it never drifts.
  for (const ornhost::GovernedValue& value : governed->values) {
    if (!value.layer || value.state == DriftState::Unchanged) continue;
    finding.properties.push_back(
        {value.property, value.state, value.here, value.base, value.library});
  }
  FindLocks(finding, *governed);
  if (fixing) PlanFix(finding, stored, *governed, context);
}

}  // namespace

SetupFinding ClassifySetup(ornhost::StoredSetupRecord& stored, const AuditContext& context) {
  SetupFinding finding;
  finding.name = Utf16ToUtf8(stored.name);
  finding.row = stored.row;
  if (!stored.settings) {
    finding.state = SetupState::Unreadable;
    finding.reason = stored.problem;
    return finding;
  }
  const auto& here = *stored.settings;
  if (stored.origin || !stored.overlays.empty()) {
    const ornhost::Provenance& origin = stored.origin ? *stored.origin : stored.overlays.front();
    finding.libraryFile = Utf16ToUtf8(origin.libraryFile);
    finding.libraryPath = origin.libraryPath;
    finding.librarySetup = Utf16ToUtf8(origin.librarySetup);
    finding.takenAt = origin.takenAt;
    ClassifyGoverned(finding, stored, context);
    finding.origin = std::move(stored.origin);
    finding.overlays = std::move(stored.overlays);
    finding.overrides = std::move(stored.standards.overrides);
    return finding;
  }
  const ornhost::LibraryShelf::Offer* offer = context.shelf->Offering(stored.name);
  if (offer == nullptr) {
    finding.state = SetupState::NotFromLibrary;
    return finding;
  }
  finding.libraryFile = Utf16ToUtf8(offer->libraryFile);
  finding.libraryPath = offer->libraryPath.string();
  finding.librarySetup = finding.name;
  // Against the library's values as if they were the base: what differs shows as changed here.
  for (auto& row : ornhost::CompareThreeWays(here, offer->settings, offer->settings)) {
    if (row.here == row.library) continue;
    finding.properties.push_back(
        {std::move(row.property), row.state, std::move(row.here), "", std::move(row.library)});
  }
  finding.state =
      finding.properties.empty() ? SetupState::SameNameEqual : SetupState::SameNameDiffers;
  return finding;
}

AuditedEntry AuditFile(const std::filesystem::path& path, std::string shown, bool named,
                       const AuditContext& context) {
  AuditedEntry entry;
  FileFinding& finding = entry.finding;
  finding.path = std::move(shown);
  const auto unreadable = [&](std::string reason) {
    entry.kind = AuditedEntry::Kind::Listed;
    finding.status = FileStatus::Unreadable;
    finding.reason = std::move(reason);
    return std::move(entry);
  };
  if (NamedAsLibrary(path)) {
    entry.kind = AuditedEntry::Kind::Library;
    return entry;
  }
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    return unreadable(std::string("cannot be read (") + std::strerror(errno) + ")");
  }
  // A pipe put in place of the file must not hold the run: opening it would wait for a writer.
  if (!S_ISREG(info.st_mode)) {
    if (named) return unreadable("is not a regular file");
    return entry;
  }
  for (const auto& [device, inode] : context.libraryFiles) {
    if (info.st_dev == device && info.st_ino == inode) {
      entry.kind = AuditedEntry::Kind::Library;
      return entry;
    }
  }
  std::string failure;
  const Marks marks = ReadMarks(path, failure);
  if (!failure.empty()) return unreadable(failure);
  if (marks == Marks::None) {
    if (named) return unreadable("is not a design file");
    return entry;
  }
  ornhost::StoredFile stored;
  try {
    stored = ornhost::ReadStoredFile(path);
  } catch (const ornhost::DesignFileError& error) {
    const std::string& reason = error.Reason();
    if (marks == Marks::MaybeDesignFile && reason == "is not a design file" && !named) return entry;
    entry = unreadable(reason);
    if (reason.find("damaged") != std::string::npos) finding.status = FileStatus::Damaged;
    return entry;
  }
  entry.kind = AuditedEntry::Kind::Listed;
  finding.format = stored.format;
  if (!stored.readProblem.empty()) {
    finding.status = FileStatus::Damaged;
    finding.reason = stored.readProblem;
  } else if (!stored.refusal.empty()) {
    finding.status = FileStatus::OlderFormat;
    finding.reason = stored.refusal;
  }
  std::size_t unreadableRecords = 0;
  finding.setups.reserve(stored.setups.size());
  for (ornhost::StoredSetupRecord& setup : stored.setups) {
    SetupFinding& classified = finding.setups.emplace_back(ClassifySetup(setup, context));
    ++finding.counts[static_cast<std::size_t>(classified.state)];
    if (classified.state == SetupState::Unreadable) ++unreadableRecords;
  }
  if (unreadableRecords > 0 && finding.status != FileStatus::Damaged) {
    finding.status = FileStatus::Damaged;
    finding.reason = unreadableRecords == 1
                         ? "the stored record of 1 setup cannot be read"
                         : "the stored records of " + std::to_string(unreadableRecords) +
                               " setups cannot be read";
  }
  return entry;
}

}  // namespace ornr::audit
