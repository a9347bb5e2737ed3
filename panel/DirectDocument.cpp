#include "panel/DirectDocument.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "support/SameBytes.h"
#include "support/Utf.h"

namespace Teskor::RenderSetup::ViewModel {

namespace {

constexpr std::u16string_view kRoot = u"RenderSetupViewModel";

constexpr bool IsNameStart(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_' || c == u':';
}

constexpr bool IsNameChar(char16_t c) {
  return IsNameStart(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
}

constexpr auto kNameChars = [] {
  std::array<bool, 128> chars{};
  for (char16_t c = 0; c < 128; ++c) chars[c] = IsNameChar(c);
  return chars;
}();

bool NameStart(char16_t c) {
  return IsNameStart(c);
}

bool NameChar(char16_t c) {
  return c < 128 && kNameChars[c];
}

bool SameUnits(const char16_t* at, std::u16string_view text) {
  return ornr::SameBytes(at, text.data(), text.size() * sizeof(char16_t));
}

bool IsDigit(char16_t c, bool hex) {
  return (c >= u'0' && c <= u'9') ||
         (hex && ((c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')));
}

// The code point of the reference at the start of text ("&...;") and its length, or 0 when it is
// none the full parser replaces the same way.
char32_t Reference(std::u16string_view text, std::size_t& length) {
  static constexpr std::pair<std::u16string_view, char16_t> kEntities[] = {
      {u"&amp;", u'&'}, {u"&lt;", u'<'}, {u"&gt;", u'>'}, {u"&quot;", u'"'}, {u"&apos;", u'\''}};
  for (const auto& [entity, c] : kEntities) {
    if (text.starts_with(entity)) {
      length = entity.size();
      return c;
    }
  }
  if (!text.starts_with(u"&#")) return 0;
  const bool hex = text.size() > 2 && text[2] == u'x';
  std::size_t at = hex ? 3 : 2;
  char32_t value = 0;
  const std::size_t first = at;
  while (at < text.size() && IsDigit(text[at], hex) && at - first < 7) {
    const char16_t c = text[at++];
    const unsigned digit = c <= u'9' ? c - u'0' : (c | 0x20) - u'a' + 10;
    value = value * (hex ? 16 : 10) + digit;
  }
  if (at == first || at >= text.size() || text[at] != u';') return 0;
  const bool character = (value >= 1 && value <= 0xFFFD && !ornr::IsSurrogate(value)) ||
                         (value >= 0x10000 && value <= 0x10FFFF);
  if (!character) return 0;
  length = at + 1;
  return value;
}

// Reads with a pointer into the text; every step checks that it stays inside.
class Reader {
 public:
  explicit Reader(std::u16string_view xml) : begin_(xml.data()), end_(xml.data() + xml.size()) {}

  // checked: a whole read found the text in order before, so end tags are known to match.
  // estimated, on a read that takes as it goes, learns an estimate of the number of elements.
  bool Document(const std::function<void(const DirectElement&)>* take, bool checked,
                const std::function<void(std::size_t elements)>* estimated = nullptr) {
    at_ = begin_;
    checked_ = checked;
    lastChildNames_.clear();
    lastChildrenStart_ = begin_;
    elements_ = 0;
    std::u16string_view name;
    if (!StartTag(name, nullptr) || name != kRoot) return false;
    const char16_t* sampleStart = nullptr;
    std::size_t sampleElements = 0;
    while (Peek(u'<') && !PeekEnd()) {
      // The first pass only checks: nothing is kept of the elements.
      DirectElement* element = take != nullptr ? &element_ : nullptr;
      if (element != nullptr) {
        element_.attributes.clear();
        element_.children.clear();
        element_.childTextUnits = 0;
      }
      const char16_t* start = at_;
      if (!Element(element)) return false;
      ++elements_;
      // Setups are alike: the stretch from the first one with children to the next (with what
      // comes between, such as a current setup) tells about how many elements follow.
      if (estimated != nullptr && lastChildrenStart_ == start) {
        if (sampleStart == nullptr) {
          sampleStart = start;
          sampleElements = elements_;
        } else {
          const auto units = static_cast<std::size_t>(start - sampleStart);
          const std::size_t count = elements_ - sampleElements;
          (*estimated)(elements_ + static_cast<std::size_t>(end_ - at_) * count / units);
          estimated = nullptr;
        }
      }
      // From here on only the names of the last element with children are looked back at.
      element_.readFrom = std::min(lastChildrenStart_, start);
      if (take != nullptr) (*take)(element_);
    }
    return EndTag(kRoot) && at_ == end_;
  }

  /// The root's children the last Document read.
  std::size_t Elements() const noexcept { return elements_; }

 private:
  bool Peek(char16_t c) const noexcept { return at_ < end_ && *at_ == c; }
  bool PeekEnd() const noexcept { return end_ - at_ >= 2 && at_[0] == u'<' && at_[1] == u'/'; }

  bool Name(std::u16string_view& name) {
    const char16_t* const start = at_;
    if (start >= end_ || !NameStart(*start)) return false;
    const char16_t* at = start + 1;
    while (at < end_ && NameChar(*at)) ++at;
    at_ = at;
    name = std::u16string_view(start, static_cast<std::size_t>(at - start));
    return true;
  }

  // Up to the next '<' (text) or '"' (attribute value, where the full parser keeps a '<'); false
  // on anything the full parser would take differently.
  bool Characters(bool attribute, std::u16string_view& text, std::size_t* units) {
    const char16_t* const start = at_;
    const char16_t* at = at_;
    const char16_t stop = attribute ? u'"' : u'<';
    std::size_t references = 0;  // units that references took beyond what they stand for
    // The characters that may matter: the controls, '"', '&' and '<'; all others are skipped.
    constexpr std::uint64_t kSpecial =
        0xFFFFFFFFull | (1ull << u'"') | (1ull << u'&') | (1ull << u'<');
    for (;;) {
      while (at < end_ && (*at >= 64 || ((kSpecial >> *at) & 1) == 0)) ++at;
      if (at >= end_) return false;
      const char16_t c = *at;
      if (c == stop) break;
      if (c < 0x20 && (attribute || (c != u'\t' && c != u'\n'))) return false;
      if (c == u'&') {
        std::size_t length = 0;
        const char32_t value =
            Reference(std::u16string_view(at, static_cast<std::size_t>(end_ - at)), length);
        if (value == 0) return false;
        at += length;
        references += length - (value >= 0x10000 ? 2 : 1);
        continue;
      }
      ++at;
    }
    at_ = at;
    const auto size = static_cast<std::size_t>(at - start);
    text = std::u16string_view(start, size);
    if (units != nullptr) *units += size - references;
    return true;
  }

  bool StartTag(std::u16string_view& name, std::vector<DirectElement::Pair>* attributes) {
    if (!Peek(u'<')) return false;
    ++at_;
    if (!Name(name)) return false;
    while (Peek(u' ')) {
      ++at_;
      std::u16string_view attributeName, value;
      if (!Name(attributeName) || end_ - at_ < 2 || at_[0] != u'=' || at_[1] != u'"') {
        return false;
      }
      at_ += 2;
      if (!Characters(true, value, nullptr) || attributes == nullptr) return false;
      ++at_;
      attributes->emplace_back(attributeName, value);
    }
    if (!Peek(u'>')) return false;
    ++at_;
    return true;
  }

  bool EndTag(std::u16string_view name) {
    if (checked_) {
      at_ += name.size() + 3;
      return true;
    }
    if (static_cast<std::size_t>(end_ - at_) < name.size() + 3 || !PeekEnd()) return false;
    if (!SameUnits(at_ + 2, name) || at_[2 + name.size()] != u'>') return false;
    at_ += name.size() + 3;
    return true;
  }

  // A child's start tag. Setups list the same properties in the same order: the name the child
  // at this place had in the element before, already read as a name, is tried first.
  bool ChildStartTag(std::size_t index, std::u16string_view& name) {
    if (index < lastChildNames_.size()) {
      const std::u16string_view last = lastChildNames_[index];
      if (static_cast<std::size_t>(end_ - at_) > last.size() + 1 && at_[0] == u'<' &&
          SameUnits(at_ + 1, last) && at_[1 + last.size()] == u'>') {
        // The text is the same as that name's, so it is one here too, and ends at the '>'.
        name = std::u16string_view(at_ + 1, last.size());
        at_ += last.size() + 2;
        return true;
      }
    }
    return StartTag(name, nullptr);
  }

  static bool Blank(std::u16string_view text) {
    return text.find_first_not_of(u" \t\n") == std::u16string_view::npos;
  }

  // A child of the root; with element null only checked.
  bool Element(DirectElement* element) {
    const char16_t* start = at_;
    std::u16string_view name, text;
    // The attributes are checked the same way whether they are kept or not.
    scratch_.clear();
    if (!StartTag(name, element != nullptr ? &element->attributes : &scratch_)) return false;
    if (!Characters(false, text, nullptr)) return false;
    std::size_t childTextUnits = 0;
    std::size_t childUnits = 0;  // as written, references and all
    childNames_.clear();
    while (!PeekEnd()) {
      // A blank text before children is no text of the element for the full parser.
      if (!text.empty() && Blank(text)) return false;
      std::u16string_view childName, childText;
      if (!ChildStartTag(childNames_.size(), childName) ||
          !Characters(false, childText, &childTextUnits) || !EndTag(childName)) {
        return false;
      }
      childNames_.push_back(childName);
      childUnits += childText.size();
      if (element != nullptr) element->children.emplace_back(childName, childText);
      // Text after a child element is not the module's form.
      if (!Peek(u'<')) return false;
    }
    if (element != nullptr) {
      element->name = name;
      element->text = text;
      element->childTextUnits = childTextUnits;
      element->childReferences = childTextUnits != childUnits;
    }
    // An element without children (a current setup's) leaves the names as they were.
    if (!childNames_.empty()) {
      lastChildNames_.swap(childNames_);
      lastChildrenStart_ = start;
    }
    return EndTag(name);
  }

  const char16_t* begin_;
  const char16_t* end_;
  const char16_t* at_ = nullptr;
  DirectElement element_;
  std::vector<DirectElement::Pair> scratch_;
  // The children's names of the element being read and of the one before.
  std::vector<std::u16string_view> childNames_;
  std::vector<std::u16string_view> lastChildNames_;
  const char16_t* lastChildrenStart_ = nullptr;  // where the element they came from starts
  std::size_t elements_ = 0;
  bool checked_ = false;
};

}  // namespace

const std::u16string_view* DirectElement::Attribute(
    std::u16string_view attributeName) const noexcept {
  for (const Pair& attribute : attributes) {
    if (attribute.first == attributeName) return &attribute.second;
  }
  return nullptr;
}

bool ReadDirect(std::u16string_view xml, const std::function<void(const DirectElement&)>& take,
                const std::function<void(std::size_t elements)>& counted) {
  Reader reader(xml);
  // Read whole once before anything is taken: a document is taken entirely or not at all.
  if (!reader.Document(nullptr, false)) return false;
  if (counted) counted(reader.Elements());
  return reader.Document(&take, true);
}

bool ReadDirectTaking(std::u16string_view xml,
                      const std::function<void(const DirectElement&)>& take,
                      const std::function<void(std::size_t elements)>& estimated) {
  Reader reader(xml);
  return reader.Document(&take, false, estimated ? &estimated : nullptr);
}

void AppendUnescaped(std::u16string& out, std::u16string_view text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t amp = text.find(u'&', at);
    out.append(text.substr(at, amp == std::u16string_view::npos ? amp : amp - at));
    if (amp == std::u16string_view::npos) return;
    std::size_t length = 0;
    const char32_t value = Reference(text.substr(amp), length);
    char16_t units[2];
    out.append(units, ornr::WriteCodePointAsUtf16(value, units));
    at = amp + length;
  }
}

}  // namespace Teskor::RenderSetup::ViewModel
