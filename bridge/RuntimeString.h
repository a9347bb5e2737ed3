// Text coming into the bridge, turned into the panel's nullable string.
#pragma once

#include "panel/Panel.h"

namespace ornr::bridge {

using Teskor::RenderSetup::String;

/// Null stays null; otherwise the UTF-16 code units up to the terminator, unchanged.
String FromWide(const char16_t* text);
/// Null stays null; otherwise the bytes up to the terminator read as UTF-8 (the code page of
/// narrow text here).
String FromNarrow(const char* text);

}  // namespace ornr::bridge
