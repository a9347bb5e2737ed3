// Turns the panel's change events into calls of the module's native change callback.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "ornr/IPrismetWrapper.h"
#include "panel/Panel.h"

namespace ornr::bridge {

class EventHelper {
 public:
  static constexpr std::size_t kNameBufferSize = 256;
  /// Names of up to 254 code units arrive whole; longer ones arrive empty.
  static constexpr std::uint64_t kNameCapacity = 255;
  static constexpr std::size_t kPropertyBufferSize = 100;
  /// Property names of up to 98 bytes arrive whole; longer ones arrive empty.
  static constexpr std::uint64_t kPropertyCapacity = 99;

  /// The helper of the process, made on first use; it lives until the module is unloaded.
  static EventHelper* GetInstance();

  /// Replaces the callback; null turns the events off.
  void RegisterEvents(func_EventRenderSetupChanged callback) noexcept;
  /// Calls the callback with the sender's name and the property's name, a null one as empty;
  /// both buffers are valid only during the call. Does nothing without a callback. Nothing
  /// thrown gets back into the panel's event.
  void OnRenderSetupChangedEventHandler(
      Teskor::RenderSetup::ViewModel::RenderSetup& sender,
      const Teskor::RenderSetup::PropertyChangedEventArgs& e) noexcept;

  /// Adds one more subscription of this helper to the view model's change event.
  void SubscribeTo(Teskor::RenderSetup::ViewModel::RenderSetupViewModel& viewModel);

  func_EventRenderSetupChanged func_RenderSetupChanged = nullptr;

 private:
  friend struct EventHelperOwner;
  /// Ends every subscription this helper made: the handlers' code leaves with the module.
  ~EventHelper();

  static EventHelper* s_eventHelper;
  std::vector<std::pair<Teskor::RenderSetup::ViewModel::RenderSetupViewModel*, std::size_t>>
      subscriptions_;
};

}  // namespace ornr::bridge
