// The stand-in "Render Setup Manager" panel: keeps the view model that the module's documents
// describe, answers property reads and raises change events when the user edits a value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Teskor::RenderSetup {

/// The panel runtime's string: UTF-16, and null is not the same as empty.
using String = std::optional<std::u16string>;
/// A text the panel is shown but does not keep: null is not the same as empty.
using TextView = std::optional<std::u16string_view>;

struct Color {
  std::uint8_t A = 0;
  std::uint8_t R = 0;
  std::uint8_t G = 0;
  std::uint8_t B = 0;
};

struct PropertyChangedEventArgs {
  String PropertyName;
};

namespace ViewModel {

/// One property as the panel holds it; the views last until the setup next changes.
struct Property {
  std::string_view name;
  std::u16string_view text;
};

/// Property texts as the view-model document carried them, in document order.
class PropertySupport {
  // A name of the renderer's catalogue is kept as its index, any other in the setup's own
  // names: a setup's 68 properties then cost a few bytes each besides their texts.
  struct Entry {
    std::uint32_t name;  // catalogue index, or offset into names
    std::uint32_t text;  // offset into texts
    std::uint32_t textSize;
    std::uint32_t nameSize;  // 0: a catalogue name
  };
  struct Storage {
    std::vector<Entry> entries;
    std::u16string texts;
    std::string names;
  };

 public:
  // Each overload stores the named property's value into value. A name the setup does not hold,
  // or a text that is not a value of that type, leaves value untouched.
  void GetPropertyValue(const String& name, String& value) const;
  /// Text "r,g,b"; alpha becomes 255.
  void GetPropertyValue(const String& name, Color& value) const;
  /// Text "true" or "false".
  void GetPropertyValue(const String& name, bool& value) const;
  /// Signed or unsigned decimal text; a negative number keeps its 64 bits.
  void GetPropertyValue(const String& name, std::uint64_t& value) const;
  /// Signed decimal text; an unsigned 32-bit number above INT32_MAX keeps its 32 bits.
  void GetPropertyValue(const String& name, std::int32_t& value) const;
  void GetPropertyValue(const String& name, double& value) const;
  void GetPropertyValue(const String& name, float& value) const;

  /// The text of the first property of that name, or nullopt when the setup does not hold it.
  std::optional<std::u16string_view> PropertyText(std::string_view name) const;
  /// Sets (or adds, at the end) a property's text.
  void SetPropertyText(std::string_view name, std::u16string_view text);
  std::size_t PropertyCount() const noexcept { return held_.entries.size(); }
  /// Every property in document order.
  std::vector<Property> Properties() const;

  /// Collects properties with UTF-8 texts, then replaces every property of a setup at once, so
  /// that a failure while collecting changes nothing.
  class Builder {
   public:
    /// Room for count properties with texts of at most textUnits UTF-16 code units in all.
    Builder(std::size_t count, std::size_t textUnits);
    void Add(std::string_view name, std::string_view utf8Text);
    void Add(std::string_view name, std::u16string_view text);
    /// The same for a name of ASCII characters held in UTF-16.
    void AddAsciiNamed(std::u16string_view name, std::u16string_view text);
    /// target holds the collected properties; the builder is empty afterwards.
    void ReplaceIn(PropertySupport& target) noexcept;

   private:
    Storage storage_;
    std::uint32_t likely_ = 0;  // the catalogue index the next name most likely has
  };

 private:
  /// Adds an entry for name with an empty text at the end of storage's texts.
  static Entry& AddEntry(Storage& storage, std::string_view name, std::uint32_t& likely);
  std::string_view NameOf(const Entry& entry) const noexcept;
  std::u16string_view TextOf(const Entry& entry) const noexcept;
  const Entry* Find(std::string_view name) const noexcept;

  Storage held_;
  std::size_t unusedTexts_ = 0;  // code units of texts that edits have replaced
};

enum class Group { MasterFile, Library };

class RenderSetup : public PropertySupport {
 public:
  RenderSetup(Group group, std::u16string name) : group_(group), name_(std::move(name)) {}
  String Name() const { return name_; }
  Group GetGroup() const noexcept { return group_; }
  bool New = true;
  bool NewBorn = false;
  std::u16string StoreIn;
  /// The "StoreIn" the setup first arrived with: the file it is listed under, even after the
  /// module re-sends it with another one. With the name, it tells library setups apart.
  std::u16string ListedIn;

