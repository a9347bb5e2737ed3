#include "viewmodel/ViewModelDocument.h"

#include <algorithm>
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

constexpr std::size_t kEmptyViewModelLength = std::size(kEmptyViewModel) - 1;

std::string ToUtf8(const char16_t* text) {
  return text == nullptr ? std::string() : Utf16ToUtf8(std::u16string_view(text));
}

bool IsXmlChar(char16_t c) {
  return (c >= 0x20 && c < 0xD800) || c == u'\t' || c == u'\n' || c == u'\r' ||
         (c >= 0xE000 && c <= 0xFFFD);
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
    const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < view.size() && view[i + 1] >= 0xDC00 &&
                      view[i + 1] <= 0xDFFF;
    if (pair) {
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

bool IsNameStart(char16_t c) {
  // Beyond ASCII every letter-like unit is accepted; the names we write are ASCII anyway.
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_' || c == u':' ||
         c >= 0xC0;
}

bool IsNameChar(char16_t c) {
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

// The writers' names are ASCII; anything else takes the full check.
void CheckName(const char* name, const char* what) {
  if (name == nullptr) throw ComError(kE_POINTER, std::string("null ") + what + " name");
  const std::string_view view(name);
  bool ascii = true;
  for (const char c : view) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (!ascii) {
    XmlName(Utf8ToUtf16(view).c_str(), what);
    return;
  }
  bool valid = !view.empty() && IsNameStart(static_cast<char16_t>(view.front()));
  for (const char c : view) valid = valid && IsNameChar(static_cast<char16_t>(c));
  if (!valid) throw ComError(kE_FAIL, std::string("not an XML ") + what + " name: " + name);
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

// The text in UTF-16 as it is printed, grown with realloc: a large block grows by remapping, so
// the text is neither copied nor touched a second time on its way to the panel.
class Utf16Sink : public pugi::xml_writer {
 public:
  Utf16Sink() = default;
  Utf16Sink(const Utf16Sink&) = delete;
  Utf16Sink& operator=(const Utf16Sink&) = delete;
  ~Utf16Sink() override { std::free(data_); }

  void write(const void* data, std::size_t size) override {
    Reserve(bytes_ + size);
    std::memcpy(data_ + bytes_, data, size);
    bytes_ += size;
  }
  std::size_t size() const noexcept { return bytes_ / sizeof(char16_t); }
  const char16_t* c_str() {
    Reserve(bytes_);
    std::memset(data_ + bytes_, 0, sizeof(char16_t));
    return reinterpret_cast<const char16_t*>(data_);
  }

 private:
  // Room for bytes and a terminator.
  void Reserve(std::size_t bytes) {
    const std::size_t needed = bytes + sizeof(char16_t);
    if (needed <= capacity_) return;
    const std::size_t capacity = std::max({needed, 2 * capacity_, std::size_t{4096}});
    void* grown = std::realloc(data_, capacity);
    if (grown == nullptr) throw std::bad_alloc();
    data_ = static_cast<char*>(grown);
    capacity_ = capacity;
  }

  char* data_ = nullptr;
  std::size_t bytes_ = 0;
  std::size_t capacity_ = 0;
};

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

ViewModelDocument::ViewModelDocument(std::unique_ptr<pugi::xml_document> document)
    : document_(std::move(document)) {
  ResetDocument();
}

void ViewModelDocument::ResetDocument() {
  if (!document_) throw ComError(kE_POINTER, "no view-model document");
  // Every node of the old content is freed; a parent kept across would dangle.
  parentNode_ = pugi::xml_node();
  rootNode_ = pugi::xml_node();
  const std::string empty = Utf16ToUtf8(kEmptyViewModel);
  if (!Allocates() || !document_->load_buffer(empty.data(), empty.size())) {
    OutOfMemory("loading the empty model");
  }
  rootNode_ = document_->document_element();
  if (!rootNode_) OutOfMemory("loading the empty model");
}

void ViewModelDocument::SelectParent(const char16_t* xpath) {
  if (!document_) throw ComError(kE_POINTER, "no view-model document");
  // A failed selection selects nothing rather than leaving the previous parent in place.
  parentNode_ = pugi::xml_node();
  const std::string expression = ToUtf8(xpath);
  try {
    const pugi::xpath_query query(expression.c_str());
    parentNode_ = document_->select_node(query).node();
  } catch (const pugi::xpath_exception& error) {
    throw ComError(kE_XPATH_SYNTAX, "XPath \"" + expression + "\": " + error.what());
  }
}

void ViewModelDocument::SelectLastRootChild() {
  parentNode_ = RequireRoot().last_child();
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

std::string ViewModelDocument::GetRootXmlUtf8() const {
  Utf8Sink sink;
  RequireRoot().print(sink, "", kPrintFlags, pugi::encoding_utf8);
  return std::move(sink.text);
}

std::u16string ViewModelDocument::GetRootXml() const {
  Utf16Sink sink;
  RequireRoot().print(sink, "", kPrintFlags, pugi::encoding_utf16);
  return std::u16string(sink.c_str(), sink.size());
}

void ViewModelDocument::SendToPanel() {
  // Kept in UTF-8 until here and printed once, straight into UTF-16.
  Utf16Sink xml;
  RequireRoot().print(xml, "", kPrintFlags, pugi::encoding_utf16);
  // The empty model in its long form: nothing to tell the panel.
  if (xml.size() == kEmptyViewModelLength) return;
  IPrismetWrapper& bridge = RequireBridge();
  if (fault::Fires(fault::Point::Push)) throw ComError(kE_FAIL, "the panel refused the document");
  // Emptied before the panel's copies are made: nothing reads the document during the push, and
  // its tree would otherwise add to the peak.
  ResetDocument();
  bridge.ChangeRenderSetupViewModel(xml.c_str());
}

pugi::xml_node ViewModelDocument::RequireRoot() const {
  if (!rootNode_) throw ComError(kE_POINTER, "no root element");
  return rootNode_;
}

void ViewModelDocument::Append(pugi::xml_node parent, const char16_t* name, const char16_t* text,
                               std::initializer_list<const char16_t*> attributes) {
  if (!parent) throw ComError(kE_POINTER, "no parent element");
  if (parent.type() != pugi::node_element) throw ComError(kE_FAIL, "parent is not an element");

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
  Attach(parent, elementName.c_str(), content.c_str(), views);
}

void ViewModelDocument::AppendToRootUtf8(const char* name, const char* text,
                                         AttributeList attributes) {
  const pugi::xml_node root = RequireRoot();
  CheckName(name, "element");
  for (const auto& attribute : attributes) CheckName(attribute.first, "attribute");
  Attach(root, name, text, attributes);
}

void ViewModelDocument::AppendToParentUtf8(const char* name, const char* text) {
  if (!parentNode_) throw ComError(kE_POINTER, "no parent element");
  CheckName(name, "element");
  Attach(parentNode_, name, text, AttributeList{});
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
