// Finds and loads the browser panel's library when a session asks for the panel.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "workbench/page/PagePanel.h"

namespace ornr::workbench {

/// Where the library is looked for, in order: beside the module, beside the workbench, then in
/// the library folder of the prefix the workbench is installed in (or the package's own).
std::vector<std::filesystem::path> PageLibraryCandidates(
    const std::filesystem::path& moduleDirectory, const std::filesystem::path& executable);

/// Loads the library (once per process; it stays loaded) and starts the panel. Throws
/// std::runtime_error saying why there is none; tablesWarning receives the library's warning
/// about the tables of texts either way.
std::unique_ptr<PagePanel> StartPagePanel(const PagePanelStart& start,
                                          const std::filesystem::path& moduleDirectory,
                                          std::string& tablesWarning);

}  // namespace ornr::workbench
