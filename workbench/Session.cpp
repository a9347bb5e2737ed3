#include "workbench/Session.h"

#include <unistd.h>

#include <fstream>
#include <iostream>
#include <sstream>

#include "host/SessionMgr.h"
#include "panel/Panel.h"
#include "platform/HostControls.h"
#include "workbench/CommandLexer.h"
#include "workbench/Prompt.h"

namespace ornr::workbench {

namespace {

std::string Trimmed(const std::string& line) {
  const std::size_t first = line.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const std::size_t last = line.find_last_not_of(" \t\r\n");
  return line.substr(first, last - first + 1);
}

}  // namespace

Session::Session(const Options& options, std::ostream& out)
    : options_(options), transcript_(out, options.xml) {}

Session::~Session() {
  // A session that did not reach End (an exception in main) still unloads in order.
  if (module_) End();
}

int Session::Run() {
  if (Start()) {
    if (!options_.sources.empty()) {
      for (const CommandSource& source : options_.sources) {
        if (commands_->QuitRequested()) break;
        RunSource(source);
      }
    } else if (isatty(STDIN_FILENO) != 0) {
      RunPrompt([this](const std::string& line) { return RunLine(line, false); });
    } else {
      RunLines(std::cin);
    }
  }
  End();
  return transcript_.ErrorCount() == 0 ? 0 : 1;
}

bool Session::Start() {
  transcript_.InstallObservers();
  try {
    if (options_.master) ornhost::OpenMaster(*options_.master);
  } catch (const std::exception& error) {
    transcript_.Error(error.what());
  }
  for (const auto& library : options_.libraries) {
    try {
      ornhost::AddLibrary(library);
    } catch (const std::exception& error) {
      transcript_.Error(error.what());
    }
  }
  monitorsBeforeLoad_ = ornhost::MonitorCount();
  try {
    module_ = LoadedModule::Load(options_.module ? *options_.module : DefaultModulePath());
  } catch (const std::exception& error) {
    transcript_.Error(error.what());
    return false;
  }
  commands_ = std::make_unique<Commands>(module_->Api(), transcript_);
  module_->Api().Init();
  module_->Api().LoadAllSetups(false);
  return true;
}

void Session::End() {
  // The module's session monitor offers to save while it is still loaded.
  if (Teskor::KreelPlatform::ISessionMgr::GetManager().GetMasterZelFile() != nullptr) {
    ornhost::CloseMaster();
  }
  if (module_) {
    module_->Api().Release();
    module_->DeleteBridge();
  }
  commands_.reset();
  const bool unloading = module_ != nullptr;
  module_.reset();
  // A monitor left behind would call into code that is gone.
  if (unloading && ornhost::MonitorCount() != monitorsBeforeLoad_) {
    transcript_.Error("the module left its session monitor registered when it was unloaded");
  }
  transcript_.RemoveObservers();
}

void Session::RunSource(const CommandSource& source) {
  if (source.kind == CommandSource::Kind::Command) {
    std::istringstream in(source.text);
    RunLines(in);
    return;
  }
  if (source.text == "-") {
    RunLines(std::cin);
    return;
  }
  std::ifstream in(source.text);
  if (!in) {
    transcript_.Error("cannot read the script " + source.text);
    return;
  }
  RunLines(in);
}

void Session::RunLines(std::istream& in) {
  std::string line;
  while (std::getline(in, line)) {
    if (!RunLine(line, true)) return;
  }
}

bool Session::RunLine(const std::string& line, bool echo) {
  std::vector<std::string> words;
  try {
    words = SplitCommand(line);
  } catch (const CommandSyntaxError& error) {
    if (echo) transcript_.Command(Trimmed(line));
    transcript_.Error(error.what());
    return true;
  }
  if (words.empty()) return true;
  if (echo) transcript_.Command(Trimmed(line));
  commands_->Run(words);
  return !commands_->QuitRequested();
}

}  // namespace ornr::workbench
