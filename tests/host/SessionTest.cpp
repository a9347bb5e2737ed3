// The host's session and the monitors that hear it.
#include "host/SessionMgr.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "TempDir.h"
#include "host/OrnSetupManager.h"
#include "support/Utf.h"

using Teskor::KreelPlatform::ISessionMgr;
using Teskor::ZelPlatform::ZelFile;
using Log = std::vector<std::string>;

namespace {

// Registered for its own lifetime only, so that a failed test leaves no dangling monitor.
struct Recorder : Teskor::KreelPlatform::SessionMonitor {
  Recorder(Log& log, std::string tag) : log(log), tag(std::move(tag)) {
    ISessionMgr::GetManager().AddSessionMonitor(*this);
  }
  ~Recorder() override { ISessionMgr::GetManager().DropSessionMonitor(*this); }
  void OnMasterFileOpened(ZelFile& file) override { Note("opened " + NameOf(file)); }
  void OnMasterFileClosing(ZelFile& file) override { Note("closing " + NameOf(file)); }
  void OnSessionRefresh() override { Note("refresh"); }
  static std::string NameOf(const ZelFile& file) {
    return std::filesystem::path(ornr::Utf16ToUtf8(file.GetFileName().str())).filename();
  }
  void Note(const std::string& what) {
    log.push_back(tag + what);
    if (onNotified) onNotified();
  }
  Log& log;
  std::string tag;
  std::function<void()> onNotified;
};

}  // namespace

class SessionTest : public ::testing::Test {
 protected:
  TempDir dir;
  Log log;
};

// The closing file still takes saves: a monitor saves into it while it closes.
TEST_F(SessionTest, MonitorsHearEachChangeInOrderAndAFailedOpenLeavesNoMaster) {
  auto& store = Teskor::ZelPlatform::OrnSetupManager::GetManagerR();
  Recorder recorder(log, "");
  ISessionMgr::GetManager().AddSessionMonitor(recorder);  // already registered
  recorder.onNotified = [&] {
    if (log.back() != "closing a.zel") return;
    ZelFile& file = *ISessionMgr::GetManager().GetMasterZelFile();
    store.AddSetup(Teskor::ZelPlatform::OrnSetup(file, u"Late"), file);
    store.Save(u"Late", file);
  };
  ornhost::OpenMaster(dir / "a.zel");
  ornhost::OpenMaster(dir / "b.zel");
  ornhost::Refresh();
  std::ofstream(dir / "bad.zel") << "no design file";
  EXPECT_THROW(ornhost::OpenMaster(dir / "bad.zel"), ornhost::DesignFileError);
  EXPECT_EQ(ISessionMgr::GetManager().GetMasterZelFile(), nullptr);
  ornhost::CloseMaster();
  EXPECT_EQ(log,
            (Log{"opened a.zel", "closing a.zel", "opened b.zel", "refresh", "closing b.zel"}));
  EXPECT_EQ(ornhost::ReadSetups(dir / "a.zel").size(), 1u);
}

TEST_F(SessionTest, AFailingOrDroppedMonitorDoesNotDisturbTheOthers) {
  Recorder first(log, "1:");
  auto second = std::make_unique<Recorder>(log, "2:");
  Recorder third(log, "3:");
  // The first fails and drops (and destroys) a monitor that is still to hear this round.
  first.onNotified = [&] {
    second.reset();
    throw std::runtime_error("monitor failure");
  };
  ornhost::Refresh();
  EXPECT_EQ(log, (Log{"1:refresh", "3:refresh"}));
}
