// One file under a PATH: what kind it is, and for a design file, each setup held against the
// libraries.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "audit/Findings.h"
#include "host/provenance/LibraryShelf.h"
#include "host/provenance/Provenance.h"
#include "host/provenance/Standards.h"
#include "host/provenance/StoredSetups.h"
#include "host/store/ChangeSetTable.h"

namespace ornr::audit {

/// What every file's audit shares: the libraries, and what a fix asks for.
struct AuditContext {
  ornhost::LibraryShelf* shelf = nullptr;
  /// The files given as libraries, by device and inode, so that they are never read as drawings.
  std::vector<std::pair<dev_t, ino_t>> libraryFiles;
  /// Plan a merge of every setup with provenance; conflicts decided by take.
  bool fix = false;
  ornhost::MergeTake take = ornhost::MergeTake::Undecided;
  /// Plan putting back the locked values changed here (after the merge, when both are asked);
  /// overridden ones too with includeOverrides.
  bool fixLocks = false;
  bool includeOverrides = false;
  /// Write the merges.
  bool apply = false;
  /// With apply: the change set every file written records the run as.
  const ornhost::detail::ChangeSetHeader* changeSet = nullptr;
};

struct AuditedEntry {
  enum class Kind {
    /// A design file (or one that could not be read), listed.
    Listed,
    /// A design library, skipped.
    Library,
    /// Any other file: counted, not listed.
    Other,
    /// An entry of a folder that is no file to read: listed with why (finding's path and reason).
    Skipped,
  };
  Kind kind = Kind::Other;
  FileFinding finding;
};

/// Reads the file at path (shown as shown) read-only and classifies it. named: the file was given
/// as a PATH itself, so a file that is no design file is listed as such rather than counted.
AuditedEntry AuditFile(const std::filesystem::path& path, std::string shown, bool named,
                       const AuditContext& context);

/// The state of a stored setup against the libraries, with the properties involved and, when
/// context.fix, what a merge would do.
SetupFinding ClassifySetup(ornhost::StoredSetupRecord& stored, const AuditContext& context);

}  // namespace ornr::audit
