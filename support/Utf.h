// Text conversions between UTF-16 and 8-bit text, and the bounded copies of the C interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ornr {

/// The first half of a surrogate pair, U+D800 to U+DBFF.
constexpr bool IsHighSurrogate(char32_t unit) noexcept {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
/// The second half of a surrogate pair, U+DC00 to U+DFFF.
constexpr bool IsLowSurrogate(char32_t unit) noexcept {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}
/// Either half: never a character of its own.
constexpr bool IsSurrogate(char32_t unit) noexcept {
  return unit >= 0xD800 && unit <= 0xDFFF;
}
/// Whether text[at] and text[at + 1] are a high and a low surrogate, one code point together.
constexpr bool IsSurrogatePairAt(std::u16string_view text, std::size_t at) noexcept {
  return at + 1 < text.size() && IsHighSurrogate(text[at]) && IsLowSurrogate(text[at + 1]);
}
/// The code point of the surrogate pair high, low.
constexpr char32_t CodePointOfPair(char16_t high, char16_t low) noexcept {
  return 0x10000 + ((char32_t(high) - 0xD800) << 10) + (char32_t(low) - 0xDC00);
}

/// Appends cp (at most U+10FFFF) as UTF-8, one to four bytes; a lone surrogate gets its own
/// three bytes.
void AppendCodePointAsUtf8(std::string& out, char32_t cp);
/// Writes cp (at most U+10FFFF) to out as UTF-16, a surrogate pair beyond U+FFFF; returns the
/// number of code units written, 1 or 2.
std::size_t WriteCodePointAsUtf16(char32_t cp, char16_t* out) noexcept;

/// UTF-16 to UTF-8. An unpaired surrogate is kept as its own three-byte sequence, so that
/// Utf8ToUtf16 gives back the very same code units.
std::string Utf16ToUtf8(std::u16string_view text);
/// Utf16ToUtf8 appended to out.
void AppendUtf16AsUtf8(std::string& out, std::u16string_view text);
/// Utf16ToUtf8 in double quotes, as messages name a setup or a file: "Lobby".
std::string Quoted(std::u16string_view text);
/// UTF-8 to UTF-16, the inverse of Utf16ToUtf8; a byte that starts no valid sequence becomes
/// U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
/// Utf8ToUtf16 appended to out.
void AppendUtf8AsUtf16(std::u16string& out, std::string_view text);
/// Utf8ToUtf16 written to out, which has room for text.size() code units (never more are
/// needed); returns the number written.
std::size_t Utf8ToUtf16Units(std::string_view text, char16_t* out) noexcept;

/// Length up to the terminator; 0 for null.
std::size_t Length(const char16_t* text) noexcept;

/// Copies text with its terminator into dst of capacity characters when it fits; otherwise
/// (also for a null text) dst holds an empty string. Nothing is written when capacity is 0 or
/// dst is null. Returns true when the text was copied.
bool BoundedCopy(char16_t* dst, std::uint64_t capacity, std::u16string_view text) noexcept;
bool BoundedCopy(char* dst, std::uint64_t capacity, std::string_view text) noexcept;

}  // namespace ornr
