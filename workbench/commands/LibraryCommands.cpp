// Commands between master-file setups and the design libraries they came from.
#include "workbench/commands/Commands.h"

#include <algorithm>
#include <map>
#include <optional>

#include "host/history/History.h"
#include "host/provenance/Provenance.h"
#include "host/provenance/Standards.h"
#include "support/Utf.h"
#include "workbench/commands/CommandLexer.h"
#include "workbench/commands/CommandSupport.h"
#include "workbench/commands/LibraryMerge.h"

namespace ornr::workbench {

namespace {

// The library setups layered onto a master-file setup, or nothing.
std::optional<ornhost::Governed> LayersOf(const std::u16string& name) {
  try {
    return ornhost::GovernedOf(name);
  } catch (const ornhost::StandardsError& error) {
    throw CommandError(error.what());
  }
}

}  // namespace

void Commands::CopyFromLibrary(const Args& args) {
  MasterFile();  // the module can change nothing without one
  const int result = api_.CopyFromLib(Wide(args[0]).c_str());
  transcript_.Result(result);
  if (result == 1) RecordOrigin(args[0]);
}

void Commands::UpdateFromLibrary(const Args& args) {
  MasterFile();  // the module can change nothing without one
  const std::u16string name = Wide(args[0]);
  {
    const ornhost::SaveActionScope named("update from library");
    api_.UpdateFromLibrarySetup(name.c_str());
  }
  // An update that took leaves the setup saved and equal to its library setup.
  if (api_.IsModified(name.c_str()) == 0 && api_.MatchesToLibrarySetup(name.c_str()) == 1) {
    RecordOrigin(args[0]);
  }
}

void Commands::RecordOrigin(const std::string& name) {
  try {
    ornhost::RecordProvenance(Wide(name));
  } catch (const std::exception& error) {
    transcript_.Error("where " + AlwaysQuoted(name) +
                      " came from is not recorded: " + error.what());
  }
}

void Commands::Origin(const Args& args) {
  const std::u16string name = Wide(args[0]);
  if (!MasterHolds(name))
    throw CommandError("the master file holds no setup " + AlwaysQuoted(args[0]));
  const auto drift = ornhost::DriftOf(name);
  const auto governed = LayersOf(name);
  const bool overlays = governed && governed->layers.back().kind == ornhost::LayerKind::Overlay;
  if (!drift && !overlays) {
    transcript_.Line("origin: " + AlwaysQuoted(args[0]) + " was not taken from a library");
    return;
  }
  if (drift) {
    const ornhost::Provenance& origin = drift->origin;
    transcript_.Line("origin: " + AlwaysQuoted(args[0]) + " from " +
                     AlwaysQuoted(Utf16ToUtf8(origin.librarySetup)) + " in " +
                     AlwaysQuoted(Utf16ToUtf8(origin.libraryFile)) + " (" + origin.libraryPath +
                     "), taken " + origin.takenAt);
    if (drift->pendingBase) {
      transcript_.Line("origin: a merge waits to be saved (reset " + AlwaysQuoted(args[0]) +
                       " undoes it)");
    }
  }
  if (!overlays) {
    transcript_.Line("summary: " + drift->Summary() +
                     (drift->libraryGone ? " (" + drift->goneReason + ")" : ""));
    return;
  }
  // Each layer in order, the last winning where two govern a value.
  for (const ornhost::Layer& layer : governed->layers) {
    if (layer.kind != ornhost::LayerKind::Overlay) continue;
    std::string line = "origin: overlay " + layer.Label() + " (" + layer.origin.libraryPath + "), ";
    line += layer.pending ? std::string("applied, waits to be saved")
                          : "applied " + layer.origin.takenAt;
    line += layer.libraryGone ? "; gone: " + layer.goneReason
                              : "; governs " + std::to_string(layer.governed.count()) + " values";
    transcript_.Line(line);
  }
  for (const ornhost::GovernedValue& value : governed->values) {
    if (value.shadowed.empty() || !value.layer) continue;
    transcript_.Line("origin: " + value.property + " is governed by " +
                     std::to_string(value.shadowed.size() + 1) + " layers; " +
                     governed->layers[*value.layer].Label() + ", the last, wins");
  }
  transcript_.Line("summary: " + governed->Summary());
}

void Commands::Drift(const Args& args) {
  const std::u16string name = Wide(args[0]);
  if (!MasterHolds(name))
    throw CommandError("the master file holds no setup " + AlwaysQuoted(args[0]));
  const auto governed = LayersOf(name);
  if (governed && governed->layers.back().kind == ornhost::LayerKind::Overlay) {
    return DriftOfLayers(*governed);
  }
  const auto drift = ornhost::DriftOf(name);
  if (!drift) {
    throw CommandError(AlwaysQuoted(args[0]) + " was not copied or updated from a library");
  }
  std::vector<ornhost::DriftRow> moved;
  for (const auto& row : drift->rows) {
    if (row.state != ornhost::DriftState::Unchanged) moved.push_back(row);
  }
  if (!moved.empty()) {
    for (const std::string& line : DriftTable(moved)) transcript_.Line("drift: " + line);
  }
  if (!drift->libraryGone) {
    transcript_.Line("drift: " + std::to_string(drift->rows.size() - moved.size()) +
                     " values unchanged");
  }
  transcript_.Line("summary: " + drift->Summary() +
                   (drift->libraryGone ? " (" + drift->goneReason + ")" : ""));
}

void Commands::DriftOfLayers(const ornhost::Governed& governed) {
  std::size_t unchanged = 0;
  for (std::size_t n = 0; n < governed.layers.size(); ++n) {
    const ornhost::Layer& layer = governed.layers[n];
    std::vector<ornhost::DriftRow> moved;
    for (const ornhost::GovernedValue& value : governed.values) {
      if (value.layer != n) continue;
      if (value.state == ornhost::DriftState::Unchanged) {
        ++unchanged;
        continue;
      }
      moved.push_back({value.property, value.state, value.here, value.base, value.library});
    }
    const char* kind =
        layer.kind == ornhost::LayerKind::SameName ? "taken by name from " : "overlay ";
    transcript_.Line("drift: " + std::string(kind) + layer.Label() +
                     (layer.libraryGone ? ": gone (" + layer.goneReason + ")"
                      : moved.empty()   ? ": nothing moved"
                                        : ""));
    if (moved.empty()) continue;
    for (const std::string& line : DriftTable(moved)) transcript_.Line("drift: " + line);
  }
  transcript_.Line("drift: " + std::to_string(unchanged) + " values unchanged");
  transcript_.Line("summary: " + governed.Summary());
}

void Commands::MergeFromLibrary(const Args& args) {
  MasterFile();  // the module can change nothing without one
  const std::u16string name = Wide(args[0]);
  Take all = Take::Undecided;
  std::map<std::string, Take> choices;
  const auto side = [](const std::string& word) {
    if (word == "library") return Take::Library;
    if (word == "local") return Take::Local;
    throw CommandError("expected library or local, got " + QuoteWord(word));
  };
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--take") {
      if (i + 1 == args.size()) throw CommandError("--take needs library or local");
      all = side(args[++i]);
      continue;
    }
    const std::size_t equals = args[i].find('=');
    if (equals == std::string::npos) {
      throw CommandError("expected --take or PROPERTY=library|local, got " + QuoteWord(args[i]));
    }
    choices[args[i].substr(0, equals)] = side(args[i].substr(equals + 1));
  }
  PanelMasterSetup(args[0]);  // the values go in through the panel
  const MergePlan plan = PlanMerge(name, all, choices);
  if (!plan.steps.empty()) {
    std::vector<ornhost::DriftRow> rows;
    for (const MergeStep& step : plan.steps) rows.push_back(step.row);
    auto lines = DriftTable(rows);
    // The action column starts after the longest library value.
    std::size_t width = 0;
    for (const std::string& line : lines) width = std::max(width, line.size());
    for (std::string& line : lines) line.resize(width, ' ');
    transcript_.Line("merge: " + lines[0] + "  ACTION");
    for (std::size_t i = 0; i < plan.steps.size(); ++i) {
      const MergeStep& step = plan.steps[i];
      const bool open = step.row.state == ornhost::DriftState::Conflict &&
                        std::find(plan.undecided.begin(), plan.undecided.end(),
                                  step.row.property) != plan.undecided.end();
      const std::string action = open                ? "to decide"
                                 : step.locked       ? "put back (locked)"
                                 : !step.takeLibrary ? "keep here"
                                 : step.throughHost  ? "take library (through the host: the panel "
                                                       "cannot write it)"
                                                     : "take library";
      transcript_.Line("merge: " + lines[i + 1] + "  " + action);
    }
  }
  if (!plan.undecided.empty()) {
    throw CommandError(std::to_string(plan.undecided.size()) +
                       (plan.undecided.size() == 1 ? " conflict" : " conflicts") +
                       " to decide (--take library|local, or PROPERTY=library|local); nothing "
                       "changed");
  }
  for (const std::string& problem : ApplyMerge(name, plan)) transcript_.Error(problem);
  transcript_.Line("merge: " + std::to_string(plan.Taken()) + " values taken from the library, " +
                   std::to_string(plan.steps.size() - plan.Taken()) +
                   " kept; the merge base moves when " + AlwaysQuoted(args[0]) +
                   " is saved, reset undoes the merge");
}

void Commands::Matches(const Args& args) {
  transcript_.Result(api_.MatchesToLibrarySetup(Wide(args[0]).c_str()));
}

}  // namespace ornr::workbench
