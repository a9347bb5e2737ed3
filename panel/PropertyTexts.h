// Which texts the panel takes as values of its properties when the user types them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace Teskor::RenderSetup::ViewModel {

/// The value type the panel shows a property with (the same codes as the module's registry).
enum class PropertyKind { Float, Double, Bool, UInt32, String, Color, Int32, UInt64 };

/// The kind of a property the panel offers, or nullopt for a name it does not offer.
std::optional<PropertyKind> KindOfProperty(std::string_view property);

/// Why the user may not give property the text, or nullopt when the text is one of its values:
/// Bool is exactly "true" or "false"; UInt32 a decimal from -2147483648 to 4294967295 (negative
/// texts stand for their 32 bits); UInt64 from -9223372036854775808 to 18446744073709551615;
/// Double and Float finite decimals whose fixed text fits 29 characters (|x| < 1e21); Color
/// "r,g,b" with channels 0 to 255. No blanks, no sign "+", nothing after the value. Int32
/// properties cannot be written back to a setup, so every text is refused for them.
std::optional<std::string> RefusalOfText(std::string_view property, std::u16string_view text);

}  // namespace Teskor::RenderSetup::ViewModel
