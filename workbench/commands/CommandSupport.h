// What the workbench's commands share: the master file, the panel's setups and words.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "host/ZelFile.h"
#include "panel/Panel.h"

namespace ornr::workbench {

using Args = std::vector<std::string>;

std::u16string Wide(const std::string& text);
/// The open master file. Throws CommandError when none is open.
Teskor::ZelPlatform::ZelFile& MasterFile();
std::filesystem::path MasterPath();
/// The panel's master-file setup of that name. Throws CommandError when the panel shows none.
Teskor::RenderSetup::ViewModel::RenderSetup& PanelMasterSetup(const std::string& name);
/// Whether the master file's store holds a setup of that name.
bool MasterHolds(const std::u16string& name);
/// The message for a name the master file's store does not hold.
std::string NoSetupNamed(const std::string& name);
/// "on" or "off"; throws CommandError for any other word.
bool OnOff(const std::string& word);

}  // namespace ornr::workbench
