#include "bridge/PrismetWrapper.h"

#include "bridge/EventHelper.h"
#include "bridge/ResourceMgr.h"
#include "bridge/RuntimeString.h"
#include "bridge/ToRefString.h"
#include "support/Boundary.h"

namespace ornr::bridge {

namespace {

using Teskor::RenderSetup::Color;
using Teskor::RenderSetup::PropertyChangedEventArgs;
using Teskor::RenderSetup::View::MainPanel;
using Teskor::RenderSetup::ViewModel::RenderSetup;

// Other modules hold the object by its table pointer alone.
static_assert(sizeof(PrismetWrapper) == sizeof(void*));

// The panel's value of the property, or local as given when the panel holds no such setup or
// property.
template <typename PanelValue>
PanelValue ReadValue(PrismetWrapper& wrapper, const ornR_wchar* setupName, const char* propertyName,
                     bool fromLib, PanelValue local) noexcept {
  // Each start value is the value-initialised one; for text that is null, which arrives empty.
  return Guarded("GetRenderSetupPropertyValue", PanelValue{}, [&] {
    if (RenderSetup* setup = wrapper.GetRenderSetup(setupName, fromLib)) {
      setup->GetPropertyValue(FromNarrow(propertyName), local);
    }
    return local;
  });
}

std::u16string ReplacePlaceholder(std::u16string format, std::u16string_view argument) {
  constexpr std::u16string_view kPlaceholder = u"{0}";
  for (std::size_t at = format.find(kPlaceholder); at != std::u16string::npos;
       at = format.find(kPlaceholder, at + argument.size())) {
    format.replace(at, kPlaceholder.size(), argument);
  }
  return format;
}

}  // namespace

IPrismetWrapper* PrismetWrapper::s_instance = nullptr;

namespace {
// A module unloaded without DeleteIPrismetWrapperInstance still frees its bridge object.
struct InstanceOwner {
  ~InstanceOwner() { PrismetWrapper::Destory(); }
} s_instanceOwner;
}  // namespace

IPrismetWrapper* PrismetWrapper::GetInstance() {
  if (s_instance == nullptr) s_instance = new PrismetWrapper();
  return s_instance;
}

void PrismetWrapper::Destory() {
  delete static_cast<PrismetWrapper*>(s_instance);
  s_instance = nullptr;
}

RenderSetup* PrismetWrapper::GetRenderSetup(const ornR_wchar* ornSetupName, bool fromLib) {
  const String name = FromWide(ornSetupName);
  auto& viewModel = MainPanel::Instance().ViewModel();
  return fromLib ? viewModel.GetSetupFromZelLib(name) : viewModel.GetSetupFromCurrentZel(name);
}

void PrismetWrapper::ChangeRenderSetupViewModel(const ornR_wchar* xmlPara) {
  // The panel reads the caller's text where it is: a load's document is tens of megabytes.
  Guarded("ChangeRenderSetupViewModel", [&] { MainPanel::ChangeOrnModel(xmlPara); });
}

ornR_wchar* PrismetWrapper::GetResource(ornR_wchar* key, ornR_wchar* retBuffer,
                                        std::uint64_t maxLen) {
  const String text = Guarded("GetResource", String(),
                              [&] { return ResourceMgr::GetLocalizedString(FromWide(key)); });
  ToRefString(text, retBuffer, maxLen);
  return retBuffer;
}

void PrismetWrapper::RegisterEventsHandler(func_EventRenderSetupChanged callback) {
  Guarded("RegisterEventsHandler", [&] {
    EventHelper* helper = EventHelper::GetInstance();
    helper->RegisterEvents(callback);
    helper->SubscribeTo(MainPanel::Instance().ViewModel());
  });
}

void PrismetWrapper::GetRenderSetupPropertyValue(const ornR_wchar* ornSetupName,
                                                 const char* propertyName, std::uint64_t& value,
                                                 bool fromLib) {
  value = ReadValue<std::uint64_t>(*this, ornSetupName, propertyName, fromLib, 0);
}

void PrismetWrapper::GetRenderSetupPropertyValue(const ornR_wchar* ornSetupName,
                                                 const char* propertyName, ornR_wchar* value,
                                                 std::uint64_t maxSize, bool fromLib) {
  const String text =
      ReadValue<String>(*this, ornSetupName, propertyName, fromLib, std::u16string());
  ToRefString(text, value, maxSize);
}

void PrismetWrapper::GetRenderSetupPropertyValue(const ornR_wchar* ornSetupName,
                                                 const char* propertyName, std::uint32_t& value,
                                                 bool fromLib) {
  value = static_cast<std::uint32_t>(
      ReadValue<std::int32_t>(*this, ornSetupName, propertyName, fromLib, 0));
}

void PrismetWrapper::GetRenderSetupPropertyValue(const ornR_wchar* ornSetupName,
                                                 const char* propertyName, unsigned char* value,
                                                 bool fromLib) {
  const Color color = ReadValue<Color>(*this, ornSetupName, propertyName, fromLib, Color{});
  if (value == nullptr) return;
  value[0] = color.R;
  value[1] = color.G;
  value[2] = color.B;
}

void PrismetWrapper::GetRenderSetupPropertyValue(const ornR_wchar* ornSetupName,
                                                 const char* propertyName, bool& value,
                                                 bool fromLib) {
  value = ReadValue<bool>(*this, ornSetupName, propertyName, fromLib, false);
}

void PrismetWrapper::GetRenderSetupPropertyValue(const ornR_wchar* ornSetupName,
                                                 const char* propertyName, double& value,
                                                 bool fromLib) {
  value = ReadValue<double>(*this, ornSetupName, propertyName, fromLib, 0.0);
}

void PrismetWrapper::GetRenderSetupPropertyValue(const ornR_wchar* ornSetupName,
                                                 const char* propertyName, float& value,
                                                 bool fromLib) {
  value = ReadValue<float>(*this, ornSetupName, propertyName, fromLib, 0.0F);
}

void PrismetWrapper::ShowMessageForMissingFile(const ornR_wchar* missingFile) {
  Guarded("ShowMessageForMissingFile", [&] {
    const String title = ResourceMgr::GetLocalizedString(u"Title_RenderSetup");
    const String format = ResourceMgr::GetLocalizedString(u"MSGSTR_CanNotLocateFile");
    const String path = FromWide(missingFile);
    MainPanel::ShowMessageBox(ReplacePlaceholder(format.value_or(u""), path.value_or(u"")), title);
  });
}

void PrismetWrapper::ShowMessage(const ornR_wchar* resString) {
  Guarded("ShowMessage", [&] {
    const String title = ResourceMgr::GetLocalizedString(u"Title_RenderSetup");
    const String text = ResourceMgr::GetLocalizedString(FromWide(resString));
    MainPanel::ShowMessageBox(text.value_or(u""), title);
  });
}

ornR_wchar* PrismetWrapper::GetCurrentRenderSetupName(ornR_wchar* retBuffer, std::uint64_t maxLen) {
  const String name = Guarded("GetCurrentRenderSetupName", String(), [] {
    const RenderSetup* current = MainPanel::Instance().ViewModel().CurrentRenderSetup();
    return current != nullptr ? current->Name() : String(u"");
  });
  ToRefString(name, retBuffer, maxLen);
  return retBuffer;
}

void PrismetWrapper::SetCurrentRenderSetup(const ornR_wchar* setupName) {
  Guarded("SetCurrentRenderSetup",
          [&] { MainPanel::Instance().SetCurrentSetup(FromWide(setupName)); });
}

void PrismetWrapper::ClearAllViewModel() {
  Guarded("ClearAllViewModel", [] { MainPanel::ClearAllViewModel(); });
}

}  // namespace ornr::bridge

IPrismetWrapper* GetIPrismetWrapper() {
  return ornr::Guarded("GetIPrismetWrapper", static_cast<IPrismetWrapper*>(nullptr),
                       [] { return ornr::bridge::PrismetWrapper::GetInstance(); });
}

void DeleteIPrismetWrapperInstance() {
  ornr::bridge::PrismetWrapper::Destory();
}
