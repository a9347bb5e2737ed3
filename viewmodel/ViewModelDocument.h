// The module's one XML view-model document: what the panel learns about setups.
#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "viewmodel/ComError.h"

class IPrismetWrapper;

namespace ornr {

inline constexpr char16_t kEmptyViewModel[] = u"<RenderSetupViewModel></RenderSetupViewModel>";
/// The name under which the document factory is asked for a document.
inline constexpr char kDocumentProgId[] = "Msxml2.DOMDocument.6.0";

/// UTF-16 text; a large one has pages of its own and grows by remapping them, so it is neither
/// copied nor touched a second time on its way to the panel.
class Utf16Text {
 public:
  Utf16Text() = default;
  Utf16Text(const Utf16Text&) = delete;
  Utf16Text& operator=(const Utf16Text&) = delete;
  ~Utf16Text();
  std::size_t size() const noexcept { return size_; }
  const char16_t* data() const noexcept { return data_; }
  /// Room for units more and a terminator; raises std::bad_alloc.
  char16_t* Extend(std::size_t units);
  /// Marks units written at Extend's pointer as part of the text.
  void Grow(std::size_t units) noexcept { size_ += units; }
  void Append(std::u16string_view text);
  void Truncate(std::size_t units) noexcept { size_ = units; }
  /// Puts units at position at, moving what follows after them; raises std::bad_alloc.
  void Insert(std::size_t at, std::u16string_view units);
  const char16_t* Terminated();
  /// Gives the pages past the text and its terminator back to the system, so that a text built
  /// on huge pages holds no more memory than it needs; the room stays and is touched again only
  /// when the text grows into it.
  void GiveBackRoom() noexcept;
  void Swap(Utf16Text& other) noexcept;

 private:
  char16_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  bool mapped_ = false;  // pages of its own rather than a block of the heap
};

/// All operations raise ComError on failure; elements appended before a failure stay.
///
/// Elements appended to the root are kept as the text the tree would print for them, after the
/// tree's own children, and parsed into the tree only when an operation needs the tree (an XPath
/// selection): a load's thousands of setups never become nodes on their way to the panel.
class ViewModelDocument {
 public:
  /// Made by CreateViewModelDocument; starts as the empty model. A null document (the factory
  /// gave none) raises E_POINTER.
  explicit ViewModelDocument(std::unique_ptr<pugi::xml_document> document);
  ~ViewModelDocument();
  ViewModelDocument(const ViewModelDocument&) = delete;
  ViewModelDocument& operator=(const ViewModelDocument&) = delete;

  /// Back to the empty model. The current parent becomes null: the element it named is gone, so
  /// an AppendToParent without a new selection fails with E_POINTER.
  void ResetDocument();
  /// The current parent becomes the first node, in document order, that the XPath 1.0 expression
  /// finds, or null. An expression that does not parse, or yields no node set, raises
  /// kE_XPATH_SYNTAX; a null expression is an empty one.
  void SelectParent(const char16_t* xpath);
  /// The current parent becomes the root's last child element, or null when it has none.
  void SelectLastRootChild();
  /// True while appended elements wait as text (for tests).
  bool HoldsText() const noexcept { return pending_.size() > kStartTagUnits; }
  /// attributes: names and values alternating; a last name without a value is dropped, a null
  /// value gives the empty text, a repeated name replaces the earlier value. A null text gives
  /// the empty text. A null element or attribute name raises E_POINTER, one that is not an XML
  /// name kE_FAIL; the element enters the tree complete or not at all.
  void AppendToRoot(const char16_t* name, const char16_t* text,
                    std::initializer_list<const char16_t*> attributes = {});
  /// Selects parentXPath first when it is not null; sets the text only when one is given. No
  /// current parent raises E_POINTER; a parent that is not an element kE_FAIL.
  void AppendToParent(const char16_t* parentXPath, const char16_t* name, const char16_t* text,
                      std::initializer_list<const char16_t*> attributes = {});
  /// A null text gives the empty text.
  void AppendTextToRoot(const char16_t* name, const char16_t* text);
  /// As AppendToRoot for writers that hold UTF-8 already: the texts and values must be fit for
  /// XML (as XmlText makes them); a null or empty text gives no text.
  void AppendToRootUtf8(const char* name, const char* text,
                        std::initializer_list<std::pair<const char*, const char*>> attributes = {});
  /// As AppendToParent without a parent XPath, for writers that hold UTF-8 already; an empty
  /// text gives no text.
  void AppendToParentUtf8(std::string_view name, std::string_view text);
  /// The root element and everything under it, compact, without declaration, an empty element
  /// in the long form. Always well-formed XML 1.0: a character of a text or attribute value that
  /// XML 1.0 cannot carry (a control other than tab, LF and CR, U+FFFE, U+FFFF, an unpaired
  /// surrogate) was written as U+FFFD.
  std::u16string GetRootXml() const;
  /// GetRootXml in UTF-8, the form the document keeps.
  std::string GetRootXmlUtf8() const;
  /// Hands the root's XML to the panel through the bridge and resets the document, unless the
  /// document is the empty model. Without a bridge it raises E_POINTER and keeps the content.
  void SendToPanel();

