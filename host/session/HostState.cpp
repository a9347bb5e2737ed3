#include "host/session/HostState.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <string_view>

#include "host/session/HostFaults.h"
#include "host/store/SetupNames.h"
#include "host/store/VersionTable.h"
#include "support/Utf.h"

using Teskor::ZelPlatform::OrnSettings;
using Teskor::ZelPlatform::OrnSetup;
using Teskor::ZelPlatform::StoreAccess;

namespace Teskor::ZelPlatform {

std::unique_ptr<OrnSetup> StoreAccess::Read(ZelFile& file, std::u16string name,
                                            const std::optional<OrnSettings>& settings) {
  auto setup = std::make_unique<OrnSetup>(file, u"");
  setup->name = WString(std::move(name));
  setup->valid = settings.has_value();
  if (settings) setup->settings = *settings;
  return setup;
}

void StoreAccess::SetName(RenderStore& setup, std::u16string_view name) {
  const WString old = setup.name;
  setup.name = WString(name);
  const auto* ornSetup = dynamic_cast<const OrnSetup*>(&setup);
  if (ornSetup == nullptr) return;
  if (auto* file = dynamic_cast<ornhost::detail::HostFile*>(ornSetup->file)) {
    file->NoteRenamed(*ornSetup, old.str(), name);
  }
}

}  // namespace Teskor::ZelPlatform

namespace ornhost::detail {

Teskor::ZelPlatform::ZelFile* HostModel::GetZelFileP() const {
  return &file_;
}

namespace {

// Marks each entry whose name an earlier entry holds already: open addressing over positions.
std::vector<bool> HeldBefore(const std::vector<StoreEntry>& entries) {
  std::vector<bool> later(entries.size(), false);
  std::size_t size = 16;
  while (size < entries.size() * 2) size *= 2;
  std::vector<std::uint32_t> slots(size, 0);  // position + 1; 0 is free
  const std::hash<std::u16string_view> hash;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::u16string& name = entries[i].working->GetName().str();
    for (std::size_t slot = hash(name) & (size - 1);; slot = (slot + 1) & (size - 1)) {
      if (slots[slot] == 0) {
        slots[slot] = static_cast<std::uint32_t>(i + 1);
        break;
      }
      if (entries[slots[slot] - 1].working->GetName().str() == name) {
        later[i] = true;
        break;
      }
    }
  }
  return later;
}

}  // namespace

HostFile::HostFile(const std::filesystem::path& path, DesignFile::Access access)
    : path_(path),
      writable_(access == DesignFile::Access::ReadWrite),
      db_(std::make_unique<DesignFile>(path, access)) {
  canonical_ = ComparablePath(path);
  // Why a record could not be read, by its entry; told below in the order of the entries.
  std::vector<std::pair<std::size_t, std::string>> unreadable;
  db_->Load([&](SetupRecord& record) {
    StoreEntry& entry = entries_.emplace_back();
    entry.working = StoreAccess::Read(*this, std::move(record.name), record.settings);
    entry.stored.emplace();
    if (record.settings) entry.stored->settings = *record.settings;
    entry.stored->valid = record.settings.has_value();
    entry.row = record.row;
    if (!record.settings) unreadable.emplace_back(entries_.size() - 1, std::move(record.problem));
  });
  const std::vector<bool> heldBefore = HeldBefore(entries_);
  auto problem = unreadable.begin();
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    StoreEntry& entry = entries_[i];
    const std::u16string& name = entry.working->GetName().str();
    // Found by name, the first record of a name is the setup; a later one is damaged, as is one
    // whose name no panel could show.
    std::optional<std::string> damage = RefusalOfSetupName(name);
    const bool read = problem == unreadable.end() || problem->first != i;
    if (heldBefore[i]) {
      damage = "a second record named \"" + PrintableSetupName(name) + "\"";
    } else if (!damage && !read) {
      damage = "\"" + PrintableSetupName(name) + "\": " + problem->second;
    }
    if (!read) ++problem;
    if (damage) {
      entry.working->valid = false;
      StoreAccess::Settings(*entry.working) = OrnSettings();
      entry.stored = StoredCopy{OrnSettings(), false};
      ReportError(DisplayName() + ": a damaged setup record is ignored: " + *damage);
    }
  }
  setups_.reserve(entries_.size());
  for (const StoreEntry& entry : entries_) setups_.push_back(entry.working.get());
  if (!db_->ReadProblem().empty()) ReportError(db_->ReadProblem());
  // Known at open only for a file of an older format: every write would be refused.
  if (writable_ && db_->ReadProblem().empty() && !db_->Refusal().empty()) {
    ReportError(DisplayName() + " is open read-only: " + db_->Refusal());
  }
  // A long history is checked beside the session, not at its first save.
  if (writable_) db_->CheckInBackground();
  if (writable_ && db_->Version() >= kVersionsFormat) {
    try {
      std::string problem;
      VersionTable::Limits(*db_, &problem);
      if (!problem.empty()) ReportError(DisplayName() + ": " + problem);
    } catch (const DesignFileError&) {
      // A table that cannot be read is the first write's to tell.
    }
  }
}

