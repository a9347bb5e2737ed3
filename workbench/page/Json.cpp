#include "workbench/page/Json.h"

#include <cstdio>

#include "support/Utf.h"

namespace ornr::workbench {

namespace {

void AppendEscape(std::string& out, char16_t unit) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(unit));
  out += buffer;
}

}  // namespace

void JsonWriter::Separate() {
  if (needComma_) out_.push_back(',');
  needComma_ = true;
}

JsonWriter& JsonWriter::BeginObject() {
  Separate();
  out_.push_back('{');
  needComma_ = false;
  return *this;
}

JsonWriter& JsonWriter::EndObject() {
  out_.push_back('}');
  needComma_ = true;
  return *this;
}

JsonWriter& JsonWriter::BeginArray() {
  Separate();
  out_.push_back('[');
  needComma_ = false;
  return *this;
}

JsonWriter& JsonWriter::EndArray() {
  out_.push_back(']');
  needComma_ = true;
  return *this;
}

JsonWriter& JsonWriter::Key(std::string_view key) {
  String(key);
  out_.push_back(':');
  needComma_ = false;
  return *this;
}

JsonWriter& JsonWriter::String(std::string_view text) {
  // Property names and most texts are plain ASCII: no round trip through UTF-16 for them.
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F || c == '"' || c == '\\') return String(Utf8ToUtf16(text));
  }
  Separate();
  out_.push_back('"');
  out_ += text;
  out_.push_back('"');
  return *this;
}

JsonWriter& JsonWriter::String(std::u16string_view text) {
  Separate();
  out_.push_back('"');
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u == '"' || u == '\\') {
      out_.push_back('\\');
      out_.push_back(static_cast<char>(u));
    } else if (u < 0x20 || u == 0x7F || u == 0x2028 || u == 0x2029) {
      AppendEscape(out_, u);
    } else if (IsSurrogatePairAt(text, i)) {
      AppendCodePointAsUtf8(out_, CodePointOfPair(u, text[i + 1]));
      ++i;
    } else if (IsSurrogate(u)) {
      AppendEscape(out_, u);
    } else {
      AppendCodePointAsUtf8(out_, u);
    }
  }
  out_.push_back('"');
  return *this;
}

JsonWriter& JsonWriter::Number(std::int64_t value) {
  Separate();
  out_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
  Separate();
  out_ += value ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::Raw(std::string_view json) {
  Separate();
  out_ += json;
  return *this;
}

JsonWriter& JsonWriter::Null() {
  Separate();
  out_ += "null";
  return *this;
}

}  // namespace ornr::workbench
