#include "viewmodel/ViewModelDocument.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "ornr/IPrismetWrapper.h"
#include "support/FaultInjection.h"
#include "support/Utf.h"

namespace ornr {

namespace {

std::string ToUtf8(const char16_t* text) {
  return text == nullptr ? std::string() : Utf16ToUtf8(std::u16string_view(text));
}

bool IsXmlChar(char16_t c) {
  return (c >= 0x20 && c <= 0xFFFD && !IsSurrogate(c)) || c == u'\t' || c == u'\n' || c == u'\r';
}

}  // namespace

// XML 1.0 carries no other control character, no U+FFFE or U+FFFF and no unpaired surrogate;
// one would spoil the whole document for a strict parser. The host's names never hold them, but
// a file's path may: such a character becomes U+FFFD.
std::string XmlText(const char16_t* text) {
  if (text == nullptr) return std::string();
  std::u16string_view view(text);
  std::u16string clean;
  for (std::size_t i = 0; i < view.size(); ++i) {
    const char16_t c = view[i];
    if (IsSurrogatePairAt(view, i)) {
      ++i;
      continue;
    }
    if (IsXmlChar(c)) continue;
    if (clean.empty()) clean = view;
    clean[i] = u'\uFFFD';
  }
  return Utf16ToUtf8(clean.empty() ? view : std::u16string_view(clean));
}

namespace {

constexpr bool IsNameStart(char16_t c) {
  // Beyond ASCII every letter-like unit is accepted; the names we write are ASCII anyway.
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_' || c == u':' ||
         c >= 0xC0;
}

constexpr bool IsNameChar(char16_t c) {
  return IsNameStart(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.' || c == 0xB7;
}

// The DOM refuses names that would not serialise as XML; so do we.
std::string XmlName(const char16_t* name, const char* what) {
  if (name == nullptr) throw ComError(kE_POINTER, std::string("null ") + what + " name");
  const std::u16string_view view(name);
  bool valid = !view.empty() && IsNameStart(view.front());
  for (const char16_t c : view) valid = valid && IsNameChar(c);
  std::string utf8 = Utf16ToUtf8(view);
  if (!valid) throw ComError(kE_FAIL, std::string("not an XML ") + what + " name: " + utf8);
  return utf8;
}

[[noreturn]] void OutOfMemory(const char* what) {
  throw ComError(kE_OUTOFMEMORY, what);
}

// Each call the document makes that may allocate passes here first, so that a test can make
// the k-th one fail as a real shortage would: before anything changed.
bool Allocates() {
  return !fault::Fires(fault::Point::DocumentAllocation);
}

// What each ASCII byte may be in a name: kNameChar, and kNameStart as well for a first one.
constexpr unsigned char kNameChar = 1;
constexpr unsigned char kNameStart = 2;
constexpr auto kNameBytes = [] {
  std::array<unsigned char, 128> bytes{};
  for (char16_t c = 0; c < 128; ++c) {
    bytes[c] = static_cast<unsigned char>((IsNameChar(c) ? kNameChar : 0) |
                                          (IsNameStart(c) ? kNameStart : 0));
  }
  return bytes;
}();

// The writers' names are ASCII; anything else takes the full check.
void CheckName(std::string_view name, const char* what) {
  unsigned char ascii = 0;
  unsigned char all = kNameChar;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    ascii |= byte;
    all &= byte < 0x80 ? kNameBytes[byte] : 0;
  }
  if (ascii >= 0x80) {
    const std::u16string wide = Utf8ToUtf16(name);
    // A name cut short by a zero would be checked only in part.
    if (wide.find(u'\0') != std::u16string::npos) {
      throw ComError(kE_FAIL, std::string("not an XML ") + what + " name");
    }
    XmlName(wide.c_str(), what);
    return;
  }
  const bool valid = !name.empty() &&
                     (kNameBytes[static_cast<unsigned char>(name.front())] & kNameStart) != 0 &&
                     all != 0;
  if (!valid) {
    throw ComError(kE_FAIL, std::string("not an XML ") + what + " name: " + std::string(name));
  }
}

void CheckName(const char* name, const char* what) {
  if (name == nullptr) throw ComError(kE_POINTER, std::string("null ") + what + " name");
  CheckName(std::string_view(name), what);
}

using AttributeList = std::initializer_list<std::pair<const char*, const char*>>;

// Appends a complete element under parent, or, when something fails, leaves parent as it was.
template <typename Pairs>
void Attach(pugi::xml_node parent, const char* name, const char* content, const Pairs& attributes) {
  if (!parent) throw ComError(kE_POINTER, "no parent element");
  if (parent.type() != pugi::node_element) throw ComError(kE_FAIL, "parent is not an element");
  if (!Allocates()) OutOfMemory("creating an element");
  pugi::xml_node element = parent.append_child(pugi::node_element);
  if (!element) OutOfMemory("creating an element");
  struct Undo {
    pugi::xml_node parent, element;
    bool keep = false;
    ~Undo() {
      if (!keep) parent.remove_child(element);
    }
  } undo{parent, element};
  if (!Allocates() || !element.set_name(name)) OutOfMemory("naming an element");
  if (content != nullptr && *content != 0 && (!Allocates() || !element.text().set(content))) {
    OutOfMemory("setting a text");
  }
  for (const auto& [attributeName, value] : attributes) {
    const char* attributeValue = value != nullptr ? value : "";
    // A repeated name replaces the value, as setting a named attribute does.
    pugi::xml_attribute attribute = element.attribute(attributeName);
    if (!attribute) {
      if (!Allocates()) OutOfMemory("adding an attribute");
      attribute = element.append_attribute(attributeName);
    }
    if (!attribute || !Allocates() || !attribute.set_value(attributeValue)) {
      OutOfMemory("adding an attribute");
    }
  }
  undo.keep = true;
}

// Removes an element that was being built unless it made it into the tree.
class StagedElement {
 public:
  explicit StagedElement(pugi::xml_document& document) : document_(document) {
    if (!Allocates()) OutOfMemory("creating an element");
    node_ = document.append_child(pugi::node_element);
    if (!node_) OutOfMemory("creating an element");
  }
  StagedElement(const StagedElement&) = delete;
  StagedElement& operator=(const StagedElement&) = delete;
  ~StagedElement() {
    if (node_) document_.remove_child(node_);
  }
  pugi::xml_node Node() const { return node_; }
  void MoveUnder(pugi::xml_node parent) {
    if (!parent.append_move(node_)) throw ComError(kE_FAIL, "appending an element");
    node_ = pugi::xml_node();
  }

