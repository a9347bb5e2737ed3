// The stand-in host's state behind its calls and controls: open design files with their setups,
// the session's monitors, the question box queue and the call log.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/RenderStore.h"
#include "host/SessionMgr.h"
#include "host/controls/HostControls.h"
#include "host/store/DesignFile.h"
#include "host/store/ProvenanceRecord.h"
#include "host/store/StandardsRecord.h"

namespace Teskor::ZelPlatform {

/// The store's way to the parts of a setup that the module may not set.
class StoreAccess {
 public:
  /// Also keeps the name index of the setup's file in step.
  static void SetName(RenderStore& setup, std::u16string_view name);
  /// A setup of file as read from it, not yet in any index; invalid without settings.
  static std::unique_ptr<OrnSetup> Read(ZelFile& file, std::u16string name,
                                        const std::optional<OrnSettings>& settings);
  static OrnSettings& Settings(OrnSetup& setup) { return setup.settings; }
  static const OrnSettings& Settings(const OrnSetup& setup) { return setup.settings; }
  static void SetFile(OrnSetup& setup, ZelFile& file) { setup.file = &file; }
};

}  // namespace Teskor::ZelPlatform

namespace ornhost::detail {

class HostFile;

class HostModel final : public Teskor::ZelPlatform::ZelModel {
 public:
  HostModel(HostFile& file, bool reference) : file_(file), reference_(reference) {}
  Teskor::ZelPlatform::ZelFile* GetZelFileP() const override;
  bool IsReference() const { return reference_; }

 private:
  HostFile& file_;
  bool reference_;
};

struct StoredCopy {
  Teskor::ZelPlatform::OrnSettings settings;
  bool valid = true;
};

struct StoreEntry {
  std::unique_ptr<Teskor::ZelPlatform::OrnSetup> working;
  /// Nothing until the setup is first saved.
  std::optional<StoredCopy> stored;
  /// The record the stored copy came from; nothing until the setup is first saved.
  std::optional<RowRef> row;
  /// The base a merge left for the setup's next save, which makes it the merge base its
  /// provenance records. A reset drops it, as do an import of the setup and a new record of its
  /// provenance. Rare, so held apart: every entry of a large file is small.
  std::unique_ptr<Teskor::ZelPlatform::OrnSettings> pendingBase{};
  /// What the library setup governed as that merge took it; nothing: all of it.
  std::optional<ornhost::PropertySet> pendingGoverned{};
  /// The overlays an apply left for the next save, the whole list in order; dropped with the
  /// pending base.
  std::optional<std::vector<ornhost::Provenance>> pendingOverlays{};
  /// Overrides given with unsaved edits, by stored key: the next save stores them, a reset drops
  /// them.
  std::map<std::string, ornhost::OverrideRecord> pendingOverrides{};

  /// Drops everything waiting for the next save.
  void DropPending() {
    pendingBase.reset();
    pendingGoverned.reset();
    pendingOverlays.reset();
    pendingOverrides.clear();
  }
  bool HasPending() const { return pendingBase || pendingOverlays || !pendingOverrides.empty(); }
};

/// An open design file and the store's view of it. Never freed, so that the setups and models
/// handed out keep pointing at a live file after it is closed.
class HostFile final : public Teskor::ZelPlatform::ZelFile {
 public:
  /// Opens the file and loads its setups. Throws DesignFileError.
  HostFile(const std::filesystem::path& path, DesignFile::Access access);

  Teskor::WString GetFileName() const override;

  bool IsOpen() const { return db_ != nullptr; }
  bool IsWritable() const { return IsOpen() && writable_; }
  /// Null once closed.
  DesignFile* Db() const { return db_.get(); }
  const std::filesystem::path& CanonicalPath() const { return canonical_; }
  /// The entries in the host's order. Their fields may change; which entries there are and
  /// their order change only through Append, Retire and Adopt, which keep the lookups in step.
  std::span<StoreEntry> Entries() { return entries_; }
  /// The working copies in the host's order, as the store lists them.
  const std::vector<const Teskor::ZelPlatform::OrnSetup*>& Setups() const { return setups_; }
  /// The first entry of exactly that name, through an index that follows every change made
  /// through this file and StoreAccess; a found entry whose name no longer matches rebuilds it.
  StoreEntry* Find(std::u16string_view name);
  /// Adds entry after all others.
  void Append(StoreEntry entry);
  /// Removes entry. Its working copy stays valid, detached, until the file has been listed twice
  /// since, so whoever listed it still holds a live setup until it lists the file again.
  void Retire(StoreEntry& entry);
  /// The file's setups were handed out: those removed before the previous listing are freed.
  void NoteListed();
  /// StoreAccess renamed setup, one of this file's setups.
  void NoteRenamed(const Teskor::ZelPlatform::OrnSetup& setup, std::u16string_view oldName,
                   std::u16string_view newName);
  /// Makes the view hold what was just stored at row under name, as after a save.
  void Adopt(RowRef row, std::u16string_view name,
             const Teskor::ZelPlatform::OrnSettings& settings);
  /// The name people know the file by, as it was opened.
  std::string DisplayName() const { return path_.string(); }
  /// Closes the database and retires every setup. Does nothing when already closed.
  void Close();

