// Office standards: library setups that govern only some values, values they lock with a reason,
// notes, the library setups layered onto a drawing's setup, and the governed-values comparison
// that drift, merges, apply, why, the locks and the audit see. Rules of the host's provenance,
// beside the module: its copy and comparison of all 68 values stay as they are.
#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/OrnSettings.h"
#include "host/provenance/Provenance.h"
#include "host/store/StandardsRecord.h"
#include "host/store/StandardsTable.h"

namespace ornhost {

class LibraryShelf;
struct StoredSetupRecord;

/// A standard that cannot be read, set or kept: no master file, no such setup or property, a
/// word that names nothing, a value not governed, a lock that refuses a change. The message
/// says which in plain words.
class StandardsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// --- Words of a scope ----------------------------------------------------------------------------

/// A section of the settings catalogue: its identifier ("Lighting") and its properties' stored
/// keys in the order shown.
struct SettingsSection {
  std::string identifier;
  std::vector<std::string> properties;
};
/// Every section, in the catalogue's order.
const std::vector<SettingsSection>& SettingsSections();
/// The values words name, each a property's stored key or a section's identifier. Throws
/// StandardsError naming the first word that is neither, or for no words at all.
PropertySet ScopeOfWords(const std::vector<std::string>& words);
/// The fewest words for scope: whole sections by identifier first, in the catalogue's order,
/// then single properties in the record's order; {"all"} for nothing or every value.
std::vector<std::string> WordsOfScope(const std::optional<PropertySet>& scope);
/// The words joined by ", ": what versions and printouts show of a scope.
std::string ScopeText(const std::optional<PropertySet>& scope);

// --- Standards of the master file's setups (authored where libraries are) ------------------------

/// The standards the master file holds for its setup, its pending overrides among the overrides
/// (their madeBy empty). Throws StandardsError.
SetupStandards StandardsOf(const std::u16string& setup);
/// Sets what the stored master-file setup governs (nothing: all of it), at once, with a version
/// "scope". Locks of values it no longer governs go in the same transaction; returns their
/// properties. Throws StandardsError (also for a setup never saved), DesignFileError.
std::vector<std::string> SetScope(const std::u16string& setup,
                                  const std::optional<PropertySet>& scope);
/// Locks governed values of the stored master-file setup with reason (1 to 1000 characters), at
/// once, with a version "lock"; a locked value takes the new reason. Throws StandardsError for a
/// value not governed or not a property (nothing locked), DesignFileError.
void Lock(const std::u16string& setup, const std::vector<std::string>& properties,
          const std::string& reason);
/// Takes the locks off, at once, with a version "unlock". Throws StandardsError for a value not
/// locked (nothing unlocked), DesignFileError.
void Unlock(const std::u16string& setup, const std::vector<std::string>& properties);
/// Sets the note of the stored master-file setup (property empty) or of one of its values; an
/// empty text removes it. At once, with a version "note"; nothing when it holds that note
/// already. Throws StandardsError (a text over 4000 characters), DesignFileError.
void SetNote(const std::u16string& setup, const std::string& property, const std::string& text);

/// The same four for the setup stored under setup in a design file reached without a session (a
/// program's own connection, which may be inside a transaction of its own).
std::vector<std::string> SetScopeIn(detail::DesignFile& file, const std::u16string& setup,
                                    const std::optional<PropertySet>& scope);
void LockIn(detail::DesignFile& file, const std::u16string& setup,
            const std::vector<std::string>& properties, const std::string& reason);
void UnlockIn(detail::DesignFile& file, const std::u16string& setup,
              const std::vector<std::string>& properties);
void SetNoteIn(detail::DesignFile& file, const std::u16string& setup, const std::string& property,
               const std::string& text);

// --- Layers and the governed-values comparison ---------------------------------------------------

enum class LayerKind {
  /// The library setup the setup was copied or updated from by name.
  SameName,
  /// A library setup applied to it with apply.
  Overlay,
};

/// A library setup layered onto a drawing's setup, as its library holds it now.
struct Layer {
  LayerKind kind = LayerKind::SameName;
  /// Where it is, and the base and what it governed when it was taken.
  Provenance origin;
  /// Given by a merge or an apply that waits for the setup's save.
  bool pending = false;
  bool libraryGone = false;
  /// Why, in plain words, when gone.
  std::string goneReason;
  /// Its values, scope, locks and notes now; empty when gone.
  Teskor::ZelPlatform::OrnSettings library;
  SetupStandards standards;
  /// What it governs now; nothing when gone.
  PropertySet governed;

