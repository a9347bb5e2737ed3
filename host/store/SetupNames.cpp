#include "host/store/SetupNames.h"

#include <cstdio>

#include "support/Utf.h"

namespace ornhost {

namespace {

bool IsHigh(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLow(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

std::string CodePoint(char16_t c) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
  return text;
}

}  // namespace

std::string PrintableSetupName(std::u16string_view name) {
  std::u16string shown;
  for (std::size_t i = 0; i < name.size() && i < 40; ++i) {
    const char16_t c = name[i];
    const bool pair = IsHigh(c) && i + 1 < name.size() && IsLow(name[i + 1]);
    if (pair) {
      shown.append(name.substr(i, 2));
      ++i;
    } else {
      shown.push_back(c < 0x20 || (c >= 0x7F && c <= 0x9F) || IsHigh(c) || IsLow(c) ? u'\uFFFD'
                                                                                    : c);
    }
  }
  if (shown.size() < name.size()) shown += u"\u2026";
  return ornr::Utf16ToUtf8(shown);
}

namespace {

std::optional<std::string> Reason(std::u16string_view name) {
  if (name.empty()) return "a setup needs a name";
  if (name.size() > kMaxSetupNameUnits) {
    return "longer than " + std::to_string(kMaxSetupNameUnits) + " UTF-16 code units (" +
           std::to_string(name.size()) + ")";
  }
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char16_t c = name[i];
    if (IsHigh(c) && i + 1 < name.size() && IsLow(name[i + 1])) {
      ++i;
      continue;
    }
    if (c == 0) return "holds a NUL character";
    if ((c < 0x20 && c != u'\t') || (c >= 0x7F && c <= 0x9F))
      return "holds the control character " + CodePoint(c);
    if (c == 0xFFFE || c == 0xFFFF) return "holds the noncharacter " + CodePoint(c);
    if (IsHigh(c) || IsLow(c)) return "holds the unpaired surrogate " + CodePoint(c);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> RefusalOfSetupName(std::u16string_view name) {
  const std::optional<std::string> reason = Reason(name);
  if (!reason) return std::nullopt;
  if (name.empty()) return "refused the setup name \"\": " + *reason;
  return "refused the setup name \"" + PrintableSetupName(name) + "\": " + *reason;
}

}  // namespace ornhost