  HostModel model{*this, false};
  HostModel referenceModel{*this, true};

 private:
  std::filesystem::path path_;
  std::filesystem::path canonical_;
  bool writable_;
  // What the index knows of the first entry of a name: its setup, and where it was last seen.
  struct Indexed {
    const Teskor::ZelPlatform::OrnSetup* setup;
    std::size_t hint;
  };
  void Insert(std::size_t at, StoreEntry entry);
  void Reindex();
  StoreEntry* Locate(Indexed& indexed);

  std::unique_ptr<DesignFile> db_;
  std::vector<StoreEntry> entries_;
  // Removed setups: since the latest listing, and between the one before and it.
  std::vector<std::unique_ptr<Teskor::ZelPlatform::OrnSetup>> removedSinceListing_;
  std::vector<std::unique_ptr<Teskor::ZelPlatform::OrnSetup>> removedBeforeListing_;
  std::vector<const Teskor::ZelPlatform::OrnSetup*> setups_;  // entries_' working copies
  // Name -> the first entry of that name; not built until the first find.
  std::unordered_map<std::u16string, Indexed> first_;
  bool indexBuilt_ = false;
  bool duplicates_ = false;  // some name is held by more than one entry: changes rebuild
};

/// What happened while the master file closes that its recovery file must keep.
struct Closing {
  HostFile* file = nullptr;
  std::vector<std::u16string> failedSaves;
  bool unanswered = false;
};

struct HostState {
  std::vector<std::string> callLog;
  /// Whether callLog and questions are kept: only while a test asks.
  bool recordCalls = false;
  HostFile* master = nullptr;
  std::vector<HostFile*> libraries;
  /// Every file ever opened and every setup of a file that closed: never freed.
  std::vector<std::unique_ptr<HostFile>> files;
  std::vector<std::unique_ptr<Teskor::ZelPlatform::OrnSetup>> retired;
  std::vector<Teskor::KreelPlatform::SessionMonitor*> monitors;
  std::deque<int> answers;
  std::vector<Question> questions;
  std::function<void(const Question&)> questionObserver;
  std::function<int(const Question&)> questionAsker;
  std::function<void(const std::string&)> errorReporter;
  std::optional<std::u16string> overwriteOnNextSave;
  /// The last rename the store refused, and why; cleared by each rename asked.
  struct RenameRefused {
    std::u16string oldName, newName;
    std::string reason;
  };
  std::optional<RenameRefused> renameRefused;
  /// What the master file's saves are, for the versions they keep, when not plain saves.
  std::string saveAction;
  std::optional<Closing> closing;
  bool activeIsReference = false;
};

/// The one state; alive until the process ends, so late calls from unloading modules are safe.
HostState& State();
/// Every host call starts here. Under memory shortage the entry is lost; throws only the
/// failure a test injected (FailHostCallAt).
void LogCall(const char* call);
/// Tells the person through the host's reporter (standard error without one). Never throws.
void ReportError(const std::string& message) noexcept;
/// Remembers that the save of name into file failed, for the recovery file when file is closing.
void NoteFailedSave(const HostFile& file, std::u16string_view name) noexcept;
/// The open file (master or library) that file is, or null.
HostFile* FindOpenFile(const Teskor::ZelPlatform::ZelFile& file);
/// The open files at path, the master first.
std::vector<HostFile*> FindOpenFiles(const std::filesystem::path& path);
/// The path in the form open files are compared by.
std::filesystem::path ComparablePath(const std::filesystem::path& path);
/// Tells every registered session monitor through call. A monitor that fails is told of on
/// standard error and the others still hear; monitors may be added or dropped meanwhile.
void Notify(const char* notification,
            const std::function<void(Teskor::KreelPlatform::SessionMonitor&)>& call);
/// Stores what waits for entry's next save (HasPending) beside its stored values now, in one
/// transaction with a version of action that marks it: for a merge or an apply that left nothing
/// to save. A setup no longer stored drops it. A failure is reported through the host's reporter
/// and leaves it waiting.
void CommitPending(HostFile& file, StoreEntry& entry, std::string_view action) noexcept;
/// What a save of entry writes beside its values, inside its transaction at position: the
/// pending merge base, overlays and overrides (every override dropped instead when
/// dropOverrides: the module's full copy from a library). Returns the version's marks.
std::vector<VersionMark> WritePending(DesignFile& db, std::int64_t position,
                                      const StoreEntry& entry, bool dropOverrides);
/// Opens path, keeps the file for the life of the process and returns it. Throws DesignFileError.
HostFile& OpenFile(const std::filesystem::path& path, DesignFile::Access access);

}  // namespace ornhost::detail
