#include "panel/Panel.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <utility>

#include <pugixml.hpp>

#include "panel/DirectDocument.h"
#include "panel/PropertyTexts.h"
#include "support/Utf.h"

namespace Teskor::RenderSetup::ViewModel {

namespace {

bool NameIs(const pugi::xml_node& node, const char* name) {
  return std::strcmp(node.name(), name) == 0;
}

std::u16string TextOf(const pugi::xml_node& node) {
  return ornr::Utf8ToUtf16(node.text().get());
}

void Record(const pugi::xml_node& element, std::vector<TakenElement>& taken) {
  TakenElement& out = taken.emplace_back();
  out.element = element.name();
  if (NameIs(element, "CurrentRenderSetup")) {
    out.kind = TakenElement::Kind::CurrentSetup;
    out.name = element.text().get();
    return;
  }
  const bool master = NameIs(element, "SetupsFromMasterFile");
  if (!master && !NameIs(element, "SetupsFromZelLib")) return;
  out.kind = master ? TakenElement::Kind::MasterSetup : TakenElement::Kind::LibrarySetup;
  out.name = element.attribute("Name").value();
  out.newText = element.attribute("New").value();
  out.newBornText = element.attribute("NewBorn").value();
  out.storeIn = element.attribute("StoreIn").value();
  for (const pugi::xml_node& child : element.children()) {
    if (child.type() == pugi::node_element) ++out.properties;
  }
}

// text in UTF-8 with its references replaced, appended to out.
void AppendUtf8Of(std::string& out, std::u16string_view text) {
  if (text.find(u'&') == std::u16string_view::npos) {
    ornr::AppendUtf16AsUtf8(out, text);
    return;
  }
  std::u16string plain;
  AppendUnescaped(plain, text);
  ornr::AppendUtf16AsUtf8(out, plain);
}

// Record for an element read straight from the text.
void Record(const DirectElement& element, std::vector<TakenElement>& taken) {
  TakenElement& out = taken.emplace_back();
  // Written straight into the element's strings: a load records thousands.
  ornr::AppendUtf16AsUtf8(out.element, element.name);
  if (element.name == u"CurrentRenderSetup") {
    out.kind = TakenElement::Kind::CurrentSetup;
    AppendUtf8Of(out.name, element.text);
    return;
  }
  const bool master = element.name == u"SetupsFromMasterFile";
  if (!master && element.name != u"SetupsFromZelLib") return;
  out.kind = master ? TakenElement::Kind::MasterSetup : TakenElement::Kind::LibrarySetup;
  const auto attribute = [&element](std::string& to, std::u16string_view name) {
    if (const std::u16string_view* value = element.Attribute(name)) AppendUtf8Of(to, *value);
  };
  attribute(out.name, u"Name");
  attribute(out.newText, u"New");
  attribute(out.newBornText, u"NewBorn");
  attribute(out.storeIn, u"StoreIn");
  out.properties = element.children.size();
}

}  // namespace

RenderSetup* RenderSetupViewModel::GetSetupFromCurrentZel(const String& name) {
  if (!name) return nullptr;
  const auto found = masterByName_.find(*name);
  return found == masterByName_.end() ? nullptr : found->second;
}

RenderSetup* RenderSetupViewModel::GetSetupFromZelLib(const String& name) {
  if (!name) return nullptr;
  const auto found = libraryByName_.find(*name);
  return found == libraryByName_.end() ? nullptr : found->second.front();
}

RenderSetup* RenderSetupViewModel::GetLibrarySetup(std::u16string_view listedIn,
                                                   const std::u16string& name) {
  const auto found = libraryByName_.find(name);
  if (found == libraryByName_.end()) return nullptr;
  for (RenderSetup* setup : found->second) {
    if (setup->ListedIn == listedIn) return setup;
  }
  return nullptr;
}

std::size_t RenderSetupViewModel::AddOnRenderSetupChanged(PropertyChangedEventHandler handler) {
  // Ids are never reused, not even by a reset panel: a stale id must not end someone else's.
  static std::size_t nextSubscription = 1;
  const std::size_t id = nextSubscription++;
  handlers_.emplace_back(id, std::move(handler));
  return id;
}

void RenderSetupViewModel::RemoveOnRenderSetupChanged(std::size_t id) {
  std::erase_if(handlers_, [id](const auto& subscription) { return subscription.first == id; });
}

void RenderSetupViewModel::RaiseRenderSetupChanged(RenderSetup& sender,
                                                   const PropertyChangedEventArgs& e) {
  // A handler may subscribe again while the event runs; the new subscription counts from the
  // next event on.
  const auto handlers = handlers_;
  for (const auto& [id, handler] : handlers) {
    if (handler) handler(sender, e);
  }
}

EditResult RenderSetupViewModel::EditProperty(Group group, const std::u16string& setupName,
                                              std::string_view property, std::u16string text) {
  RenderSetup* setup = group == Group::MasterFile ? GetSetupFromCurrentZel(setupName)
                                                  : GetSetupFromZelLib(setupName);
  if (setup == nullptr) {
    return {false, "the panel shows no " +
                       std::string(group == Group::MasterFile ? "master-file" : "library") +
                       " setup \"" + ornr::Utf16ToUtf8(setupName) + "\""};
  }
  if (std::optional<std::string> refusal = RefusalOfText(property, text)) {
    return {false, std::move(*refusal)};
  }
  setup->SetPropertyText(property, std::move(text));
  RaiseRenderSetupChanged(*setup, PropertyChangedEventArgs{ornr::Utf8ToUtf16(property)});
  Notify(ModelChange::Kind::Edited, setup);
  return {true, {}};
}

void RenderSetupViewModel::TakeElement(const DirectElement& element, RenderSetup*& lastTaken,
                                       std::u16string& scratch) {
  const auto unescaped = [&scratch](std::u16string_view text) -> std::u16string_view {
    if (text.find(u'&') == std::u16string_view::npos) return text;
    scratch.clear();
    AppendUnescaped(scratch, text);
    return scratch;
  };
  if (element.name == u"CurrentRenderSetup") {
    const std::u16string name(unescaped(element.text));
    if (lastTaken != nullptr && lastTaken->Name() == name) {
      SetCurrent(lastTaken);
    } else {
      SetCurrentSetup(name);
    }
    return;
  }
  const bool master = element.name == u"SetupsFromMasterFile";
  if (!master && element.name != u"SetupsFromZelLib") return;
  const std::u16string_view* name = element.Attribute(u"Name");
  if (name == nullptr) return;
  std::optional<std::u16string> storeIn;
  if (const std::u16string_view* text = element.Attribute(u"StoreIn")) {
    storeIn.emplace(unescaped(*text));
  }
  bool added = false;
  RenderSetup& setup =
      Place(master ? Group::MasterFile : Group::Library, std::u16string(unescaped(*name)),
            storeIn ? &*storeIn : nullptr, added);
  if (const std::u16string_view* isNew = element.Attribute(u"New")) {
    setup.New = unescaped(*isNew) == u"true";
  }
  if (const std::u16string_view* newBorn = element.Attribute(u"NewBorn")) {
    setup.NewBorn = unescaped(*newBorn) == u"true";
  }
  if (storeIn) setup.StoreIn = std::move(*storeIn);
  PropertySupport::Builder properties(element.children.size(), element.childTextUnits);
  // ReadDirect lets only ASCII names through.
  for (const auto& [childName, text] : element.children) {
    properties.AddAsciiNamed(childName, element.childReferences ? unescaped(text) : text);
  }
  properties.ReplaceIn(setup);
  lastTaken = &setup;
  Notify(added ? ModelChange::Kind::Added : ModelChange::Kind::Updated, &setup);
}

bool RenderSetupViewModel::TakeDocument(std::u16string_view xml, std::vector<TakenElement>* taken) {
  return Take(xml, taken, nullptr);
}

namespace {

// Gives the pages of text before readUpTo back to the system, a quarter of a megabyte or more at a
// time, so that the setups built meanwhile do not add to the load's peak: their content reads as
// zeros from then on.
class TextRelease {
 public:
  explicit TextRelease(std::u16string& text)
      : page_(static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE))),
        released_(reinterpret_cast<std::uintptr_t>(text.data())) {}

