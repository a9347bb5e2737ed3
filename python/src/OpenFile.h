// A design file as a Python program holds it: its setups as read, the writes of one transaction at
// a time over one connection, history and provenance read on demand. No Python in here: the
// bindings call it with the GIL released, one thread at a time per file (its mutex).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "host/OrnSettings.h"
#include "host/controls/HostControls.h"
#include "host/controls/ValueWhy.h"
#include "host/provenance/LibraryShelf.h"
#include "host/provenance/Provenance.h"
#include "host/provenance/Standards.h"
#include "host/store/DesignFile.h"
#include "host/store/StandardsTable.h"
#include "host/store/VersionTable.h"

namespace ornr::python {

using Settings = Teskor::ZelPlatform::OrnSettings;

/// One setup of an open file as the file object holds it; Setup objects share it, so that a
/// rename or a delete reaches every one of them.
struct Entry {
  std::u16string name;
  /// Nothing when the stored record cannot be read; problem then says why.
  std::optional<Settings> values;
  std::string problem;
  ornhost::detail::RowRef row;
  /// False once deleted (or gone from the file at a refresh).
  bool alive = true;
  /// In the open transaction: values set and not yet written, and whether the record was found
  /// as it was read.
  bool pending = false;
  bool checked = false;
  /// In the open transaction: overrides of locked values given, by property, with their reasons;
  /// stored with the values at commit.
  std::map<std::string, std::string> pendingOverrides;
  /// In the open transaction: overrides to drop at commit.
  std::set<std::string> droppedOverrides;
};

/// A version of a setup with the name its action left it with (empty after a delete).
struct VersionInfo {
  ornhost::detail::VersionEntry entry;
  std::u16string nameAfter;
};

/// Where the history of a setup is kept: its position in the file, and its name.
struct HistoryPlace {
  std::int64_t position = 0;
  std::u16string name;
  bool deleted = false;
};

class OpenFile {
 public:
  enum class Mode { Read, ReadWrite };

  /// Opens and reads the file. ReadWrite refuses a file of an older format, a damaged one and one
  /// holding tables of others (nothing may be written to them); create lays out a missing file.
  /// Throws Failure.
  OpenFile(const std::filesystem::path& path, Mode mode, bool create);
  ~OpenFile();
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  /// Held around every call, so that a file object used from two threads at once (which the
  /// package documents as wrong) cannot corrupt it.
  std::mutex& Mutex() { return mutex_; }

  const std::string& PathText() const { return path_; }
  Mode GetMode() const { return mode_; }
  bool IsOpen() const { return db_ != nullptr; }
  /// Rolls back an open transaction and closes the connection; the setups are then gone.
  void Close() noexcept;
  /// Throws Failure when closed.
  void RequireOpen() const;
  int Format() const;
  /// What of the file could not be read, or else why nothing is written to it; empty when all
  /// was read and it may be written.
  std::string Problem() const;

  /// The setups in the host's order.
  const std::vector<std::shared_ptr<Entry>>& Entries() const { return order_; }
  /// Nothing when no setup has that name.
  std::shared_ptr<Entry> Find(std::u16string_view name) const;
  /// Throws Failure (NoSuchSetup).
  std::shared_ptr<Entry> Require(std::u16string_view name) const;
  /// Throws Failure (NoSuchSetup) for a setup deleted since or gone from the file.
  void RequireAlive(const Entry& entry) const;
  /// Reads the file again, outside a transaction; entries still in it are updated in place.
  void Refresh();

  // --- Writes ---------------------------------------------------------------------------------
  /// One SQLite transaction for every write until Commit or Rollback, on this thread only.
  void Begin();
  /// Writes the values set, then commits. On failure everything is rolled back. Throws Failure.
  void Commit();
  /// Undoes every write since Begin, here and in the file.
  void Rollback() noexcept;
  bool InTransaction() const { return inTransaction_; }

  /// The values take effect here at once and are written, as one version of the state they
  /// replace, when the transaction commits.
  void SetValues(Entry& entry, const Settings& values);
  std::shared_ptr<Entry> New(const std::u16string& name, const Settings& values);
  /// A copy of source's values (those set in this transaction too) under newName, or without one
  /// under the name the module gives a duplicate ("Lobby - Copy", "Lobby - Copy-2").
  std::shared_ptr<Entry> Duplicate(Entry& source, std::optional<std::u16string> newName);
  void Rename(Entry& entry, const std::u16string& newName);
  void Delete(Entry& entry);
  /// The setup most recently deleted under name, stored again under newName (or name).
  std::shared_ptr<Entry> Undelete(std::u16string_view name,
                                  const std::optional<std::u16string>& newName);
  /// Version number's values become the setup's, written at once as a version of their own.
  void Restore(Entry& entry, std::int64_t number);
  void SetLimits(const ornhost::detail::VersionLimits& limits);