 private:
  pugi::xml_document& document_;
  pugi::xml_node node_;
};

class Utf8Sink : public pugi::xml_writer {
 public:
  void write(const void* data, std::size_t size) override {
    text.append(static_cast<const char*>(data), size);
  }
  std::string text;
};

// The tree prints these as references: in texts &, <, > and every control but tab, LF and CR;
// in double-quoted attribute values &, <, " and every control.
constexpr bool Escaped(unsigned char c, bool attribute) {
  if (c < 0x20) return attribute || (c != '\t' && c != '\n' && c != '\r');
  return c == '&' || c == '<' || (attribute ? c == '"' : c == '>');
}

// For each ASCII byte: 1 when a text escapes it, 2 when an attribute value does.
constexpr auto kEscapedBytes = [] {
  std::array<unsigned char, 128> bytes{};
  for (unsigned char c = 0; c < 128; ++c) {
    bytes[c] = static_cast<unsigned char>((Escaped(c, false) ? 1 : 0) | (Escaped(c, true) ? 2 : 0));
  }
  return bytes;
}();

// At most this many code units a byte of text takes once escaped ("&quot;").
constexpr std::size_t kEscapedUnits = 6;

// Writes UTF-8 text in UTF-16 as the tree prints it; out has room for kEscapedUnits a byte.
char16_t* WriteEscaped(char16_t* out, std::string_view text, bool attribute) {
  const unsigned char mask = attribute ? 2 : 1;
  const char* at = text.data();
  const char* const end = at + text.size();
  while (at < end) {
    const auto c = static_cast<unsigned char>(*at);
    if (c < 0x80 && (kEscapedBytes[c] & mask) == 0) {
      *out++ = c;
      ++at;
      continue;
    }
    if (c >= 0x80) {
      // A sequence is bytes from 0x80 up only: escaped bytes are ASCII, never inside one.
      const char* run = at + 1;
      while (run < end && static_cast<unsigned char>(*run) >= 0x80) ++run;
      out += Utf8ToUtf16Units(std::string_view(at, static_cast<std::size_t>(run - at)), out);
      at = run;
      continue;
    }
    const char* reference = c == '&'   ? "&amp;"
                            : c == '<' ? "&lt;"
                            : c == '>' ? "&gt;"
                            : c == '"' ? "&quot;"
                                       : nullptr;
    if (reference != nullptr) {
      while (*reference != 0) *out++ = static_cast<char16_t>(*reference++);
    } else {
      for (const char16_t unit : {u'&', u'#', static_cast<char16_t>(u'0' + c / 10),
                                  static_cast<char16_t>(u'0' + c % 10), u';'}) {
        *out++ = unit;
      }
    }
    ++at;
  }
  return out;
}

constexpr std::u16string_view kEndTag = u"</RenderSetupViewModel>";

constexpr unsigned kPrintFlags = pugi::format_raw | pugi::format_no_empty_element_tags;

DocumentFactory& Factory() {
  static DocumentFactory factory;
  return factory;
}

BridgeProvider& Provider() {
  static BridgeProvider provider;
  return provider;
}

std::unique_ptr<ViewModelDocument>& ModuleDocument() {
  static std::unique_ptr<ViewModelDocument> document;
  return document;
}

std::unique_ptr<pugi::xml_document> MakeDocument(std::string_view progId) {
  if (progId != kDocumentProgId) return nullptr;
  return std::make_unique<pugi::xml_document>();
}

}  // namespace

namespace {

// From this size on the text has pages of its own: it grows by remapping them, never by copying,
// and leaves no freed blocks in the heap behind it, which would stay resident through the peak
// of a load that the text and the panel's copy of it make.
constexpr std::size_t kMappedBytes = std::size_t{256} << 10;

std::size_t WholePages(std::size_t bytes) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return (bytes + page - 1) / page * page;
}

}  // namespace