  void UpTo(const char16_t* readUpTo) {
    const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(readUpTo) & ~(page_ - 1);
    if (end < released_ + kStep) return;
    // Whole pages inside the text only: the first one starts at or after the text.
    const std::uintptr_t start = (released_ + page_ - 1) & ~(page_ - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_DONTNEED);
    released_ = end;
  }

 private:
  static constexpr std::uintptr_t kStep = std::uintptr_t{1} << 18;
  std::uintptr_t page_;
  std::uintptr_t released_;
};

}  // namespace

bool RenderSetupViewModel::TakeOwnedDocument(std::u16string&& xml,
                                             std::vector<TakenElement>* taken) {
  TextRelease release(xml);
  const std::function<void(const char16_t*)> released = [&release](const char16_t* readUpTo) {
    release.UpTo(readUpTo);
  };
  if (!Take(xml, taken, &released)) return false;
  std::u16string().swap(xml);
  return true;
}

bool RenderSetupViewModel::TakeInOnePass(std::u16string_view xml,
                                         std::vector<TakenElement>* taken) {
  const std::size_t takenBefore = taken != nullptr ? taken->size() : 0;
  const std::u16string storeInBefore = masterStoreIn_;
  RenderSetup* lastTaken = nullptr;
  std::u16string scratch;
  const auto estimated = [&](std::size_t elements) {
    master_.reserve(elements);
    masterByName_.reserve(elements);
    if (taken != nullptr) taken->reserve(takenBefore + elements);
  };
  if (ReadDirectTaking(
          xml,
          [&](const DirectElement& element) {
            if (taken != nullptr) Record(element, *taken);
            TakeElement(element, lastTaken, scratch);
          },
          estimated)) {
    return true;
  }
  current_ = nullptr;
  master_.clear();
  library_.clear();
  masterByName_.clear();
  libraryByName_.clear();
  masterStoreIn_ = storeInBefore;
  if (taken != nullptr) taken->resize(takenBefore);
  return false;
}

