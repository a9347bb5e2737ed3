// The render setup module, loaded the way a host loads a plug-in.
#pragma once

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <vector>

#include "ornr/ornr.h"

namespace ornr::workbench {

/// A module that cannot be loaded or lacks one of the thirteen exports; the message names the
/// file and the missing symbol.
class ModuleError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The thirteen functions of the module's C interface, each as X(name of the field, exported name).
#define ORNR_WORKBENCH_FUNCTIONS(X)                      \
  X(Init, ornR_Init)                                     \
  X(Release, ornR_Release)                               \
  X(LoadAllSetups, ornR_LoadAllSetups)                   \
  X(NewSetup, ornR_NewSetup)                             \
  X(DuplicateSetup, ornR_DuplicateSetup)                 \
  X(RenameSetup, ornR_RenameSetup)                       \
  X(DeleteSetup, ornR_DeleteSetup)                       \
  X(ResetSetup, ornR_ResetSetup)                         \
  X(SaveSetup, ornR_SaveSetup)                           \
  X(IsModified, ornR_IsModified)                         \
  X(CopyFromLib, ornR_CopyFromLib)                       \
  X(UpdateFromLibrarySetup, ornR_UpdateFromLibrarySetup) \
  X(MatchesToLibrarySetup, ornR_MatchesToLibrarySetup)

/// The thirteen functions of the module's C interface, resolved by name.
struct ModuleApi {
#define ORNR_WORKBENCH_FIELD(field, exported) decltype(&exported) field = nullptr;
  ORNR_WORKBENCH_FUNCTIONS(ORNR_WORKBENCH_FIELD)
#undef ORNR_WORKBENCH_FIELD
};

/// An open module; destruction unloads it.
class LoadedModule {
 public:
  /// Loads the file and resolves every ornR_ function. Throws ModuleError.
  static std::unique_ptr<LoadedModule> Load(const std::filesystem::path& file);
  /// Unloads the module; its static objects are destroyed now.
  ~LoadedModule();

  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  const ModuleApi& Api() const noexcept { return api_; }
  const std::filesystem::path& File() const noexcept { return file_; }
  /// The folder the module was loaded from, as the loader found it (File may be a bare name
  /// that the library path resolved); empty when the loader does not say.
  std::filesystem::path Directory() const;
  /// Frees the module's panel bridge, when the module exports a way to; the host does this
  /// before it unloads a plug-in.
  void DeleteBridge() noexcept;

 private:
  LoadedModule(void* handle, std::filesystem::path file);

  void* handle_ = nullptr;
  std::filesystem::path file_;
  ModuleApi api_;
};

/// Where a workbench at executable looks for the module, in order: beside itself, then in the
/// library folder of the prefix it is installed in, then (when built to be packaged) in the Debian
/// package's own library folder.
std::vector<std::filesystem::path> ModuleCandidates(const std::filesystem::path& executable);
/// The module to load when none is given: $ORNR_MODULE, else the first candidate that exists.
/// Throws ModuleError naming the places looked at.
std::filesystem::path DefaultModulePath();

}  // namespace ornr::workbench
