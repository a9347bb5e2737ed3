#include "support/UiCulture.h"

#include <cstdlib>

namespace ornr {

namespace {

bool Allowed(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_';
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Culture names are the same in any case, and the tables are named in one: the language in
// lower case, a script in title case, a region of two letters in upper case ("zh-Hant-TW").
void CanonicalCase(std::string& culture) {
  std::size_t start = 0;
  for (std::size_t part = 0; start <= culture.size(); ++part) {
    std::size_t end = culture.find('-', start);
    if (end == std::string::npos) end = culture.size();
    const std::size_t length = end - start;
    for (std::size_t i = start; i < end; ++i) {
      const bool upper = part > 0 && (length == 2 || (length == 4 && i == start));
      culture[i] = upper ? Upper(culture[i]) : Lower(culture[i]);
    }
    start = end + 1;
  }
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
  CanonicalCase(culture);
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