bool RenderSetupViewModel::Take(std::u16string_view xml, std::vector<TakenElement>* taken,
                                const std::function<void(const char16_t*)>* release) {
  cleared_ = Cleared{};
  // A document in the module's own form is read straight from its text: no copy in UTF-8 and no
  // tree of it next to the model being built. Into a panel that holds setups, ReadDirect checks
  // it whole before the first element is taken.
  if (release == nullptr && master_.empty() && library_.empty() && current_ == nullptr &&
      !observer_) {
    // An empty panel that nobody watches (a load's) takes as it reads, in one pass: if the text
    // turns out to be in another form, the panel goes back to empty as if nothing was taken.
    if (TakeInOnePass(xml, taken)) return true;
  } else {
    RenderSetup* lastTaken = nullptr;
    std::u16string scratch;
    // Room for every element as a new master-file setup: a large first document then grows
    // neither the list nor the table of names step by step.
    const auto counted = [&](std::size_t elements) {
      master_.reserve(master_.size() + elements);
      masterByName_.reserve(masterByName_.size() + elements);
      if (taken != nullptr) taken->reserve(taken->size() + elements);
    };
    if (ReadDirect(
            xml,
            [&](const DirectElement& element) {
              if (release != nullptr) (*release)(element.readFrom);
              if (taken != nullptr) Record(element, *taken);
              TakeElement(element, lastTaken, scratch);
            },
            counted)) {
      return true;
    }
  }
  std::string utf8 = ornr::Utf16ToUtf8(xml);
  pugi::xml_document document;
  // Whitespace-only text is kept where it is an element's only content: a setup may be named " ".
  // A text kept in its element rather than in a node of its own halves the nodes.
  const pugi::xml_parse_result parsed = document.load_buffer_inplace(
      utf8.data(), utf8.size(),
      pugi::parse_default | pugi::parse_ws_pcdata_single | pugi::parse_embed_pcdata,
      pugi::encoding_utf8);
  if (!parsed) return false;
  const pugi::xml_node root = document.document_element();
  if (!NameIs(root, "RenderSetupViewModel")) return false;

  // "CurrentRenderSetup" follows the setup element it selects, which may be a library setup
  // whose name a master-file setup also has.
  RenderSetup* lastTaken = nullptr;
  for (const pugi::xml_node& element : root.children()) {
    if (element.type() != pugi::node_element) continue;
    if (taken != nullptr) Record(element, *taken);
    if (NameIs(element, "CurrentRenderSetup")) {
      const std::u16string name = TextOf(element);
      if (lastTaken != nullptr && lastTaken->Name() == name) {
        SetCurrent(lastTaken);
      } else {
        SetCurrentSetup(name);
      }
      continue;
    }
    const bool master = NameIs(element, "SetupsFromMasterFile");
    if (!master && !NameIs(element, "SetupsFromZelLib")) continue;
    const pugi::xml_attribute name = element.attribute("Name");
    if (!name) continue;

    std::optional<std::u16string> storeIn;
    if (const pugi::xml_attribute text = element.attribute("StoreIn")) {
      storeIn = ornr::Utf8ToUtf16(text.value());
    }
    bool added = false;
    RenderSetup& setup =
        Place(master ? Group::MasterFile : Group::Library, ornr::Utf8ToUtf16(name.value()),
              storeIn ? &*storeIn : nullptr, added);
    if (const pugi::xml_attribute isNew = element.attribute("New")) {
      setup.New = std::strcmp(isNew.value(), "true") == 0;
    }
    if (const pugi::xml_attribute newBorn = element.attribute("NewBorn")) {
      setup.NewBorn = std::strcmp(newBorn.value(), "true") == 0;
    }
    if (storeIn) setup.StoreIn = std::move(*storeIn);
    // Sized first, so that the texts and entries are allocated once.
    std::size_t count = 0;
    std::size_t textBytes = 0;
    for (const pugi::xml_node& property : element.children()) {
      if (property.type() != pugi::node_element) continue;
      ++count;
      textBytes += std::strlen(property.text().get());
    }
    PropertySupport::Builder properties(count, textBytes);
    for (const pugi::xml_node& property : element.children()) {
      if (property.type() == pugi::node_element)
        properties.Add(property.name(), property.text().get());
    }
    properties.ReplaceIn(setup);
    lastTaken = &setup;
    Notify(added ? ModelChange::Kind::Added : ModelChange::Kind::Updated, &setup);
  }
  return true;
}