 private:
  friend class RenderSetupViewModel;
  Group group_;
  std::u16string name_;
};

/// One element of a view-model document as the panel took it in, its texts as they arrived, for
/// a host that shows what reached the panel.
struct TakenElement {
  enum class Kind { MasterSetup, LibrarySetup, CurrentSetup, Other };
  Kind kind = Kind::Other;
  /// The element's name.
  std::string element;
  /// The setup's "Name", or the current setup's name.
  std::string name;
  std::string newText;
  std::string newBornText;
  std::string storeIn;
  std::size_t properties = 0;
};

struct DirectElement;

/// Raised after the user changed one property of one setup.
using PropertyChangedEventHandler =
    std::function<void(RenderSetup& sender, const PropertyChangedEventArgs& e)>;

/// One change of the model, for a window that mirrors it. The setup is alive during the call,
/// a removed one too; oldName is set for Renamed only.
struct ModelChange {
  enum class Kind { Added, Updated, Edited, Renamed, Removed, CurrentChanged, Cleared };
  Kind kind = Kind::Updated;
  const RenderSetup* setup = nullptr;
  std::u16string_view oldName;
};
using ModelObserver = std::function<void(const ModelChange&)>;

/// What became of a user's edit.
struct EditResult {
  bool taken = false;
  /// Why the edit was refused, for the user; empty when it was taken.
  std::string message;
  explicit operator bool() const noexcept { return taken; }
};

class RenderSetupViewModel {
 public:
  /// The master file's setup of that name (exact match), or null.
  RenderSetup* GetSetupFromCurrentZel(const String& name);
  /// The design-library setup of that name (exact match), or null. Of several libraries offering
  /// the name, the one whose file name sorts first (by UTF-16 code units), as the module picks.
  RenderSetup* GetSetupFromZelLib(const String& name);
  /// The setup of that name listed under the library file listedIn, or null.
  RenderSetup* GetLibrarySetup(std::u16string_view listedIn, const std::u16string& name);
  /// The setup selected in the panel, or null.
  RenderSetup* CurrentRenderSetup() const noexcept { return current_; }

  /// Subscribes to OnRenderSetupChanged; every call adds one subscription.
  /// Returns the subscription's id for RemoveOnRenderSetupChanged.
  std::size_t AddOnRenderSetupChanged(PropertyChangedEventHandler handler);
  /// Ends one subscription; an unknown id is ignored. A module that unloads must end its own,
  /// since its handlers' code goes with it.
  void RemoveOnRenderSetupChanged(std::size_t id);
  std::size_t OnRenderSetupChangedSubscriptions() const noexcept { return handlers_.size(); }
  /// Raises OnRenderSetupChanged to every subscription, in the order they were made.
  void RaiseRenderSetupChanged(RenderSetup& sender, const PropertyChangedEventArgs& e);

  /// What the panel does when the user sets a value: stores the text into the property of the
  /// setup of that group and name and raises OnRenderSetupChanged. Refused, with nothing stored
  /// or raised, when the panel has no such setup or property, or the text is not a value of the
  /// property (RefusalOfText).
  EditResult EditProperty(Group group, const std::u16string& setupName, std::string_view property,
                          std::u16string text);

  /// Adds the setups of a view-model document or brings them up to date, keeps the others, and
  /// makes the setup of each "CurrentRenderSetup" current in turn: the setup element just before
  /// it when that has the name, else as SetCurrentSetup. A master-file setup is known by its
  /// name; a library setup by its name and the library it was first listed in ("StoreIn"). One
  /// that arrives with the master file's "StoreIn" (the module re-sends a library setup so after
  /// a rename) updates the library setup of that name that GetSetupFromZelLib finds.
  /// False, with nothing changed, when the text is not such a document.
  /// A setup element without a "Name" attribute is skipped; unknown elements are ignored.
  /// taken, when given, receives each element of the document in order, also those skipped.
  bool TakeDocument(std::u16string_view xml, std::vector<TakenElement>* taken = nullptr);
  /// TakeDocument of a text the panel may release as it reads it: a large document's memory goes
  /// back to the system while the setups it describes are built, and xml is empty once it was
  /// taken. When it is not taken, xml is left as it was.
  bool TakeOwnedDocument(std::u16string&& xml, std::vector<TakenElement>* taken = nullptr);
  /// The master file's setup of that name first, else a library's; a null or unknown name
  /// leaves the current setup as it is.
  void SetCurrentSetup(const String& name);
  /// Makes the setup of that group and name current; false when the panel has none. A library
  /// name alone selects as GetSetupFromZelLib finds.
  bool Select(Group group, const std::u16string& name);
  /// Makes the library setup listed under listedIn current; false when the panel has none.
  bool SelectLibrarySetup(std::u16string_view listedIn, const std::u16string& name);
  /// What the panel does after its own rename succeeded: the setup keeps its place and values
  /// under the new name. When the panel shows the new name already, the old entry goes.
  /// False when the panel has no setup of the old name. Library setups as GetSetupFromZelLib.
  bool RenameSetup(Group group, const std::u16string& oldName, const std::u16string& newName);
  /// What the panel does after its own delete succeeded; false when it has no such setup.
  bool RemoveSetup(Group group, const std::u16string& name);
  /// Removes every setup; the subscriptions stay.
  void Clear();