  /// "\"Night\" in office-standards.zellib".
  std::string Label() const;
};

struct GovernedValue {
  /// Its stored key, which is also its name in the panel.
  std::string property;
  /// The index in Governed::layers of the layer that governs it (the last that does); nothing
  /// for the drawing's own value.
  std::optional<std::size_t> layer;
  /// Earlier layers that govern it too and lose to the last.
  std::vector<std::size_t> shadowed;
  DriftState state = DriftState::Unchanged;
  /// Lossless texts, as SettingTexts writes them; base and library empty for an own value. The
  /// base is the value here where the layer's base does not cover it.
  std::string here;
  std::string base;
  std::string library;
  /// Governed now but not when its layer was taken: its base does not cover it.
  bool newlyGoverned = false;
  /// The reason of its layer's lock; nothing when not locked.
  std::optional<std::string> lockReason;
  /// The setup's override of it, saved or pending (pending: madeBy empty).
  std::optional<OverrideRecord> override;

  bool Locked() const { return lockReason.has_value(); }
  bool Overridden() const { return override.has_value(); }
  /// Locked, changed here (differs from the library and from its base) and not overridden.
  bool Breached() const;
};

struct Governed {
  /// In order: the same-name library setup first, then the overlays as applied.
  std::vector<Layer> layers;
  /// Every value, in the record's order.
  std::vector<GovernedValue> values;
  /// How many governed values are in each state, by DriftState; own values not counted.
  std::array<std::size_t, 5> counts{};

