// rsm-audit's command line.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/provenance/Provenance.h"

namespace ornr::audit {

/// A command line that cannot be run; the message says why in one line.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct AuditOptions {
  std::vector<std::filesystem::path> paths;
  std::vector<std::filesystem::path> libraries;
  std::optional<std::filesystem::path> json;
  std::optional<std::filesystem::path> csv;
  std::optional<std::filesystem::path> html;
  /// --fix merge
  bool fix = false;
  /// --fix locks, and --include-overrides with it.
  bool fixLocks = false;
  bool includeOverrides = false;
  /// Overridden locked values count as violations.
  bool strict = false;
  ornhost::MergeTake take = ornhost::MergeTake::Undecided;
  /// Write the merges, each design file in one transaction.
  bool apply = false;
  /// Worker threads; 0: one per core.
  unsigned jobs = 0;
  /// --changes [ID]: list the change sets under the PATHs, or show one.
  bool changes = false;
  /// --undo ID, --forget ID, and the ID of --changes ID.
  std::string undo;
  std::string forget;
  std::string changeSet;
  /// --take change-set: an undo puts back values changed since too.
  bool takeChangeSet = false;
  /// --deploy LIBSETUP [--from LIBRARY] (--linked | --to NAME... | --every-setup) [--create].
  std::string deploy;
  std::optional<std::filesystem::path> deployFrom;
  bool linked = false;
  std::vector<std::string> to;
  bool everySetup = false;
  bool create = false;
  bool help = false;
  bool version = false;
};

/// Throws UsageError.
AuditOptions ParseAuditOptions(int argc, const char* const* argv);
std::string AuditUsage();
std::string AuditVersion();

}  // namespace ornr::audit