  // --- Office standards -----------------------------------------------------------------------
  /// Keeps reason as the override of a value a library setup locks for the setup: stored with
  /// its values at commit, with who and when. Throws Failure (ValueRefused) for a value not locked
  /// or a reason empty or too long.
  void SetOverride(Entry& entry, const std::string& property, const std::string& reason);
  /// Drops the setup's override of a locked value and puts the library's value back with put
  /// (given the library's lossless text), as a fix of locks with overrides does: both stored at
  /// commit, in one version. Throws Failure (ValueRefused) for a value not locked or not
  /// overridden.
  void DropOverride(Entry& entry, const std::string& property,
                    const std::function<void(Settings&, const std::string&)>& put);
  /// The setup's note (property empty) or a value's, written at once with a version "note"; an
  /// empty text removes it.
  void SetNote(Entry& entry, const std::string& property, const std::string& text);
  /// What the setup governs as a library setup (nothing: all), and its locks, written at once with
  /// a version each. SetScope returns the locks it drops. Throw Failure (ValueRefused).
  std::vector<std::string> SetScope(Entry& entry, const std::optional<ornhost::PropertySet>& scope);
  void Lock(Entry& entry, const std::vector<std::string>& properties, const std::string& reason);
  void Unlock(Entry& entry, const std::vector<std::string>& properties);

  // --- Reads ----------------------------------------------------------------------------------
  std::optional<ornhost::Provenance> Origin(const Entry& entry);
  /// The drift of the entry's values from its base and from its library setup as the library
  /// file holds it (read once for the life of this file object or until Refresh). Nothing
  /// without provenance.
  std::optional<ornhost::Drift> DriftOf(const Entry& entry);
  HistoryPlace PlaceOf(const Entry& entry) const;
  /// Of the setup most recently deleted under name. Throws Failure (NoSuchSetup).
  HistoryPlace DeletedPlace(std::u16string_view name);
  /// Newest first.
  std::vector<VersionInfo> History(const HistoryPlace& place);
  /// Throws Failure (NoSuchVersion) for a version that is not there or keeps no values.
  Settings VersionValues(const HistoryPlace& place, std::int64_t number);
  /// The state a deleted setup had when deleted.
  Settings DeletedValues(const HistoryPlace& place);
  std::vector<ornhost::detail::DeletedEntry> Deleted();
  ornhost::detail::VersionLimits Limits();
  /// Its scope, locks and notes, its overrides (those given in the open transaction with madeBy
  /// empty) and its overlays, as the file holds them.
  ornhost::detail::StandardsOfSetup StandardsOf(const Entry& entry);
  /// Its values now (those set in the transaction too) held against its library setups, as the
  /// library files hold them (read as DriftOf reads them). Nothing without any.
  std::optional<ornhost::Governed> GovernedOf(const Entry& entry);
  /// Every value its library setups lock, in the record's order.
  std::vector<ornhost::ValueLock> LocksOf(const Entry& entry);
  /// Why property has the value it has, as the workbench's why says it.
  ornhost::ValueWhy WhyOf(const Entry& entry, const std::string& property);

 private:
  ornhost::detail::DesignFile& Db() const;
  /// Refuses a write outside a transaction, from another thread, or to a file opened to read.
  void RequireWrite() const;
  /// Before the first change of entry in a transaction: keeps it for a rollback and finds its
  /// record as it was read. Throws Failure (ChangedSinceRead).
  void Touch(Entry& entry);
  void Remember(const std::shared_ptr<Entry>& entry);
  void WritePending(Entry& entry);
  /// Refuses values that would change a value a library setup locks (without an override), as
  /// LockBreaches finds them. restoring: the message of a restore.
  void RefuseLockBreaches(const Entry& entry, const Settings& after, bool restoring);
  ornhost::LibraryShelf& Shelf();
  /// Runs a write of standards, its refusals as Failure.
  template <typename Write>
  auto Standard(Entry& entry, Write write);
  void CheckNewName(const std::u16string& name, bool forUndelete) const;
  void Index();
  void Load(bool keepEntries);
  [[noreturn]] void Fail(const ornhost::DesignFileError& error) const;

  std::mutex mutex_;
  std::string path_;
  Mode mode_;
  std::unique_ptr<ornhost::detail::DesignFile> db_;
  std::vector<std::shared_ptr<Entry>> order_;
  /// Keyed by a view of each entry's own name: whatever changes a name takes it out first and
  /// puts it back after, or indexes again.
  std::unordered_map<std::u16string_view, std::shared_ptr<Entry>> byName_;

  bool inTransaction_ = false;
  std::thread::id owner_;
  /// What a rollback restores: the list as it was, and each entry changed as it was.
  std::vector<std::shared_ptr<Entry>> orderBefore_;
  std::vector<std::pair<std::shared_ptr<Entry>, Entry>> saved_;
  std::vector<std::shared_ptr<Entry>> created_;

  std::optional<std::string> provenanceStamp_;
  std::map<std::int64_t, ornhost::Provenance> provenance_;
  std::unique_ptr<ornhost::LibraryShelf> shelf_;
  std::optional<std::string> standardsStamp_;
  std::map<std::int64_t, ornhost::detail::StandardsOfSetup> standards_;
};

}  // namespace ornr::python
