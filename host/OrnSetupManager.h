// The host's render-setup store.
#pragma once

#include <vector>

#include "host/RenderStore.h"

namespace Teskor::ZelPlatform {

/// Writes of named setups of one design file. Calls on a file that is not open, or names the
/// file does not hold, change nothing.
class RenderStoreManager {
 public:
  /// Writes the working copy of the setup into the file in one transaction; 1 when written.
  /// The modified flag is left as it is.
  virtual int Save(const char16_t* name, ZelFile& file) = 0;
  /// Puts the working copy back to the stored copy (in place: pointers to it stay valid).
  virtual void Reset(const char16_t* name, ZelFile& file) = 0;
  /// Renames the working and the stored copy; 0 (and no change) when oldName is missing or
  /// newName is taken, else 1.
  virtual int Rename(const char16_t* oldName, const char16_t* newName, ZelFile& file) = 0;
  /// Removes the working and the stored copy.
  virtual void Delete(const char16_t* name, ZelFile& file) = 0;

 protected:
  ~RenderStoreManager() = default;
};

class OrnSetupManager : public RenderStoreManager {
 public:
  /// The host's one store.
  static OrnSetupManager& GetManagerR();

  /// Makes the store serve file's setups, loading them when it has not yet.
  virtual void InitForFile(ZelFile& file) = 0;
  /// Appends the file's setups in the host's order. A setup that is deleted stays valid,
  /// detached from the store, until the file's setups have been listed twice since: whoever
  /// holds a list lists the file again after a delete before it uses a list again. Setups of a
  /// file that closes stay valid while the process runs.
  virtual void GetSetupsForFile(std::vector<const OrnSetup*>& list, ZelFile& file) = 0;
  /// The setup of exactly that name (every code unit counts), or null.
  virtual OrnSetup* FindOrnSetupByName(const char16_t* name, ZelFile& file) = 0;
  /// Adds an in-memory setup with setup's name and settings, flagged modified; nothing is
  /// written to the file until Save. Does nothing when the name is taken.
  virtual void AddSetup(const OrnSetup& setup, ZelFile& file) = 0;

 protected:
  ~OrnSetupManager() = default;
};

}  // namespace Teskor::ZelPlatform
