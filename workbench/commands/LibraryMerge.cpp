#include "workbench/commands/LibraryMerge.h"

#include <optional>

#include "host/provenance/Standards.h"

#include "support/Utf.h"
#include "workbench/commands/CommandLexer.h"
#include "workbench/commands/Commands.h"
#include "workbench/commands/PanelValues.h"

namespace ornr::workbench {

namespace {

using ornhost::DriftState;

std::string Cell(std::string text, std::size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text + " ";
}

}  // namespace

std::size_t MergePlan::Taken() const {
  std::size_t taken = 0;
  for (const MergeStep& step : steps) taken += step.takeLibrary ? 1 : 0;
  return taken;
}

MergePlan PlanMerge(const std::u16string& setup, Take all,
                    const std::map<std::string, Take>& choices) {
  const std::string quoted = AlwaysQuoted(Utf16ToUtf8(setup));
  auto drift = ornhost::DriftOf(setup);
  if (!drift) {
    throw CommandError(quoted +
                       " was not copied or updated from a library, so it has no merge base");
  }
  if (drift->libraryGone) throw CommandError("library setup gone: " + drift->goneReason);
  MergePlan plan;
  plan.drift = std::move(*drift);
  std::optional<ornhost::Governed> governed;
  try {
    governed = ornhost::GovernedOf(setup);
  } catch (const ornhost::StandardsError& error) {
    throw CommandError(error.what());
  }
  const auto lockedHere = [&](const std::string& property) {
    const ornhost::GovernedValue* value = governed ? governed->Find(property) : nullptr;
    return value != nullptr && value->Locked() && !value->Overridden();
  };
  for (const auto& [property, take] : choices) {
    if (lockedHere(property)) {
      throw CommandError(property + " of " + quoted +
                         " is locked by its library setup: a merge always takes the library's "
                         "value (edit ... --override \"why\" keeps another)");
    }
    bool conflict = false;
    for (const auto& row : plan.drift.rows) {
      conflict = conflict || (row.property == property && row.state == DriftState::Conflict);
    }
    if (!conflict) throw CommandError(property + " is no conflict of " + quoted);
  }
  for (const ornhost::DriftRow& row : plan.drift.rows) {
    if (row.state == DriftState::Unchanged) continue;
    MergeStep step;
    step.row = row;
    const auto chosen = choices.find(row.property);
    const Take take = chosen != choices.end() ? chosen->second : all;
    // Only where a merge would otherwise keep the value here.
    step.locked = lockedHere(row.property) &&
                  (row.state == DriftState::ChangedHere || row.state == DriftState::Conflict);
    step.takeLibrary = step.locked || ornhost::TakesLibrary(row.state, take);
    if (row.state == DriftState::Conflict && take == Take::Undecided && !step.locked) {
      plan.undecided.push_back(row.property);
    }
    if (step.takeLibrary) {
      const PanelValue value = PanelValueOf(row.property, row.library);
      step.text = value.text;
      step.throughHost = value.throughHost;
    }
    plan.steps.push_back(std::move(step));
  }
  return plan;
}

std::vector<std::string> ApplyMerge(const std::u16string& setup, const MergePlan& plan) {
  std::vector<std::string> problems;
  for (const MergeStep& step : plan.steps) {
    if (!step.takeLibrary) continue;
    const std::string refusal = EnterValue(setup, {step.row.property, step.text, step.throughHost});
    if (!refusal.empty()) problems.push_back(step.row.property + ": " + refusal);
  }
  // The module may map a value on its way in; what it stored is what counts.
  if (const auto after = ornhost::DriftOf(setup)) {
    for (const MergeStep& step : plan.steps) {
      if (!step.takeLibrary) continue;
      for (const auto& row : after->rows) {
        if (row.property == step.row.property && row.here != step.row.library) {
          problems.push_back(row.property + ": the setup holds " + row.here +
                             ", not the library's " + step.row.library);
        }
      }
    }
  }
  // The base covers what the library setup governs now.
  std::optional<ornhost::PropertySet> governed;
  try {
    if (const auto layers = ornhost::GovernedOf(setup)) {
      governed = layers->layers.front().standards.scope;
    }
  } catch (const ornhost::StandardsError&) {
    // Read a moment ago for the plan; without it the base covers every value, as before scopes.
  }
  ornhost::SetPendingBase(setup, plan.drift.library, governed);
  return problems;
}

std::vector<std::string> DriftTable(const std::vector<ornhost::DriftRow>& rows) {
  std::vector<std::string> lines;
  lines.push_back(Cell("PROPERTY", 29) + Cell("STATE", 18) + Cell("HERE", 12) + Cell("BASE", 12) +
                  "LIBRARY");
  for (const auto& row : rows) {
    lines.push_back(Cell(row.property, 29) + Cell(ornhost::DriftStateName(row.state), 18) +
                    Cell(row.here, 12) + Cell(row.base, 12) + row.library);
  }
  return lines;
}

}  // namespace ornr::workbench
