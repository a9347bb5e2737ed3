// Values in the host's lossless text put into a master-file setup as a person's edits would:
// through the panel's edit path, or by the host for what the panel cannot write ("ShadowQuality").
#pragma once

#include <string>

namespace ornr::workbench {

struct PanelValue {
  std::string property;
  /// Through the panel in the panel's form, else the host's lossless text.
  std::string text;
  /// The panel cannot write the value, so the host sets it.
  bool throughHost = false;
};

/// How the host's text of property goes in. Throws CommandError when the panel offers no such
/// property.
PanelValue PanelValueOf(const std::string& property, const std::string& hostText);

/// Puts value into the master-file setup the panel shows under that name. Returns why the panel
/// refused it, or empty when it took it. Throws CommandError when the panel shows no such setup.
std::string EnterValue(const std::u16string& setup, const PanelValue& value);

}  // namespace ornr::workbench