Utf16Text::~Utf16Text() {
  if (mapped_) {
    munmap(data_, capacity_ * sizeof(char16_t));
  } else {
    std::free(data_);
  }
}

char16_t* Utf16Text::Extend(std::size_t units) {
  const std::size_t needed = size_ + units + 1;
  if (needed <= capacity_) return data_ + size_;
  std::size_t capacity = std::max({needed, 2 * capacity_, std::size_t{2048}});
  if (capacity * sizeof(char16_t) < kMappedBytes) {
    void* grown = std::realloc(data_, capacity * sizeof(char16_t));
    if (grown == nullptr) throw std::bad_alloc();
    data_ = static_cast<char16_t*>(grown);
    capacity_ = capacity;
    return data_ + size_;
  }
  const std::size_t bytes = WholePages(capacity * sizeof(char16_t));
  void* grown =
      mapped_ ? mremap(data_, capacity_ * sizeof(char16_t), bytes, MREMAP_MAYMOVE)
              : mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (grown == MAP_FAILED) throw std::bad_alloc();
  madvise(grown, bytes, MADV_HUGEPAGE);
  if (!mapped_) {
    if (size_ > 0) std::memcpy(grown, data_, size_ * sizeof(char16_t));
    std::free(data_);
    mapped_ = true;
  }
  data_ = static_cast<char16_t*>(grown);
  capacity_ = bytes / sizeof(char16_t);
  return data_ + size_;
}

void Utf16Text::Append(std::u16string_view text) {
  std::memcpy(Extend(text.size()), text.data(), text.size() * sizeof(char16_t));
  size_ += text.size();
}

void Utf16Text::Insert(std::size_t at, std::u16string_view units) {
  char16_t* end = Extend(units.size());
  std::memmove(data_ + at + units.size(), data_ + at, (end - (data_ + at)) * sizeof(char16_t));
  std::memcpy(data_ + at, units.data(), units.size() * sizeof(char16_t));
  size_ += units.size();
}

const char16_t* Utf16Text::Terminated() {
  *Extend(0) = 0;
  return data_;
}

void Utf16Text::GiveBackRoom() noexcept {
  if (!mapped_) return;
  const std::size_t used = WholePages((size_ + 1) * sizeof(char16_t));
  const std::size_t mapped = capacity_ * sizeof(char16_t);
  if (used < mapped) madvise(reinterpret_cast<char*>(data_) + used, mapped - used, MADV_DONTNEED);
}

