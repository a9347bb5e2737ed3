// Every entry point of the module, with one failure injected at the k-th pass of each failure
// point for k = 1, 2, ... until none fires: nothing escapes, the failure is told once, the
// re-entry guard is down and the design file holds a whole state.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "host/SessionMgr.h"
#include "host/controls/HostControls.h"
#include "host/session/HostFaults.h"
#include "host/store/SettingsText.h"
#include "manager/EnvSessionMonitor.h"
#include "manager/SetupManager.h"
#include "ornr/ornr.h"
#include "panel/Panel.h"
#include "support/FaultInjection.h"

namespace {

using Teskor::RenderSetup::View::MainPanel;
using Teskor::RenderSetup::ViewModel::Group;
using Teskor::ZelPlatform::OrnSettings;

struct EntryPoint {
  const char* name;  // as the failure line names it
  std::function<int()> call;
  int notDone;  // for the entry points with a result
  bool hasResult;
};

ornr::EnvSessionMonitor g_monitor;
// Taken before a failure is armed: the host's own calls here are not the module's.
Teskor::ZelPlatform::ZelFile* g_master = nullptr;

Teskor::ZelPlatform::ZelFile& Master() {
  return *g_master;
}

std::vector<EntryPoint> EntryPoints() {
  const auto edit = [] {
    MainPanel::Instance().ViewModel().EditProperty(Group::MasterFile, u"Sky", "BlurPasses", u"9");
    return 0;
  };
  // clang-format off
  return {
      {"ornR_Init", [] { ornR_Init(); return 0; }, 0, false},
      {"ornR_Release", [] { ornR_Release(); return 0; }, 0, false},
      {"ornR_LoadAllSetups", [] { ornR_LoadAllSetups(false); return 0; }, 0, false},
      {"ornR_NewSetup", [] { ornR_NewSetup(u"Sky"); return 0; }, 0, false},
      {"ornR_DuplicateSetup", [] { return ornR_DuplicateSetup(u"Sky"); }, 0, true},
      {"ornR_RenameSetup", [] { ornR_RenameSetup(u"Sky", u"Dawn"); return 0; }, 0, false},
      {"ornR_DeleteSetup", [] { return ornR_DeleteSetup(u"Sky"); }, 0, true},
      {"ornR_ResetSetup", [] { ornR_ResetSetup(u"Sky"); return 0; }, 0, false},
      {"ornR_SaveSetup", [] { ornR_SaveSetup(u"Sky"); return 0; }, 0, false},
      {"ornR_IsModified", [] { return ornR_IsModified(u"Sky"); }, 0, true},
      {"ornR_CopyFromLib", [] { return ornR_CopyFromLib(u"Night"); }, 0, true},
      {"ornR_UpdateFromLibrarySetup", [] { ornR_UpdateFromLibrarySetup(u"Sky"); return 0; }, 0, false},
      {"ornR_MatchesToLibrarySetup", [] { return ornR_MatchesToLibrarySetup(u"Sky"); }, -1, true},
      {"OnSetupPropertyChanged", edit, 0, false},
      {"OnMasterFileOpened", [] { g_monitor.OnMasterFileOpened(Master()); return 0; }, 0, false},
      {"OnSessionRefresh", [] { g_monitor.OnSessionRefresh(); return 0; }, 0, false},
      {"OnMasterFileClosing", [] { g_monitor.OnMasterFileClosing(Master()); return 0; }, 0, false},
  };
  // clang-format on
}

// One way to make the k-th pass fail.
struct FaultKind {
  const char* name;
  std::function<void(std::uint64_t)> arm;
  std::function<bool()> fired;
};

std::vector<FaultKind> FaultKinds() {
  using ornr::fault::Point;
  const auto module = [](Point point) {
    return [point](std::uint64_t k) { ornr::fault::FailAt(point, k); };
  };
  return {
      {"document allocation", module(Point::DocumentAllocation), ornr::fault::Fired},
      {"document creation", module(Point::DocumentCreation), ornr::fault::Fired},
      {"push", module(Point::Push), ornr::fault::Fired},
      {"bridge", module(Point::Bridge), ornr::fault::Fired},
      {"host call", ornhost::FailHostCallAt, ornhost::HostCallFailureFired},
  };
}

// The stored records' settings; a damaged record has none.
std::vector<std::string> Records(const std::filesystem::path& file) {
  std::vector<std::string> records;
  for (const auto& setup : ornhost::ReadSetups(file)) {
    records.push_back(setup.valid ? ornhost::detail::FormatSettingsRecord(setup.settings) : "");
  }
  return records;
}

// A command may stop between two writes, but each write is whole: every record reads, and each
// holds the settings some record held before the command or after it ran without a failure.
void ExpectWholeRecords(const std::vector<std::string>& after,
                        const std::vector<std::string>& before,
                        const std::vector<std::string>& done) {
  for (const std::string& record : after) {
    ASSERT_FALSE(record.empty()) << "a damaged record";
    const bool known = std::find(before.begin(), before.end(), record) != before.end() ||
                       std::find(done.begin(), done.end(), record) != done.end();
    EXPECT_TRUE(known) << record;
  }
}

class FaultLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir_);
    OrnSettings sky;
    sky.SetBlurPasses(4);
    ornhost::WriteSetup(pristineMaster_, u"Sky", sky);
    ornhost::WriteSetup(pristineLibrary_, u"Sky", OrnSettings());
    ornhost::WriteSetup(pristineLibrary_, u"Night", OrnSettings());
  }
  void TearDown() override {
    ornR_Release();
    ornhost::ResetAll();
    MainPanel::Reset();
    std::filesystem::remove_all(dir_);
  }

  // A session with the module loaded, one master setup with an unsaved edit and two library
  // setups; the entry point ornR_Init finds the module released.
  void Prepare(const EntryPoint& entry) {
    ornR_Release();
    ornhost::ResetAll();
    MainPanel::Reset();
    MainPanel::SetMessageBoxHandler([](const auto&, const auto&) {});
    MainPanel::SetDocumentObserver([](const auto&) {});
    const auto overwrite = std::filesystem::copy_options::overwrite_existing;
    std::filesystem::copy_file(pristineMaster_, master_, overwrite);
    std::filesystem::copy_file(pristineLibrary_, library_, overwrite);
    g_master = &ornhost::OpenMaster(master_);
    ornhost::AddLibrary(library_);
    ornR_Init();
    ornR_LoadAllSetups(false);
    MainPanel::Instance().ViewModel().EditProperty(Group::MasterFile, u"Sky", "BlurPasses", u"7");
    ornhost::QueueAnswer(ornhost::kAnswerYes);
    if (std::string(entry.name) == "ornR_Init") ornR_Release();
  }

  // In memory where there is a RAM disk: every write is synchronous.
  std::filesystem::path dir_ =
      (std::filesystem::exists("/dev/shm") ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path()) /
      ("ornr-faults-" + std::to_string(::getpid()));
  std::filesystem::path pristineMaster_ = dir_ / "pristine.zel";
  std::filesystem::path pristineLibrary_ = dir_ / "pristine.zellib";
  std::filesystem::path master_ = dir_ / "master.zel";
  std::filesystem::path library_ = dir_ / "lib.zellib";
};

