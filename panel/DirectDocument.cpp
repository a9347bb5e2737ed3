#include "panel/DirectDocument.h"

#include "support/Utf.h"

namespace Teskor::RenderSetup::ViewModel {

namespace {

constexpr std::u16string_view kRoot = u"RenderSetupViewModel";

bool NameStart(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_' || c == u':';
}

bool NameChar(char16_t c) {
  return NameStart(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
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

class Reader {
 public:
  explicit Reader(std::u16string_view xml) : xml_(xml) {}

  bool Document(const std::function<void(const DirectElement&)>* take) {
    at_ = 0;
    std::u16string_view name;
    if (!StartTag(name, nullptr) || name != kRoot) return false;
    while (Peek(u"<") && !Peek(u"</")) {
      element_.attributes.clear();
      element_.children.clear();
      element_.childTextUnits = 0;
      if (!Element(element_)) return false;
      if (take != nullptr) (*take)(element_);
    }
    return EndTag(kRoot) && at_ == xml_.size();
  }

 private:
  bool Peek(std::u16string_view what) const { return xml_.substr(at_).starts_with(what); }

  bool Name(std::u16string_view& name) {
    const std::size_t start = at_;
    if (at_ >= xml_.size() || !NameStart(xml_[at_])) return false;
    while (at_ < xml_.size() && NameChar(xml_[at_])) ++at_;
    name = xml_.substr(start, at_ - start);
    return true;
  }

  // Up to the next '<' (text) or '"' (attribute value, where the full parser keeps a '<'); false
  // on anything the full parser would take differently.
  bool Characters(bool attribute, std::u16string_view& text, std::size_t* units) {
    const std::size_t start = at_;
    std::size_t count = 0;
    while (at_ < xml_.size()) {
      const char16_t c = xml_[at_];
      if (attribute ? c == u'"' : c == u'<') break;
      if (c < 0x20 && (attribute || (c != u'\t' && c != u'\n'))) return false;
      if (c == u'&') {
        std::size_t length = 0;
        const char32_t value = Reference(xml_.substr(at_), length);
        if (value == 0) return false;
        at_ += length;
        count += value >= 0x10000 ? 2 : 1;
        continue;
      }
      ++at_;
      ++count;
    }
    if (at_ >= xml_.size()) return false;
    text = xml_.substr(start, at_ - start);
    if (units != nullptr) *units += count;
    return true;
  }

  bool StartTag(std::u16string_view& name, std::vector<DirectElement::Pair>* attributes) {
    if (!Peek(u"<")) return false;
    ++at_;
    if (!Name(name)) return false;
    while (Peek(u" ")) {
      ++at_;
      std::u16string_view attributeName, value;
      if (!Name(attributeName) || !Peek(u"=\"")) return false;
      at_ += 2;
      if (!Characters(true, value, nullptr) || attributes == nullptr) return false;
      ++at_;
      attributes->emplace_back(attributeName, value);
    }
    if (!Peek(u">")) return false;
    ++at_;
    return true;
  }

  bool EndTag(std::u16string_view name) {
    if (!Peek(u"</")) return false;
    at_ += 2;
    if (!Peek(name)) return false;
    at_ += name.size();
    if (!Peek(u">")) return false;
    ++at_;
    return true;
  }

  static bool Blank(std::u16string_view text) {
    return text.find_first_not_of(u" \t\n") == std::u16string_view::npos;
  }

  bool Element(DirectElement& element) {
    if (!StartTag(element.name, &element.attributes)) return false;
    if (!Characters(false, element.text, nullptr)) return false;
    while (!Peek(u"</")) {
      // A blank text before children is no text of the element for the full parser.
      if (!element.text.empty() && Blank(element.text)) return false;
      std::u16string_view name, text;
      if (!StartTag(name, nullptr) || !Characters(false, text, &element.childTextUnits) ||
          !EndTag(name)) {
        return false;
      }
      element.children.emplace_back(name, text);
      // Text after a child element is not the module's form.
      if (!Peek(u"<")) return false;
    }
    return EndTag(element.name);
  }

  std::u16string_view xml_;
  std::size_t at_ = 0;
  DirectElement element_;
};

}  // namespace

const std::u16string_view* DirectElement::Attribute(
    std::u16string_view attributeName) const noexcept {
  for (const Pair& attribute : attributes) {
    if (attribute.first == attributeName) return &attribute.second;
  }
  return nullptr;
}

bool ReadDirect(std::u16string_view xml, const std::function<void(const DirectElement&)>& take) {
  Reader reader(xml);
  // Read whole once before anything is taken: a document is taken entirely or not at all.
  if (!reader.Document(nullptr)) return false;
  return reader.Document(&take);
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
