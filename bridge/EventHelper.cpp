#include "bridge/EventHelper.h"

#include "bridge/ToRefString.h"
#include "support/Boundary.h"

namespace ornr::bridge {

EventHelper* EventHelper::s_eventHelper = nullptr;

// Frees the helper when the module is unloaded.
struct EventHelperOwner {
  ~EventHelperOwner() {
    delete EventHelper::s_eventHelper;
    EventHelper::s_eventHelper = nullptr;
  }
};
static EventHelperOwner s_eventHelperOwner;

EventHelper* EventHelper::GetInstance() {
  if (s_eventHelper == nullptr) s_eventHelper = new EventHelper();
  return s_eventHelper;
}

EventHelper::~EventHelper() {
  for (const auto& [viewModel, id] : subscriptions_) viewModel->RemoveOnRenderSetupChanged(id);
}

void EventHelper::SubscribeTo(Teskor::RenderSetup::ViewModel::RenderSetupViewModel& viewModel) {
  const std::size_t id = viewModel.AddOnRenderSetupChanged(
      [this](Teskor::RenderSetup::ViewModel::RenderSetup& sender,
             const Teskor::RenderSetup::PropertyChangedEventArgs& e) {
        OnRenderSetupChangedEventHandler(sender, e);
      });
  subscriptions_.emplace_back(&viewModel, id);
}

void EventHelper::RegisterEvents(func_EventRenderSetupChanged callback) noexcept {
  func_RenderSetupChanged = callback;
}

void EventHelper::OnRenderSetupChangedEventHandler(
    Teskor::RenderSetup::ViewModel::RenderSetup& sender,
    const Teskor::RenderSetup::PropertyChangedEventArgs& e) noexcept {
  if (func_RenderSetupChanged == nullptr) return;
  Guarded("OnRenderSetupChanged", [&] {
    char16_t name[kNameBufferSize] = {};
    char property[kPropertyBufferSize] = {};
    ToRefString(sender.Name(), name, kNameCapacity);
    ToRefString(e.PropertyName, property, kPropertyCapacity);
    func_RenderSetupChanged(name, property);
  });
}

}  // namespace ornr::bridge