void Utf16Text::Swap(Utf16Text& other) noexcept {
  std::swap(mapped_, other.mapped_);
  std::swap(data_, other.data_);
  std::swap(size_, other.size_);
  std::swap(capacity_, other.capacity_);
}

namespace {

// Prints the tree into a Utf16Text.
class TextWriter : public pugi::xml_writer {
 public:
  explicit TextWriter(Utf16Text& text) : text_(text) {}
  void write(const void* data, std::size_t size) override {
    const std::size_t units = size / sizeof(char16_t);
    std::memcpy(text_.Extend(units), data, units * sizeof(char16_t));
    text_.Grow(units);
  }

 private:
  Utf16Text& text_;
};

}  // namespace

ViewModelDocument::ViewModelDocument(std::unique_ptr<pugi::xml_document> document)
    : document_(std::move(document)) {
  ResetDocument();
}

ViewModelDocument::~ViewModelDocument() = default;

void ViewModelDocument::ResetDocument() {
  if (!document_) throw ComError(kE_POINTER, "no view-model document");
  // Every node of the old content is freed; a parent kept across would dangle.
  parentNode_ = pugi::xml_node();
  rootNode_ = pugi::xml_node();
  parentEnd_ = kNone;
  pendingElements_ = 0;
  lastOpen_ = false;
  childIndex_ = 0;
  // The pending text's block goes too: a load's text is not kept for the next.
  Utf16Text fresh;
  try {
    fresh.Append(std::u16string_view(kEmptyViewModel, kStartTagUnits));
  } catch (const std::bad_alloc&) {
    OutOfMemory("loading the empty model");
  }
  pending_.Swap(fresh);
  const std::string empty = Utf16ToUtf8(kEmptyViewModel);
  if (!Allocates() || !document_->load_buffer(empty.data(), empty.size())) {
    OutOfMemory("loading the empty model");
  }
  rootNode_ = document_->document_element();
  if (!rootNode_) OutOfMemory("loading the empty model");
}

std::u16string_view ViewModelDocument::OpenName() const noexcept {
  if (!lastOpen_) return {};
  return std::u16string_view(pending_.data() + lastStart_ + 1, lastNameUnits_);
}

void ViewModelDocument::CloseLast() {
  if (!lastOpen_) return;
  char16_t* out = nullptr;
  try {
    out = pending_.Extend(lastNameUnits_ + 3);
  } catch (const std::bad_alloc&) {
    OutOfMemory("closing an element");
  }
  // The name is read from the start tag, before the end: Extend may have moved the text.
  const char16_t* name = pending_.data() + lastStart_ + 1;
  *out++ = u'<';
  *out++ = u'/';
  std::memcpy(out, name, lastNameUnits_ * sizeof(char16_t));
  out[lastNameUnits_] = u'>';
  pending_.Grow(lastNameUnits_ + 3);
  lastOpen_ = false;
}

void ViewModelDocument::Materialize() {
  if (pendingElements_ == 0) return;
  CloseLast();
  pugi::xml_node root = RequireRoot();
  const pugi::xml_node before = root.last_child();
  // The text is what the tree prints: parsed without any normalisation it gives the same nodes.
  const pugi::xml_parse_result parsed =
      Allocates()
          ? root.append_buffer(pending_.data() + kStartTagUnits,
                               (pending_.size() - kStartTagUnits) * sizeof(char16_t),
                               pugi::parse_escapes | pugi::parse_ws_pcdata, pugi::encoding_utf16)
          : pugi::xml_parse_result();
  pugi::xml_node first = before ? before.next_sibling() : root.first_child();
  if (!parsed) {
    while (first) {
      const pugi::xml_node next = first.next_sibling();
      root.remove_child(first);
      first = next;
    }
    OutOfMemory("parsing the appended elements");
  }
  if (parentEnd_ != kNone) {
    for (std::size_t i = 0; i < parentIndex_; ++i) first = first.next_sibling();
    parentNode_ = first;
    parentEnd_ = kNone;
  }
  pending_.Truncate(kStartTagUnits);
  pendingElements_ = 0;
}

