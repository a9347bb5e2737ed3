#include "workbench/Session.h"

#include <unistd.h>

#include <fstream>
#include <iostream>
#include <sstream>

#include "host/SessionMgr.h"
#include "host/controls/HostControls.h"
#include "panel/Panel.h"
#include "support/TextTable.h"
#include "support/UiCulture.h"
#include "workbench/InputLoop.h"
#include "workbench/PageLibrary.h"
#include "workbench/StopSignals.h"
#include "workbench/TerminalQuestion.h"
#include "workbench/commands/CommandLexer.h"

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
  // SIGINT and SIGTERM end the input; the master file then closes in order below.
  StopSignals::Install();
  if (Start()) {
    if (options_.panel) {
      RunWithPanel();
    } else if (!options_.sources.empty()) {
      for (const CommandSource& source : options_.sources) {
        if (commands_->QuitRequested()) break;
        RunSource(source);
      }
    } else {
      RunInput(true);
    }
  }
  End();
  terminal_.reset();
  return transcript_.ErrorCount() == 0 ? 0 : 1;
}

void Session::RunWithPanel() {
  std::string tablesWarning;
  try {
    PagePanelStart start;
    start.address = *options_.panel;
    start.allowNetwork = options_.panelAllowNetwork;
    start.api = &module_->Api();
    start.runWords = [this](const std::vector<std::string>& words) { RunWords(words); };
    // The page speaks the module's language: the same culture, the tables beside the module.
    start.textTables = module_->Directory() / kTextTableFolder;
    start.cultures = CurrentUiCultures();
    panel_ = StartPagePanel(start, module_->Directory(), tablesWarning);
  } catch (const std::exception& error) {
    if (!tablesWarning.empty()) transcript_.Line("warning: " + tablesWarning);
    transcript_.Error(error.what());
    return;
  }
  if (!tablesWarning.empty()) transcript_.Line("warning: " + tablesWarning);
  transcript_.SetListener([this](std::string_view prefix, std::string_view text) {
    if (panel_) panel_->Note(prefix, text);
  });
  StopSignals::Install();
  panel_->SetStopFd(StopSignals::Fd());
  if (const std::string warning = panel_->NetworkWarning(); !warning.empty()) {
    transcript_.Line("warning: " + warning);
  }
  for (const std::string& url : panel_->Urls()) transcript_.Line("url: " + url);
  panel_->Publish({});
  for (const CommandSource& source : options_.sources) {
    if (commands_->QuitRequested()) return;
    RunSource(source);
  }
  // The page and the prompt go on until quit: the end of piped input does not end the session.
  if (!commands_->QuitRequested()) RunInput(false);
}

void Session::RunInput(bool endAtEof) {
  if (isatty(STDIN_FILENO) != 0) terminal_ = std::make_unique<Terminal>("rsm> ");
  if (panel_) panel_->SetTerminal(terminal_.get());
  InputSources sources;
  sources.terminal = terminal_.get();
  sources.endAtEof = endAtEof || terminal_ != nullptr;
  sources.stopFd = StopSignals::Fd();
  if (panel_) sources.pageFd = panel_->PageFd();
  RunInputLoop(
      sources, [this](const std::string& line) { return RunLine(line, terminal_ == nullptr); },
      [this] {
        panel_->RunPageActions();
        return !commands_->QuitRequested();
      });
}

void Session::RunWords(const std::vector<std::string>& words) {
  std::string line;
  for (const std::string& word : words) {
    if (!line.empty()) line += ' ';
    line += QuoteWord(word);
  }
  transcript_.Command(line);
  // The page's words pass the checks a typed line passes.
  try {
    for (const std::string& word : words) CheckWord(word);
  } catch (const CommandSyntaxError& error) {
    transcript_.Error(error.what());
    return;
  }
  commands_->Run(words);
}

bool Session::Start() {
  transcript_.InstallObservers();
  // At a terminal the person answers (when they can see the question); the browser panel asks in
  // its page instead.
  if (!options_.panel && isatty(STDIN_FILENO) != 0 && isatty(STDOUT_FILENO) != 0) {
    ornhost::SetQuestionAsker([this](const ornhost::Question& question) {
      return AskAtTerminal(question, terminal_.get(), StopSignals::Fd());
    });
  }
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
  // The module's session monitor offers to save while it is still loaded; the page may answer.
  if (Teskor::KreelPlatform::ISessionMgr::GetManager().GetMasterZelFile() != nullptr) {
    ornhost::CloseMaster();
  }
  if (!options_.panel) ornhost::SetQuestionAsker(nullptr);
  // The page's picture asks the module, so the server stops before the module goes.
  transcript_.SetListener(nullptr);
  panel_.reset();
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
  while (StopSignals::Caught() == 0 && std::getline(in, line)) {
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
  if (panel_) panel_->Publish(words);
  return !commands_->QuitRequested();
}

}  // namespace ornr::workbench