void RenderSetupViewModel::SetCurrentSetup(const String& name) {
  RenderSetup* setup = GetSetupFromCurrentZel(name);
  if (setup == nullptr) setup = GetSetupFromZelLib(name);
  if (setup != nullptr) SetCurrent(setup);
}

bool RenderSetupViewModel::Select(Group group, const std::u16string& name) {
  RenderSetup* setup =
      group == Group::MasterFile ? GetSetupFromCurrentZel(name) : GetSetupFromZelLib(name);
  if (setup == nullptr) return false;
  SetCurrent(setup);
  return true;
}

bool RenderSetupViewModel::SelectLibrarySetup(std::u16string_view listedIn,
                                              const std::u16string& name) {
  RenderSetup* setup = GetLibrarySetup(listedIn, name);
  if (setup == nullptr) return false;
  SetCurrent(setup);
  return true;
}

bool RenderSetupViewModel::RenameSetup(Group group, const std::u16string& oldName,
                                       const std::u16string& newName) {
  RenderSetup* setup =
      group == Group::MasterFile ? GetSetupFromCurrentZel(oldName) : GetSetupFromZelLib(oldName);
  if (setup == nullptr) return false;
  if (oldName == newName) return true;
  const bool taken = group == Group::MasterFile
                         ? masterByName_.contains(newName)
                         : GetLibrarySetup(setup->ListedIn, newName) != nullptr;
  if (taken) {
    Remove(*setup);
    return true;
  }
  Rename(*setup, newName);
  return true;
}

bool RenderSetupViewModel::RemoveSetup(Group group, const std::u16string& name) {
  RenderSetup* setup =
      group == Group::MasterFile ? GetSetupFromCurrentZel(name) : GetSetupFromZelLib(name);
  if (setup == nullptr) return false;
  Remove(*setup);
  return true;
}

void RenderSetupViewModel::Clear() {
  current_ = nullptr;
  masterStoreIn_.clear();
  // Freed when the next document or clear comes, not now: a session that ends with a clear (as
  // each one does) leaves its thousands of setups to the process's end, which frees them whole.
  // They outlive the observer's hearing of it too.
  cleared_ = Cleared{std::exchange(master_, {}), std::exchange(library_, {}),
                     std::exchange(masterByName_, {}), std::exchange(libraryByName_, {})};
  Notify(ModelChange::Kind::Cleared, nullptr);
}

