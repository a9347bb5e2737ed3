#include "host/store/SetupNames.h"

#include <cstdio>

#include "support/Utf.h"

namespace ornhost {

namespace {

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
    if (ornr::IsSurrogatePairAt(name, i)) {
      shown.append(name.substr(i, 2));
      ++i;
    } else {
      shown.push_back(c < 0x20 || (c >= 0x7F && c <= 0x9F) || ornr::IsSurrogate(c) ? u'\uFFFD' : c);
    }
  }
  if (shown.size() < name.size()) shown += u"\u2026";
  return ornr::Utf16ToUtf8(shown);
}

namespace {

struct Breach {
  enum class Kind { Empty, TooLong, Nul, Control, Noncharacter, Surrogate };
  Kind kind = Kind::Empty;
  char16_t unit = 0;
};

std::optional<Breach> FindBreach(std::u16string_view name) {
  if (name.empty()) return Breach{Breach::Kind::Empty};
  if (name.size() > kMaxSetupNameUnits) return Breach{Breach::Kind::TooLong};
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char16_t c = name[i];
    if (ornr::IsSurrogatePairAt(name, i)) {
      ++i;
      continue;
    }
    if (c == 0) return Breach{Breach::Kind::Nul};
    if ((c < 0x20 && c != u'\t') || (c >= 0x7F && c <= 0x9F))
      return Breach{Breach::Kind::Control, c};
    if (c == 0xFFFE || c == 0xFFFF) return Breach{Breach::Kind::Noncharacter, c};
    if (ornr::IsSurrogate(c)) return Breach{Breach::Kind::Surrogate, c};
  }
  return std::nullopt;
}

std::optional<std::string> Reason(std::u16string_view name) {
  const auto breach = FindBreach(name);
  if (!breach) return std::nullopt;
  switch (breach->kind) {
    case Breach::Kind::Empty:
      return "a setup needs a name";
    case Breach::Kind::TooLong:
      return "longer than " + std::to_string(kMaxSetupNameUnits) + " UTF-16 code units (" +
             std::to_string(name.size()) + ")";
    case Breach::Kind::Nul:
      return "holds a NUL character";
    case Breach::Kind::Control:
      return "holds the control character " + CodePoint(breach->unit);
    case Breach::Kind::Noncharacter:
      return "holds the noncharacter " + CodePoint(breach->unit);
    case Breach::Kind::Surrogate:
      return "holds the unpaired surrogate " + CodePoint(breach->unit);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> BrokenSetupNameRule(std::u16string_view name) {
  const auto breach = FindBreach(name);
  if (!breach) return std::nullopt;
  switch (breach->kind) {
    case Breach::Kind::Empty:
      return "a setup needs a name";
    case Breach::Kind::TooLong:
      return "a setup name holds at most " + std::to_string(kMaxSetupNameUnits) +
             " UTF-16 code units, and this one has " + std::to_string(name.size());
    case Breach::Kind::Nul:
      return "a setup name cannot hold a NUL character";
    case Breach::Kind::Control:
      return "a setup name cannot hold the control character " + CodePoint(breach->unit);
    case Breach::Kind::Noncharacter:
      return "a setup name cannot hold the noncharacter " + CodePoint(breach->unit);
    case Breach::Kind::Surrogate:
      return "a setup name cannot hold the unpaired surrogate " + CodePoint(breach->unit);
  }
  return std::nullopt;
}

std::optional<std::string> RefusalOfSetupName(std::u16string_view name) {
  const std::optional<std::string> reason = Reason(name);
  if (!reason) return std::nullopt;
  if (name.empty()) return "refused the setup name \"\": " + *reason;
  return "refused the setup name \"" + PrintableSetupName(name) + "\": " + *reason;
}

}  // namespace ornhost
