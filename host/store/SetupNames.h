// The names the host gives setups: what it takes, and what it refuses with a reason.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ornhost {

/// The panel's name buffers hold 254 UTF-16 code units and a terminator.
inline constexpr std::size_t kMaxSetupNameUnits = 254;

/// A setup name the host refuses; the message names it and says why.
class SetupNameError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

/// Why the host refuses name, or nullopt when it takes it. Refused: the empty name, one longer
/// than kMaxSetupNameUnits code units, and one holding NUL, a control character other than tab
/// (U+0001 to U+001F, U+007F to U+009F), U+FFFE, U+FFFF or a surrogate that is not half of a pair:
/// XML 1.0 cannot carry them, so no panel could show the setup. The message is one line.
std::optional<std::string> RefusalOfSetupName(std::u16string_view name);

/// The rule name breaks, as a sentence ("a setup name cannot hold the control character U+0001",
/// "a setup needs a name"), or nullopt when the host takes it: the same names as
/// RefusalOfSetupName.
std::optional<std::string> BrokenSetupNameRule(std::u16string_view name);

/// The name in UTF-8 as a one-line message can show it: characters that cannot be shown become
/// U+FFFD, and a name of more than 40 code units is cut with an ellipsis.
std::string PrintableSetupName(std::u16string_view name);

}  // namespace ornhost
