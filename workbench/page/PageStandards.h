// What the page shows of the office standards: for each value of a setup, the library setup that
// governs it, its lock and reason, the drawing's override and the notes; and the one answer to
// "why is this value what it is?". Asks the host: the user-interface thread's alone.
#pragma once

#include <string>

#include "panel/Panel.h"
#include "workbench/page/Json.h"

namespace ornr::workbench {

/// The setup's standards as the value "standards": for a master-file setup {layers: [{label,
/// overlay, gone, scoped, governs, description}], governed: {property: {layer, library, lock?,
/// override?: {reason, by, at}, note?}}, description?, notes?}, for a library setup {description?,
/// notes?, locks?, scoped, governs}; null when there is nothing to show, so that a setup without
/// standards looks as it always did.
void WriteStandards(JsonWriter& json, const Teskor::RenderSetup::ViewModel::RenderSetup& setup);

/// Why the value of property of the master-file setup name is what it is: {property, now, saved?,
/// default, layer?: {label, overlay, gone}, state, base?, library?, libraryChanged, shadowed?,
/// lock?, override?: {reason, by, at}, lastChange?: {number, madeAt, madeBy, action, before, after,
/// override?}, libraryDescription?, libraryNote?, description?, note?}, or {error}.
std::string WhyJson(const std::string& name, const std::string& property);

}  // namespace ornr::workbench