  /// The setups of one group in the order the panel first received them.
  const std::vector<std::unique_ptr<RenderSetup>>& Setups(Group group) const noexcept {
    return group == Group::MasterFile ? master_ : library_;
  }

  /// Called with every change from now on (null: none); one observer at a time. It must not
  /// change the model.
  void SetModelObserver(ModelObserver observer) { observer_ = std::move(observer); }

 private:
  /// The setup a document's element names, made when the panel has none; added tells which.
  RenderSetup& Place(Group group, std::u16string name, const std::u16string* storeIn, bool& added);
  /// Takes one child element of a document's root read by ReadDirect.
  void TakeElement(const DirectElement& element, RenderSetup*& lastTaken, std::u16string& scratch);
  /// ReadDirectTaking into an empty panel; false, with the panel empty again, when the text is
  /// not in the module's form.
  bool TakeInOnePass(std::u16string_view xml, std::vector<TakenElement>* taken);
  /// TakeDocument; with release, calls it with each point up to which the text was read.
  bool Take(std::u16string_view xml, std::vector<TakenElement>* taken,
            const std::function<void(const char16_t* readUpTo)>* release);
  void Rename(RenderSetup& setup, const std::u16string& newName);
  void Remove(RenderSetup& setup);
  void SetCurrent(RenderSetup* setup);
  void Notify(ModelChange::Kind kind, const RenderSetup* setup, std::u16string_view oldName = {});

  std::vector<std::unique_ptr<RenderSetup>> master_;
  std::vector<std::unique_ptr<RenderSetup>> library_;
  std::unordered_map<std::u16string, RenderSetup*> masterByName_;
  // Every library's setup of a name, in the order of their files' names.
  std::unordered_map<std::u16string, std::vector<RenderSetup*>> libraryByName_;
  // The "StoreIn" of the master file's setups, which marks a library setup's re-send.
  std::u16string masterStoreIn_;
  RenderSetup* current_ = nullptr;
  std::vector<std::pair<std::size_t, PropertyChangedEventHandler>> handlers_;
  ModelObserver observer_;
  // What the last Clear removed, kept until the next document or clear.
  struct Cleared {
    std::vector<std::unique_ptr<RenderSetup>> master;
    std::vector<std::unique_ptr<RenderSetup>> library;
    std::unordered_map<std::u16string, RenderSetup*> masterByName;
    std::unordered_map<std::u16string, std::vector<RenderSetup*>> libraryByName;
  } cleared_;
};

}  // namespace ViewModel

namespace View {

class MainPanel {
 public:
  /// The one panel of the process.
  static MainPanel& Instance();
  ViewModel::RenderSetupViewModel& ViewModel() noexcept { return viewModel_; }

  /// Takes a view-model document (see RenderSetupViewModel::TakeDocument). A null text, or
  /// one that does not parse, changes nothing.
  static void ChangeOrnModel(const String& xml);
  /// The same for a text handed over: its memory is released as it is read.
  static void ChangeOrnModel(String&& xml);
  /// The same for the caller's text up to its terminator, read where it is without a copy; it
  /// must stay unchanged during the call.
  static void ChangeOrnModel(const char16_t* xml);
  /// Removes every setup; the change subscriptions stay.
  static void ClearAllViewModel();
  /// Makes the setup of that name current: the master file's first, else a library's. A null or
  /// unknown name changes nothing.
  void SetCurrentSetup(const String& name);

  // Services of the panel's host window: message boxes, and observers for the workbench.
  using MessageBoxHandler = std::function<void(const String& text, const String& caption)>;
  using DocumentObserver = std::function<void(const TextView& xml)>;
  using TakenObserver = std::function<void(const TextView& xml, bool taken,
                                           const std::vector<ViewModel::TakenElement>& elements)>;
  using ClearObserver = std::function<void()>;
  /// A modal box with one OK button; with no handler the text goes to standard error.
  static void ShowMessageBox(const String& text, const String& caption);
  static void SetMessageBoxHandler(MessageBoxHandler handler);
  /// Called with every document ChangeOrnModel receives (a null one too), before it is taken in.
  static void SetDocumentObserver(DocumentObserver observer);
  /// Called after each non-null document was taken in (taken false: it was no view-model
  /// document), with what it held. A document handed over is empty by then if it was taken.
  static void SetTakenObserver(TakenObserver observer);
  /// Called by ClearAllViewModel before the setups are removed.
  static void SetClearObserver(ClearObserver observer);

  /// Back to a new panel: no setups, no subscriptions, no handlers (for tests).
  static void Reset();

 private:
  ViewModel::RenderSetupViewModel viewModel_;
};

}  // namespace View

}  // namespace Teskor::RenderSetup
