// The session's commands: master file, libraries, the host's switches and the module's life.
#include "workbench/commands/Commands.h"

#include <filesystem>

#include "host/controls/HostControls.h"
#include "workbench/commands/CommandLexer.h"
#include "workbench/commands/CommandSupport.h"

namespace ornr::workbench {

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

void Commands::Help(const Args& args) {
  for (const std::string& line : HelpLines(args.empty() ? "" : args[0])) transcript_.Line(line);
}

void Commands::Quit(const Args&) {
  quit_ = true;
}

}  // namespace ornr::workbench