namespace {

// Keeps a name's library setups in the order of their files' names.
void InsertByFile(std::vector<RenderSetup*>& setups, RenderSetup* setup) {
  const auto at = std::upper_bound(
      setups.begin(), setups.end(), setup,
      [](const RenderSetup* a, const RenderSetup* b) { return a->ListedIn < b->ListedIn; });
  setups.insert(at, setup);
}

}  // namespace

RenderSetup& RenderSetupViewModel::Place(Group group, std::u16string name,
                                         const std::u16string* storeIn, bool& added) {
  added = false;
  if (group == Group::MasterFile) {
    if (storeIn != nullptr) masterStoreIn_ = *storeIn;
    const auto [slot, inserted] = masterByName_.try_emplace(name, nullptr);
    if (inserted) {
      try {
        master_.push_back(std::make_unique<RenderSetup>(group, std::move(name)));
      } catch (...) {
        masterByName_.erase(slot);
        throw;
      }
      slot->second = master_.back().get();
      added = true;
    }
    RenderSetup& setup = *slot->second;
    if (storeIn != nullptr && setup.ListedIn.empty()) setup.ListedIn = *storeIn;
    return setup;
  }
  const auto slot = libraryByName_.try_emplace(std::move(name)).first;
  std::vector<RenderSetup*>& sameName = slot->second;
  for (RenderSetup* setup : sameName) {
    if (storeIn != nullptr && setup->ListedIn == *storeIn) return *setup;
  }
  // A re-send names the master file, or no file at all: the module's own pick is meant.
  const bool resend = storeIn == nullptr || (!masterStoreIn_.empty() && *storeIn == masterStoreIn_);
  if (!sameName.empty() && resend) return *sameName.front();
  try {
    auto owned = std::make_unique<RenderSetup>(group, slot->first);
    if (storeIn != nullptr) owned->ListedIn = *storeIn;
    // Room first: from here on nothing throws, so the lists never disagree.
    library_.reserve(library_.size() + 1);
    sameName.reserve(sameName.size() + 1);
    RenderSetup* setup = owned.get();
    library_.push_back(std::move(owned));
    InsertByFile(sameName, setup);
    added = true;
    return *setup;
  } catch (...) {
    if (sameName.empty()) libraryByName_.erase(slot);
    throw;
  }
}

void RenderSetupViewModel::Rename(RenderSetup& setup, const std::u16string& newName) {
  const std::u16string oldName = setup.name_;
  if (setup.group_ == Group::MasterFile) {
    masterByName_.emplace(newName, &setup);
    masterByName_.erase(oldName);
  } else {
    InsertByFile(libraryByName_[newName], &setup);
    auto old = libraryByName_.find(oldName);
    std::erase(old->second, &setup);
    if (old->second.empty()) libraryByName_.erase(old);
  }
  setup.name_ = newName;
  Notify(ModelChange::Kind::Renamed, &setup, oldName);
}

void RenderSetupViewModel::Remove(RenderSetup& setup) {
  Notify(ModelChange::Kind::Removed, &setup);
  const std::u16string& name = setup.name_;
  if (setup.group_ == Group::MasterFile) {
    masterByName_.erase(name);
  } else {
    auto found = libraryByName_.find(name);
    std::erase(found->second, &setup);
    if (found->second.empty()) libraryByName_.erase(found);
  }
  const bool wasCurrent = current_ == &setup;
  auto& setups = setup.group_ == Group::MasterFile ? master_ : library_;
  std::erase_if(setups, [&setup](const auto& held) { return held.get() == &setup; });
  if (wasCurrent) SetCurrent(nullptr);
}

void RenderSetupViewModel::SetCurrent(RenderSetup* setup) {
  if (current_ == setup) return;
  current_ = setup;
  Notify(ModelChange::Kind::CurrentChanged, setup);
}

void RenderSetupViewModel::Notify(ModelChange::Kind kind, const RenderSetup* setup,
                                  std::u16string_view oldName) {
  if (observer_) observer_(ModelChange{kind, setup, oldName});
}

}  // namespace Teskor::RenderSetup::ViewModel
