// The module as a host loads it: by path, with dlopen.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "host/controls/HostControls.h"

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
  ornhost::RecordCalls(true);
  ornhost::OpenMaster(dir / "master.zel");
  ornhost::Refresh();
  ornhost::CloseMaster();
  EXPECT_TRUE(ornhost::Questions().empty());
  std::filesystem::remove_all(dir);
}

}  // namespace
