// The workbench's commands: each one plays the user, the host or the panel towards the module.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "host/provenance/Standards.h"
#include "workbench/Module.h"
#include "workbench/Transcript.h"
#include "workbench/commands/CommandTable.h"

namespace ornr::workbench {

/// A command that cannot run: unknown, wrong arguments, or refused by the host or the panel.
class CommandError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Commands {
 public:
  Commands(const ModuleApi& api, Transcript& transcript) : api_(api), transcript_(transcript) {}

  /// Runs one command given as its words (none is allowed and does nothing). A command that
  /// cannot run is reported as an error on the transcript; nothing escapes.
  void Run(const std::vector<std::string>& words);
  /// Set by "quit": the caller stops reading commands.
  bool QuitRequested() const noexcept { return quit_; }

  /// One line per form of every command, or of the one command named: its form and what it
  /// does. Throws CommandError for a command that does not exist.
  static std::vector<std::string> HelpLines(const std::string& command = "");

 private:
  /// Runs the command's function; the number of arguments is checked.
  void Dispatch(CommandId id, const std::vector<std::string>& args);
  void Open(const std::vector<std::string>& args);
  void Close(const std::vector<std::string>& args);
  void Library(const std::vector<std::string>& args);
  void Refresh(const std::vector<std::string>& args);
  void Reference(const std::vector<std::string>& args);
  void Answer(const std::vector<std::string>& args);
  void Init(const std::vector<std::string>& args);
  void Release(const std::vector<std::string>& args);
  void Load(const std::vector<std::string>& args);
  void New(const std::vector<std::string>& args);
  void Duplicate(const std::vector<std::string>& args);
  void Rename(const std::vector<std::string>& args);
  void Delete(const std::vector<std::string>& args);
  void Reset(const std::vector<std::string>& args);
  void Save(const std::vector<std::string>& args);
  void Modified(const std::vector<std::string>& args);
  void CopyFromLibrary(const std::vector<std::string>& args);
  void UpdateFromLibrary(const std::vector<std::string>& args);
  void Matches(const std::vector<std::string>& args);
  void Origin(const std::vector<std::string>& args);
  void Drift(const std::vector<std::string>& args);
  /// Drift of a setup with overlays: each layer's values in the order applied.
  void DriftOfLayers(const ornhost::Governed& governed);
  void MergeFromLibrary(const std::vector<std::string>& args);
  /// After a copy or update from library took: the host records where the setup came from.
  void RecordOrigin(const std::string& name);
  void Scope(const std::vector<std::string>& args);
  void Lock(const std::vector<std::string>& args);
  void Unlock(const std::vector<std::string>& args);
  void Locks(const std::vector<std::string>& args);
  void Note(const std::vector<std::string>& args);
  void Why(const std::vector<std::string>& args);
  void Apply(const std::vector<std::string>& args);
  void Edit(const std::vector<std::string>& args);
  void Show(const std::vector<std::string>& args);
  void Export(const std::vector<std::string>& args);
  void Import(const std::vector<std::string>& args);
  void Upgrade(const std::vector<std::string>& args);
  void History(const std::vector<std::string>& args);
  void Diff(const std::vector<std::string>& args);
  void Restore(const std::vector<std::string>& args);
  void Deleted(const std::vector<std::string>& args);
  void Undelete(const std::vector<std::string>& args);
  void HistoryLimit(const std::vector<std::string>& args);
  void Host(const std::vector<std::string>& args);
  void List(const std::vector<std::string>& args);
  void Help(const std::vector<std::string>& args);
  void Quit(const std::vector<std::string>& args);

  const ModuleApi& api_;
  Transcript& transcript_;
  bool quit_ = false;
};

}  // namespace ornr::workbench