void ViewModelDocument::SelectParent(const char16_t* xpath) {
  if (!document_) throw ComError(kE_POINTER, "no view-model document");
  Materialize();
  // A failed selection selects nothing rather than leaving the previous parent in place.
  parentNode_ = pugi::xml_node();
  childIndex_ = 0;
  const std::string expression = ToUtf8(xpath);
  try {
    const pugi::xpath_query query(expression.c_str());
    parentNode_ = document_->select_node(query).node();
  } catch (const pugi::xpath_exception& error) {
    throw ComError(kE_XPATH_SYNTAX, "XPath \"" + expression + "\": " + error.what());
  }
}

void ViewModelDocument::SelectLastRootChild() {
  const pugi::xml_node root = RequireRoot();
  childIndex_ = 0;
  if (pendingElements_ > 0) {
    parentNode_ = pugi::xml_node();
    // The last element's end tag is the end of the text: its children are appended from there.
    if (!lastOpen_) pending_.Truncate(pending_.size() - lastNameUnits_ - 3);
    lastOpen_ = true;
    parentEnd_ = pending_.size();
    parentIndex_ = pendingElements_ - 1;
    return;
  }
  parentEnd_ = kNone;
  parentNode_ = root.last_child();
  while (parentNode_ && parentNode_.type() != pugi::node_element) {
    parentNode_ = parentNode_.previous_sibling();
  }
}

void ViewModelDocument::AppendToRoot(const char16_t* name, const char16_t* text,
                                     std::initializer_list<const char16_t*> attributes) {
  Append(RequireRoot(), name, text != nullptr ? text : u"", attributes);
}

void ViewModelDocument::AppendToParent(const char16_t* parentXPath, const char16_t* name,
                                       const char16_t* text,
                                       std::initializer_list<const char16_t*> attributes) {
  if (parentXPath != nullptr) SelectParent(parentXPath);
  Append(parentNode_, name, text, attributes);
}

void ViewModelDocument::AppendTextToRoot(const char16_t* name, const char16_t* text) {
  Append(RequireRoot(), name, text != nullptr ? text : u"", {});
}

void ViewModelDocument::Print(Utf16Text& out) const {
  const pugi::xml_node root = RequireRoot();
  const std::u16string_view elements(pending_.data() + kStartTagUnits,
                                     pending_.size() - kStartTagUnits);
  if (root.first_child()) {
    TextWriter writer(out);
    root.print(writer, "", kPrintFlags, pugi::encoding_utf16);
    out.Truncate(out.size() - kEndTag.size());
  } else {
    out.Append(std::u16string_view(pending_.data(), kStartTagUnits));
  }
  out.Append(elements);
  if (const std::u16string_view open = OpenName(); !open.empty()) {
    out.Append(u"</");
    out.Append(open);
    out.Append(u">");
  }
  out.Append(kEndTag);
}

std::string ViewModelDocument::GetRootXmlUtf8() const {
  const pugi::xml_node root = RequireRoot();
  Utf8Sink sink;
  root.print(sink, "", kPrintFlags, pugi::encoding_utf8);
  if (pendingElements_ == 0) return std::move(sink.text);
  const std::u16string_view elements(pending_.data() + kStartTagUnits,
                                     pending_.size() - kStartTagUnits);
  std::string& text = sink.text;
  text.resize(text.size() - kEndTag.size());
  // As many bytes as units when the text is ASCII, as it mostly is.
  text.reserve(text.size() + elements.size() + kEndTag.size());
  AppendUtf16AsUtf8(text, elements);
  if (const std::u16string_view open = OpenName(); !open.empty()) {
    text += "</";
    AppendUtf16AsUtf8(text, open);
    text += '>';
  }
  AppendUtf16AsUtf8(text, kEndTag);
  return std::move(text);
}

std::u16string ViewModelDocument::GetRootXml() const {
  Utf16Text text;
  Print(text);
  return std::u16string(text.data(), text.size());
}

