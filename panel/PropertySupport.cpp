#include "panel/Panel.h"

#include <charconv>
#include <cstring>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <system_error>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "support/Utf.h"

namespace Teskor::RenderSetup::ViewModel {

namespace {

constexpr std::string_view kCatalogue[] = {
#define ORN_PROPERTY(POS, NAME, TYPE, VALUE, GET, SET) #NAME,
#include "settings/OrnSettingsCatalogue.def"
#undef ORN_PROPERTY
};
constexpr auto kCatalogueSize = static_cast<std::uint32_t>(std::size(kCatalogue));
constexpr std::uint32_t kCatalogueName = std::numeric_limits<std::uint32_t>::max();

// The catalogue index of name, or kCatalogueSize. Documents list the properties in catalogue
// order, so the index after the previous one is tried first.
std::uint32_t CatalogueIndex(std::string_view name, std::uint32_t likely) {
  if (likely < kCatalogueSize && kCatalogue[likely] == name) return likely;
  static const std::unordered_map<std::string_view, std::uint32_t> byName = [] {
    std::unordered_map<std::string_view, std::uint32_t> map;
    for (std::uint32_t i = 0; i < kCatalogueSize; ++i) map.emplace(kCatalogue[i], i);
    return map;
  }();
  const auto found = byName.find(name);
  return found == byName.end() ? kCatalogueSize : found->second;
}

// The catalogue's names in UTF-16, as documents carry them.
const std::u16string* CatalogueNames16() {
  static const std::vector<std::u16string> names = [] {
    std::vector<std::u16string> wide;
    for (const std::string_view name : kCatalogue) wide.emplace_back(name.begin(), name.end());
    return wide;
  }();
  return names.data();
}

std::uint32_t Offset(std::size_t size) {
  if (size >= kCatalogueName) throw std::length_error("property texts too long");
  return static_cast<std::uint32_t>(size);
}

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
  const std::optional<std::u16string_view> text = properties.PropertyText(ornr::Utf16ToUtf8(*name));
  if (!text) return;
  const std::optional<std::string> ascii = Ascii(*text);
  if (!ascii) return;
  if (const std::optional<T> parsed = parse(*ascii)) value = *parsed;
}

}  // namespace

void PropertySupport::GetPropertyValue(const String& name, String& value) const {
  if (!name) return;
  if (const auto text = PropertyText(ornr::Utf16ToUtf8(*name))) value = std::u16string(*text);
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

std::string_view PropertySupport::NameOf(const Entry& entry) const noexcept {
  if (entry.nameSize == kCatalogueName) return kCatalogue[entry.name];
  return std::string_view(held_.names).substr(entry.name, entry.nameSize);
}

std::u16string_view PropertySupport::TextOf(const Entry& entry) const noexcept {
  return std::u16string_view(held_.texts).substr(entry.text, entry.textSize);
}

const PropertySupport::Entry* PropertySupport::Find(std::string_view name) const noexcept {
  for (const Entry& entry : held_.entries) {
    if (NameOf(entry) == name) return &entry;
  }
  return nullptr;
}

std::optional<std::u16string_view> PropertySupport::PropertyText(std::string_view name) const {
  const Entry* entry = Find(name);
  if (entry == nullptr) return std::nullopt;
  return TextOf(*entry);
}

std::vector<Property> PropertySupport::Properties() const {
  std::vector<Property> properties;
  properties.reserve(held_.entries.size());
  for (const Entry& entry : held_.entries) properties.push_back({NameOf(entry), TextOf(entry)});
  return properties;
}

PropertySupport::Entry& PropertySupport::AddEntry(Storage& storage, std::string_view name,
                                                  std::uint32_t& likely) {
  Entry entry{0, Offset(storage.texts.size()), 0, kCatalogueName};
  const std::uint32_t index = CatalogueIndex(name, likely);
  if (index < kCatalogueSize) {
    entry.name = index;
    likely = index + 1;
  } else {
    entry.name = Offset(storage.names.size());
    entry.nameSize = Offset(name.size());
  }
  if (index >= kCatalogueSize) storage.names.append(name);
  return storage.entries.emplace_back(entry);
}

void PropertySupport::SetPropertyText(std::string_view name, std::u16string_view text) {
  const std::u16string_view texts(held_.texts);
  if (text.data() >= texts.data() && text.data() < texts.data() + texts.size()) {
    // A text of this setup's own: the texts may move below.
    SetPropertyText(name, std::u16string(text));
    return;
  }
  const Entry* found = Find(name);
  if (found == nullptr) {
    std::uint32_t likely = 0;
    held_.texts.reserve(held_.texts.size() + text.size());
    Entry& entry = AddEntry(held_, name, likely);
    held_.texts.append(text);
    entry.textSize = Offset(text.size());
    return;
  }
  Entry& entry = held_.entries[static_cast<std::size_t>(found - held_.entries.data())];
  if (text.size() <= entry.textSize) {
    text.copy(held_.texts.data() + entry.text, text.size());
    unusedTexts_ += entry.textSize - text.size();
    entry.textSize = static_cast<std::uint32_t>(text.size());
    return;
  }
  if (unusedTexts_ + entry.textSize > held_.texts.size() / 2) {
    // Mostly replaced texts: written anew, without the ones edits left behind.
    std::u16string texts;
    texts.reserve(held_.texts.size() - unusedTexts_ - entry.textSize + text.size());
    for (Entry& other : held_.entries) {
      if (&other == &entry) continue;
      const std::u16string_view kept = TextOf(other);
      other.text = Offset(texts.size());
      texts.append(kept);
    }
    held_.texts.swap(texts);
    unusedTexts_ = 0;
  } else {
    unusedTexts_ += entry.textSize;
  }
  const std::uint32_t at = Offset(held_.texts.size());
  held_.texts.append(text);
  entry.text = at;
  entry.textSize = Offset(text.size());
}

PropertySupport::Builder::Builder(std::size_t count, std::size_t textUnits) {
  storage_.entries.reserve(count);
  storage_.texts.reserve(textUnits);
}

void PropertySupport::Builder::Add(std::string_view name, std::string_view utf8Text) {
  Entry& entry = AddEntry(storage_, name, likely_);
  ornr::AppendUtf8AsUtf16(storage_.texts, utf8Text);
  entry.textSize = Offset(storage_.texts.size() - entry.text);
}

void PropertySupport::Builder::Add(std::string_view name, std::u16string_view text) {
  Entry& entry = AddEntry(storage_, name, likely_);
  storage_.texts.append(text);
  entry.textSize = Offset(text.size());
}

void PropertySupport::Builder::AddAsciiNamed(std::u16string_view name, std::u16string_view text) {
  static const std::u16string* const catalogue = CatalogueNames16();
  // Documents list the catalogue's properties in its order: the likely one is compared as it is.
  if (likely_ < kCatalogueSize && catalogue[likely_].size() == name.size() &&
      std::memcmp(catalogue[likely_].data(), name.data(), name.size() * sizeof(char16_t)) == 0) {
    storage_.entries.push_back(
        {likely_, Offset(storage_.texts.size()), Offset(text.size()), kCatalogueName});
    storage_.texts.append(text);
    ++likely_;
    return;
  }
  Add(std::string(name.begin(), name.end()), text);
}

void PropertySupport::Builder::ReplaceIn(PropertySupport& target) noexcept {
  std::swap(target.held_, storage_);
  target.unusedTexts_ = 0;
  storage_ = Storage{};
}

}  // namespace Teskor::RenderSetup::ViewModel