TEST_F(FaultLoopTest, EveryEntryPointSurvivesEveryInjectedFailure) {
  int injected = 0;
  for (const EntryPoint& entry : EntryPoints()) {
    Prepare(entry);
    const auto before = Records(master_);
    entry.call();
    const auto done = Records(master_);

    for (const FaultKind& kind : FaultKinds()) {
      for (std::uint64_t k = 1;; ++k) {
        SCOPED_TRACE(std::string(entry.name) + ", " + kind.name + " " + std::to_string(k));
        Prepare(entry);
        ::testing::internal::CaptureStderr();
        kind.arm(k);
        const int result = entry.call();
        const bool fired = kind.fired();
        kind.arm(0);
        const std::string errors = ::testing::internal::GetCapturedStderr();
        if (!fired) break;
        ++injected;

        if (entry.hasResult) {
          EXPECT_EQ(result, entry.notDone);
        }
        std::vector<std::string> lines;
        std::istringstream in(errors);
        for (std::string line; std::getline(in, line);) {
          if (line.starts_with("ornrender: ")) lines.push_back(line);
        }
        ASSERT_EQ(lines.size(), 1u) << errors;
        EXPECT_NE(lines[0].find(std::string(entry.name) + " failed (status 0x"), std::string::npos)
            << lines[0];
        if (const ornr::SetupManager* manager = ornr::GetSetupManager()) {
          EXPECT_FALSE(manager->updatingViewModel);
        }
        ExpectWholeRecords(Records(master_), before, done);
      }
    }
  }
  std::cout << "injected failures: " << injected << "\n";
  EXPECT_GT(injected, 0);
}

}  // namespace