void ViewModelDocument::SendToPanel() {
  const pugi::xml_node root = RequireRoot();
  // The empty model: nothing to tell the panel.
  if (!root.first_child() && pendingElements_ == 0) return;
  IPrismetWrapper& bridge = RequireBridge();
  if (fault::Fires(fault::Point::Push)) throw ComError(kE_FAIL, "the panel refused the document");
  Utf16Text xml;
  try {
    if (root.first_child()) {
      Print(xml);
    } else {
      // A load's elements are the text already: it goes to the panel as it is, without a copy.
      CloseLast();
      pending_.Extend(kEndTag.size());
      xml.Swap(pending_);
      xml.Append(kEndTag);
      xml.Terminated();
      xml.GiveBackRoom();
    }
  } catch (const std::bad_alloc&) {
    OutOfMemory("printing the document");
  }
  // Emptied before the panel's copies are made: nothing reads the document during the push, and
  // it would otherwise add to the peak.
  ResetDocument();
  bridge.ChangeRenderSetupViewModel(xml.Terminated());
}

pugi::xml_node ViewModelDocument::RequireRoot() const {
  if (!rootNode_) throw ComError(kE_POINTER, "no root element");
  return rootNode_;
}

bool ViewModelDocument::ParentIsPending() const noexcept {
  return parentEnd_ != kNone;
}

void ViewModelDocument::AppendText(std::u16string_view element, std::string_view content,
                                   const std::pair<const char*, const char*>* attributes,
                                   std::size_t count, bool underParent) {
  if (!Allocates()) OutOfMemory("creating an element");
  // A new child of the root follows the last element, whose children are complete then.
  if (!underParent) CloseLast();
  std::size_t bound = 2 * element.size() + 5 + kEscapedUnits * content.size();
  for (std::size_t i = 0; i < count; ++i) {
    const char* value = attributes[i].second != nullptr ? attributes[i].second : "";
    bound += std::strlen(attributes[i].first) + 4 + kEscapedUnits * std::strlen(value);
  }
  char16_t* out = nullptr;
  try {
    out = pending_.Extend(bound);
  } catch (const std::bad_alloc&) {
    OutOfMemory("creating an element");
  }
  // Nothing below can fail: the element enters whole.
  char16_t* const start = out;
  *out++ = u'<';
  const std::size_t nameUnits = element.size();
  std::memcpy(out, element.data(), nameUnits * sizeof(char16_t));
  out += nameUnits;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string_view attributeName = attributes[i].first;
    // A repeated name replaces the value in the place the name first had.
    bool repeated = false;
    for (std::size_t j = 0; j < i && !repeated; ++j)
      repeated = attributeName == attributes[j].first;
    if (repeated) continue;
    const char* value = attributes[i].second;
    for (std::size_t j = i + 1; j < count; ++j) {
      if (attributeName == attributes[j].first) value = attributes[j].second;
    }
    *out++ = u' ';
    out += Utf8ToUtf16Units(attributeName, out);
    *out++ = u'=';
    *out++ = u'"';
    out = WriteEscaped(out, value != nullptr ? value : "", true);
    *out++ = u'"';
  }
  *out++ = u'>';
  out = WriteEscaped(out, content, false);
  *out++ = u'<';
  *out++ = u'/';
  std::memcpy(out, start + 1, nameUnits * sizeof(char16_t));
  out += nameUnits;
  *out++ = u'>';
  const auto units = static_cast<std::size_t>(out - start);
  if (!underParent) {
    lastStart_ = pending_.size();
    lastNameUnits_ = nameUnits;
    pending_.Grow(units);
    ++pendingElements_;
    return;
  }
  if (parentEnd_ != pending_.size()) {
    // A parent that later elements of the root follow: the element goes before its end tag.
    std::u16string moved;
    try {
      moved.assign(start, units);
    } catch (const std::bad_alloc&) {
      OutOfMemory("creating an element");
    }
    // The room was made above: no allocation.
    pending_.Insert(parentEnd_, moved);
    // The last element, which follows the parent, moved with everything after it.
    lastStart_ += units;
  } else {
    pending_.Grow(units);
  }
  parentEnd_ += units;
}

