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

namespace {

// owned: the same text when it was handed over, for the panel to release as it reads it.
void Deliver(const TextView& xml, std::u16string* owned) {
  // A copy, so that an observer may replace itself.
  if (const auto observer = TheServices().document) observer(xml);
  if (!xml) return;
  auto& viewModel = MainPanel::Instance().ViewModel();
  const auto take = [&](std::vector<ViewModel::TakenElement>* elements) {
    return owned != nullptr ? viewModel.TakeOwnedDocument(std::move(*owned), elements)
                            : viewModel.TakeDocument(*xml, elements);
  };
  if (const auto observer = TheServices().taken) {
    std::vector<ViewModel::TakenElement> elements;
    const bool taken = take(&elements);
    // A text handed over and taken is empty by now.
    observer(owned != nullptr ? TextView(*owned) : xml, taken, elements);
    return;
  }
  if (!take(nullptr)) {
    std::fprintf(stderr, "Render Setup Manager: ignored a text that is no view-model document\n");
  }
}

TextView ViewOf(const String& xml) {
  return xml ? TextView(*xml) : std::nullopt;
}

}  // namespace

void MainPanel::ChangeOrnModel(const String& xml) {
  Deliver(ViewOf(xml), nullptr);
}

void MainPanel::ChangeOrnModel(String&& xml) {
  Deliver(ViewOf(xml), xml ? &*xml : nullptr);
}

void MainPanel::ChangeOrnModel(const char16_t* xml) {
  Deliver(xml != nullptr ? TextView(std::u16string_view(xml, ornr::Length(xml))) : std::nullopt,
          nullptr);
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