  std::size_t Count(DriftState state) const { return counts[static_cast<std::size_t>(state)]; }
  /// How many values a layer that is there governs.
  std::size_t GovernedCount() const;
  /// The value of that property; null for no property.
  const GovernedValue* Find(const std::string& property) const;
  /// "up to date", or what there is of "library has N newer values", "N local changes",
  /// "N conflicts", joined by ", "; with ", library setup gone" or "library setup gone" alone
  /// when a layer's library setup is gone.
  std::string Summary() const;
};

/// The comparison of the master-file setup's working copy (what the panel shows) with its layers,
/// pending ones included; each library file is read once (an offered library as the host offers
/// it). Nothing when it has no layers. Throws StandardsError for a setup whose stored record
/// cannot be read, DesignFileError.
std::optional<Governed> GovernedOf(const std::u16string& setup);
/// The same for a stored setup read without a session (ReadStoredFile), its libraries read
/// through shelf: what the audit sees. Nothing when it has no layers or cannot be read.
/// textsOfDriftedOnly: only the governed values that drifted and the locked ones carry their
/// texts, the others' are empty (the audit reads no more, and the texts are most of the cost).
std::optional<Governed> GovernedOfStored(const StoredSetupRecord& setup, LibraryShelf& shelf,
                                         bool textsOfDriftedOnly = false);

/// The governed three-way merge of here with every layer: values changed only in the library are
/// taken, those changed here kept, conflicts decided by conflicts; a locked value not overridden
/// is always the library's (a conflict on it is never undecided), an overridden one is kept. Own
/// values stay.
MergedValues MergeGoverned(const Teskor::ZelPlatform::OrnSettings& here, const Governed& governed,
                           MergeTake conflicts);
/// Keeps what a merge of the master-file setup leaves for its next save: each layer that is
/// there gets its library's values as base, with what it governs now. Committed at once when
/// nothing is left to save. Throws StandardsError.
void SetPendingMergeBases(const std::u16string& setup, const Governed& merged);

// --- Overlays
// --------------------------------------------------------------------------------------

/// A library setup as apply takes it.
struct LibrarySetup {
  /// Its library (file name, absolute path) and name; base its values, governed its scope.
  Provenance origin;
  SetupStandards standards;
};
/// The library setup name in the library at path (offered or not; read from its file), or
/// without path in the offered libraries (of several, the one whose file name sorts first, as
/// the module picks). Throws StandardsError when there is none or it cannot be read.
LibrarySetup FindLibrarySetup(const std::u16string& name,
                              const std::optional<std::filesystem::path>& path);

struct ApplyRow {
  std::string property;
  /// Lossless texts: the value now, the library setup's.
  std::string now;
  std::string library;
  /// Overridden here, so kept.
  bool kept = false;
};
struct ApplyPlan {
  /// The governed values of the library setup that differ here, in the record's order.
  std::vector<ApplyRow> rows;
  /// The setup's overlays once applied: the library setup last, with its governed values as base.
  std::vector<Provenance> overlays;
  /// How many values the library setup governs.
  std::size_t governed = 0;
};
/// What applying source to the master-file setup would change. Throws StandardsError: no such
/// setup, an unreadable one, source its same-name library setup.
ApplyPlan PlanApply(const LibrarySetup& source, const std::u16string& setup);
/// Keeps overlays as the setup's overlays for its next save (a reset drops them); committed at
/// once when nothing is left to save. Throws StandardsError.
void SetPendingOverlays(const std::u16string& setup, const std::vector<Provenance>& overlays);

// --- Locks
// -----------------------------------------------------------------------------------------

/// A locked value of a master-file setup.
struct ValueLock {
  std::u16string setup;
  std::string property;
  /// The layer whose library setup locks it.
  Layer layer;
  std::string reason;
  /// The setup's override, saved or pending (pending: madeBy empty).
  std::optional<OverrideRecord> override;
  /// Whether it is breached now (Governed::Breached).
  bool breached = false;
  /// Its value in the library setup, lossless as SettingTexts writes it: the one value an edit
  /// may give it without an override.
  std::string library;
};
/// The lock of value, a locked value of governed, the comparison of setup.
ValueLock LockOfValue(const std::u16string& setup, const Governed& governed,
                      const GovernedValue& value);
/// "BlurPasses of "Lobby" is locked by "Night" in office-standards.zellib: REASON".
std::string LockedText(const ValueLock& lock);
/// The lock on that value of the master-file setup; nothing when it is not locked (not
/// governed, not locked, or its library setup gone). Throws StandardsError, DesignFileError.
std::optional<ValueLock> LockOf(const std::u16string& setup, const std::string& property);
/// Every locked value of the master file's setups, or of the one named, in the host's order and
/// the record's order. Setups that cannot be read are left out.
std::vector<ValueLock> LocksOf(const std::optional<std::u16string>& setup = std::nullopt);
/// Keeps reason (1 to 1000 characters) as the override of the locked value, with the unsaved
/// edit: the next save stores it, a reset drops it. Throws StandardsError for a value not locked.
void SetPendingOverride(const std::u16string& setup, const std::string& property,
                        const std::string& reason);

/// A locked value a write would leave changed here without an override.
struct LockBreach {
  std::string property;
  /// "BlurPasses is locked by "Night" in office-standards.zellib: REASON (12 here, 8 in the
  /// library)".
  std::string message;
};
/// The lock breaches a write that leaves values after would bring: locked values (with their
/// layers as in governed) that are breached with after and that differ from before (every
/// breached one without before: a setup that comes new). overrides are the ones the setup has
/// after the write.
std::vector<LockBreach> LockBreaches(const Governed& governed,
                                     const Teskor::ZelPlatform::OrnSettings& after,
                                     const Teskor::ZelPlatform::OrnSettings* before,
                                     const std::map<std::string, OverrideRecord>& overrides);
/// For a write of the master file: throws StandardsError with LockBreaches' first message (and
/// how many more) when values, stored at position with the link, overlays and overrides the file
/// holds for it, would be breached. Reads the file through the master's own connection, so that
/// it may run inside that write's transaction.
void RefuseLockBreachesAt(std::int64_t position, const Teskor::ZelPlatform::OrnSettings& values);
/// The same for a write of any design file, read through db (inside the write's transaction).
void RefuseLockBreachesIn(detail::DesignFile& db, std::int64_t position,
                          const Teskor::ZelPlatform::OrnSettings& values);

namespace detail {

class HostFile;

/// The standards and overlays of file's stored setups by position, read once per change of the
/// file.
const std::map<std::int64_t, StandardsOfSetup>& StandardsByPosition(HostFile& file);
/// What a save of the setup named would store of its standards now: the stored ones with its
/// unsaved overrides (made by this user, now) and overlays; nothing stored for a setup file does
/// not hold.
StandardsOfSetup WorkingStandards(HostFile& file, const std::u16string& setup);
/// The comparison, counts only (no texts), of every readable setup of the master file that was
/// taken from a library by name, each library file read once.
std::map<std::u16string, Governed> LinkedGovernedCounts(HostFile& master);

}  // namespace detail

}  // namespace ornhost
