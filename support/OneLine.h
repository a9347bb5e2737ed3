// Text shown one event a line (the workbench's transcript, the audit's table): whatever a name
// holds, the line stays one line, leaves a terminal's state alone and says what the bytes were.
#pragma once

#include <string>
#include <string_view>

namespace ornr {

/// text with each control character (U+0000 to U+001F, U+007F to U+009F) written as an escape
/// ("\n", "\r", "\t", else "\u001b") and each byte that is no part of a UTF-8 character as
/// "\xff"; everything else as it is.
std::string OneLineText(std::string_view text);
/// OneLineText appended to out.
void AppendOneLineText(std::string& out, std::string_view text);

/// The same for text inside XML: control characters as character references ("&#10;").
std::string OneLineXml(std::string_view text);

/// text's bytes, where they are not all UTF-8, in UTF-8 that gives them back: each byte that is
/// no part of a UTF-8 character as "\xff" and each backslash as "\\"; empty when text is UTF-8.
std::string RecoverableBytes(std::string_view text);

}  // namespace ornr
