// The user-interface culture of the process, as the environment gives it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ornr {

/// The cultures to try for a culture or locale name, most specific first: "de_DE.UTF-8" gives
/// "de-DE", "de", and so does "DE_de". Empty for "C", "POSIX", an empty name, or one with
/// characters other than letters, digits, '-' and '_'.
std::vector<std::string> CultureCandidates(std::string_view name);

/// CultureCandidates of the first non-empty of ORNR_UI_CULTURE, LC_ALL, LC_MESSAGES and LANG,
/// read at every call; empty when none is set.
std::vector<std::string> CurrentUiCultures();

}  // namespace ornr