Teskor::WString HostFile::GetFileName() const {
  return ornr::Utf8ToUtf16(path_.string());
}

void HostFile::Reindex() {
  indexBuilt_ = false;
  first_.clear();
  first_.reserve(entries_.size());
  duplicates_ = false;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const OrnSetup* setup = entries_[i].working.get();
    if (!first_.try_emplace(setup->GetName().str(), Indexed{setup, i}).second) duplicates_ = true;
  }
  indexBuilt_ = true;
}

StoreEntry* HostFile::Locate(Indexed& indexed) {
  const std::size_t count = setups_.size();
  if (count == 0) return nullptr;
  const std::size_t hint = std::min(indexed.hint, count - 1);
  // Entries move toward the front as earlier ones go, toward the back as some are put before
  // them: the entry is found a few places from where it was last seen.
  for (std::size_t distance = 0; distance <= hint || hint + distance < count; ++distance) {
    for (const std::size_t at : {hint - distance, hint + distance}) {
      if (at < count && setups_[at] == indexed.setup) {
        indexed.hint = at;
        return &entries_[at];
      }
    }
  }
  return nullptr;
}

StoreEntry* HostFile::Find(std::u16string_view name) {
  if (!indexBuilt_) Reindex();
  for (int attempt = 0; attempt < 2; ++attempt) {
    const auto found = first_.find(std::u16string(name));
    if (found == first_.end()) return nullptr;
    StoreEntry* entry = Locate(found->second);
    if (entry != nullptr && entry->working->GetName().str() == name) return entry;
    Reindex();
  }
  return nullptr;
}

void HostFile::Insert(std::size_t at, StoreEntry entry) {
  const OrnSetup* setup = entry.working.get();
  const auto offset = static_cast<std::ptrdiff_t>(at);
  setups_.insert(setups_.begin() + offset, setup);
  try {
    entries_.insert(entries_.begin() + offset, std::move(entry));
  } catch (...) {
    setups_.erase(setups_.begin() + offset);
    throw;
  }
  if (!indexBuilt_) return;
  try {
    // Put before another entry of its name, it would come first: rare enough to rebuild for.
    if (!first_.try_emplace(setup->GetName().str(), Indexed{setup, at}).second) {
      duplicates_ = true;
      if (at + 1 < entries_.size()) indexBuilt_ = false;
    }
  } catch (...) {
    indexBuilt_ = false;  // out of memory: the entry is in, the next find rebuilds
  }
}

void HostFile::Append(StoreEntry entry) {
  Insert(entries_.size(), std::move(entry));
}

void HostFile::Retire(StoreEntry& entry) {
  const auto at = &entry - entries_.data();
  if (indexBuilt_) {
    const auto slot = first_.find(entry.working->GetName().str());
    if (duplicates_) {
      indexBuilt_ = false;  // a later entry of the name may come first now
    } else if (slot != first_.end() && slot->second.setup == entry.working.get()) {
      first_.erase(slot);
    }
  }
  removedSinceListing_.push_back(std::move(entry.working));
  setups_.erase(setups_.begin() + at);
  entries_.erase(entries_.begin() + at);
}

void HostFile::NoteListed() {
  // A session deletes without end: only what no listing since holds can go.
  removedBeforeListing_ = std::move(removedSinceListing_);
  removedSinceListing_.clear();
}

void HostFile::NoteRenamed(const OrnSetup& setup, std::u16string_view oldName,
                           std::u16string_view newName) {
  if (!indexBuilt_) return;
  if (duplicates_) {
    indexBuilt_ = false;  // another entry of either name may come first now
    return;
  }
  try {
    // Without names held twice, a setup that the index does not know is being made, and is
    // indexed by its new name when it is added.
    const auto old = first_.find(std::u16string(oldName));
    if (old == first_.end() || old->second.setup != &setup) return;
    const Indexed indexed = old->second;
    first_.erase(old);
    // Onto a name held already: which of the two comes first is a matter of their places.
    if (!first_.try_emplace(std::u16string(newName), indexed).second) indexBuilt_ = false;
  } catch (...) {
    indexBuilt_ = false;  // out of memory: the next find rebuilds
  }
}

void HostFile::Adopt(RowRef row, std::u16string_view name, const OrnSettings& settings) {
  if (StoreEntry* entry = Find(name)) {
    StoreAccess::Settings(*entry->working) = settings;
    entry->working->valid = true;
    entry->stored = StoredCopy{settings, true};
    entry->row = row;
    return;
  }
  auto setup = std::make_unique<OrnSetup>(*this, u"");
  StoreAccess::SetName(*setup, name);
  StoreAccess::Settings(*setup) = settings;
  // Setups not yet stored keep their place at the end.
  const auto at = std::find_if(entries_.begin(), entries_.end(), [&](const StoreEntry& e) {
    return !e.row || e.row->position > row.position;
  });
  Insert(static_cast<std::size_t>(at - entries_.begin()),
         StoreEntry{std::move(setup), StoredCopy{settings, true}, row});
}

