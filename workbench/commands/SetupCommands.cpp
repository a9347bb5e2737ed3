// Commands on one master-file setup, as the panel's buttons and fields give them.
#include "workbench/commands/Commands.h"

#include <optional>

#include "host/controls/HostControls.h"
#include "host/history/History.h"
#include "host/provenance/Standards.h"
#include "panel/Panel.h"
#include "support/Utf.h"
#include "workbench/commands/CommandLexer.h"
#include "workbench/commands/CommandSupport.h"

namespace ornr::workbench {

using Teskor::RenderSetup::View::MainPanel;
using Teskor::RenderSetup::ViewModel::Group;
using Teskor::RenderSetup::ViewModel::RenderSetup;

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
// These four commands reach the module whether or not the setup exists, as the panel's buttons
// would, and then say so: the module itself tells nobody.
void Commands::Rename(const Args& args) {
  MasterFile();  // the module can change nothing without one
  const std::u16string oldName = Wide(args[0]);
  const std::u16string newName = Wide(args[1]);
  const bool existed = MasterHolds(oldName);
  {
    // The module saves the renamed setup: unsaved values go in with the rename.
    const ornhost::SaveActionScope named("rename");
    api_.RenameSetup(oldName.c_str(), newName.c_str());
  }
  if (!existed) throw CommandError(NoSetupNamed(args[0]));
  if (!MasterHolds(newName) || (oldName != newName && MasterHolds(oldName))) {
    const std::string why = ornhost::RenameRefusal(oldName, newName);
    throw CommandError("the setup " + AlwaysQuoted(args[0]) + " was not renamed to " +
                       AlwaysQuoted(args[1]) + (why.empty() ? "" : ": " + why));
  }
  MainPanel::Instance().ViewModel().RenameSetup(Group::MasterFile, oldName, newName);
}

void Commands::Delete(const Args& args) {
  MasterFile();  // the module can change nothing without one
  const std::u16string name = Wide(args[0]);
  const bool existed = MasterHolds(name);
  const int result = api_.DeleteSetup(name.c_str());
  transcript_.Result(result);
  if (!existed) throw CommandError(NoSetupNamed(args[0]));
  if (result == 1 && !MasterHolds(name)) {
    MainPanel::Instance().ViewModel().RemoveSetup(Group::MasterFile, name);
  }
}

void Commands::Reset(const Args& args) {
  MasterFile();  // the module can change nothing without one
  const std::u16string name = Wide(args[0]);
  const bool existed = MasterHolds(name);
  api_.ResetSetup(name.c_str());
  if (!existed) throw CommandError(NoSetupNamed(args[0]));
}

void Commands::Save(const Args& args) {
  MasterFile();  // the module can change nothing without one
  if (args.size() == 2) {
    if (args[1] != "--force") throw CommandError("expected --force, got " + QuoteWord(args[1]));
    ornhost::OverwriteOnNextSave(Wide(args[0]));
  }
  const std::u16string name = Wide(args[0]);
  const bool existed = MasterHolds(name);
  api_.SaveSetup(name.c_str());
  // A save the module did not make must not turn a later one into an overwrite.
  if (args.size() == 2) ornhost::OverwriteOnNextSave({});
  if (!existed) throw CommandError(NoSetupNamed(args[0]));
}

void Commands::Modified(const Args& args) {
  transcript_.Result(api_.IsModified(Wide(args[0]).c_str()));
}

void Commands::Edit(const Args& args) {
  const RenderSetup& setup = PanelMasterSetup(args[0]);
  // The panel only offers the properties it shows.
  if (!setup.PropertyText(args[1])) {
    throw CommandError("the setup " + AlwaysQuoted(args[0]) + " has no property " +
                       QuoteWord(args[1]));
  }
  if (args.size() != 3 && (args.size() != 5 || args[3] != "--override")) {
    throw CommandError(Usage(*FindCommand("edit")));
  }
  const std::u16string name = Wide(args[0]);
  // A value the office locks changes only with a reason, or back to the library's own value; one
  // overridden already is the drawing's to change.
  std::optional<ornhost::ValueLock> lock;
  try {
    lock = ornhost::LockOf(name, args[1]);
  } catch (const ornhost::StandardsError& error) {
    throw CommandError(error.what());
  }
  const bool overriding = args.size() == 5;
  if (lock && !lock->override && !overriding && args[2] != lock->library) {
    throw CommandError(ornhost::LockedText(*lock) +
                       "; edit ... --override \"why\" changes it anyway");
  }
  if (overriding && !lock) {
    throw CommandError(args[1] + " of " + AlwaysQuoted(args[0]) +
                       " is not locked; edit it without --override");
  }
  if (overriding && args[4].empty()) throw CommandError("--override needs a reason");
  const auto result = MainPanel::Instance().ViewModel().EditProperty(Group::MasterFile, name,
                                                                     args[1], Wide(args[2]));
  if (!result) throw CommandError(result.message);
  // An applied edit leaves the setup modified; the panel may still show a setup that the module
  // no longer knows, and such an edit must not vanish unnoticed.
  if (api_.IsModified(name.c_str()) != 1) {
    throw CommandError("the edit of " + args[1] + " did not reach the setup " +
                       AlwaysQuoted(args[0]));
  }
  if (overriding) {
    try {
      ornhost::SetPendingOverride(name, args[1], args[4]);
    } catch (const ornhost::StandardsError& error) {
      throw CommandError(error.what());
    }
  }
}

void Commands::Show(const Args& args) {
  const auto& properties = PanelMasterSetup(args[0]).Properties();
  if (args.size() == 1) {
    for (const auto& [property, text] : properties) {
      transcript_.Line(std::string(property) + " = " + Utf16ToUtf8(text));
    }
    return;
  }
  if (args[1] != "--notes") throw CommandError("expected --notes, got " + QuoteWord(args[1]));
  // The setup's own notes, then those of the library setups that govern its values.
  const std::u16string name = Wide(args[0]);
  ornhost::SetupStandards own;
  std::optional<ornhost::Governed> governed;
  try {
    if (MasterHolds(name)) {
      own = ornhost::StandardsOf(name);
      governed = ornhost::GovernedOf(name);
    }
  } catch (const ornhost::StandardsError& error) {
    throw CommandError(error.what());
  }
  if (!own.description.empty()) transcript_.Line("# " + own.description);
  if (governed) {
    for (const ornhost::Layer& layer : governed->layers) {
      if (!layer.standards.description.empty()) {
        transcript_.Line("# " + layer.Label() + ": " + layer.standards.description);
      }
    }
  }
  for (const auto& [property, text] : properties) {
    std::string line = std::string(property) + " = " + Utf16ToUtf8(text);
    const std::string key(property);
    if (const auto note = own.notes.find(key); note != own.notes.end()) {
      line += "  # " + note->second;
    }
    const ornhost::GovernedValue* value = governed ? governed->Find(key) : nullptr;
    if (value != nullptr && value->layer) {
      const ornhost::Layer& layer = governed->layers[*value->layer];
      if (const auto note = layer.standards.notes.find(key); note != layer.standards.notes.end()) {
        line += "  # " + layer.Label() + ": " + note->second;
      }
    }
    transcript_.Line(line);
  }
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
      // A library setup is the one listed under its file, whatever file a re-send named.
      if (group == Group::Library) line += " from " + AlwaysQuoted(Utf16ToUtf8(setup->ListedIn));
      if (setup.get() == current) line += " (current)";
      transcript_.Line(line);
    }
  }
}

}  // namespace ornr::workbench
