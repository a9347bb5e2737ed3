// A library setup's governed values taken into the setups of one design file: which setups, value
// by value what changes, and the writes that do it.
#pragma once

#include <string>
#include <vector>

#include "host/provenance/Provenance.h"
#include "host/provenance/StoredSetups.h"
#include "host/store/StandardsRecord.h"

namespace ornr::audit {

/// The library setup deployed: where it is (base its values, governed its scope) and its
/// standards as its library holds them now.
struct DeploySource {
  ornhost::Provenance origin;
  ornhost::SetupStandards standards;
};

enum class DeployTargets {
  /// Setups with a record of the library setup: its same-name link or an overlay of it.
  Linked,
  /// Setups of the names given.
  Named,
  /// Every setup.
  Every,
};

struct DeployRequest {
  DeploySource source;
  DeployTargets targets = DeployTargets::Linked;
  std::vector<std::u16string> names;
  /// Add a setup of the library setup's name, a full copy, where a file has none.
  bool create = false;
  ornhost::MergeTake take = ornhost::MergeTake::Undecided;
};

/// One governed value of a target: what changes, or why it does not.
struct DeployRow {
  enum class Kind {
    /// Changed only in the library since it was taken.
    Library,
    /// No record of the library setup: the local value is replaced.
    Replaced,
    /// Locked by the library setup and not overridden here.
    Locked,
    /// Changed here only: kept.
    Kept,
    /// Changed on both sides and decided by take (to says which side won).
    Decided,
    /// Changed on both sides, left as it is.
    Undecided,
  };
  std::string property;
  Kind kind = Kind::Library;
  /// Lossless texts: the value here, the library's, and the value it ends with.
  std::string here;
  std::string library;
  std::string to;

  bool Changes() const { return here != to; }
};

struct DeployedSetup {
  std::u16string name;
  /// Added by --create.
  bool created = false;
  /// Taken in as an overlay (a new one, or the one it had), rather than by its name.
  bool overlay = false;
  /// Whether it had a record of the library setup, so that the three-way rule held.
  bool linked = false;
  std::vector<DeployRow> rows;

  std::size_t Undecided() const;
};

struct DeployPlan {
  std::vector<DeployedSetup> setups;
  /// What StoreFixes writes.
  std::vector<ornhost::StoredFix> fixes;
  std::vector<ornhost::StoredNew> added;

  std::size_t Undecided() const;
};

/// What deploying the request to the readable setups of file would do.
DeployPlan PlanDeploy(const ornhost::StoredFile& file, const DeployRequest& request);

}  // namespace ornr::audit
