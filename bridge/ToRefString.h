// Text going out of the bridge into a caller's buffer.
#pragma once

#include <cstdint>

#include "bridge/RuntimeString.h"

namespace ornr::bridge {

/// Copies value with its terminator into ref, of capacity maxLen characters. A null value
/// writes one terminator whatever maxLen is; a text that does not fit leaves ref holding an
/// empty string; maxLen 0 with a text writes nothing. Nothing is written through a null ref.
void ToRefString(const String& value, char16_t* ref, std::uint64_t maxLen) noexcept;
/// The same into a narrow buffer of maxLen bytes, the text converted to UTF-8. Throws
/// std::bad_alloc, with ref then holding an empty string.
void ToRefString(const String& value, char* ref, std::uint64_t maxLen);

}  // namespace ornr::bridge
