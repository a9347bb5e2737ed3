#include "bridge/ToRefString.h"

#include "support/Utf.h"

namespace ornr::bridge {

void ToRefString(const String& value, char16_t* ref, std::uint64_t maxLen) noexcept {
  if (ref == nullptr) return;
  if (!value) {
    ref[0] = 0;
    return;
  }
  ornr::BoundedCopy(ref, maxLen, *value);
}

void ToRefString(const String& value, char* ref, std::uint64_t maxLen) {
  if (ref == nullptr) return;
  if (!value || maxLen > 0) ref[0] = 0;  // empty also when the conversion below fails
  if (!value) return;
  ornr::BoundedCopy(ref, maxLen, ornr::Utf16ToUtf8(*value));
}

}  // namespace ornr::bridge
