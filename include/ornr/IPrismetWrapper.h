// The bridge between the module and the "Render Setup Manager" panel.
#pragma once

#include <cstdint>

#include "ornr/ornr_platform.h"

/// The native change callback: setup name (UTF-16) and property name (ASCII), both valid only
/// during the call.
using func_EventRenderSetupChanged = void (*)(const ornR_wchar* setupName,
                                              const char* propertyName);

/// Other modules call these by position: the order of the fifteen operations is fixed.
/// Text out goes into the caller's buffer; a text that does not fit with its terminator, or a
/// null text, leaves the buffer holding an empty string.
class IPrismetWrapper {
 public:
  virtual void ChangeRenderSetupViewModel(const ornR_wchar* xmlPara) = 0;
  /// Returns retBuffer, holding the localized text of key (empty when unknown).
  virtual ornR_wchar* GetResource(ornR_wchar* key, ornR_wchar* retBuffer, std::uint64_t maxLen) = 0;
  /// Each call also adds one more subscription to the panel's change event.
  virtual void RegisterEventsHandler(func_EventRenderSetupChanged func_EventRenderSetupChanged) = 0;
  // The value reads always write their output: the start value (0, empty, false) when the panel
  // does not hold the setup.
  virtual void GetRenderSetupPropertyValue(const ornR_wchar* ornSetupName, const char* propertyName,
                                           std::uint64_t& value, bool fromLib) = 0;
  virtual void GetRenderSetupPropertyValue(const ornR_wchar* ornSetupName, const char* propertyName,
                                           ornR_wchar* value, std::uint64_t maxSize,
                                           bool fromLib) = 0;
  /// The panel's signed 32-bit value with its bits unchanged.
  virtual void GetRenderSetupPropertyValue(const ornR_wchar* ornSetupName, const char* propertyName,
                                           std::uint32_t& value, bool fromLib) = 0;
  /// Writes exactly three bytes: red, green, blue.
  virtual void GetRenderSetupPropertyValue(const ornR_wchar* ornSetupName, const char* propertyName,
                                           unsigned char* value, bool fromLib) = 0;
  virtual void GetRenderSetupPropertyValue(const ornR_wchar* ornSetupName, const char* propertyName,
                                           bool& value, bool fromLib) = 0;
  virtual void GetRenderSetupPropertyValue(const ornR_wchar* ornSetupName, const char* propertyName,
                                           double& value, bool fromLib) = 0;
  virtual void GetRenderSetupPropertyValue(const ornR_wchar* ornSetupName, const char* propertyName,
                                           float& value, bool fromLib) = 0;
  virtual void ShowMessageForMissingFile(const ornR_wchar* missingFile) = 0;
  /// Shows the localized text of the resource key resString under the panel's title.
  virtual void ShowMessage(const ornR_wchar* resString) = 0;
  /// Returns retBuffer, holding the name of the panel's current setup.
  virtual ornR_wchar* GetCurrentRenderSetupName(ornR_wchar* retBuffer, std::uint64_t maxLen) = 0;
  virtual void SetCurrentRenderSetup(const ornR_wchar* setupName) = 0;
  virtual void ClearAllViewModel() = 0;

 protected:
  // Never deleted through this interface: DeleteIPrismetWrapperInstance frees the object.
  ~IPrismetWrapper() = default;
};

/// The one bridge object of the process, created on first use.
ORNR_API IPrismetWrapper* GetIPrismetWrapper();
/// Frees the bridge object; the next GetIPrismetWrapper makes a new one. Pointers obtained
/// before must not be used afterwards.
ORNR_API void DeleteIPrismetWrapperInstance();