void ViewModelDocument::Append(pugi::xml_node parent, const char16_t* name, const char16_t* text,
                               std::initializer_list<const char16_t*> attributes) {
  const bool pending = !parent && ParentIsPending();
  if (!parent && !pending) throw ComError(kE_POINTER, "no parent element");
  if (!pending && parent.type() != pugi::node_element) {
    throw ComError(kE_FAIL, "parent is not an element");
  }

  // Everything that can be refused is checked before the document changes.
  const std::string elementName = XmlName(name, "element");
  std::vector<std::pair<std::string, std::string>> pairs;
  const auto* strings = attributes.begin();
  for (std::size_t i = 0; i + 1 < attributes.size(); i += 2) {
    pairs.emplace_back(XmlName(strings[i], "attribute"), XmlText(strings[i + 1]));
  }
  const std::string content = XmlText(text);

  std::vector<std::pair<const char*, const char*>> views;
  views.reserve(pairs.size());
  for (const auto& [attributeName, value] : pairs)
    views.emplace_back(attributeName.c_str(), value.c_str());
  // The root's new children follow the pending ones.
  if (pending || parent == rootNode_) {
    AppendText(name, content, views.data(), views.size(), pending);
    return;
  }
  Attach(parent, elementName.c_str(), content.c_str(), views);
}

std::u16string_view ViewModelDocument::ChildName(std::string_view name) {
  // More children than a setup's properties are not remembered by place.
  constexpr std::size_t kPlaces = 256;
  const std::size_t place = std::min(childIndex_++, kPlaces);
  if (place < childNames_.size() && childNames_[place].utf8 == name)
    return childNames_[place].utf16;
  CheckName(name, "element");
  try {
    if (place >= childNames_.size()) childNames_.resize(place + 1);
    KnownName& known = childNames_[place];
    known.utf8 = name;
    known.utf16 = Utf8ToUtf16(name);
    return known.utf16;
  } catch (const std::bad_alloc&) {
    OutOfMemory("naming an element");
  }
}

std::u16string_view ViewModelDocument::RootName(std::string_view name) {
  for (const KnownName& known : rootNames_) {
    if (known.utf8 == name) return known.utf16;
  }
  CheckName(name, "element");
  try {
    // Writers use a handful; a stream of others would only pass through.
    if (rootNames_.size() >= 8) rootNames_.erase(rootNames_.begin());
    rootNames_.push_back({std::string(name), Utf8ToUtf16(name)});
    return rootNames_.back().utf16;
  } catch (const std::bad_alloc&) {
    OutOfMemory("naming an element");
  }
}

void ViewModelDocument::AppendToRootUtf8(const char* name, const char* text,
                                         AttributeList attributes) {
  RequireRoot();
  if (name == nullptr) throw ComError(kE_POINTER, "null element name");
  const std::u16string_view element = RootName(name);
  for (const auto& attribute : attributes) CheckName(attribute.first, "attribute");
  AppendText(element, text != nullptr ? text : "", attributes.begin(), attributes.size(), false);
}

void ViewModelDocument::AppendToParentUtf8(std::string_view name, std::string_view text) {
  const bool pending = ParentIsPending();
  if (!parentNode_ && !pending) throw ComError(kE_POINTER, "no parent element");
  if (pending || parentNode_ == rootNode_) {
    AppendText(ChildName(name), text, nullptr, 0, pending);
    return;
  }
  CheckName(name, "element");
  // The tree takes zero-terminated texts.
  const std::string content(text);
  Attach(parentNode_, std::string(name).c_str(), content.c_str(), AttributeList{});
}

void SetDocumentFactory(DocumentFactory factory) {
  Factory() = std::move(factory);
}

void SetBridgeProvider(BridgeProvider provider) {
  Provider() = std::move(provider);
}

IPrismetWrapper& RequireBridge() {
  const BridgeProvider& provider = Provider();
  IPrismetWrapper* bridge = provider ? provider() : GetIPrismetWrapper();
  if (fault::Fires(fault::Point::Bridge)) bridge = nullptr;
  if (bridge == nullptr) throw ComError(kE_POINTER, "no bridge to the panel");
  return *bridge;
}

void CreateViewModelDocument() {
  DestroyViewModelDocument();
  const DocumentFactory& factory = Factory();
  std::unique_ptr<pugi::xml_document> document;
  if (!fault::Fires(fault::Point::DocumentCreation)) {
    document = factory ? factory(kDocumentProgId) : MakeDocument(kDocumentProgId);
  }
  ModuleDocument() = std::make_unique<ViewModelDocument>(std::move(document));
}

void DestroyViewModelDocument() noexcept {
  ModuleDocument().reset();
}

ViewModelDocument* GetViewModelDocument() noexcept {
  return ModuleDocument().get();
}

}  // namespace ornr
