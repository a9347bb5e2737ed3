#include "host/provenance/LibraryShelf.h"

#include <utility>

#include "host/controls/HostControls.h"
#include "host/provenance/StoredSetups.h"
#include "host/session/HostState.h"
#include "support/Utf.h"

using Teskor::ZelPlatform::OrnSettings;

namespace ornhost {

struct LibraryShelf::Library {
  /// No regular file is at the path.
  bool missing = false;
  /// Why the file could not be read, in the host's words; empty when it was.
  std::string failure;
  /// By name; nothing for a record that cannot be read.
  std::unordered_map<std::u16string, std::optional<SetupNow>> setups;
};

namespace {

using ornr::Quoted;

}  // namespace

LibraryShelf::LibraryShelf(const std::vector<std::filesystem::path>& offered) {
  for (const std::filesystem::path& path : offered) {
    StoredFile stored = ReadStoredFile(path);
    auto library = std::make_shared<Library>();
    const std::u16string file = ornr::Utf8ToUtf16(path.filename().string());
    for (StoredSetupRecord& setup : stored.setups) {
      std::optional<SetupNow> now;
      if (setup.settings) now = SetupNow{*setup.settings, std::move(setup.standards)};
      library->setups.emplace(setup.name, now);
      if (!now) continue;
      const auto offer = offers_.find(setup.name);
      // The module takes a name offered by several libraries from the one that sorts first.
      if (offer == offers_.end() || file < offer->second.libraryFile) {
        offers_[setup.name] = Offer{file, path, now->values};
      }
    }
    libraries_.emplace(detail::ComparablePath(path), std::move(library));
  }
}

LibraryShelf::~LibraryShelf() = default;

const LibraryShelf::Library& LibraryShelf::Find(const std::string& path) {
  std::lock_guard lock(mutex_);
  // Most records of a project name a few library paths, each spelt the same way every time.
  if (const auto known = byRecordedPath_.find(path); known != byRecordedPath_.end()) {
    return *known->second;
  }
  const std::filesystem::path key = detail::ComparablePath(path);
  auto found = libraries_.find(key);
  if (found == libraries_.end()) {
    auto library = std::make_shared<Library>();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
      library->missing = true;
    } else {
      try {
        for (StoredSetupRecord& setup : ReadStoredFile(path).setups) {
          std::optional<SetupNow> now;
          if (setup.settings) now = SetupNow{*setup.settings, std::move(setup.standards)};
          library->setups.emplace(std::move(setup.name), std::move(now));
        }
      } catch (const DesignFileError& error) {
        library->failure = error.what();
      }
    }
    found = libraries_.emplace(key, std::move(library)).first;
  }
  byRecordedPath_.emplace(path, found->second);
  return *found->second;
}

std::optional<OrnSettings> LibraryShelf::Values(const Provenance& origin, std::string& gone) {
  auto now = Setup(origin, gone);
  if (!now) return std::nullopt;
  return std::move(now->values);
}

std::optional<LibraryShelf::SetupNow> LibraryShelf::Setup(const Provenance& origin,
                                                          std::string& gone) {
  const std::string file = Quoted(origin.libraryFile);
  const Library& library = Find(origin.libraryPath);
  if (library.missing) {
    gone = "the library " + file + " is gone from " + origin.libraryPath;
    return std::nullopt;
  }
  if (!library.failure.empty()) {
    gone = library.failure;
    return std::nullopt;
  }
  const auto setup = library.setups.find(origin.librarySetup);
  if (setup == library.setups.end() || !setup->second) {
    gone = GoneReason(origin, setup != library.setups.end());
    return std::nullopt;
  }
  return setup->second;
}

std::string LibraryShelf::GoneReason(const Provenance& origin, bool damaged) {
  const std::string file = Quoted(origin.libraryFile);
  if (damaged) {
    return "the library " + file + " holds " + Quoted(origin.librarySetup) +
           " only as a damaged record";
  }
  return "the library " + file + " holds no setup " + Quoted(origin.librarySetup);
}

const LibraryShelf::Offer* LibraryShelf::Offering(std::u16string_view name) const {
  const auto found = offers_.find(std::u16string(name));
  return found != offers_.end() ? &found->second : nullptr;
}

}  // namespace ornhost
