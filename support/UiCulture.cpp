#include "support/UiCulture.h"

#include <cstdlib>

namespace ornr {

namespace {

bool Allowed(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_';
}

}  // namespace

std::vector<std::string> CultureCandidates(std::string_view name) {
  // A POSIX locale carries its code set and modifier after the culture: "sr_RS.UTF-8@latin".
  name = name.substr(0, name.find_first_of(".@"));
  if (name.empty() || name == "C" || name == "POSIX") return {};
  std::string culture;
  for (const char c : name) {
    // The name becomes part of a file name: nothing that could lead out of the folder.
    if (!Allowed(c)) return {};
    culture.push_back(c == '_' ? '-' : c);
  }
  std::vector<std::string> candidates;
  while (!culture.empty()) {
    candidates.push_back(culture);
    const std::size_t dash = culture.rfind('-');
    culture.resize(dash == std::string::npos ? 0 : dash);
  }
  return candidates;
}

std::vector<std::string> CurrentUiCultures() {
  for (const char* variable : {"ORNR_UI_CULTURE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != 0) return CultureCandidates(value);
  }
  return {};
}

}  // namespace ornr
