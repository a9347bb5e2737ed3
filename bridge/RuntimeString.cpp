#include "bridge/RuntimeString.h"

#include "support/Utf.h"

namespace ornr::bridge {

String FromWide(const char16_t* text) {
  if (text == nullptr) return std::nullopt;
  return std::u16string(text, ornr::Length(text));
}

String FromNarrow(const char* text) {
  if (text == nullptr) return std::nullopt;
  return ornr::Utf8ToUtf16(text);
}

}  // namespace ornr::bridge
