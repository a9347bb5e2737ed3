#include "workbench/commands/Commands.h"

#include <algorithm>
#include <cstddef>

#include "host/xrt.h"
#include "workbench/commands/CommandLexer.h"
#include "workbench/commands/CommandSupport.h"

namespace ornr::workbench {

std::vector<std::string> Commands::HelpLines(const std::string& command) {
  std::vector<std::string> lines;
  for (const CommandEntry& entry : CommandTable()) {
    if (!command.empty() && command != entry.name) continue;
    for (const CommandForm& form : entry.forms) {
      std::string line = form.form;
      line.resize(std::max<std::size_t>(line.size() + 2, 36), ' ');
      lines.push_back(line + form.help);
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
    const CommandEntry* found = FindCommand(words[0]);
    if (found == nullptr) throw CommandError("unknown command " + QuoteWord(words[0]));
    const Args args(words.begin() + 1, words.end());
    if (args.size() < found->args.min || args.size() > found->args.max) {
      throw CommandError(Usage(*found));
    }
    // As the module refuses its own commands there, before anything changes.
    if (found->changesMaster == MasterChange::Guarded &&
        xrtModelRef_isReference(xrtModelRef_getActive())) {
      throw CommandError("the active model is a reference attachment, which cannot be changed; " +
                         words[0] + " changed nothing");
    }
    Dispatch(found->id, args);
  } catch (const std::exception& error) {
    transcript_.Error(error.what());
  } catch (...) {
    transcript_.Error("the command failed");
  }
}

void Commands::Dispatch(CommandId id, const Args& args) {
  // No default: a command of the table without its function does not build.
  // clang-format off
  switch (id) {
    case CommandId::Open: return Open(args);
    case CommandId::Close: return Close(args);
    case CommandId::Library: return Library(args);
    case CommandId::Refresh: return Refresh(args);
    case CommandId::Reference: return Reference(args);
    case CommandId::Answer: return Answer(args);
    case CommandId::Init: return Init(args);
    case CommandId::Release: return Release(args);
    case CommandId::Load: return Load(args);
    case CommandId::New: return New(args);
    case CommandId::Duplicate: return Duplicate(args);
    case CommandId::Rename: return Rename(args);
    case CommandId::Delete: return Delete(args);
    case CommandId::Reset: return Reset(args);
    case CommandId::Save: return Save(args);
    case CommandId::Modified: return Modified(args);
    case CommandId::CopyFromLibrary: return CopyFromLibrary(args);
    case CommandId::UpdateFromLibrary: return UpdateFromLibrary(args);
    case CommandId::Matches: return Matches(args);
    case CommandId::Origin: return Origin(args);
    case CommandId::Drift: return Drift(args);
    case CommandId::MergeFromLibrary: return MergeFromLibrary(args);
    case CommandId::Scope: return Scope(args);
    case CommandId::Lock: return Lock(args);
    case CommandId::Unlock: return Unlock(args);
    case CommandId::Locks: return Locks(args);
    case CommandId::Note: return Note(args);
    case CommandId::Why: return Why(args);
    case CommandId::Apply: return Apply(args);
    case CommandId::Edit: return Edit(args);
    case CommandId::Show: return Show(args);
    case CommandId::Export: return Export(args);
    case CommandId::Import: return Import(args);
    case CommandId::Upgrade: return Upgrade(args);
    case CommandId::History: return History(args);
    case CommandId::Diff: return Diff(args);
    case CommandId::Restore: return Restore(args);
    case CommandId::Deleted: return Deleted(args);
    case CommandId::Undelete: return Undelete(args);
    case CommandId::HistoryLimit: return HistoryLimit(args);
    case CommandId::Host: return Host(args);
    case CommandId::List: return List(args);
    case CommandId::Help: return Help(args);
    case CommandId::Quit: return Quit(args);
  }
  // clang-format on
  throw CommandError("the command has no function");
}

}  // namespace ornr::workbench
