#include "workbench/commands/PanelValues.h"

#include <cstdint>
#include <cstdio>

#include "host/provenance/Provenance.h"
#include "panel/Panel.h"
#include "panel/PropertyTexts.h"
#include "support/Utf.h"
#include "workbench/commands/CommandLexer.h"
#include "workbench/commands/Commands.h"

namespace ornr::workbench {

namespace {

using Teskor::RenderSetup::View::MainPanel;
using Teskor::RenderSetup::ViewModel::Group;
using Teskor::RenderSetup::ViewModel::KindOfProperty;
using Teskor::RenderSetup::ViewModel::PropertyKind;
using Teskor::RenderSetup::ViewModel::RefusalOfText;

// The panel shows colours as "r,g,b"; every other value it takes in the host's lossless text.
std::string PanelText(PropertyKind kind, const std::string& text) {
  if (kind != PropertyKind::Color) return text;
  const auto value = static_cast<std::uint32_t>(std::stoul(text));
  return std::to_string((value >> 16) & 0xFF) + "," + std::to_string((value >> 8) & 0xFF) + "," +
         std::to_string(value & 0xFF);
}

// What the module would show for a value the host set: Int32 as a decimal, numbers "%f".
std::u16string ShownText(PropertyKind kind, const std::string& text) {
  if (kind != PropertyKind::Double && kind != PropertyKind::Float) return Utf8ToUtf16(text);
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%f", std::stod(text));
  return Utf8ToUtf16(buffer);
}

}  // namespace

PanelValue PanelValueOf(const std::string& property, const std::string& hostText) {
  const auto kind = KindOfProperty(property);
  if (!kind) throw CommandError("the panel offers no property " + property);
  PanelValue value{property, PanelText(*kind, hostText), false};
  value.throughHost = RefusalOfText(property, Utf8ToUtf16(value.text)).has_value();
  if (value.throughHost) value.text = hostText;
  return value;
}

std::string EnterValue(const std::u16string& setup, const PanelValue& value) {
  auto& viewModel = MainPanel::Instance().ViewModel();
  auto* shown = viewModel.GetSetupFromCurrentZel(setup);
  if (shown == nullptr) {
    throw CommandError("the panel shows no master-file setup " + AlwaysQuoted(Utf16ToUtf8(setup)));
  }
  if (value.throughHost) {
    ornhost::SetWorkingSetting(setup, value.property, value.text);
    shown->SetPropertyText(value.property, ShownText(*KindOfProperty(value.property), value.text));
    return {};
  }
  const auto result =
      viewModel.EditProperty(Group::MasterFile, setup, value.property, Utf8ToUtf16(value.text));
  return result ? std::string() : result.message;
}

}  // namespace ornr::workbench
