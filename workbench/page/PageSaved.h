// Where a master-file setup's values stand against what the file holds and against the
// renderer's defaults, for the marks beside each value. Asks the host: the user-interface
// thread's alone.
#pragma once

#include "panel/Panel.h"
#include "workbench/page/Json.h"

namespace ornr::workbench {

/// Members of the values object of the master-file setup as the panel shows it:
/// "saved", [[property, text]] for each value the file holds that differs from the one Save
/// would store (null when the setup was never saved), and "exact", [[property, text]] for each
/// value whose shown text does not read back as the value itself. Texts are lossless.
void WriteSavedMembers(JsonWriter& json, const Teskor::RenderSetup::ViewModel::RenderSetup& setup);

/// The member "defaults": {property: text} of the renderer's default settings.
void WriteDefaults(JsonWriter& json);

}  // namespace ornr::workbench
