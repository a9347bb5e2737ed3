// The bridge object behind IPrismetWrapper: hands texts and values between the module and the
// panel.
#pragma once

#include "ornr/IPrismetWrapper.h"
#include "panel/Panel.h"

namespace ornr::bridge {

/// No operation lets an error out: a failure is reported once on standard error and leaves the
/// output at its start value (0, false, empty text).
class PrismetWrapper final : public IPrismetWrapper {
 public:
  /// The object of the process, made on first use.
  static IPrismetWrapper* GetInstance();
  /// Frees the object; the next GetInstance makes a new one. The change callback and the panel
  /// subscriptions stay. Does nothing when there is no object.
  static void Destory();

  /// The panel's master-file setup of that name, or with fromLib its library setup; null when
  /// the panel holds none or name is null.
  Teskor::RenderSetup::ViewModel::RenderSetup* GetRenderSetup(const ornR_wchar* ornSetupName,
                                                              bool fromLib);

  void ChangeRenderSetupViewModel(const ornR_wchar* xmlPara) override;
  ornR_wchar* GetResource(ornR_wchar* key, ornR_wchar* retBuffer, std::uint64_t maxLen) override;
  void RegisterEventsHandler(func_EventRenderSetupChanged callback) override;
  void GetRenderSetupPropertyValue(const ornR_wchar* ornSetupName, const char* propertyName,
                                   std::uint64_t& value, bool fromLib) override;
  void GetRenderSetupPropertyValue(const ornR_wchar* ornSetupName, const char* propertyName,
                                   ornR_wchar* value, std::uint64_t maxSize, bool fromLib) override;
  void GetRenderSetupPropertyValue(const ornR_wchar* ornSetupName, const char* propertyName,
                                   std::uint32_t& value, bool fromLib) override;
  /// A null value is not written.
  void GetRenderSetupPropertyValue(const ornR_wchar* ornSetupName, const char* propertyName,
                                   unsigned char* value, bool fromLib) override;
  void GetRenderSetupPropertyValue(const ornR_wchar* ornSetupName, const char* propertyName,
                                   bool& value, bool fromLib) override;
  void GetRenderSetupPropertyValue(const ornR_wchar* ornSetupName, const char* propertyName,
                                   double& value, bool fromLib) override;
  void GetRenderSetupPropertyValue(const ornR_wchar* ornSetupName, const char* propertyName,
                                   float& value, bool fromLib) override;
  /// A null path leaves the place of the path empty.
  void ShowMessageForMissingFile(const ornR_wchar* missingFile) override;
  /// An unknown or null key shows an empty message.
  void ShowMessage(const ornR_wchar* resString) override;
  /// An empty text when no setup is current.
  ornR_wchar* GetCurrentRenderSetupName(ornR_wchar* retBuffer, std::uint64_t maxLen) override;
  void SetCurrentRenderSetup(const ornR_wchar* setupName) override;
  void ClearAllViewModel() override;

 private:
  static IPrismetWrapper* s_instance;
};

}  // namespace ornr::bridge
