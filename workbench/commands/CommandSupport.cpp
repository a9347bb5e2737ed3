#include "workbench/commands/CommandSupport.h"

#include "host/OrnSetupManager.h"
#include "host/SessionMgr.h"
#include "support/Utf.h"
#include "workbench/commands/CommandLexer.h"
#include "workbench/commands/Commands.h"

namespace ornr::workbench {

using Teskor::RenderSetup::View::MainPanel;
using Teskor::RenderSetup::ViewModel::RenderSetup;

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

bool MasterHolds(const std::u16string& name) {
  return Teskor::ZelPlatform::OrnSetupManager::GetManagerR().FindOrnSetupByName(
             name.c_str(), MasterFile()) != nullptr;
}

std::string NoSetupNamed(const std::string& name) {
  return "no setup named " + AlwaysQuoted(name) + " in the master file";
}

bool OnOff(const std::string& word) {
  if (word == "on") return true;
  if (word == "off") return false;
  throw CommandError("expected on or off, got " + QuoteWord(word));
}

}  // namespace ornr::workbench