void HostFile::Close() {
  if (!IsOpen()) return;
  db_.reset();
  auto& retired = State().retired;
  for (auto& entry : entries_) retired.push_back(std::move(entry.working));
  entries_.clear();
  setups_.clear();
  first_.clear();
  indexBuilt_ = false;
}

HostState& State() {
  static HostState* state = new HostState;
  return *state;
}

namespace {

struct InjectedFailure {
  std::uint64_t failAt = 0;  // 0: off
  std::uint64_t calls = 0;
  bool fired = false;
};

InjectedFailure& Injected() {
  static InjectedFailure injected;
  return injected;
}

bool Releases(std::string_view call) {
  return call.find("_free") != std::string_view::npos ||
         call.find("UnRegister") != std::string_view::npos ||
         call.find("Drop") != std::string_view::npos;
}

}  // namespace

void LogCall(const char* call) {
  try {
    HostState& state = State();
    if (state.recordCalls) state.callLog.emplace_back(call);
  } catch (...) {
    // Out of memory: the log misses an entry rather than the host failing the call.
  }
  InjectedFailure& injected = Injected();
  if (injected.failAt == 0 || injected.fired || Releases(call)) return;
  if (++injected.calls != injected.failAt) return;
  injected.fired = true;
  throw std::bad_alloc();
}

void ReportError(const std::string& message) noexcept {
  try {
    auto& reporter = State().errorReporter;
    if (reporter) {
      reporter(message);
      return;
    }
  } catch (...) {
    // A reporter that fails must not take the host down; standard error still hears it.
  }
  std::fprintf(stderr, "ornhost: %s\n", message.c_str());
}

void NoteFailedSave(const HostFile& file, std::u16string_view name) noexcept {
  auto& closing = State().closing;
  if (!closing || closing->file != &file) return;
  try {
    closing->failedSaves.emplace_back(name);
  } catch (...) {
    // Out of memory: the setup is still modified, so nothing else is lost than this note.
  }
}

HostFile* FindOpenFile(const Teskor::ZelPlatform::ZelFile& file) {
  auto& state = State();
  if (state.master == &file) return state.master;
  for (HostFile* library : state.libraries) {
    if (library == &file) return library;
  }
  return nullptr;
}

std::filesystem::path ComparablePath(const std::filesystem::path& path) {
  std::error_code ec;
  auto canonical = std::filesystem::weakly_canonical(path, ec);
  return ec ? std::filesystem::absolute(path, ec) : canonical;
}

std::vector<HostFile*> FindOpenFiles(const std::filesystem::path& path) {
  const auto wanted = ComparablePath(path);
  auto& state = State();
  std::vector<HostFile*> found;
  if (state.master != nullptr && state.master->CanonicalPath() == wanted) {
    found.push_back(state.master);
  }
  for (HostFile* library : state.libraries) {
    if (library->CanonicalPath() == wanted) found.push_back(library);
  }
  return found;
}

HostFile& OpenFile(const std::filesystem::path& path, DesignFile::Access access) {
  auto& files = State().files;
  files.push_back(std::make_unique<HostFile>(path, access));
  return *files.back();
}

}  // namespace ornhost::detail

namespace ornhost {

void FailHostCallAt(std::uint64_t k) {
  detail::Injected() = detail::InjectedFailure{k, 0, false};
}

bool HostCallFailureFired() {
  return detail::Injected().fired;
}

void RecordCalls(bool on) {
  detail::State().recordCalls = on;
}

const std::vector<std::string>& CallLog() {
  return detail::State().callLog;
}

void ClearCallLog() {
  detail::State().callLog.clear();
}

void SetErrorReporter(std::function<void(const std::string&)> reporter) {
  detail::State().errorReporter = std::move(reporter);
}

std::string RenameRefusal(std::u16string_view oldName, std::u16string_view newName) {
  const auto& refused = detail::State().renameRefused;
  if (!refused || refused->oldName != oldName || refused->newName != newName) return {};
  return refused->reason;
}

std::optional<Teskor::ZelPlatform::OrnSettings> SavedSettings(std::u16string_view name) {
  detail::HostFile* master = detail::State().master;
  if (master == nullptr || !master->IsOpen()) return std::nullopt;
  const detail::StoreEntry* entry = master->Find(name);
  if (entry == nullptr || !entry->stored || !entry->stored->valid) return std::nullopt;
  return entry->stored->settings;
}

void OverwriteOnNextSave(const std::u16string& name) {
  auto& overwrite = detail::State().overwriteOnNextSave;
  if (name.empty()) {
    overwrite.reset();
  } else {
    overwrite = name;
  }
}

void ResetAll() {
  auto& state = detail::State();
  if (state.master != nullptr) state.master->Close();
  state.master = nullptr;
  for (detail::HostFile* library : state.libraries) library->Close();
  state.libraries.clear();
  state.answers.clear();
  state.questions.clear();
  state.questionObserver = nullptr;
  state.questionAsker = nullptr;
  state.errorReporter = nullptr;
  state.overwriteOnNextSave.reset();
  state.renameRefused.reset();
  state.closing.reset();
  state.callLog.clear();
  state.activeIsReference = false;
}

}  // namespace ornhost
