// Design libraries read from their files, each once, for questions asked without a session or
// beside one: what a library setup holds now, and which library offers a name.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/OrnSettings.h"
#include "host/provenance/Provenance.h"
#include "host/store/StandardsRecord.h"

namespace ornhost {

/// Safe to ask from several threads at once. A library file is read at most once, the first
/// time it is needed, and kept: what it held then is its answer for the shelf's life.
class LibraryShelf {
 public:
  struct Offer {
    /// The library's file name, as the panel's "StoreIn" shows it, and its path as given.
    std::u16string libraryFile;
    std::filesystem::path libraryPath;
    Teskor::ZelPlatform::OrnSettings settings;
  };

  /// offered: the libraries whose setups are offered by name, read now in full. Throws
  /// DesignFileError for one that cannot be read.
  explicit LibraryShelf(const std::vector<std::filesystem::path>& offered = {});
  ~LibraryShelf();
  LibraryShelf(const LibraryShelf&) = delete;
  LibraryShelf& operator=(const LibraryShelf&) = delete;

  /// The values of the library setup origin was taken from, read from the library file at the
  /// recorded path. Nothing when the file is gone, cannot be read or no longer holds a readable
  /// setup of that name; gone then says why in plain words.
  std::optional<Teskor::ZelPlatform::OrnSettings> Values(const Provenance& origin,
                                                         std::string& gone);
  /// A library setup as its file holds it: values and office standards.
  struct SetupNow {
    Teskor::ZelPlatform::OrnSettings values;
    SetupStandards standards;
  };
  /// The same as Values, with the library setup's standards.
  std::optional<SetupNow> Setup(const Provenance& origin, std::string& gone);
  /// The offered library setup of that name (of several libraries, the one whose file name sorts
  /// first, as the module picks one); nothing when no offered library holds a readable one.
  const Offer* Offering(std::u16string_view name) const;

  /// Why origin's library setup is gone from a library that is there: it holds none of that
  /// name, or (damaged) only a record that cannot be read.
  static std::string GoneReason(const Provenance& origin, bool damaged);

 private:
  struct Library;
  /// The library at path, read when first asked for.
  const Library& Find(const std::string& path);

  std::mutex mutex_;
  /// By the comparable form of the path, so that two spellings of one file share an entry.
  std::map<std::filesystem::path, std::shared_ptr<Library>> libraries_;
  /// The same by the path as a record spells it.
  std::unordered_map<std::string, std::shared_ptr<Library>> byRecordedPath_;
  std::unordered_map<std::u16string, Offer> offers_;
};

}  // namespace ornhost
