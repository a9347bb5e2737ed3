// Render setups as the host's store keeps them.
#pragma once

#include "host/OrnSettings.h"
#include "host/WString.h"
#include "host/ZelFile.h"

namespace Teskor::ZelPlatform {

/// The store record of a setup: its name and its two flags.
class RenderStore {
 public:
  virtual ~RenderStore() = default;

  const WString& GetName() const noexcept { return name; }
  bool GetModified() const noexcept { return modified; }
  /// Copies source's settings and valid flag; the name, the file and the modified flag stay.
  /// Both must be OrnSetup objects.
  void Clone(const RenderStore& source);

  /// Set when the working copy differs from what the file holds; callers set and clear it.
  bool modified = false;
  /// Clear when the stored record could not be read: such a setup has no settings.
  bool valid = true;

 protected:
  RenderStore() = default;
  explicit RenderStore(WString setupName) : name(std::move(setupName)) {}
  RenderStore(const RenderStore&) = default;
  RenderStore& operator=(const RenderStore&) = default;

  WString name;
  friend class StoreAccess;
};

/// A render setup of one design file.
class OrnSetup : public RenderStore {
 public:
  /// A setup of that name for file, with the renderer's default settings, not yet in any store.
  OrnSetup(ZelFile& file, const char16_t* name);
  OrnSetup(const OrnSetup&) = default;
  OrnSetup& operator=(const OrnSetup&) = default;
  ~OrnSetup() override = default;

  /// Null when the setup is not valid.
  OrnSettings* GetSettings() noexcept { return valid ? &settings : nullptr; }
  /// Null when the setup is not valid.
  const OrnSettings* GetSettingsR() const noexcept { return valid ? &settings : nullptr; }
  ZelFile& GetFile() const noexcept { return *file; }

 private:
  ZelFile* file;
  OrnSettings settings;
  friend class RenderStore;
  friend class StoreAccess;
};

}  // namespace Teskor::ZelPlatform
