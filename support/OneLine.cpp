#include "support/OneLine.h"

namespace ornr {

namespace {

constexpr char kHex[] = "0123456789abcdef";

// The length of the UTF-8 character at text[at], or 0 when the byte there starts none: a stray
// continuation byte, an overlong form, a surrogate, beyond U+10FFFF, or cut short.
std::size_t CharacterLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char first = byte(0);
  if (first < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    if (first == 0xE0) low = 0xA0;
    if (first == 0xED) high = 0x9F;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    if (first == 0xF0) low = 0x90;
    if (first == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

void AppendByte(std::string& out, unsigned char byte) {
  out += "\\x";
  out.push_back(kHex[byte >> 4]);
  out.push_back(kHex[byte & 15]);
}

void AppendEscaped(std::string& out, std::string_view text, bool asXml) {
  // Most text is printable ASCII: that is copied whole, up to the first byte that may not be.
  std::size_t plain = 0;
  while (plain < text.size() && static_cast<unsigned char>(text[plain]) - 0x20u < 0x5Fu) ++plain;
  out.append(text.substr(0, plain));
  if (plain == text.size()) return;
  out.reserve(out.size() + text.size() - plain);
  for (std::size_t i = plain; i < text.size();) {
    const std::size_t length = CharacterLength(text, i);
    if (length == 0) {
      AppendByte(out, static_cast<unsigned char>(text[i]));
      ++i;
      continue;
    }
    unsigned code = static_cast<unsigned char>(text[i]);
    // U+0080 to U+009F, the C1 controls, are two bytes in UTF-8.
    if (code == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      code = static_cast<unsigned char>(text[i + 1]);
    } else if (length > 1 || (code >= 0x20 && code != 0x7F)) {
      out.append(text.substr(i, length));
      i += length;
      continue;
    }
    i += length;
    if (asXml) {
      out += "&#" + std::to_string(code) + ";";
    } else if (code == '\n') {
      out += "\\n";
    } else if (code == '\r') {
      out += "\\r";
    } else if (code == '\t') {
      out += "\\t";
    } else {
      out += "\\u00";
      out.push_back(kHex[code >> 4]);
      out.push_back(kHex[code & 15]);
    }
  }
}

}  // namespace

std::string OneLineText(std::string_view text) {
  std::string out;
  AppendEscaped(out, text, false);
  return out;
}

void AppendOneLineText(std::string& out, std::string_view text) {
  AppendEscaped(out, text, false);
}

std::string OneLineXml(std::string_view text) {
  std::string out;
  AppendEscaped(out, text, true);
  return out;
}

std::string RecoverableBytes(std::string_view text) {
  std::string out;
  bool whole = true;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = CharacterLength(text, i);
    if (length == 0) {
      whole = false;
      AppendByte(out, static_cast<unsigned char>(text[i]));
      ++i;
      continue;
    }
    if (text[i] == '\\') out += '\\';
    out.append(text.substr(i, length));
    i += length;
  }
  return whole ? std::string() : out;
}

}  // namespace ornr
