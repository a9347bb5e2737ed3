#include "python/src/OpenFile.h"

#include <algorithm>

#include "host/history/History.h"
#include "host/provenance/StoredSetups.h"
#include "host/store/ProvenanceTable.h"
#include "host/store/SettingFields.h"
#include "host/store/SetupNames.h"
#include "python/src/Failure.h"
#include "support/Utf.h"

namespace ornr::python {

namespace {

using ornhost::DesignFileError;
using ornhost::detail::DesignFile;
using ornhost::detail::RowRef;

// The version a write of values from Python keeps of the state it replaces, and a restore's.
constexpr const char* kValuesAction = "python";
constexpr const char* kRestoreAction = "restore";
// The module's longest generated name; longer ones fail the name rule anyway.
constexpr std::size_t kMaxGeneratedName = 511;

std::string Quoted(std::u16string_view name) {
  return "\"" + Utf16ToUtf8(name) + "\"";
}

bool ChangedSince(const ornhost::detail::SetupRecord& current, const RowRef& row) {
  return current.row.revision != row.revision || current.row.digest != row.digest;
}

// How a program changes a locked value anyway, said where the command line names its option.
std::string OverrideHint(const std::string& property) {
  return "setup.override(\"" + property + "\", \"why\") changes it anyway";
}

// The first breach in the host's words, and how many more there are.
std::string BreachesText(const std::vector<ornhost::LockBreach>& breaches) {
  const std::size_t more = breaches.size() - 1;
  return breaches.front().message +
         (more > 0 ? " (and " + std::to_string(more) + " more)" : std::string());
}

// A version's values as the history of a session shows them: lossless texts by property.
ornhost::SetupVersion VersionOf(const ornhost::detail::VersionEntry& entry) {
  const auto text = [](std::size_t field, const ornhost::detail::StoredValue& value) {
    Settings settings;
    if (!ornhost::detail::SetSettingValue(settings, field, value)) return std::string("unreadable");
    return ornhost::detail::Fields()[field].text(settings);
  };
  ornhost::SetupVersion version;
  version.number = entry.number;
  version.madeAt = entry.madeAt;
  version.action = entry.action;
  version.madeBy = entry.madeBy;
  version.name = entry.name;
  version.marks = entry.marks;
  for (const auto& change : entry.changes) {
    version.changes.push_back({ornhost::detail::SettingKey(change.field),
                               text(change.field, change.before),
                               change.after ? text(change.field, *change.after) : std::string()});
  }
  return version;
}

}  // namespace

OpenFile::OpenFile(const std::filesystem::path& path, Mode mode, bool create)
    : path_(path.string()), mode_(mode) {
  const DesignFile::Access access = mode == Mode::Read ? DesignFile::Access::ReadOnly
                                    : create           ? DesignFile::Access::ReadWrite
                                                       : DesignFile::Access::WriteExisting;
  try {
    db_ = std::make_unique<DesignFile>(path, access);
  } catch (const DesignFileError& error) {
    Fail(error);
  }
  Load(false);
  if (mode == Mode::Read) return;
  if (db_->Refusal().empty()) {
    // A long history is checked beside the caller, not under the lock of its first write.
    db_->CheckInBackground();
    return;
  }
  // Nothing could be written to it: say so now rather than at the first transaction.
  const std::string refusal = db_->Refusal();
  const ErrorKind kind = db_->Version() < ornhost::detail::kDesignFileSchemaVersion
                             ? ErrorKind::OlderFormat
                             : ErrorKind::DamagedFile;
  db_.reset();
  throw FileFailure(kind, path_, refusal);
}

OpenFile::~OpenFile() {
  Close();
}

void OpenFile::Close() noexcept {
  if (!db_) return;
  Rollback();
  db_.reset();
  shelf_.reset();
  for (const auto& entry : order_) entry->alive = false;
  order_.clear();
  byName_.clear();
}

void OpenFile::RequireOpen() const {
  if (!db_) throw Failure(ErrorKind::Error, "design file \"" + path_ + "\" is closed", path_);
}

DesignFile& OpenFile::Db() const {
  RequireOpen();
  return *db_;
}

void OpenFile::Fail(const DesignFileError& error) const {
  throw Classified(error, path_);
}

int OpenFile::Format() const {
  return Db().Version();
}

std::string OpenFile::Problem() const {
  const DesignFile& db = Db();
  return db.ReadProblem().empty() ? db.Refusal() : db.ReadProblem();
}

void OpenFile::Load(bool keepEntries) {
  std::unordered_map<std::int64_t, std::shared_ptr<Entry>> before;
  if (keepEntries) {
    for (auto& entry : order_) before.emplace(entry->row.position, std::move(entry));
  }
  order_.clear();
  // Its keys are views of the names about to be replaced.
  byName_.clear();
  try {
    db_->Load([&](ornhost::detail::SetupRecord& record) {
      std::shared_ptr<Entry> entry;
      if (const auto found = before.find(record.row.position); found != before.end()) {
        entry = std::move(found->second);
        before.erase(found);
      } else {
        entry = std::make_shared<Entry>();
      }
      entry->name = std::move(record.name);
      entry->values = std::move(record.settings);
      entry->problem = std::move(record.problem);
      entry->row = record.row;
      order_.push_back(std::move(entry));
    });
  } catch (const DesignFileError& error) {
    Index();
    Fail(error);
  }
  for (auto& [position, entry] : before) entry->alive = false;
  Index();
}

void OpenFile::Index() {
  byName_.clear();
  byName_.reserve(order_.size());
  for (const auto& entry : order_) byName_.emplace(entry->name, entry);
}

std::shared_ptr<Entry> OpenFile::Find(std::u16string_view name) const {
  RequireOpen();
  const auto found = byName_.find(name);
  return found != byName_.end() ? found->second : nullptr;
}

std::shared_ptr<Entry> OpenFile::Require(std::u16string_view name) const {
  auto entry = Find(name);
  if (!entry) {
    throw Failure(ErrorKind::NoSuchSetup, "no setup named " + Quoted(name) + " in " + path_, path_);
  }
  return entry;
}

void OpenFile::RequireAlive(const Entry& entry) const {
  RequireOpen();
  if (entry.alive) return;
  throw Failure(ErrorKind::NoSuchSetup,
                "no setup named " + Quoted(entry.name) + " in " + path_ + " any more", path_);
}

void OpenFile::Refresh() {
  RequireOpen();
  if (inTransaction_) {
    throw Failure(ErrorKind::TransactionError,
                  "refresh() reads the file again only outside a transaction", path_);
  }
  Load(true);
  provenanceStamp_.reset();
  standardsStamp_.reset();
  shelf_.reset();
}

// --- Writes -----------------------------------------------------------------------------------

void OpenFile::RequireWrite() const {
  RequireOpen();
  if (mode_ == Mode::Read) {
    throw FileFailure(ErrorKind::FileError, path_,
                      "is open read-only; ornr.open(path, \"rw\") opens it for writing");
  }
  if (!inTransaction_) {
    throw Failure(ErrorKind::TransactionError,
                  "writes to " + path_ + " go inside \"with f.transaction():\"", path_);
  }
  if (owner_ != std::this_thread::get_id()) {
    throw Failure(ErrorKind::TransactionError,
                  "the transaction on " + path_ + " belongs to another thread", path_);
  }
}

void OpenFile::Begin() {
  RequireOpen();
  if (mode_ == Mode::Read) {
    throw FileFailure(ErrorKind::FileError, path_,
                      "is open read-only; ornr.open(path, \"rw\") opens it for writing");
  }
  if (inTransaction_) {
    throw Failure(ErrorKind::TransactionError, "a transaction is open on " + path_ + " already",
                  path_);
  }
  try {
    db_->BeginBatch();
  } catch (const DesignFileError& error) {
    Fail(error);
  }
  inTransaction_ = true;
  owner_ = std::this_thread::get_id();
  orderBefore_ = order_;
}

void OpenFile::Remember(const std::shared_ptr<Entry>& entry) {
  for (const auto& [kept, state] : saved_) {
    if (kept == entry) return;
  }
  saved_.emplace_back(entry, *entry);
}

void OpenFile::Touch(Entry& entry) {
  RequireAlive(entry);
  Remember(byName_.at(entry.name));
  if (entry.checked) return;
  std::optional<ornhost::detail::SetupRecord> current;
  try {
    current = db_->Read(entry.row);
  } catch (const DesignFileError& error) {
    Fail(error);
  }
  // The transaction holds the file, so what is found now stays true until it commits.
  const std::string name = Quoted(entry.name);
  if (!current) {
    throw FileFailure(ErrorKind::ChangedSinceRead, path_,
                      "another session has deleted " + name + " since it was read; refresh() " +
                          "reads the file again");
  }
  if (ChangedSince(*current, entry.row)) {
    throw FileFailure(ErrorKind::ChangedSinceRead, path_,
                      current->name != entry.name
                          ? "another session has renamed " + name + " to " + Quoted(current->name) +
                                " since it was read; refresh() reads " + "the file again"
                          : "another session has changed " + name + " since it was read; " +
                                "refresh() reads the file again");
  }
  entry.checked = true;
}

void OpenFile::WritePending(Entry& entry) {
  if (!entry.pending) return;
  ornhost::detail::WriteAlongside alongside;
  if (!entry.pendingOverrides.empty() || !entry.droppedOverrides.empty()) {
    // Stored as a save stores an override: with who and when, and marked in the version.
    alongside = [&](std::int64_t position) {
      using ornhost::detail::StandardsTable;
      const auto stored = StandardsTable::Read(*db_, position).standards.overrides;
      auto overrides = stored;
      std::vector<ornhost::detail::VersionMark> marks;
      for (const auto& [property, reason] : entry.pendingOverrides) {
        const auto before = stored.find(property);
        if (before == stored.end() || before->second.reason != reason) {
          marks.push_back({"override", property,
                           before == stored.end() ? std::string() : before->second.reason, reason});
        }
        overrides[property] = {reason, ornhost::detail::OsUser(), ornhost::detail::UtcNow()};
      }
      for (const std::string& property : entry.droppedOverrides) {
        const auto before = stored.find(property);
        if (before == stored.end()) continue;
        marks.push_back({"override", property, before->second.reason, ""});
        overrides.erase(property);
      }
      StandardsTable::PutOverrides(*db_, position, overrides);
      return marks;
    };
  }
  try {
    entry.row = db_->Update(entry.row, entry.name, *entry.values, false, kValuesAction, alongside);
  } catch (const DesignFileError& error) {
    Fail(error);
  }
  entry.pending = false;
  entry.pendingOverrides.clear();
  entry.droppedOverrides.clear();
}

void OpenFile::Commit() {
  RequireOpen();
  if (!inTransaction_) return;
  try {
    for (const auto& entry : order_) WritePending(*entry);
    db_->CommitBatch();
  } catch (const DesignFileError& error) {
    Rollback();
    Fail(error);
  } catch (...) {
    Rollback();
    throw;
  }
  inTransaction_ = false;
  for (const auto& [entry, state] : saved_) entry->checked = false;
  for (const auto& entry : created_) entry->checked = false;
  saved_.clear();
  created_.clear();
  orderBefore_.clear();
  provenanceStamp_.reset();
  standardsStamp_.reset();
}

void OpenFile::Rollback() noexcept {
  if (!inTransaction_) return;
  if (db_) db_->RollbackBatch();
  inTransaction_ = false;
  for (auto& [entry, state] : saved_) {
    *entry = std::move(state);
    entry->pending = false;
    entry->checked = false;
  }
  for (const auto& entry : created_) entry->alive = false;
  order_ = std::move(orderBefore_);
  // Entries deleted in the transaction are alive again through their saved state.
  saved_.clear();
  created_.clear();
  orderBefore_.clear();
  Index();
  provenanceStamp_.reset();
  standardsStamp_.reset();
}

void OpenFile::SetValues(Entry& entry, const Settings& values) {
  RequireWrite();
  RequireAlive(entry);
  if (!entry.values) {
    throw FileFailure(ErrorKind::DamagedFile, path_,
                      "the stored record of " + Quoted(entry.name) +
                          " cannot be read, so it is not written: " + entry.problem);
  }
  RefuseLockBreaches(entry, values, false);
  Touch(entry);
  entry.values = values;
  entry.pending = true;
}

void OpenFile::CheckNewName(const std::u16string& name, bool forUndelete) const {
  if (const auto refusal = ornhost::RefusalOfSetupName(name)) {
    throw Failure(ErrorKind::NameRefused, *refusal, path_);
  }
  if (byName_.contains(name)) {
    throw Failure(ErrorKind::NameRefused,
                  forUndelete ? path_ + " holds a setup named " + Quoted(name) +
                                    " already; undelete(name, new_name) brings the deleted one "
                                    "back under another name"
                              : "a setup named " + Quoted(name) + " already exists",
                  path_);
  }
}

std::shared_ptr<Entry> OpenFile::New(const std::u16string& name, const Settings& values) {
  RequireWrite();
  CheckNewName(name, false);
  auto entry = std::make_shared<Entry>();
  entry->name = name;
  entry->values = values;
  try {
    entry->row = db_->Insert(name, values);
  } catch (const DesignFileError& error) {
    Fail(error);
  }
  entry->checked = true;
  created_.push_back(entry);
  order_.push_back(entry);
  byName_.emplace(entry->name, entry);
  return entry;
}

std::shared_ptr<Entry> OpenFile::Duplicate(Entry& source, std::optional<std::u16string> newName) {
  RequireWrite();
  RequireAlive(source);
  if (!source.values) {
    throw FileFailure(ErrorKind::DamagedFile, path_,
                      "the stored record of " + Quoted(source.name) +
                          " cannot be read, so it is not copied: " + source.problem);
  }
  if (!newName) {
    // As the module names a duplicate: "NAME - Copy", then "NAME - Copy-2", "-3", ...
    const std::u16string stem = source.name + u" - Copy";
    newName = stem;
    for (int counter = 2; byName_.contains(*newName) && newName->size() <= kMaxGeneratedName;
         ++counter) {
      newName = stem + u"-" + Utf8ToUtf16(std::to_string(counter));
    }
  }
  const Settings values = *source.values;
  return New(*newName, values);
}

void OpenFile::Rename(Entry& entry, const std::u16string& newName) {
  RequireWrite();
  RequireAlive(entry);
  if (newName == entry.name) return;
  CheckNewName(newName, false);
  Touch(entry);
  // The values set before are a state of their own, kept as a version apart from the rename's.
  WritePending(entry);
  try {
    entry.row = db_->Rename(entry.row, newName);
  } catch (const DesignFileError& error) {
    Fail(error);
  }
  const auto shared = byName_.at(entry.name);
  byName_.erase(entry.name);
  entry.name = newName;
  byName_.emplace(entry.name, shared);
}

void OpenFile::Delete(Entry& entry) {
  RequireWrite();
  RequireAlive(entry);
  Touch(entry);
  // What the script set is part of the deleted state, so that undelete brings it back.
  WritePending(entry);
  try {
    db_->Remove(entry.row);
  } catch (const DesignFileError& error) {
    Fail(error);
  }
  entry.alive = false;
  const auto shared = byName_.at(entry.name);
  byName_.erase(entry.name);
  std::erase(order_, shared);
}

std::shared_ptr<Entry> OpenFile::Undelete(std::u16string_view name,
                                          const std::optional<std::u16string>& newName) {
  RequireWrite();
  const std::u16string target = newName ? *newName : std::u16string(name);
  CheckNewName(target, !newName);
  const HistoryPlace place = DeletedPlace(name);
  auto entry = std::make_shared<Entry>();
  try {
    // Values its library setups lock now are held to them inside the write: a breach stores
    // nothing.
    ornhost::detail::SetupRecord record =
        db_->Undelete(place.position, target, [&](const ornhost::detail::SetupRecord& stored) {
          if (!stored.settings) return;
          const auto origins = ornhost::detail::ProvenanceTable::ReadAll(*db_);
          auto standards = ornhost::detail::StandardsTable::Read(*db_, place.position);
          ornhost::StoredSetupRecord setup;
          setup.settings = stored.settings;
          if (const auto found = origins.find(place.position); found != origins.end()) {
            setup.origin = found->second;
          }
          setup.standards = std::move(standards.standards);
          setup.overlays = std::move(standards.overlays);
          const auto governed = ornhost::GovernedOfStored(setup, Shelf());
          if (!governed) return;
          const auto breaches = ornhost::LockBreaches(*governed, *stored.settings, nullptr,
                                                      setup.standards.overrides);
          if (breaches.empty()) return;
          throw Failure(ErrorKind::LockedValue,
                        BreachesText(breaches) +
                            "; nothing changed (undelete brings the setup back unchanged)",
                        path_);
        });
    entry->name = std::move(record.name);
    entry->values = std::move(record.settings);
    entry->row = record.row;
  } catch (const DesignFileError& error) {
    Fail(error);
  }
  entry->checked = true;
  created_.push_back(entry);
  // At its old place: the host's order is the order of positions.
  const auto at = std::lower_bound(order_.begin(), order_.end(), entry->row.position,
                                   [](const std::shared_ptr<Entry>& each, std::int64_t position) {
                                     return each->row.position < position;
                                   });
  order_.insert(at, entry);
  byName_.emplace(entry->name, entry);
  provenanceStamp_.reset();
  return entry;
}

void OpenFile::Restore(Entry& entry, std::int64_t number) {
  RequireWrite();
  RequireAlive(entry);
  Touch(entry);
  const Settings values = VersionValues(PlaceOf(entry), number);
  RefuseLockBreaches(entry, values, true);
  WritePending(entry);
  try {
    entry.row = db_->Update(entry.row, entry.name, values, false, kRestoreAction);
  } catch (const DesignFileError& error) {
    Fail(error);
  }
  entry.values = values;
}

void OpenFile::SetLimits(const ornhost::detail::VersionLimits& limits) {
  RequireWrite();
  if (limits.versionsPerSetup < 0 || limits.versionsPerSetup > 1000000) {
    throw Failure(ErrorKind::ValueRefused, "a number of versions from 0 to 1000000, not " +
                                               std::to_string(limits.versionsPerSetup));
  }
  if (limits.deletedDays < 0 || limits.deletedDays > 36500) {
    throw Failure(ErrorKind::ValueRefused,
                  "a number of days from 0 to 36500, not " + std::to_string(limits.deletedDays));
  }
  if (db_->Version() < ornhost::detail::kVersionsFormat) {
    throw FileFailure(ErrorKind::OlderFormat, path_, "keeps no history: " + db_->Refusal());
  }
  try {
    ornhost::detail::VersionTable::SetLimits(*db_, limits);
  } catch (const DesignFileError& error) {
    Fail(error);
  }
}

// --- Reads ------------------------------------------------------------------------------------

std::optional<ornhost::Provenance> OpenFile::Origin(const Entry& entry) {
  RequireAlive(entry);
  try {
    // Read again only when a write, here or by another session, may have changed it.
    std::string stamp = ornhost::detail::ProvenanceTable::Stamp(*db_);
    if (stamp != provenanceStamp_) {
      provenance_ = ornhost::detail::ProvenanceTable::ReadAll(*db_);
      provenanceStamp_ = std::move(stamp);
    }
  } catch (const DesignFileError& error) {
    Fail(error);
  }
  const auto found = provenance_.find(entry.row.position);
  if (found == provenance_.end()) return std::nullopt;
  return found->second;
}

std::optional<ornhost::Drift> OpenFile::DriftOf(const Entry& entry) {
  const auto origin = Origin(entry);
  if (!origin) return std::nullopt;
  if (!entry.values) {
    throw FileFailure(
        ErrorKind::DamagedFile, path_,
        "the stored record of " + Quoted(entry.name) + " cannot be read: " + entry.problem);
  }
  std::string gone;
  const auto library = Shelf().Values(*origin, gone);
  auto drift = ornhost::DriftOfValues(*origin, *entry.values, origin->base, library, gone, true);
  if (drift.libraryGone) return drift;
  // A library setup that governs some values, or one applied over it, changes what drifts: as
  // the workbench's drift, each value against the layer that governs it, the rest the drawing's.
  const auto governed = GovernedOf(entry);
  if (!governed) return drift;
  drift.counts = governed->counts;
  for (std::size_t i = 0; i < drift.rows.size(); ++i) {
    const ornhost::GovernedValue& value = governed->values[i];
    ornhost::DriftRow& row = drift.rows[i];
    row.state = value.layer ? value.state : ornhost::DriftState::Unchanged;
    if (!value.layer) continue;
    row.base = value.base;
    row.library = value.library;
  }
  return drift;
}

HistoryPlace OpenFile::PlaceOf(const Entry& entry) const {
  RequireAlive(entry);
  return {entry.row.position, entry.name, false};
}

HistoryPlace OpenFile::DeletedPlace(std::u16string_view name) {
  for (const auto& deleted : Deleted()) {
    if (deleted.name == name) return {deleted.position, deleted.name, true};
  }
  throw Failure(ErrorKind::NoSuchSetup, path_ + " keeps no deleted setup named " + Quoted(name),
                path_);
}

std::vector<VersionInfo> OpenFile::History(const HistoryPlace& place) {
  std::vector<ornhost::detail::VersionEntry> entries;
  try {
    entries = ornhost::detail::VersionTable::History(Db(), place.position);
  } catch (const DesignFileError& error) {
    Fail(error);
  }
  std::vector<VersionInfo> versions;
  versions.reserve(entries.size());
  // The name each write left: that of the next newer stored state, or the setup's now.
  std::u16string after = place.deleted ? u"" : place.name;
  for (auto& entry : entries) {
    const bool reset = entry.action == ornhost::detail::actions::kReset;
    std::u16string nameAfter = reset ? entry.name : after;
    if (!reset) after = entry.name;
    versions.push_back({std::move(entry), std::move(nameAfter)});
  }
  return versions;
}

Settings OpenFile::VersionValues(const HistoryPlace& place, std::int64_t number) {
  const auto noVersion = [&](const std::string& why) {
    return Failure(ErrorKind::NoSuchVersion, Quoted(place.name) + " " + why, path_);
  };
  const std::string numberText = std::to_string(number);
  std::optional<ornhost::detail::VersionState> state;
  try {
    for (const auto& entry : ornhost::detail::VersionTable::History(Db(), place.position)) {
      if (entry.number != number) continue;
      if (entry.action == ornhost::detail::actions::kUndelete) {
        throw noVersion("has no values in version " + numberText +
                        ": it marks where the setup came back after being deleted; the version "
                        "before it holds its values then");
      }
      state = ornhost::detail::VersionTable::StateAt(*db_, place.position, number);
      break;
    }
  } catch (const DesignFileError& error) {
    Fail(error);
  }
  if (!state) throw noVersion("has no version " + numberText + " (history() lists its versions)");
  std::string problem;
  auto values = ornhost::detail::ReadSettingValues(state->values, problem);
  if (!values) {
    throw FileFailure(
        ErrorKind::DamagedFile, path_,
        "version " + numberText + " of " + Quoted(place.name) + " does not read back: " + problem);
  }
  return *values;
}

Settings OpenFile::DeletedValues(const HistoryPlace& place) {
  std::optional<ornhost::detail::VersionState> state;
  try {
    state = ornhost::detail::VersionTable::DeletedState(Db(), place.position);
  } catch (const DesignFileError& error) {
    Fail(error);
  }
  if (!state) {
    throw Failure(ErrorKind::NoSuchSetup,
                  path_ + " keeps no deleted setup named " + Quoted(place.name), path_);
  }
  std::string problem;
  auto values = ornhost::detail::ReadSettingValues(state->values, problem);
  if (!values) {
    throw FileFailure(
        ErrorKind::DamagedFile, path_,
        "the deleted setup " + Quoted(place.name) + " does not read back: " + problem);
  }
  return *values;
}

std::vector<ornhost::detail::DeletedEntry> OpenFile::Deleted() {
  try {
    return ornhost::detail::VersionTable::Deleted(Db());
  } catch (const DesignFileError& error) {
    Fail(error);
  }
}

ornhost::detail::VersionLimits OpenFile::Limits() {
  try {
    return ornhost::detail::VersionTable::Limits(Db());
  } catch (const DesignFileError& error) {
    Fail(error);
  }
}

// --- Office standards ---------------------------------------------------------------------------

ornhost::LibraryShelf& OpenFile::Shelf() {
  if (!shelf_) shelf_ = std::make_unique<ornhost::LibraryShelf>();
  return *shelf_;
}

ornhost::detail::StandardsOfSetup OpenFile::StandardsOf(const Entry& entry) {
  RequireAlive(entry);
  ornhost::detail::StandardsOfSetup standards;
  try {
    // Read again only when a write, here or by another session, may have changed them.
    std::string stamp = ornhost::detail::StandardsTable::Stamp(*db_);
    if (stamp != standardsStamp_) {
      standards_ = ornhost::detail::StandardsTable::ReadAll(*db_);
      standardsStamp_ = std::move(stamp);
    }
  } catch (const DesignFileError& error) {
    Fail(error);
  }
  if (const auto found = standards_.find(entry.row.position); found != standards_.end()) {
    standards = found->second;
  }
  for (const auto& [property, reason] : entry.pendingOverrides) {
    standards.standards.overrides[property] = ornhost::OverrideRecord{reason, "", ""};
  }
  for (const std::string& property : entry.droppedOverrides) {
    standards.standards.overrides.erase(property);
  }
  return standards;
}

std::optional<ornhost::Governed> OpenFile::GovernedOf(const Entry& entry) {
  auto origin = Origin(entry);
  auto standards = StandardsOf(entry);
  if (!origin && standards.overlays.empty()) return std::nullopt;
  if (!entry.values) {
    throw FileFailure(
        ErrorKind::DamagedFile, path_,
        "the stored record of " + Quoted(entry.name) + " cannot be read: " + entry.problem);
  }
  ornhost::StoredSetupRecord setup;
  setup.name = entry.name;
  setup.settings = entry.values;
  setup.origin = std::move(origin);
  setup.standards = std::move(standards.standards);
  setup.overlays = std::move(standards.overlays);
  return ornhost::GovernedOfStored(setup, Shelf());
}

std::vector<ornhost::ValueLock> OpenFile::LocksOf(const Entry& entry) {
  std::vector<ornhost::ValueLock> locks;
  const auto governed = GovernedOf(entry);
  if (!governed) return locks;
  for (const ornhost::GovernedValue& value : governed->values) {
    if (!value.Locked()) continue;
    locks.push_back(ornhost::LockOfValue(entry.name, *governed, value));
  }
  return locks;
}

void OpenFile::RefuseLockBreaches(const Entry& entry, const Settings& after, bool restoring) {
  const auto governed = GovernedOf(entry);
  if (!governed) return;
  const auto overrides = StandardsOf(entry).standards.overrides;
  const auto breaches = ornhost::LockBreaches(*governed, after, &*entry.values, overrides);
  if (breaches.empty()) return;
  const std::string& property = breaches.front().property;
  if (restoring) {
    throw Failure(ErrorKind::LockedValue,
                  BreachesText(breaches) + "; nothing restored (" + OverrideHint(property) + ")",
                  path_);
  }
  // A value set is the command line's edit, refused in its words.
  const ornhost::GovernedValue& value = *governed->Find(property);
  const ornhost::ValueLock lock = ornhost::LockOfValue(entry.name, *governed, value);
  throw Failure(ErrorKind::LockedValue, ornhost::LockedText(lock) + "; " + OverrideHint(property),
                path_);
}

void OpenFile::SetOverride(Entry& entry, const std::string& property, const std::string& reason) {
  RequireWrite();
  RequireAlive(entry);
  if (reason.empty()) throw Failure(ErrorKind::ValueRefused, "an override needs a reason", path_);
  if (Utf8ToUtf16(reason).size() > ornhost::kMaxReasonLength) {
    throw Failure(ErrorKind::ValueRefused, "a reason of at most 1000 characters", path_);
  }
  const auto governed = GovernedOf(entry);
  const ornhost::GovernedValue* value = governed ? governed->Find(property) : nullptr;
  if (value == nullptr || !value->Locked()) {
    throw Failure(
        ErrorKind::ValueRefused,
        property + " of " + Quoted(entry.name) + " is not locked; there is nothing to override",
        path_);
  }
  Touch(entry);
  entry.pendingOverrides[property] = reason;
  entry.droppedOverrides.erase(property);
  // Stored with the values, even when they stay as they are.
  entry.pending = true;
}

void OpenFile::DropOverride(Entry& entry, const std::string& property,
                            const std::function<void(Settings&, const std::string&)>& put) {
  RequireWrite();
  RequireAlive(entry);
  if (!entry.values) {
    throw FileFailure(ErrorKind::DamagedFile, path_,
                      "the stored record of " + Quoted(entry.name) +
                          " cannot be read, so it is not written: " + entry.problem);
  }
  const auto governed = GovernedOf(entry);
  const ornhost::GovernedValue* value = governed ? governed->Find(property) : nullptr;
  if (value == nullptr || !value->Locked() || !value->Overridden()) {
    throw Failure(ErrorKind::ValueRefused,
                  property + " of " + Quoted(entry.name) + " has no override to drop", path_);
  }
  Settings values = *entry.values;
  put(values, value->library);
  Touch(entry);
  entry.values = values;
  entry.pendingOverrides.erase(property);
  entry.droppedOverrides.insert(property);
  entry.pending = true;
}

template <typename Write>
auto OpenFile::Standard(Entry& entry, Write write) {
  RequireWrite();
  RequireAlive(entry);
  Touch(entry);
  // The values set before are a state of their own, kept as a version apart from this one's.
  WritePending(entry);
  try {
    return write(*db_);
  } catch (const ornhost::StandardsError& error) {
    throw Failure(ErrorKind::ValueRefused, error.what(), path_);
  } catch (const DesignFileError& error) {
    Fail(error);
  }
}

void OpenFile::SetNote(Entry& entry, const std::string& property, const std::string& text) {
  Standard(entry, [&](DesignFile& db) { ornhost::SetNoteIn(db, entry.name, property, text); });
}

std::vector<std::string> OpenFile::SetScope(Entry& entry,
                                            const std::optional<ornhost::PropertySet>& scope) {
  return Standard(entry,
                  [&](DesignFile& db) { return ornhost::SetScopeIn(db, entry.name, scope); });
}

void OpenFile::Lock(Entry& entry, const std::vector<std::string>& properties,
                    const std::string& reason) {
  Standard(entry, [&](DesignFile& db) { ornhost::LockIn(db, entry.name, properties, reason); });
}

void OpenFile::Unlock(Entry& entry, const std::vector<std::string>& properties) {
  Standard(entry, [&](DesignFile& db) { ornhost::UnlockIn(db, entry.name, properties); });
}

ornhost::ValueWhy OpenFile::WhyOf(const Entry& entry, const std::string& property) {
  const auto governed = GovernedOf(entry);
  if (!entry.values) {
    throw FileFailure(
        ErrorKind::DamagedFile, path_,
        "the stored record of " + Quoted(entry.name) + " cannot be read: " + entry.problem);
  }
  // What the file holds: the state before the open transaction changed it.
  std::optional<Settings> saved = entry.values;
  for (const auto& [kept, state] : saved_) {
    if (kept.get() == &entry) saved = state.values;
  }
  std::vector<ornhost::SetupVersion> versions;
  for (const VersionInfo& info : History(PlaceOf(entry))) versions.push_back(VersionOf(info.entry));
  return ornhost::WhyOfValues(property, *entry.values, saved, governed,
                              StandardsOf(entry).standards, versions);
}

}  // namespace ornr::python
