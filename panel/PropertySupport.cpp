#include "panel/Panel.h"

#include <charconv>
#include <system_error>
#include <type_traits>

#include "support/Utf.h"

namespace Teskor::RenderSetup::ViewModel {

namespace {

// Value texts are ASCII; a text with anything else is no value of a number, colour or bool.
std::optional<std::string> Ascii(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char16_t c : text) {
    if (c > 0x7F) return std::nullopt;
    out.push_back(static_cast<char>(c));
  }
  return out;
}

std::string_view Trim(std::string_view s) {
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (!s.empty() && space(s.front())) s.remove_prefix(1);
  while (!s.empty() && space(s.back())) s.remove_suffix(1);
  return s;
}

bool StartsWithDigit(std::string_view s) {
  return !s.empty() && s.front() >= '0' && s.front() <= '9';
}

template <typename T>
bool ParseWhole(std::string_view s, T& out) {
  if (s.empty()) return false;
  const char* end = s.data() + s.size();
  const auto [next, error] = std::from_chars(s.data(), end, out);
  return error == std::errc{} && next == end;
}

// The module writes unsigned properties as signed decimals, so a negative text stands for its
// two's-complement bits; an unsigned text up to the type's maximum is taken as it is.
template <typename Unsigned>
std::optional<Unsigned> IntegerBits(std::string_view s) {
  using Signed = std::make_signed_t<Unsigned>;
  s = Trim(s);
  if (!s.empty() && s.front() == '-') {
    Signed v = 0;
    if (!ParseWhole(s, v)) return std::nullopt;
    return static_cast<Unsigned>(v);
  }
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  Unsigned v = 0;
  if (!StartsWithDigit(s) || !ParseWhole(s, v)) return std::nullopt;
  return v;
}

template <typename Float>
std::optional<Float> FloatingPoint(std::string_view s) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') {
    s.remove_prefix(1);
    if (!s.empty() && s.front() == '-') return std::nullopt;
  }
  Float v = 0;
  if (!ParseWhole(s, v)) return std::nullopt;
  return v;
}

std::optional<std::uint8_t> Channel(std::string_view s) {
  s = Trim(s);
  unsigned v = 0;
  if (!StartsWithDigit(s) || !ParseWhole(s, v) || v > 255) return std::nullopt;
  return static_cast<std::uint8_t>(v);
}

std::optional<Color> ColorOf(std::string_view s) {
  const std::size_t first = s.find(',');
  if (first == std::string_view::npos) return std::nullopt;
  const std::size_t second = s.find(',', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const auto r = Channel(s.substr(0, first));
  const auto g = Channel(s.substr(first + 1, second - first - 1));
  const auto b = Channel(s.substr(second + 1));
  if (!r || !g || !b) return std::nullopt;
  return Color{255, *r, *g, *b};
}

bool EqualsIgnoringCase(std::string_view s, std::string_view lower) {
  if (s.size() != lower.size()) return false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = (s[i] >= 'A' && s[i] <= 'Z') ? static_cast<char>(s[i] - 'A' + 'a') : s[i];
    if (c != lower[i]) return false;
  }
  return true;
}

std::optional<bool> BoolOf(std::string_view s) {
  s = Trim(s);
  if (EqualsIgnoringCase(s, "true")) return true;
  if (EqualsIgnoringCase(s, "false")) return false;
  return std::nullopt;
}

// Runs parse over the ASCII text of the named property and stores a value it yields.
template <typename T, typename Parse>
void Read(const PropertySupport& properties, const String& name, T& value, Parse parse) {
  if (!name) return;
  const std::u16string* text = properties.PropertyText(ornr::Utf16ToUtf8(*name));
  if (text == nullptr) return;
  const std::optional<std::string> ascii = Ascii(*text);
  if (!ascii) return;
  if (const std::optional<T> parsed = parse(*ascii)) value = *parsed;
}

}  // namespace

void PropertySupport::GetPropertyValue(const String& name, String& value) const {
  if (!name) return;
  if (const std::u16string* text = PropertyText(ornr::Utf16ToUtf8(*name))) value = *text;
}

void PropertySupport::GetPropertyValue(const String& name, Color& value) const {
  Read(*this, name, value, ColorOf);
}

void PropertySupport::GetPropertyValue(const String& name, bool& value) const {
  Read(*this, name, value, BoolOf);
}

void PropertySupport::GetPropertyValue(const String& name, std::uint64_t& value) const {
  Read(*this, name, value, IntegerBits<std::uint64_t>);
}

void PropertySupport::GetPropertyValue(const String& name, std::int32_t& value) const {
  Read(*this, name, value, [](std::string_view s) -> std::optional<std::int32_t> {
    const auto bits = IntegerBits<std::uint32_t>(s);
    if (!bits) return std::nullopt;
    return static_cast<std::int32_t>(*bits);
  });
}

void PropertySupport::GetPropertyValue(const String& name, double& value) const {
  Read(*this, name, value, FloatingPoint<double>);
}

void PropertySupport::GetPropertyValue(const String& name, float& value) const {
  Read(*this, name, value, FloatingPoint<float>);
}

const std::u16string* PropertySupport::PropertyText(std::string_view name) const {
  for (const auto& [key, text] : properties_) {
    if (key == name) return &text;
  }
  return nullptr;
}

void PropertySupport::SetPropertyText(std::string_view name, std::u16string text) {
  for (auto& [key, old] : properties_) {
    if (key == name) {
      old = std::move(text);
      return;
    }
  }
  properties_.emplace_back(std::string(name), std::move(text));
}

}  // namespace Teskor::RenderSetup::ViewModel
