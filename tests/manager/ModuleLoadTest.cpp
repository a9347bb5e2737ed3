// The module as a host loads it: by path, with dlopen, finding every export by name.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/HostControls.h"

namespace {

class ModuleLoadTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (handle_ != nullptr) dlclose(handle_);
    ornhost::ResetAll();
  }
  void* Load() {
    handle_ = dlopen(ORNR_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(handle_, nullptr) << dlerror();
    return handle_;
  }
  void* handle_ = nullptr;
};

TEST_F(ModuleLoadTest, EveryExportIsFoundByName) {
  ASSERT_NE(Load(), nullptr);
  const char* names[] = {"ornR_Init", "ornR_Release", "ornR_LoadAllSetups", "ornR_NewSetup",
                         "ornR_DuplicateSetup", "ornR_RenameSetup", "ornR_DeleteSetup",
                         "ornR_ResetSetup", "ornR_SaveSetup", "ornR_IsModified", "ornR_CopyFromLib",
                         "ornR_UpdateFromLibrarySetup", "ornR_MatchesToLibrarySetup",
                         // The bridge's two functions keep their C++ names.
                         "_Z18GetIPrismetWrapperv", "_Z29DeleteIPrismetWrapperInstancev"};
  for (const char* name : names) EXPECT_NE(dlsym(handle_, name), nullptr) << name;
  EXPECT_EQ(dlsym(handle_, "_ZN4ornr12SetupManager17RefreshFileSetupsEb"), nullptr)
      << "internals stay inside the module";
}

TEST_F(ModuleLoadTest, LoadingRegistersOneMonitorAndUnloadingDropsIt) {
  ASSERT_EQ(ornhost::MonitorCount(), 0u);
  ASSERT_NE(Load(), nullptr);
  EXPECT_EQ(ornhost::MonitorCount(), 1u);
  dlclose(handle_);
  handle_ = nullptr;
  EXPECT_EQ(ornhost::MonitorCount(), 0u);

  // Notifications after the unload reach nothing of the module.
  const auto dir =
      std::filesystem::temp_directory_path() / ("ornr-load-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  ornhost::OpenMaster(dir / "master.zel");
  ornhost::Refresh();
  ornhost::CloseMaster();
  EXPECT_TRUE(ornhost::Questions().empty());
  std::filesystem::remove_all(dir);
}

}  // namespace
