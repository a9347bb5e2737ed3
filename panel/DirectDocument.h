// A view-model document in the form the module writes it, read straight from its UTF-16 text
// without a copy in UTF-8 or a tree of it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Teskor::RenderSetup::ViewModel {

/// A child element of the root; texts and attribute values as written, references not yet
/// replaced (Unescape does that).
struct DirectElement {
  using Pair = std::pair<std::u16string_view, std::u16string_view>;
  std::u16string_view name;
  std::u16string_view text;
  std::vector<Pair> attributes;
  /// Each child element's name (ASCII) and text.
  std::vector<Pair> children;
  /// The code units of the children's texts with their references replaced.
  std::size_t childTextUnits = 0;
  /// Whether any child's text holds a reference.
  bool childReferences = false;
  /// ReadDirect reads none of the text before this point once the element is taken.
  const char16_t* readFrom = nullptr;
  /// The first attribute of that name, or nullptr.
  const std::u16string_view* Attribute(std::u16string_view attributeName) const noexcept;
};

/// Calls take with each child element of the root, in order, when the text is a document the
/// full parser reads the same way and in the module's form: the root "RenderSetupViewModel"
/// without attributes; elements of ASCII names with double-quoted attributes, at most two levels
/// under the root, a text before any child; references of the five entities and character
/// references; no comment, declaration, CDATA section, carriage return or other control, nothing
/// around the root. False, without a call, for any other text: it is for the full parser.
/// counted, when given, learns the number of the root's children before the first call of take.
bool ReadDirect(std::u16string_view xml, const std::function<void(const DirectElement&)>& take,
                const std::function<void(std::size_t elements)>& counted = nullptr);

/// ReadDirect in one pass: take is called with each element as soon as it was read, so a false
/// result may come after some calls, and the caller undoes what it took. estimated, when given,
/// learns about how many children the root has, once, before take is called with the second
/// element that has children.
bool ReadDirectTaking(std::u16string_view xml,
                      const std::function<void(const DirectElement&)>& take,
                      const std::function<void(std::size_t elements)>& estimated = nullptr);

/// Appends text with its references replaced (ReadDirect let only valid ones through).
void AppendUnescaped(std::u16string& out, std::u16string_view text);

}  // namespace Teskor::RenderSetup::ViewModel
