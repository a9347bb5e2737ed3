// Where a master-file setup came from: the library setup it was taken from and the values it had
// then (the merge base), kept in the master file; and how the setup, that base and the library
// setup have moved apart since.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/OrnSettings.h"
#include "host/store/ProvenanceRecord.h"

namespace ornhost {

/// A provenance that cannot be recorded or read: no master file, no such setup, a library that
/// does not hold it, a write that did not reach the file.
class ProvenanceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Records that the master-file setup was just made or refreshed from a library: the library that
/// offers its name (of several, the one whose file name sorts first, as the module picks it),
/// with the library setup's values as base. The setup's stored values must equal that library
/// setup's, so a copy or update that did not take records nothing. Replaces an older record and
/// drops a pending base. Throws ProvenanceError, DesignFileError.
void RecordProvenance(const std::u16string& setup);
/// The master file's record for the setup; nothing without one (or without a master file).
std::optional<Provenance> ProvenanceOf(const std::u16string& setup);
/// Every record of the master file by setup name, read at once.
std::map<std::u16string, Provenance> AllProvenance();

/// The records of a design file, open or not, by setup name. Throws DesignFileError.
std::map<std::u16string, Provenance> ProvenanceInFile(const std::filesystem::path& designFile);
/// Gives the setup stored in designFile under name that record, or takes its record away
/// (nothing: it was made some other way). Throws DesignFileError.
void StoreProvenance(const std::filesystem::path& designFile, const std::u16string& setup,
                     const std::optional<Provenance>& record);

enum class DriftState {
  Unchanged,
  ChangedHere,
  ChangedInLibrary,
  Conflict,
  /// Changed on both sides to the same value: nothing to merge.
  ChangedAlike,
};
/// "unchanged", "changed here", "changed in library", "conflict", "changed alike".
const char* DriftStateName(DriftState state);

struct DriftRow {
  /// The property's stored key, which is also its name in the panel.
  std::string property;
  DriftState state = DriftState::Unchanged;
  /// Lossless texts, as SettingTexts writes them.
  std::string here;
  std::string base;
  std::string library;
};

/// Every property of here against base and library, in the record's order. Doubles are equal
/// when their bits are (so -0.0 differs from 0.0).
std::vector<DriftRow> CompareThreeWays(const Teskor::ZelPlatform::OrnSettings& here,
                                       const Teskor::ZelPlatform::OrnSettings& base,
                                       const Teskor::ZelPlatform::OrnSettings& library);

struct Drift {
  Provenance origin;
  /// The base a merge left pending, which the comparison used instead of the recorded one.
  bool pendingBase = false;
  /// The library file is gone or no longer holds a readable setup of that name.
  bool libraryGone = false;
  /// Why, in plain words, when gone.
  std::string goneReason;
  Teskor::ZelPlatform::OrnSettings library;
  /// Every property with its values; empty when the library setup is gone, and left out by
  /// AllDrift.
  std::vector<DriftRow> rows;
  /// How many properties are in each state, by DriftState.
  std::array<std::size_t, 5> counts{};

  std::size_t Count(DriftState state) const { return counts[static_cast<std::size_t>(state)]; }
  /// "up to date", "library setup gone", or what there is of "library has N newer values",
  /// "N local changes", "N conflicts", joined by ", " (singular for one).
  std::string Summary() const;
};

/// What there is of "library has N newer values", "N local changes", "N conflicts", joined by
/// ", " (singular for one); empty when all three are zero.
std::string DriftCountsText(const std::array<std::size_t, 5>& counts);

/// The drift of the master-file setup's working copy (what the panel shows) from its base and
/// from the library setup as the host offers it now (read from the library file when that is not
/// open as a library). Nothing when the setup has no provenance. Throws ProvenanceError for a
/// setup whose stored record cannot be read, DesignFileError.
std::optional<Drift> DriftOf(const std::u16string& setup);
/// The same for every readable master-file setup with provenance, reading the records once,
/// without rows (only counts).
std::map<std::u16string, Drift> AllDrift();

/// The drift of values here from base and from the library setup's values, read any way (nothing:
/// the library setup is gone, goneReason says why); rows only when withRows. What DriftOf works
/// out for a setup of the open master file, for values that no session holds.
Drift DriftOfValues(const Provenance& origin, const Teskor::ZelPlatform::OrnSettings& here,
                    const Teskor::ZelPlatform::OrnSettings& base,
                    const std::optional<Teskor::ZelPlatform::OrnSettings>& library,
                    std::string goneReason, bool withRows);

/// How a merge decides a property changed on both sides to different values.
enum class MergeTake { Undecided, Library, Local };
/// Whether a merge takes the library's value of a property in that state: every value changed
/// only in the library, and conflicts when decided for the library.
bool TakesLibrary(DriftState state, MergeTake conflicts);

struct MergedValues {
  /// The setup's values after the merge.
  Teskor::ZelPlatform::OrnSettings values;
  /// Conflicts left undecided (stored keys); while there are any, a merge must change nothing.
  std::vector<std::string> undecided;
};
/// The three-way merge of here with the library's values over base, on values: what
/// merge-from-library makes of a setup before it is saved with the library's values as its new
/// merge base.
MergedValues MergeValues(const Teskor::ZelPlatform::OrnSettings& here,
                         const Teskor::ZelPlatform::OrnSettings& base,
                         const Teskor::ZelPlatform::OrnSettings& library, MergeTake conflicts);

/// Keeps base as the setup's next merge base: it replaces the recorded one when the setup is
/// next saved, and is dropped when the setup is reset. Throws ProvenanceError.
/// governed is what the library setup governs now (nothing: all of it): what the base covers.
void SetPendingBase(const std::u16string& setup, const Teskor::ZelPlatform::OrnSettings& base,
                    const std::optional<PropertySet>& governed = std::nullopt);
bool HasPendingBase(const std::u16string& setup);

/// The host sets one value of the master-file setup's working copy from its lossless text (what
/// the panel cannot write) and marks the setup modified. Throws ProvenanceError.
void SetWorkingSetting(const std::u16string& setup, const std::string& key,
                       const std::string& text);

namespace detail {

class HostFile;

/// The records of file's setups by name, each with the base a merge left pending in place of
/// the recorded one: what the working copies would be recorded with once saved.
std::map<std::u16string, Provenance> OriginsOfWorkingCopies(HostFile& file);
/// The records of file's stored setups by position, read once per change of the file.
const std::map<std::int64_t, Provenance>& ProvenanceByPosition(HostFile& file);

}  // namespace detail

}  // namespace ornhost
