// The module's manager object: the caches of master-file and library setups and every command
// that changes the master file's setups.
#pragma once

#include <map>
#include <optional>
#include <vector>

#include "host/RenderStore.h"
#include "host/WString.h"
#include "manager/SetupIndex.h"

namespace ornr {

class SetupManager {
 public:
  /// True only while the document is handed to the panel; change events are ignored then.
  bool updatingViewModel = false;
  /// The file name of the master file whose setups fileSetups holds.
  Teskor::WString masterFileName;
  /// The master file's setups in the host's order.
  SetupList fileSetups;
  /// Per design library (ordered by file name, unsigned UTF-16 code units), its setups.
  std::map<Teskor::WString, SetupList> librarySetups;

  // --- Lists and lookup ---------------------------------------------------------------------

  /// Re-reads the master file's setups when forced or when none are cached. With no master
  /// file open the list is empty.
  const SetupList& RefreshFileSetups(bool force);
  /// Reads the design libraries' setups once; while none are offered it asks again each time.
  const std::map<Teskor::WString, SetupList>& GatherLibrarySetups();
  /// The first setup of exactly that name, valid or not, in the master file or (inLibraries) in
  /// the libraries by file-name order. fileName, when given, receives the holding file's name.
  Teskor::ZelPlatform::RenderStore* FindRenderStore(const char16_t* name, bool inLibraries,
                                                    Teskor::WString* fileName = nullptr);
  /// As FindRenderStore, among setups whose valid flag is set.
  Teskor::ZelPlatform::OrnSetup* FindValidSetup(const char16_t* name, bool inLibraries);

  // --- The view model -------------------------------------------------------------------------

  /// Writes one setup into the document; nothing when it is invalid or no document exists.
  void WriteSetup(const char16_t* group, const Teskor::ZelPlatform::OrnSetup& setup,
                  const Teskor::WString& storeIn, bool select, bool newBorn);
  /// Hands the document to the panel with updatingViewModel set, also cleared on failure.
  void PushViewModel();

  // --- Building blocks of the commands --------------------------------------------------------

  /// False, after telling the user once, while the active model is a reference attachment.
  bool CheckActiveModel();
  /// Adds a new in-memory setup of that name to the master file and re-reads the list.
  void CreateFileSetup(const char16_t* name);
  /// Clears the modified flag, saves the setup into the master file and re-reads the list.
  /// Does nothing for a null setup.
  void SaveFileSetup(Teskor::ZelPlatform::RenderStore* setup);
  /// A name no setup of the master file has: "Untitled", "Untitled-1", ... for an empty base;
  /// "<base> - Copy", "<base> - Copy-2", ... for a base the master file holds; else base,
  /// "<base>-1", ... None when the name would be longer than 511 code units.
  std::optional<Teskor::WString> MakeUniqueSetupName(const char16_t* base);
  /// Creates and saves a master-file setup with a new name and the source's settings (a
  /// library setup of the source's name wins). False, with nothing created, when there is no
  /// source with settings or no name can be made.
  bool CopySetup(const char16_t* sourceName, bool useDefaultName, Teskor::WString* newName);
  /// Creates and saves the master-file copy of the library setup name. False, with nothing
  /// created, when the master file has that name already or no valid library setup has it.
  bool CopyLibrarySetup(const char16_t* name);
  /// Copies the library setup's settings into the master file's setup of that name (in memory).
  bool UpdateFromLibrary(const char16_t* name);
  /// The store renamed a master-file setup; keeps the lookups in step without a re-read.
  void NoteRenamed(const char16_t* oldName, const char16_t* newName);

 private:
  const Teskor::ZelPlatform::OrnSetup* FindInLibraries(std::u16string_view name, bool validOnly,
                                                       Teskor::WString* fileName);

  // Lookups by name that answer as the walks of the lists would.
  SetupIndex masterIndex_;
  SetupIndex libraryIndex_;
  SetupList libraryWalk_;  // every library setup in walk order, as libraryIndex_ knows them
  std::vector<const Teskor::WString*> libraryFileOf_;
  std::size_t libraryCount_ = 0;
};

/// The module's manager object, or null before ornR_Init and after ornR_Release.
SetupManager* GetSetupManager() noexcept;
/// Creates the manager object unless one exists.
SetupManager& EnsureSetupManager();
void DestroySetupManager() noexcept;

}  // namespace ornr
