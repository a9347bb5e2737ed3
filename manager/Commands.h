// The commands behind the C interface. They throw on failure; the C interface catches.
// Each one does nothing (or returns its "without manager" result) when no manager object exists.
#pragma once

namespace ornr::commands {

void Init();
void Release();
void LoadAllSetups(bool reload);
void NewSetup(const char16_t* name);
int DuplicateSetup(const char16_t* name);
void RenameSetup(const char16_t* oldName, const char16_t* newName);
int DeleteSetup(const char16_t* name);
void ResetSetup(const char16_t* name);
void SaveSetup(const char16_t* name);
int IsModified(const char16_t* name);
int CopyFromLib(const char16_t* name);
void UpdateFromLibrarySetup(const char16_t* name);
int MatchesToLibrarySetup(const char16_t* name);

}  // namespace ornr::commands
