// The host's session, its C functions and the record of what was called.
#include "host/SessionMgr.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "TempDir.h"
#include "host/OrnManager.h"
#include "host/OrnSetupManager.h"
#include "host/xrt.h"
#include "platform/HostControls.h"
#include "support/Utf.h"

using Teskor::KreelPlatform::ISessionMgr;
using Teskor::KreelPlatform::SessionMonitor;
using Teskor::ZelPlatform::ZelFile;

namespace {

std::string NameOf(const ZelFile& file) {
  return std::filesystem::path(ornr::Utf16ToUtf8(file.GetFileName().str())).filename().string();
}

// Registered for its own lifetime only, so that a failed test leaves no dangling monitor.
class Recorder : public SessionMonitor {
 public:
  explicit Recorder(std::vector<std::string>& log, const char* tag = "") : log_(log), tag_(tag) {
    ISessionMgr::GetManager().AddSessionMonitor(*this);
  }
  ~Recorder() override { ISessionMgr::GetManager().DropSessionMonitor(*this); }
  void OnMasterFileOpened(ZelFile& file) override { Note("opened " + NameOf(file)); }
  void OnMasterFileClosing(ZelFile& file) override { Note("closing " + NameOf(file)); }
  void OnSessionRefresh() override { Note("refresh"); }
  std::function<void()> onNotified;

 private:
  void Note(const std::string& what) {
    log_.push_back(tag_ + what);
    if (onNotified) onNotified();
  }
  std::vector<std::string>& log_;
  std::string tag_;
};

}  // namespace

class SessionTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::vector<std::string> log;
};

TEST_F(SessionTest, MonitorsHearOpenCloseAndRefreshInOrderAndAFailedOpenLeavesNoMaster) {
  Recorder recorder(log);
  ISessionMgr::GetManager().AddSessionMonitor(recorder);
  EXPECT_EQ(ornhost::MonitorCount(), 1u);
  auto& a = ornhost::OpenMaster(dir / "a.dgn");
  EXPECT_EQ(ISessionMgr::GetManager().GetMasterZelFile(), &a);
  ornhost::OpenMaster(dir / "b.dgn");
  ornhost::Refresh();
  std::ofstream(dir / "bad.dgn") << "no design file";
  EXPECT_THROW(ornhost::OpenMaster(dir / "bad.dgn"), ornhost::DesignFileError);
  EXPECT_EQ(ISessionMgr::GetManager().GetMasterZelFile(), nullptr);
  ornhost::CloseMaster();
  EXPECT_EQ(log, (std::vector<std::string>{"opened a.dgn", "closing a.dgn", "opened b.dgn",
                                           "refresh", "closing b.dgn"}));
  ornhost::ResetAll();
  EXPECT_EQ(ornhost::MonitorCount(), 1u);
}

TEST_F(SessionTest, TheClosingFileStillTakesSaves) {
  auto& store = Teskor::ZelPlatform::OrnSetupManager::GetManagerR();
  Recorder recorder(log);
  recorder.onNotified = [&] {
    if (log.back() != "closing a.dgn") return;
    ZelFile& file = *ISessionMgr::GetManager().GetMasterZelFile();
    store.AddSetup(Teskor::ZelPlatform::OrnSetup(file, u"Late"), file);
    store.Save(u"Late", file);
  };
  ornhost::OpenMaster(dir / "a.dgn");
  ornhost::CloseMaster();
  ASSERT_EQ(ornhost::ReadSetups(dir / "a.dgn").size(), 1u);
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
  EXPECT_EQ(log, (std::vector<std::string>{"1:refresh", "3:refresh"}));
}

TEST_F(SessionTest, TheLibraryIteratorYieldsLibrariesInTheOrderAdded) {
  for (const char* name : {"b.lib", "a.lib", "c.lib"}) {
    ornhost::WriteSetup(dir / name, u"S", {});
    ornhost::AddLibrary(dir / name);
  }
  ornhost::AddLibrary(dir / "a.lib");  // already offered
  xrtZelLibIterator* iterator = xrtZelLibIterator_create(2);
  std::vector<std::string> names;
  while (auto* model = xrtZelLibIterator_getNext(iterator))
    names.push_back(NameOf(*model->GetZelFileP()));
  EXPECT_EQ(xrtZelLibIterator_getNext(iterator), nullptr);
  xrtZelLibIterator_free(&iterator);
  EXPECT_EQ(iterator, nullptr);
  EXPECT_EQ(names, (std::vector<std::string>{"b.lib", "a.lib", "c.lib"}));
}