 private:
  pugi::xml_node RequireRoot() const;
  void Append(pugi::xml_node parent, const char16_t* name, const char16_t* text,
              std::initializer_list<const char16_t*> attributes);

  static constexpr std::size_t kStartTagUnits = 22;  // "<RenderSetupViewModel>"
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  /// Appends a complete element after the pending ones (under the root when underParent is
  /// false, else into the pending element whose end tag starts at parentEnd_), or changes nothing.
  /// name: checked, in UTF-16.
  void AppendText(std::u16string_view name, std::string_view text,
                  const std::pair<const char*, const char*>* attributes, std::size_t count,
                  bool underParent);
  /// name checked (raising as CheckName does) and in UTF-16. Setups write the same properties in
  /// the same order, so the name of the child at a place is mostly the one there before, and a
  /// name met before is neither checked nor converted again.
  std::u16string_view ChildName(std::string_view name);
  std::u16string_view RootName(std::string_view name);
  /// True when an element appended under the current parent goes to the pending text.
  bool ParentIsPending() const noexcept;
  /// Writes the end tag of the last pending element if its children were being appended.
  void CloseLast();
  /// The name of the last pending element while its end tag is left off, else nothing.
  std::u16string_view OpenName() const noexcept;
  /// Parses the pending elements into the tree; a pending current parent becomes its node.
  void Materialize();
  /// The root's text (tree and pending elements) in UTF-16.
  void Print(Utf16Text& out) const;

  std::unique_ptr<pugi::xml_document> document_;
  pugi::xml_node rootNode_;
  pugi::xml_node parentNode_;
  // The root's start tag, then the pending elements as printed; while the last one is the
  // current parent its end tag is left off, so that its children are appended, never inserted.
  Utf16Text pending_;
  std::size_t pendingElements_ = 0;
  std::size_t lastStart_ = 0;      // where the last pending element's start tag begins
  std::size_t lastNameUnits_ = 0;  // and the length of its name
  bool lastOpen_ = false;          // its end tag is left off
  // The current parent when it is a pending element: where its end tag starts, its position.
  std::size_t parentEnd_ = kNone;
  std::size_t parentIndex_ = 0;
  struct KnownName {
    std::string utf8;
    std::u16string utf16;
  };
  // Element names met before: of the current parent's children by place, and of the root's.
  std::vector<KnownName> childNames_;
  std::size_t childIndex_ = 0;
  std::vector<KnownName> rootNames_;
};

/// text in UTF-8, each character that XML 1.0 cannot carry (a control other than tab, LF and CR,
/// U+FFFE, U+FFFF, an unpaired surrogate) replaced by U+FFFD. A null text gives the empty text.
std::string XmlText(const char16_t* text);

/// Makes the documents: called with "Msxml2.DOMDocument.6.0"; a factory that returns null makes
/// creation fail with E_POINTER.
using DocumentFactory = std::function<std::unique_ptr<pugi::xml_document>(std::string_view progId)>;
/// Replaces the factory; an empty one restores the default.
void SetDocumentFactory(DocumentFactory factory);

/// Where SendToPanel finds the bridge: GetIPrismetWrapper unless replaced.
using BridgeProvider = std::function<IPrismetWrapper*()>;
/// Replaces the provider; an empty one restores GetIPrismetWrapper.
void SetBridgeProvider(BridgeProvider provider);

/// The bridge from the provider; raises E_POINTER when there is none.
IPrismetWrapper& RequireBridge();

/// Destroys the module's document, then makes a new one. On failure none exists afterwards.
void CreateViewModelDocument();
void DestroyViewModelDocument() noexcept;
/// The module's document, or null.
ViewModelDocument* GetViewModelDocument() noexcept;

}  // namespace ornr
