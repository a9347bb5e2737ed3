#include "panel/Panel.h"

#include <cstdio>

#include "support/Utf.h"

namespace Teskor::RenderSetup::View {

namespace {

struct Services {
  MainPanel::MessageBoxHandler messageBox;
  MainPanel::DocumentObserver document;
  MainPanel::TakenObserver taken;
  MainPanel::ClearObserver clear;
};

Services& TheServices() {
  static Services services;
  return services;
}

std::string Printable(const String& text) {
  return text ? ornr::Utf16ToUtf8(*text) : "(null)";
}

}  // namespace

MainPanel& MainPanel::Instance() {
  // Never destroyed: modules may still end their subscriptions while the process exits.
  static MainPanel* const panel = new MainPanel();
  return *panel;
}

void MainPanel::ChangeOrnModel(const String& xml) {
  // A copy, so that an observer may replace itself.
  if (const DocumentObserver observer = TheServices().document) observer(xml);
  if (!xml) return;
  if (const TakenObserver observer = TheServices().taken) {
    std::vector<ViewModel::TakenElement> elements;
    const bool taken = Instance().ViewModel().TakeDocument(*xml, &elements);
    observer(xml, taken, elements);
    return;
  }
  if (!Instance().ViewModel().TakeDocument(*xml)) {
    std::fprintf(stderr, "Render Setup Manager: ignored a text that is no view-model document\n");
  }
}

void MainPanel::ClearAllViewModel() {
  if (const ClearObserver observer = TheServices().clear) observer();
  Instance().ViewModel().Clear();
}

void MainPanel::SetCurrentSetup(const String& name) {
  viewModel_.SetCurrentSetup(name);
}

void MainPanel::ShowMessageBox(const String& text, const String& caption) {
  if (const MessageBoxHandler handler = TheServices().messageBox) {
    handler(text, caption);
    return;
  }
  std::fprintf(stderr, "[%s] %s\n", Printable(caption).c_str(), Printable(text).c_str());
}

void MainPanel::SetMessageBoxHandler(MessageBoxHandler handler) {
  TheServices().messageBox = std::move(handler);
}

void MainPanel::SetDocumentObserver(DocumentObserver observer) {
  TheServices().document = std::move(observer);
}

void MainPanel::SetTakenObserver(TakenObserver observer) {
  TheServices().taken = std::move(observer);
}

void MainPanel::SetClearObserver(ClearObserver observer) {
  TheServices().clear = std::move(observer);
}

void MainPanel::Reset() {
  Instance().viewModel_ = ViewModel::RenderSetupViewModel{};
  TheServices() = Services{};
}

}  // namespace Teskor::RenderSetup::View
