#include "audit/FileAudit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "host/controls/HostControls.h"
#include "support/Utf.h"

namespace ornr::audit {

namespace {

using ornhost::DriftState;

constexpr char kSqliteMagic[] = "SQLite format 3";

enum class Marks { DesignFile, MaybeDesignFile, None };

bool IsLibraryName(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".zellib";
}

// The file's first 100 bytes are SQLite's header; the application id at 68 marks a design file.
// A dump restored into a new file keeps only the marks table, so an unmarked SQLite file may
// still be one.
Marks ReadMarks(int fd, std::string& failure) {
  unsigned char header[100] = {};
  std::size_t got = 0;
  while (got < sizeof header) {
    const ssize_t n = read(fd, header + got, sizeof header - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      failure = std::string("cannot be read (") + std::strerror(errno) + ")";
      return Marks::None;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (got < sizeof header || std::memcmp(header, kSqliteMagic, sizeof kSqliteMagic) != 0) {
    return Marks::None;
  }
  const std::uint32_t id = (std::uint32_t{header[68]} << 24) | (std::uint32_t{header[69]} << 16) |
                           (std::uint32_t{header[70]} << 8) | header[71];
  if (id == ornhost::detail::kDesignFileApplicationId) return Marks::DesignFile;
  return id == 0 ? Marks::MaybeDesignFile : Marks::None;
}

void ClassifyDrift(SetupFinding& finding, const Teskor::ZelPlatform::OrnSettings& here,
                   const ornhost::Provenance& origin, const AuditContext& context) {
  std::string gone;
  const auto library = context.shelf->Values(origin, gone);
  const ornhost::Drift drift =
      ornhost::DriftOfValues(origin, here, origin.base, library, gone, false);
  if (drift.libraryGone) {
    finding.state = SetupState::LibraryGone;
    finding.reason = drift.goneReason;
    if (context.fix) finding.fix.action = FixAction::NoLibrary;
    return;
  }
  const std::size_t local = drift.Count(DriftState::ChangedHere);
  const std::size_t upstream = drift.Count(DriftState::ChangedInLibrary);
  finding.conflicts = drift.Count(DriftState::Conflict);
  const std::size_t alike = drift.Count(DriftState::ChangedAlike);
  if (finding.conflicts > 0 || (local > 0 && upstream > 0)) {
    finding.state = SetupState::BothChanged;
  } else if (upstream > 0) {
    finding.state = SetupState::LibraryNewer;
  } else if (local > 0) {
    finding.state = SetupState::ChangedHere;
  } else {
    finding.state = SetupState::InStep;
  }
  // Texts only for what moved: most setups of a project are in step.
  if (local + upstream + finding.conflicts + alike > 0) {
    for (auto& row : ornhost::CompareThreeWays(here, origin.base, *library)) {
      if (row.state == DriftState::Unchanged) continue;
      finding.properties.push_back({std::move(row.property), row.state, std::move(row.here),
                                    std::move(row.base), std::move(row.library)});
    }
  }
  if (!context.fix) return;
  SetupFix& fix = finding.fix;
  // The base moves to the library's values wherever they left it.
  if (upstream + finding.conflicts + alike == 0) {
    fix.action = FixAction::NothingToDo;
    return;
  }
  auto merged = ornhost::MergeValues(here, origin.base, *library, context.take);
  if (!merged.undecided.empty()) {
    fix.action = FixAction::Undecided;
    fix.undecided = std::move(merged.undecided);
    return;
  }
  fix.action = FixAction::Merge;
  fix.values = merged.values;
  fix.base = *library;
  for (const PropertyFinding& property : finding.properties) {
    if (ornhost::TakesLibrary(property.state, context.take)) {
      fix.take.push_back(property.property);
    } else if (property.state == DriftState::ChangedHere ||
               property.state == DriftState::Conflict) {
      fix.keep.push_back(property.property);
    }
  }
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
  if (stored.origin) {
    const ornhost::Provenance& origin = *stored.origin;
    finding.libraryFile = Utf16ToUtf8(origin.libraryFile);
    finding.libraryPath = origin.libraryPath;
    finding.librarySetup = Utf16ToUtf8(origin.librarySetup);
    finding.takenAt = origin.takenAt;
    ClassifyDrift(finding, here, origin, context);
    finding.origin = std::move(stored.origin);
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
  if (IsLibraryName(path)) {
    entry.kind = AuditedEntry::Kind::Library;
    return entry;
  }
  // Non-blocking: a pipe put in place of the file must not hold the run.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return unreadable(std::string("cannot be read (") + std::strerror(errno) + ")");
  struct stat info {};
  fstat(fd, &info);
  if (!S_ISREG(info.st_mode)) {
    close(fd);
    if (named) return unreadable("is not a regular file");
    return entry;
  }
  for (const auto& [device, inode] : context.libraryFiles) {
    if (info.st_dev == device && info.st_ino == inode) {
      close(fd);
      entry.kind = AuditedEntry::Kind::Library;
      return entry;
    }
  }
  std::string failure;
  const Marks marks = ReadMarks(fd, failure);
  close(fd);
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
