// The three-way update of a master-file setup from the library setup it came from: what changed
// only in the library is taken, what changed only here is kept, conflicts are decided by the
// person. Values go in through the panel's edit path, as a person's edits would.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "host/provenance/Provenance.h"

namespace ornr::workbench {

/// How conflicts are decided: the host's own choice, shared with rsm-audit's merge.
using Take = ornhost::MergeTake;

struct MergeStep {
  ornhost::DriftRow row;
  bool takeLibrary = false;
  /// The panel cannot write the value ("ShadowQuality"), so the host sets it.
  bool throughHost = false;
  /// Locked by the library and not overridden here: the library's value goes back in, whatever
  /// the choice.
  bool locked = false;
  /// The text that goes in: through the panel in the panel's form, else the host's.
  std::string text;
};

struct MergePlan {
  ornhost::Drift drift;
  /// Every property that differs anywhere, in the record's order.
  std::vector<MergeStep> steps;
  /// Conflicts without a decision: while there are any, nothing may change.
  std::vector<std::string> undecided;
  std::size_t Taken() const;
};

/// What a merge of the master-file setup would do. choices (by property) decide single
/// conflicts, all decides the rest; a locked value not overridden takes the library's always.
/// Throws CommandError: no provenance, the library setup gone, a choice for a property that is
/// no conflict or is locked.
MergePlan PlanMerge(const std::u16string& setup, Take all,
                    const std::map<std::string, Take>& choices);
/// Makes the changes of a plan without undecided conflicts, then keeps the library's values as
/// the pending merge base. Returns the problems: a value that did not arrive as planned.
std::vector<std::string> ApplyMerge(const std::u16string& setup, const MergePlan& plan);

/// One aligned line a row (property, state, here, base, library), the heading first.
std::vector<std::string> DriftTable(const std::vector<ornhost::DriftRow>& rows);

}  // namespace ornr::workbench
