// The render setup module, loaded the way a host loads a plug-in.
#pragma once

#include <filesystem>
#include <memory>
#include <stdexcept>

#include "ornr/ornr.h"

namespace ornr::workbench {

/// A module that cannot be loaded or lacks one of the thirteen exports; the message names the
/// file and the missing symbol.
class ModuleError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The thirteen functions of the module's C interface, resolved by name.
struct ModuleApi {
  decltype(&ornR_Init) Init = nullptr;
  decltype(&ornR_Release) Release = nullptr;
  decltype(&ornR_LoadAllSetups) LoadAllSetups = nullptr;
  decltype(&ornR_NewSetup) NewSetup = nullptr;
  decltype(&ornR_DuplicateSetup) DuplicateSetup = nullptr;
  decltype(&ornR_RenameSetup) RenameSetup = nullptr;
  decltype(&ornR_DeleteSetup) DeleteSetup = nullptr;
  decltype(&ornR_ResetSetup) ResetSetup = nullptr;
  decltype(&ornR_SaveSetup) SaveSetup = nullptr;
  decltype(&ornR_IsModified) IsModified = nullptr;
  decltype(&ornR_CopyFromLib) CopyFromLib = nullptr;
  decltype(&ornR_UpdateFromLibrarySetup) UpdateFromLibrarySetup = nullptr;
  decltype(&ornR_MatchesToLibrarySetup) MatchesToLibrarySetup = nullptr;
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

  const ModuleApi& Api() const noexcept {
    return api_;
  }
  const std::filesystem::path& File() const noexcept {
    return file_;
  }
  /// Frees the module's panel bridge, when the module exports a way to; the host does this
  /// before it unloads a plug-in.
  void DeleteBridge() noexcept;

 private:
  LoadedModule(void* handle, std::filesystem::path file);

  void* handle_ = nullptr;
  std::filesystem::path file_;
  ModuleApi api_;
};

/// The module to load: explicit when given, else $ORNR_MODULE, else the module file next to
/// the running executable, else the one built with the workbench.
std::filesystem::path DefaultModulePath();

}  // namespace ornr::workbench
