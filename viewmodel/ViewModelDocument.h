// The module's one XML view-model document: what the panel learns about setups.
#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "viewmodel/ComError.h"

namespace ornr {

inline constexpr char16_t kEmptyViewModel[] = u"<RenderSetupViewModel></RenderSetupViewModel>";

/// All operations raise ComError on failure; elements appended before a failure stay.
class ViewModelDocument {
 public:
  /// Made by CreateViewModelDocument; document is null when the factory gave none.
  explicit ViewModelDocument(std::unique_ptr<pugi::xml_document> document);

  /// Back to the empty model; the current parent is kept.
  void ResetDocument();
  /// The current parent becomes the first node the expression finds, or null.
  void SelectParent(const char16_t* xpath);
  /// The current parent becomes the element most recently appended to the root.
  void SelectLastRootChild();
  /// attributes: names and values alternating; a last name without a value is dropped, a null
  /// value gives the empty text. A null text gives the empty text.
  void AppendToRoot(const char16_t* name, const char16_t* text,
                    std::initializer_list<const char16_t*> attributes = {});
  /// Selects parentXPath first when it is not null; sets the text only when one is given.
  void AppendToParent(const char16_t* parentXPath, const char16_t* name, const char16_t* text,
                      std::initializer_list<const char16_t*> attributes = {});
  void AppendTextToRoot(const char16_t* name, const char16_t* text);
  /// The root element and everything under it, compact, without declaration, an empty element
  /// in the long form.
  std::u16string GetRootXml() const;
  /// Hands the root's XML to the panel through the bridge and resets the document, unless the
  /// document is the empty model.
  void SendToPanel();

 private:
  std::unique_ptr<pugi::xml_document> document_;
  pugi::xml_node rootNode_;
  pugi::xml_node parentNode_;
  pugi::xml_node lastRootChild_;
};

/// Makes the documents: called with "Msxml2.DOMDocument.6.0"; a factory that returns null makes
/// creation fail with E_POINTER.
using DocumentFactory = std::function<std::unique_ptr<pugi::xml_document>(std::string_view progId)>;
/// Replaces the factory; an empty one restores the default.
void SetDocumentFactory(DocumentFactory factory);

/// Destroys the module's document, then makes a new one. On failure none exists afterwards.
void CreateViewModelDocument();
void DestroyViewModelDocument() noexcept;
/// The module's document, or null.
ViewModelDocument* GetViewModelDocument() noexcept;

}  // namespace ornr
