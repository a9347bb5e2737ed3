// Office standards: what a library setup governs and locks, notes, why a value is what it is,
// and library setups applied onto master-file setups as overlays.
#include "workbench/commands/Commands.h"

#include <algorithm>
#include <optional>

#include "host/controls/ValueWhy.h"
#include "host/provenance/Standards.h"
#include "host/store/SettingsColumns.h"
#include "support/Utf.h"
#include "workbench/commands/CommandLexer.h"
#include "workbench/commands/CommandSupport.h"
#include "workbench/commands/PanelValues.h"

namespace ornr::workbench {

namespace {

// A standard's refusal is the command's: said as it is.
template <typename Run>
auto Standard(Run run) {
  try {
    return run();
  } catch (const ornhost::StandardsError& error) {
    throw CommandError(error.what());
  }
}

std::string GovernsText(const std::optional<ornhost::PropertySet>& scope) {
  const std::size_t all = ornhost::detail::kSettingCount;
  if (!scope || scope->all()) return "governs all " + std::to_string(all) + " values";
  return "governs " + std::to_string(scope->count()) + " of " + std::to_string(all) +
         " values: " + ornhost::ScopeText(scope);
}

bool IsProperty(const std::string& word) {
  return ornhost::detail::SettingIndex(word).has_value();
}

}  // namespace

void Commands::Scope(const Args& args) {
  MasterFile();
  const std::u16string name = Wide(args[0]);
  const std::string quoted = AlwaysQuoted(args[0]);
  if (args.size() > 1) {
    std::optional<ornhost::PropertySet> scope;
    if (args[1] == "--all") {
      if (args.size() != 2) throw CommandError(Usage(*FindCommand("scope")));
    } else if (args[1] == "--only") {
      if (args.size() == 2) throw CommandError("--only needs a property or a section");
      scope = Standard([&] { return ornhost::ScopeOfWords({args.begin() + 2, args.end()}); });
    } else {
      throw CommandError("expected --only or --all, got " + QuoteWord(args[1]));
    }
    const auto dropped = Standard([&] { return ornhost::SetScope(name, scope); });
    for (const std::string& property : dropped) {
      transcript_.Line("scope: the lock of " + property + " goes: " + quoted +
                       " no longer governs it");
    }
  }
  const auto standards = Standard([&] { return ornhost::StandardsOf(name); });
  transcript_.Line("scope: " + quoted + " " + GovernsText(standards.scope));
}

void Commands::Lock(const Args& args) {
  MasterFile();
  const auto reasonAt = std::find(args.begin(), args.end(), "--reason");
  if (reasonAt == args.end() || reasonAt + 2 != args.end() || reasonAt == args.begin() + 1) {
    throw CommandError(Usage(*FindCommand("lock")));
  }
  const std::vector<std::string> properties(args.begin() + 1, reasonAt);
  const std::string& reason = *(reasonAt + 1);
  Standard([&] { ornhost::Lock(Wide(args[0]), properties, reason); });
  for (const std::string& property : properties) {
    transcript_.Line("lock: " + property + " of " + AlwaysQuoted(args[0]) + " locked: " + reason);
  }
}

void Commands::Unlock(const Args& args) {
  MasterFile();
  const std::vector<std::string> properties(args.begin() + 1, args.end());
  Standard([&] { ornhost::Unlock(Wide(args[0]), properties); });
  for (const std::string& property : properties) {
    transcript_.Line("unlock: " + property + " of " + AlwaysQuoted(args[0]) + " unlocked");
  }
}

void Commands::Locks(const Args& args) {
  MasterFile();
  const std::optional<std::u16string> only =
      args.empty() ? std::nullopt : std::optional(Wide(args[0]));
  const auto locks = Standard([&] { return ornhost::LocksOf(only); });
  if (locks.empty()) {
    transcript_.Line("locks: none");
    return;
  }
  for (const ornhost::ValueLock& lock : locks) {
    std::string line = "locks: " + ornhost::LockedText(lock);
    if (lock.override) line += "; " + ornhost::OverrideText(*lock.override);
    if (lock.breached) line += "; changed here without an override";
    transcript_.Line(line);
  }
}

void Commands::Note(const Args& args) {
  MasterFile();
  const std::u16string name = Wide(args[0]);
  const std::string quoted = AlwaysQuoted(args[0]);
  // Two words are a property to print, or the setup's note to set.
  const bool ofValue = args.size() == 3 || (args.size() == 2 && IsProperty(args[1]));
  const std::string property = ofValue ? args[1] : "";
  const std::string what = ofValue ? property + " of " + quoted : quoted;
  if (args.size() == 3 || (args.size() == 2 && !ofValue)) {
    const std::string& text = args.back();
    Standard([&] { ornhost::SetNote(name, property, text); });
  }
  const auto standards = Standard([&] { return ornhost::StandardsOf(name); });
  std::string note = standards.description;
  if (ofValue) {
    const auto found = standards.notes.find(property);
    note = found != standards.notes.end() ? found->second : "";
  }
  transcript_.Line(note.empty() ? "note: " + what + " has no note" : "note: " + what + ": " + note);
}

void Commands::Why(const Args& args) {
  MasterFile();
  const auto why = Standard([&] { return ornhost::WhyOf(Wide(args[0]), args[1]); });
  for (const std::string& line : ornhost::WhyLines(why, AlwaysQuoted(args[0]))) {
    transcript_.Line("why: " + line);
  }
}

void Commands::Apply(const Args& args) {
  MasterFile();
  const std::u16string source = Wide(args[0]);
  std::optional<std::filesystem::path> library;
  bool dryRun = false;
  std::vector<std::string> targets;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--dry-run") {
      dryRun = true;
    } else if (args[i] == "--library") {
      if (i + 1 == args.size()) throw CommandError("--library needs a FILE");
      library = args[++i];
    } else {
      targets.push_back(args[i]);
    }
  }
  if (targets.empty()) throw CommandError(Usage(*FindCommand("apply")));
  const auto found = Standard([&] { return ornhost::FindLibrarySetup(source, library); });
  const std::string from =
      AlwaysQuoted(args[0]) + " in " + AlwaysQuoted(Utf16ToUtf8(found.origin.libraryFile));
  // Every target is checked before any changes: a wrong name changes nothing.
  std::vector<std::pair<std::string, ornhost::ApplyPlan>> plans;
  for (const std::string& target : targets) {
    const std::u16string name = Wide(target);
    if (!MasterHolds(name)) throw CommandError(NoSetupNamed(target));
    PanelMasterSetup(target);  // the values go in through the panel
    plans.emplace_back(target, Standard([&] { return ornhost::PlanApply(found, name); }));
  }
  for (const auto& [target, plan] : plans) {
    const std::string quoted = AlwaysQuoted(target);
    std::size_t taken = 0;
    for (const ornhost::ApplyRow& row : plan.rows) {
      transcript_.Line("apply: " + quoted + " " + row.property + " " + row.now + " -> " +
                       row.library + (row.kept ? " (kept: overridden here)" : ""));
      taken += row.kept ? 0 : 1;
    }
    if (dryRun) {
      transcript_.Line("apply: " + std::to_string(taken) + " of " + std::to_string(plan.governed) +
                       " governed values of " + from + " would change " + quoted +
                       "; nothing changed (dry run)");
      continue;
    }
    const std::u16string name = Wide(target);
    for (const ornhost::ApplyRow& row : plan.rows) {
      if (row.kept) continue;
      const std::string refusal = EnterValue(name, PanelValueOf(row.property, row.library));
      if (!refusal.empty()) transcript_.Error(row.property + ": " + refusal);
    }
    Standard([&] { ornhost::SetPendingOverlays(name, plan.overlays); });
    transcript_.Line("apply: " + std::to_string(taken) + " of " + std::to_string(plan.governed) +
                     " governed values of " + from + " taken into " + quoted + "; save " +
                     QuoteWord(target) + " stores them, reset undoes it");
  }
}

}  // namespace ornr::workbench
