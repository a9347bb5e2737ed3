#include "workbench/Commands.h"

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <limits>
#include <map>
#include <utility>

#include "host/OrnSetupManager.h"
#include "host/SessionMgr.h"
#include "host/xrt.h"
#include "panel/Panel.h"
#include "platform/HostControls.h"
#include "platform/Provenance.h"
#include "support/Utf.h"
#include "workbench/CommandLexer.h"
#include "workbench/LibraryMerge.h"

namespace ornr::workbench {

namespace {

using Teskor::RenderSetup::View::MainPanel;
using Teskor::RenderSetup::ViewModel::Group;
using Teskor::RenderSetup::ViewModel::RenderSetup;
using Args = std::vector<std::string>;

constexpr std::size_t kAnyNumber = std::numeric_limits<std::size_t>::max();

std::u16string Wide(const std::string& text) {
  return Utf8ToUtf16(text);
}

Teskor::ZelPlatform::ZelFile& MasterFile() {
  Teskor::ZelPlatform::ZelFile* file =
      Teskor::KreelPlatform::ISessionMgr::GetManager().GetMasterZelFile();
  if (file == nullptr) throw CommandError("no master file is open");
  return *file;
}

std::filesystem::path MasterPath() {
  return std::filesystem::path(Utf16ToUtf8(MasterFile().GetFileName().str()));
}

RenderSetup& PanelMasterSetup(const std::string& name) {
  RenderSetup* setup = MainPanel::Instance().ViewModel().GetSetupFromCurrentZel(Wide(name));
  if (setup == nullptr) {
    throw CommandError("the panel shows no master-file setup " + AlwaysQuoted(name));
  }
  return *setup;
}

// Whether the master file's store holds a setup of that name.
bool MasterHolds(const std::u16string& name) {
  return Teskor::ZelPlatform::OrnSetupManager::GetManagerR().FindOrnSetupByName(
             name.c_str(), MasterFile()) != nullptr;
}

bool OnOff(const std::string& word) {
  if (word == "on") return true;
  if (word == "off") return false;
  throw CommandError("expected on or off, got " + QuoteWord(word));
}

}  // namespace

struct Commands::Entry {
  const char* name;
  std::size_t minArgs;
  std::size_t maxArgs;
  void (Commands::*run)(const Args&);
  // Each form with what it does, for help and for the usage shown on wrong arguments.
  std::vector<std::pair<const char*, const char*>> forms;
};

const std::vector<Commands::Entry>& Commands::Table() {
  // clang-format off
  static const std::vector<Entry> table = {
      {"open", 1, 1, &Commands::Open,
       {{"open FILE", "make FILE the master file (created if missing)"}}},
      {"close", 0, 0, &Commands::Close,
       {{"close", "close the master file"}}},
      {"library", 1, 1, &Commands::Library,
       {{"library FILE", "offer FILE as a design library from now on"}}},
      {"refresh", 0, 0, &Commands::Refresh,
       {{"refresh", "the host's session refresh notification"}}},
      {"reference", 1, 1, &Commands::Reference,
       {{"reference on|off", "the active model is / is no longer a reference attachment"}}},
      {"answer", 1, 1, &Commands::Answer,
       {{"answer yes|no", "queue the answer for the next question box"}}},
      {"init", 0, 0, &Commands::Init,
       {{"init", "start the module (ornR_Init)"}}},
      {"release", 0, 0, &Commands::Release,
       {{"release", "stop the module (ornR_Release)"}}},
      {"load", 0, 1, &Commands::Load,
       {{"load [reload]", "send every setup to the panel; reload re-reads the master file"}}},
      {"new", 1, 1, &Commands::New,
       {{"new NAME", "a new setup with the settings of NAME"}}},
      {"duplicate", 1, 1, &Commands::Duplicate,
       {{"duplicate NAME", "copy NAME under a free name"}}},
      {"rename", 2, 2, &Commands::Rename,
       {{"rename OLD NEW", "rename a master-file setup"}}},
      {"delete", 1, 1, &Commands::Delete,
       {{"delete NAME", "delete a master-file setup"}}},
      {"reset", 1, 1, &Commands::Reset,
       {{"reset NAME", "put NAME back to its stored state"}}},
      {"save", 1, 2, &Commands::Save,
       {{"save NAME", "write NAME into the master file"},
        {"save NAME --force", "write NAME even over another session's newer work"}}},
      {"modified", 1, 1, &Commands::Modified,
       {{"modified NAME", "1 when NAME has unsaved changes"}}},
      {"copy-from-library", 1, 1, &Commands::CopyFromLibrary,
       {{"copy-from-library NAME", "copy the library setup NAME into the master file"}}},
      {"update-from-library", 1, 1, &Commands::UpdateFromLibrary,
       {{"update-from-library NAME", "take the library setup's settings into NAME"}}},
      {"matches", 1, 1, &Commands::Matches,
       {{"matches NAME", "1 equal to the library setup, 0 different, -1 nothing to compare"}}},
      {"origin", 1, 1, &Commands::Origin,
       {{"origin NAME", "the library setup NAME was taken from, and how the two have moved"}}},
      {"drift", 1, 1, &Commands::Drift,
       {{"drift NAME", "each value that changed here, in the library or on both sides"}}},
      {"merge-from-library", 1, kAnyNumber, &Commands::MergeFromLibrary,
       {{"merge-from-library NAME", "take the library's newer values, keep the ones changed here"},
        {"merge-from-library NAME --take library|local", "the same, conflicts decided one way"},
        {"merge-from-library NAME PROPERTY=library|local...", "conflicts decided one by one"}}},
      {"edit", 3, 3, &Commands::Edit,
       {{"edit NAME PROPERTY VALUE", "the user changes a value of NAME in the panel"}}},
      {"show", 1, 1, &Commands::Show,
       {{"show NAME", "the panel's values of the master-file setup NAME"}}},
      {"export", 2, kAnyNumber, &Commands::Export,
       {{"export NAME... FILE", "write stored master-file setups to FILE as JSON"}}},
      {"import", 1, 2, &Commands::Import,
       {{"import FILE [--replace]", "store the setups of a JSON file in the master file"}}},
      {"upgrade", 1, 1, &Commands::Upgrade,
       {{"upgrade FILE", "convert a design file of an older format, keeping a copy of it"}}},
      {"host", 2, kAnyNumber, &Commands::Host,
       {{"host add NAME [PROPERTY=VALUE]...", "the host stores a new setup in the master file"},
        {"host show NAME", "the stored values of the master-file setup NAME, exactly"},
        {"host invalidate NAME", "the host damages the stored record of NAME"}}},
      {"list", 0, 0, &Commands::List,
       {{"list", "the setups the panel shows, by group, the current one marked"}}},
      {"help", 0, 1, &Commands::Help,
       {{"help [COMMAND]", "this list, or the forms of one command"}}},
      {"quit", 0, 0, &Commands::Quit,
       {{"quit", "end the session (also end of input)"}}},
  };
  // clang-format on
  return table;
}

std::vector<std::string> Commands::HelpLines(const std::string& command) {
  std::vector<std::string> lines;
  for (const Entry& entry : Table()) {
    if (!command.empty() && command != entry.name) continue;
    for (const auto& [form, what] : entry.forms) {
      std::string line = form;
      line.resize(std::max<std::size_t>(line.size() + 2, 36), ' ');
      lines.push_back(line + what);
    }
  }
  if (!command.empty()) {
    if (lines.empty()) throw CommandError("unknown command " + QuoteWord(command));
    return lines;
  }
  lines.emplace_back(
      "NAME, FILE and VALUE in double quotes when they hold blanks or \"#\"; "
      "\\\" and \\\\ inside quotes");
  return lines;
}

void Commands::Run(const Args& words) {
  if (words.empty()) return;
  try {
    const Entry* found = nullptr;
    for (const Entry& entry : Table()) {
      if (words[0] == entry.name) found = &entry;
    }
    if (found == nullptr) throw CommandError("unknown command " + QuoteWord(words[0]));
    const Args args(words.begin() + 1, words.end());
    if (args.size() < found->minArgs || args.size() > found->maxArgs) {
      std::string usage;
      for (const auto& form : found->forms)
        usage += (usage.empty() ? "" : " | ") + std::string(form.first);
      throw CommandError("usage: " + usage);
    }
    (this->*found->run)(args);
  } catch (const std::exception& error) {
    transcript_.Error(error.what());
  } catch (...) {
    transcript_.Error("the command failed");
  }
}

void Commands::Open(const Args& args) {
  ornhost::OpenMaster(std::filesystem::path(args[0]));
}

void Commands::Close(const Args&) {
  MasterFile();
  ornhost::CloseMaster();
}

void Commands::Library(const Args& args) {
  ornhost::AddLibrary(std::filesystem::path(args[0]));
}

void Commands::Refresh(const Args&) {
  ornhost::Refresh();
}

void Commands::Reference(const Args& args) {
  ornhost::SetActiveModelIsReference(OnOff(args[0]));
}

void Commands::Answer(const Args& args) {
  if (args[0] == "yes") return ornhost::QueueAnswer(ornhost::kAnswerYes);
  if (args[0] == "no") return ornhost::QueueAnswer(ornhost::kAnswerNo);
  throw CommandError("expected yes or no, got " + QuoteWord(args[0]));
}

void Commands::Init(const Args&) {
  api_.Init();
}

void Commands::Release(const Args&) {
  api_.Release();
}

void Commands::Load(const Args& args) {
  if (!args.empty() && args[0] != "reload") {
    throw CommandError("expected reload, got " + QuoteWord(args[0]));
  }
  api_.LoadAllSetups(!args.empty());
}

void Commands::New(const Args& args) {
  MasterFile();  // the module can change nothing without one
  api_.NewSetup(Wide(args[0]).c_str());
}

void Commands::Duplicate(const Args& args) {
  MasterFile();  // the module can change nothing without one
  transcript_.Result(api_.DuplicateSetup(Wide(args[0]).c_str()));
}

// Rename and delete act as the panel's buttons: the module sends nothing about the old name, so
// the panel updates its own list once the host's store shows that the command took effect.
void Commands::Rename(const Args& args) {
  MasterFile();  // the module can change nothing without one
  const std::u16string oldName = Wide(args[0]);
  const std::u16string newName = Wide(args[1]);
  api_.RenameSetup(oldName.c_str(), newName.c_str());
  if (!MasterHolds(newName) || (oldName != newName && MasterHolds(oldName))) {
    throw CommandError("the setup " + AlwaysQuoted(args[0]) + " was not renamed to " +
                       AlwaysQuoted(args[1]));
  }
  MainPanel::Instance().ViewModel().RenameSetup(Group::MasterFile, oldName, newName);
}

void Commands::Delete(const Args& args) {
  MasterFile();  // the module can change nothing without one
  const std::u16string name = Wide(args[0]);
  const int result = api_.DeleteSetup(name.c_str());
  transcript_.Result(result);
  if (result == 1 && !MasterHolds(name)) {
    MainPanel::Instance().ViewModel().RemoveSetup(Group::MasterFile, name);
  }
}

void Commands::Reset(const Args& args) {
  MasterFile();  // the module can change nothing without one
  api_.ResetSetup(Wide(args[0]).c_str());
}

void Commands::Save(const Args& args) {
  MasterFile();  // the module can change nothing without one
  if (args.size() == 2) {
    if (args[1] != "--force") throw CommandError("expected --force, got " + QuoteWord(args[1]));
    ornhost::OverwriteOnNextSave(Wide(args[0]));
  }
  api_.SaveSetup(Wide(args[0]).c_str());
  // A save the module did not make must not turn a later one into an overwrite.
  if (args.size() == 2) ornhost::OverwriteOnNextSave({});
}

void Commands::Modified(const Args& args) {
  transcript_.Result(api_.IsModified(Wide(args[0]).c_str()));
}

void Commands::CopyFromLibrary(const Args& args) {
  MasterFile();  // the module can change nothing without one
  const int result = api_.CopyFromLib(Wide(args[0]).c_str());
  transcript_.Result(result);
  if (result == 1) RecordOrigin(args[0]);
}

void Commands::UpdateFromLibrary(const Args& args) {
  MasterFile();  // the module can change nothing without one
  const std::u16string name = Wide(args[0]);
  api_.UpdateFromLibrarySetup(name.c_str());
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
  if (!drift) {
    transcript_.Line("origin: " + AlwaysQuoted(args[0]) + " was not taken from a library");
    return;
  }
  const ornhost::Provenance& origin = drift->origin;
  transcript_.Line("origin: " + AlwaysQuoted(args[0]) + " from " +
                   AlwaysQuoted(Utf16ToUtf8(origin.librarySetup)) + " in " +
                   AlwaysQuoted(Utf16ToUtf8(origin.libraryFile)) + " (" + origin.libraryPath +
                   "), taken " + origin.takenAt);
  if (drift->pendingBase) {
    transcript_.Line("origin: a merge waits to be saved (reset " + AlwaysQuoted(args[0]) +
                     " undoes it)");
  }
  transcript_.Line("summary: " + drift->Summary() +
                   (drift->libraryGone ? " (" + drift->goneReason + ")" : ""));
}

void Commands::Drift(const Args& args) {
  const std::u16string name = Wide(args[0]);
  if (!MasterHolds(name))
    throw CommandError("the master file holds no setup " + AlwaysQuoted(args[0]));
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
  if (xrtModelRef_isReference(xrtModelRef_getActive())) {
    throw CommandError("the active model is a reference attachment; nothing merged");
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

void Commands::Edit(const Args& args) {
  const RenderSetup& setup = PanelMasterSetup(args[0]);
  // The panel only offers the properties it shows.
  if (!setup.PropertyText(args[1])) {
    throw CommandError("the setup " + AlwaysQuoted(args[0]) + " has no property " +
                       QuoteWord(args[1]));
  }
  const std::u16string name = Wide(args[0]);
  const auto result = MainPanel::Instance().ViewModel().EditProperty(Group::MasterFile, name,
                                                                     args[1], Wide(args[2]));
  if (!result) throw CommandError(result.message);
  // An applied edit leaves the setup modified; the panel may still show a setup that the module
  // no longer knows, and such an edit must not vanish unnoticed.
  if (api_.IsModified(name.c_str()) != 1) {
    throw CommandError("the edit of " + args[1] + " did not reach the setup " +
                       AlwaysQuoted(args[0]));
  }
}

void Commands::Show(const Args& args) {
  for (const auto& [property, text] : PanelMasterSetup(args[0]).Properties()) {
    transcript_.Line(std::string(property) + " = " + Utf16ToUtf8(text));
  }
}

void Commands::Export(const Args& args) {
  std::vector<std::u16string> names;
  for (std::size_t i = 0; i + 1 < args.size(); ++i) names.push_back(Wide(args[i]));
  ornhost::ExportSetups(MasterPath(), names, std::filesystem::path(args.back()));
}

void Commands::Import(const Args& args) {
  if (args.size() == 2 && args[1] != "--replace") {
    throw CommandError("expected --replace, got " + QuoteWord(args[1]));
  }
  try {
    for (const std::u16string& name :
         ornhost::ImportSetups(MasterPath(), std::filesystem::path(args[0]), args.size() == 2)) {
      transcript_.Line("imported " + AlwaysQuoted(Utf16ToUtf8(name)));
    }
  } catch (const ornhost::ImportError& error) {
    for (const auto& problem : error.Problems()) transcript_.Error(problem.Text());
    transcript_.Error("nothing imported");
  }
}

void Commands::Upgrade(const Args& args) {
  const ornhost::UpgradeResult result = ornhost::UpgradeDesignFile(std::filesystem::path(args[0]));
  if (result.backup.empty()) {
    transcript_.Line(args[0] + " has format version " + std::to_string(result.fromVersion) +
                     " already");
    return;
  }
  for (const std::string& problem : result.problems) transcript_.Error(args[0] + ": " + problem);
  transcript_.Line("upgraded " + args[0] + " from format version " +
                   std::to_string(result.fromVersion) + "; the file as it was is " +
                   result.backup.string());
}

void Commands::Host(const Args& args) {
  if (args[0] == "show") {
    if (args.size() != 2) throw CommandError("usage: host show NAME");
    for (const auto& setup : ornhost::ReadSetups(MasterPath())) {
      if (setup.name != Wide(args[1])) continue;
      if (!setup.valid)
        throw CommandError("the stored record of " + AlwaysQuoted(args[1]) + " cannot be read");
      for (const auto& [key, text] : ornhost::SettingTexts(setup.settings)) {
        transcript_.Line(key + " = " + text);
      }
      return;
    }
    throw CommandError("the master file holds no setup " + AlwaysQuoted(args[1]));
  }
  if (args[0] == "invalidate") {
    if (args.size() != 2) throw CommandError("usage: host invalidate NAME");
    if (!ornhost::InvalidateSetup(MasterPath(), Wide(args[1]))) {
      throw CommandError("the master file holds no setup " + AlwaysQuoted(args[1]));
    }
    return;
  }
  if (args[0] != "add") throw CommandError("expected host add, host show or host invalidate");
  if (args[1].empty()) throw CommandError("a setup needs a name");
  Teskor::ZelPlatform::OrnSettings settings;
  for (std::size_t i = 2; i < args.size(); ++i) {
    const std::size_t equals = args[i].find('=');
    if (equals == std::string::npos) {
      throw CommandError("expected PROPERTY=VALUE, got " + QuoteWord(args[i]));
    }
    const std::string property = args[i].substr(0, equals);
    const std::string value = args[i].substr(equals + 1);
    const auto& keys = ornhost::SettingKeys();
    if (std::find(keys.begin(), keys.end(), property) == keys.end()) {
      throw CommandError("the renderer has no setting " + QuoteWord(property));
    }
    if (!ornhost::SetSettingFromText(settings, property, value)) {
      throw CommandError(QuoteWord(value) + " is not a value of " + property);
    }
  }
  ornhost::WriteSetup(MasterPath(), Wide(args[1]), settings);
}

void Commands::List(const Args&) {
  const auto& viewModel = MainPanel::Instance().ViewModel();
  const RenderSetup* current = viewModel.CurrentRenderSetup();
  for (const Group group : {Group::MasterFile, Group::Library}) {
    const char* label = group == Group::MasterFile ? "list: master " : "list: library ";
    const auto& setups = viewModel.Setups(group);
    if (setups.empty()) transcript_.Line(std::string(label) + "none");
    for (const auto& setup : setups) {
      std::string line = label + AlwaysQuoted(Utf16ToUtf8(setup->Name().value_or(u"")));
      if (group == Group::Library) line += " from " + AlwaysQuoted(Utf16ToUtf8(setup->StoreIn));
      if (setup.get() == current) line += " (current)";
      transcript_.Line(line);
    }
  }
}

void Commands::Help(const Args& args) {
  for (const std::string& line : HelpLines(args.empty() ? "" : args[0])) transcript_.Line(line);
}

void Commands::Quit(const Args&) {
  quit_ = true;
}

}  // namespace ornr::workbench
