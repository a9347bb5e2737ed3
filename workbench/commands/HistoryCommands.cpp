// Commands on the history the master file keeps: versions of a setup, any two setups or versions
// side by side, a version brought back, deleted setups and how much is kept.
#include <algorithm>
#include <charconv>
#include <filesystem>
#include <optional>

#include "host/OrnSetupManager.h"
#include "host/controls/HostControls.h"
#include "host/history/History.h"
#include "host/provenance/Standards.h"
#include "host/xrt.h"
#include "support/Utf.h"
#include "workbench/commands/CommandLexer.h"
#include "workbench/commands/CommandSupport.h"
#include "workbench/commands/Commands.h"
#include "workbench/commands/PanelValues.h"

namespace ornr::workbench {

namespace {

using Teskor::ZelPlatform::OrnSettings;
using Teskor::ZelPlatform::OrnSetupManager;

std::string Padded(std::string text, std::size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text + "  ";
}

std::int64_t Count(const std::string& word, const char* what, std::int64_t least) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (error != std::errc() || end != word.data() + word.size() || value < least) {
    throw CommandError("expected " + std::string(what) + ", got " + QuoteWord(word));
  }
  return value;
}

// "BlurPasses 8 -> 12, name "Sky" -> "Night"": what one version's action changed.
std::string Changes(const ornhost::SetupVersion& version) {
  if (version.action == "delete") return "deleted";
  std::string text;
  const auto add = [&](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
  if (version.action == "undelete") add("brought back after being deleted");
  if (!version.nameAfter.empty() && version.nameAfter != version.name) {
    add("name " + AlwaysQuoted(Utf16ToUtf8(version.name)) + " -> " +
        AlwaysQuoted(Utf16ToUtf8(version.nameAfter)));
  }
  for (const auto& change : version.changes) {
    add(change.property + " " + change.before + " -> " + change.after);
  }
  // What else it changed: the standards' texts, quoted, since they hold blanks and commas.
  for (const auto& mark : version.marks) {
    const std::string what = mark.kind + (mark.property.empty() ? "" : " " + mark.property);
    if (mark.kind == "scope") {
      add("scope " + mark.before + " -> " + mark.after);
    } else if (mark.after.empty()) {
      add(what + " removed (was " + AlwaysQuoted(mark.before) + ")");
    } else {
      add(what + " " + AlwaysQuoted(mark.after));
    }
  }
  return text.empty() ? "-" : text;
}

// A restore that would change a value a library setup locks, without an override, changes
// nothing.
void RefuseLockBreaches(const std::u16string& name, const OrnSettings& after) {
  try {
    const auto governed = ornhost::GovernedOf(name);
    if (!governed) return;
    OrnSettings now;
    for (const ornhost::GovernedValue& value : governed->values) {
      ornhost::SetSettingFromText(now, value.property, value.here);
    }
    const auto breaches =
        ornhost::LockBreaches(*governed, after, &now, ornhost::StandardsOf(name).overrides);
    if (breaches.empty()) return;
    throw CommandError(breaches.front().message +
                       (breaches.size() > 1
                            ? " (and " + std::to_string(breaches.size() - 1) + " more)"
                            : std::string()) +
                       "; nothing restored (edit ... --override \"why\" changes it anyway)");
  } catch (const ornhost::StandardsError& error) {
    throw CommandError(error.what());
  }
}

// One side of a diff as given: a master-file setup, a version of it, or a library setup.
struct Side {
  std::string name;
  std::optional<std::int64_t> version;
  bool library = false;
  std::optional<std::string> file;
};

// Names may look like files and files like names: the reading that leaves exactly two sides wins,
// a FILE after --library first.
bool ReadSides(const Args& args, std::size_t at, std::vector<Side>& sides) {
  if (at == args.size()) return sides.size() == 2;
  const std::string& word = args[at];
  if (word == "--version") {
    if (sides.empty() || sides.back().version || at + 1 == args.size()) return false;
    sides.back().version = Count(args[at + 1], "a version number", 1);
    if (ReadSides(args, at + 2, sides)) return true;
    sides.back().version.reset();
    return false;
  }
  if (word == "--library") {
    if (sides.empty() || sides.back().library) return false;
    sides.back().library = true;
    if (at + 1 < args.size() && !args[at + 1].starts_with("--")) {
      sides.back().file = args[at + 1];
      if (ReadSides(args, at + 2, sides)) return true;
      sides.back().file.reset();
    }
    if (ReadSides(args, at + 1, sides)) return true;
    sides.back().library = false;
    return false;
  }
  if (word.starts_with("--") || sides.size() == 2) return false;
  sides.push_back({word, std::nullopt, false, std::nullopt});
  if (ReadSides(args, at + 1, sides)) return true;
  sides.pop_back();
  return false;
}

std::string Label(const Side& side) {
  std::string label = AlwaysQuoted(side.name);
  if (side.version) label += " version " + std::to_string(*side.version);
  if (side.library) {
    label += " in " + (side.file ? std::filesystem::path(*side.file).filename().string()
                                 : std::string("its library"));
  }
  return label;
}

// The library setup as the host offers it: from the library the module would take it from
// (of several, the one whose file name sorts first), or from FILE, open as a library or not.
OrnSettings LibraryValues(const Side& side) {
  const std::u16string name = Wide(side.name);
  auto& store = OrnSetupManager::GetManagerR();
  std::optional<std::filesystem::path> wanted;
  if (side.file) wanted = std::filesystem::weakly_canonical(*side.file);
  const Teskor::ZelPlatform::OrnSetup* chosen = nullptr;
  std::u16string chosenFile;
  xrtZelLibIterator* libraries = xrtZelLibIterator_create(0);
  while (auto* model = xrtZelLibIterator_getNext(libraries)) {
    Teskor::ZelPlatform::ZelFile* file = model->GetZelFileP();
    if (file == nullptr) continue;
    const std::u16string fileName = file->GetFileName().str();
    if (wanted && std::filesystem::weakly_canonical(Utf16ToUtf8(fileName)) != *wanted) continue;
    const auto* setup = store.FindOrnSetupByName(name.c_str(), *file);
    if (setup == nullptr || setup->GetSettingsR() == nullptr) continue;
    if (chosen == nullptr || fileName < chosenFile) {
      chosen = setup;
      chosenFile = fileName;
    }
  }
  xrtZelLibIterator_free(&libraries);
  if (chosen != nullptr) return *chosen->GetSettingsR();
  if (!side.file) throw CommandError("no library offers a setup " + AlwaysQuoted(side.name));
  for (const auto& stored : ornhost::ReadSetups(*side.file)) {
    if (stored.name != name) continue;
    if (!stored.valid) {
      throw CommandError(*side.file + " holds " + AlwaysQuoted(side.name) +
                         " only as a damaged record");
    }
    return stored.settings;
  }
  throw CommandError(*side.file + " holds no setup " + AlwaysQuoted(side.name));
}

OrnSettings ValuesOf(const Side& side) {
  if (side.library && side.version) {
    throw CommandError("a library setup has no versions here; --version is for the master file");
  }
  if (side.library) return LibraryValues(side);
  if (side.version) return ornhost::SetupVersionValues(Wide(side.name), *side.version);
  // As the panel shows it now, unsaved edits too.
  const auto* setup =
      OrnSetupManager::GetManagerR().FindOrnSetupByName(Wide(side.name).c_str(), MasterFile());
  if (setup == nullptr) {
    throw CommandError("the master file holds no setup " + AlwaysQuoted(side.name));
  }
  if (setup->GetSettingsR() == nullptr) {
    throw CommandError("the stored record of " + AlwaysQuoted(side.name) + " cannot be read");
  }
  return *setup->GetSettingsR();
}

struct Difference {
  std::string property, a, b;
};

std::vector<Difference> Differences(const OrnSettings& a, const OrnSettings& b) {
  const auto aTexts = ornhost::SettingTexts(a);
  const auto bTexts = ornhost::SettingTexts(b);
  std::vector<Difference> differences;
  for (std::size_t i = 0; i < aTexts.size(); ++i) {
    if (aTexts[i].second != bTexts[i].second) {
      differences.push_back({aTexts[i].first, aTexts[i].second, bTexts[i].second});
    }
  }
  return differences;
}

// Property, then two aligned columns under their headings.
std::vector<std::string> SideBySide(const std::string& aHeading, const std::string& bHeading,
                                    const std::vector<Difference>& rows) {
  std::size_t width = aHeading.size();
  for (const auto& row : rows) width = std::max(width, row.a.size());
  std::vector<std::string> lines{Padded("PROPERTY", 29) + Padded(aHeading, width) + bHeading};
  for (const auto& row : rows) {
    lines.push_back(Padded(row.property, 29) + Padded(row.a, width) + row.b);
  }
  return lines;
}

// Whether the master-file setup's working copy holds that text for the property now: the module
// may refuse an edit after the panel took it.
bool Holds(const std::u16string& setup, const std::string& property, const std::string& text) {
  const auto* found =
      OrnSetupManager::GetManagerR().FindOrnSetupByName(setup.c_str(), MasterFile());
  if (found == nullptr || found->GetSettingsR() == nullptr) return false;
  for (const auto& [key, value] : ornhost::SettingTexts(*found->GetSettingsR())) {
    if (key == property) return value == text;
  }
  return false;
}

}  // namespace

void Commands::History(const Args& args) {
  const std::u16string name = Wide(args[0]);
  const auto versions = ornhost::SetupHistory(name);
  const bool deleted = !MasterHolds(name);
  const std::string quoted = AlwaysQuoted(args[0]);
  if (deleted && !versions.empty()) {
    transcript_.Line("history: " + quoted + " was deleted " + versions.front().madeAt + " by " +
                     versions.front().madeBy + "; undelete " + QuoteWord(args[0]) +
                     " brings it back");
  }
  if (versions.empty()) {
    transcript_.Line("history: " + quoted + " has no versions: no save has replaced it yet");
    return;
  }
  std::size_t actionWidth = 6;
  std::size_t userWidth = 4;
  for (const auto& version : versions) {
    actionWidth = std::max(actionWidth, version.action.size());
    userWidth = std::max(userWidth, version.madeBy.size());
  }
  transcript_.Line("history: " + Padded("VERSION", 7) + Padded("TIME", 20) +
                   Padded("ACTION", actionWidth) + Padded("USER", userWidth) + "CHANGED");
  for (const auto& version : versions) {
    transcript_.Line("history: " + Padded(std::to_string(version.number), 7) +
                     Padded(version.madeAt, 20) + Padded(version.action, actionWidth) +
                     Padded(version.madeBy, userWidth) + Changes(version) +
                     (version.changeSet.empty() ? "" : "  [change set " + version.changeSet + "]"));
  }
}

void Commands::Diff(const Args& args) {
  std::vector<Side> sides;
  if (!ReadSides(args, 0, sides)) {
    throw CommandError(Usage(*FindCommand("diff")));
  }
  const auto differences = Differences(ValuesOf(sides[0]), ValuesOf(sides[1]));
  if (differences.empty()) {
    transcript_.Line("diff: " + Label(sides[0]) + " and " + Label(sides[1]) +
                     " hold the same values");
    return;
  }
  for (const std::string& line : SideBySide(Label(sides[0]), Label(sides[1]), differences)) {
    transcript_.Line("diff: " + line);
  }
  const std::size_t same = ornhost::SettingKeys().size() - differences.size();
  transcript_.Line("diff: " + std::to_string(same) + (same == 1 ? " value" : " values") + " equal");
}

// The version's values go in as the person's edits would, so the setup is then modified: saved
// or reset as after any edit. A refusal stops it at once.
void Commands::Restore(const Args& args) {
  const std::u16string name = Wide(args[0]);
  const std::int64_t number = Count(args[1], "a version number", 1);
  PanelMasterSetup(args[0]);
  const OrnSettings version = ornhost::SetupVersionValues(name, number);
  const auto differences = Differences(ValuesOf({args[0], {}, false, {}}), version);
  if (differences.empty()) {
    transcript_.Line("restore: " + AlwaysQuoted(args[0]) + " holds the values of version " +
                     args[1] + " already");
    return;
  }
  for (const std::string& line : SideBySide("NOW", "VERSION " + args[1], differences)) {
    transcript_.Line("restore: " + line);
  }
  RefuseLockBreaches(name, version);
  std::size_t entered = 0;
  for (const Difference& difference : differences) {
    const std::string refusal = EnterValue(name, PanelValueOf(difference.property, difference.b));
    if (!refusal.empty() || !Holds(name, difference.property, difference.b)) {
      throw CommandError("restore stopped at " + difference.property + ": " +
                         (refusal.empty() ? "the setup did not take the value" : refusal) + "; " +
                         std::to_string(entered) + " of " + std::to_string(differences.size()) +
                         " values were restored" +
                         (entered > 0 ? " (reset " + QuoteWord(args[0]) + " undoes them)" : ""));
    }
    ++entered;
  }
  transcript_.Line("restore: " + std::to_string(entered) + (entered == 1 ? " value" : " values") +
                   " of version " + args[1] + " brought back into " + AlwaysQuoted(args[0]) +
                   "; save " + QuoteWord(args[0]) + " stores them, reset " + QuoteWord(args[0]) +
                   " undoes the restore");
}

void Commands::Deleted(const Args&) {
  const auto deleted = ornhost::DeletedSetups();
  if (deleted.empty()) {
    transcript_.Line("deleted: none");
    return;
  }
  std::size_t nameWidth = 4;
  std::size_t userWidth = 4;
  for (const auto& setup : deleted) {
    nameWidth = std::max(nameWidth, AlwaysQuoted(Utf16ToUtf8(setup.name)).size());
    userWidth = std::max(userWidth, setup.deletedBy.size());
  }
  transcript_.Line("deleted: " + Padded("NAME", nameWidth) + Padded("DELETED", 20) +
                   Padded("USER", userWidth) + "VERSIONS");
  for (const auto& setup : deleted) {
    transcript_.Line("deleted: " + Padded(AlwaysQuoted(Utf16ToUtf8(setup.name)), nameWidth) +
                     Padded(setup.deletedAt, 20) + Padded(setup.deletedBy, userWidth) +
                     std::to_string(setup.versions));
  }
}

void Commands::Undelete(const Args& args) {
  const std::u16string newName = args.size() == 2 ? Wide(args[1]) : std::u16string();
  // Values its library setups lock now are held to them inside the write: a breach stores nothing.
  try {
    ornhost::UndeleteSetup(Wide(args[0]), newName,
                           [](std::int64_t position, const OrnSettings& values) {
                             ornhost::RefuseLockBreachesAt(position, values);
                           });
  } catch (const ornhost::StandardsError& error) {
    throw CommandError(std::string(error.what()) + " (undelete brings the setup back unchanged)");
  }
  transcript_.Line("undeleted " + AlwaysQuoted(args[0]) +
                   (args.size() == 2 ? " as " + AlwaysQuoted(args[1]) : ""));
}

void Commands::HistoryLimit(const Args& args) {
  if (!args.empty()) {
    ornhost::HistoryLimits limits = ornhost::GetHistoryLimits();
    limits.versionsPerSetup = Count(args[0], "a number of versions", 0);
    // Without days they stay as they are, also through a 0 that keeps nothing meanwhile.
    if (args.size() == 2) limits.deletedDays = Count(args[1], "a number of days", 0);
    ornhost::SetHistoryLimits(limits);
  }
  const ornhost::HistoryLimits limits = ornhost::GetHistoryLimits();
  if (!limits.problem.empty())
    transcript_.Line("history-limit: " + MasterPath().string() + ": " + limits.problem);
  if (limits.versionsPerSetup == 0) {
    transcript_.Line("history-limit: no history is kept");
    return;
  }
  transcript_.Line("history-limit: " + std::to_string(limits.versionsPerSetup) +
                   (limits.versionsPerSetup == 1 ? " version" : " versions") +
                   " a setup, deleted setups " +
                   (limits.deletedDays == 0 ? std::string("not kept")
                                            : "kept " + std::to_string(limits.deletedDays) +
                                                  (limits.deletedDays == 1 ? " day" : " days")));
}

}  // namespace ornr::workbench