TEST_F(SessionTest, TheActiveModelIsTheMastersOrAReferenceAttachment) {
  EXPECT_EQ(xrtModelRef_getActive(), nullptr);
  ornhost::SetActiveModelIsReference(true);
  EXPECT_EQ(xrtModelRef_getActive(), nullptr);
  auto& master = ornhost::OpenMaster(dir / "a.dgn");
  EXPECT_EQ(xrtModelRef_getActive()->GetZelFileP(), &master);
  EXPECT_TRUE(xrtModelRef_isReference(xrtModelRef_getActive()));
  ornhost::SetActiveModelIsReference(false);
  EXPECT_FALSE(xrtModelRef_isReference(xrtModelRef_getActive()));
  EXPECT_FALSE(xrtModelRef_isReference(nullptr));
}

TEST_F(SessionTest, QuestionsTakeQueuedAnswersThenNo) {
  std::vector<int> observed;
  ornhost::SetQuestionObserver([&](const ornhost::Question& q) { observed.push_back(q.answer); });
  ornhost::QueueAnswer(ornhost::kAnswerYes);
  EXPECT_EQ(xrtDialog_openMessageBox(-121, u"Save changes?", 3), ornhost::kAnswerYes);
  EXPECT_EQ(xrtDialog_openMessageBox(-121, nullptr, 3), ornhost::kAnswerNo);
  ASSERT_EQ(ornhost::Questions().size(), 2u);
  EXPECT_EQ(ornhost::Questions()[0].text, u"Save changes?");
  EXPECT_EQ(ornhost::Questions()[0].dialogId, -121);
  EXPECT_EQ(ornhost::Questions()[0].iconType, 3);
  EXPECT_EQ(observed, (std::vector<int>{ornhost::kAnswerYes, ornhost::kAnswerNo}));
  ornhost::QueueAnswer(ornhost::kAnswerYes);
  ornhost::ResetAll();
  EXPECT_TRUE(ornhost::Questions().empty());
  EXPECT_EQ(xrtDialog_openMessageBox(-121, u"again", 3), ornhost::kAnswerNo);
}

TEST_F(SessionTest, TheCallLogNamesEveryHostCallInOrder) {
  auto& file = ornhost::OpenMaster(dir / "a.dgn");
  ornhost::ClearCallLog();
  Teskor::Orn::OrnManager::GetManagerR().RegisterManager();
  Teskor::Orn::OrnManager::InitializeOrn(true);
  auto& store = Teskor::ZelPlatform::OrnSetupManager::GetManagerR();
  store.InitForFile(*ISessionMgr::GetManager().GetMasterZelFile());
  std::vector<const Teskor::ZelPlatform::OrnSetup*> list;
  store.GetSetupsForFile(list, file);
  store.AddSetup(Teskor::ZelPlatform::OrnSetup(file, u"A"), file);
  store.FindOrnSetupByName(u"A", file);
  store.Save(u"A", file);
  store.Reset(u"A", file);
  store.Rename(u"A", u"B", file);
  store.Delete(u"B", file);
  xrtZelLibIterator* iterator = xrtZelLibIterator_create(2);
  xrtZelLibIterator_getNext(iterator);
  xrtZelLibIterator_free(&iterator);
  xrtModelRef_isReference(xrtModelRef_getActive());
  xrtDialog_openMessageBox(-121, u"?", 3);
  Teskor::Orn::OrnManager::GetManagerR().UnRegisterManager();
  EXPECT_EQ(
      ornhost::CallLog(),
      (std::vector<std::string>{"OrnManager::RegisterManager", "OrnManager::InitializeOrn",
                                "ISessionMgr::GetMasterZelFile", "OrnSetupManager::InitForFile",
                                "OrnSetupManager::GetSetupsForFile", "OrnSetupManager::AddSetup",
                                "OrnSetupManager::FindOrnSetupByName", "RenderStoreManager::Save",
                                "RenderStoreManager::Reset", "RenderStoreManager::Rename",
                                "RenderStoreManager::Delete", "xrtZelLibIterator_create",
                                "xrtZelLibIterator_getNext", "xrtZelLibIterator_free",
                                "xrtModelRef_getActive", "xrtModelRef_isReference",
                                "xrtDialog_openMessageBox", "OrnManager::UnRegisterManager"}));
}
