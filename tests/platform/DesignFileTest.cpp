// Design files on disk: what survives a close and reopen, what is refused, what a kill leaves.
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cfloat>
#include <chrono>
#include <thread>

#include "TempDir.h"
#include "host/OrnSetupManager.h"
#include "host/SessionMgr.h"
#include "platform/HostControls.h"

using Teskor::ZelPlatform::OrnSettings;
using Teskor::ZelPlatform::OrnSetup;

namespace {

std::string Query(const std::filesystem::path& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  sqlite3_stmt* stmt = nullptr;
  std::string result = "<error>";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
      const auto* text = sqlite3_column_text(stmt, 0);
      result = text != nullptr ? reinterpret_cast<const char*>(text) : "";
    } else if (rc == SQLITE_DONE) {
      result.clear();
    }
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return result;
}

OrnSettings Numbered(int n) {
  OrnSettings settings;
  settings.SetBlurPasses(static_cast<std::uint32_t>(n));
  settings.SetQualityThreshold(0.1 * n);
  return settings;
}

}  // namespace

class DesignFileTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::filesystem::path master = dir / "master.dgn";
};

TEST_F(DesignFileTest, NamesAndValuesSurviveTheFileExactlyInOrder) {
  const std::u16string names[] = {u"Sky",
                                  u"sky",
                                  u"It's",
                                  u"\"quoted\"",
                                  u"a & b < c ] d",
                                  u"Интерьер 夜景",
                                  u"\U0001F304 dawn",
                                  u"lone \xD800 high",
                                  u"lone low \xDC00",
                                  std::u16string(255, u'x'),
                                  std::u16string(510, u'y') + u"\U0001F600"};
  OrnSettings extreme;
  extreme.SetRenderOutputChannels(UINT64_MAX);
  extreme.SetGlobalShadowQuality(static_cast<OrnSettings::GlobalShadowQuality>(-5));
  extreme.SetPhotonDecay(DBL_MIN / 7);  // subnormal
  extreme.SetAlbedoScale(DBL_MAX);
  extreme.SetContrastQuality(0.1 + 0.2);
  int n = 0;
  for (const auto& name : names)
    ornhost::WriteSetup(master, name, n++ == 3 ? extreme : Numbered(n));

  const auto stored = ornhost::ReadSetups(master);
  ASSERT_EQ(stored.size(), std::size(names));
  auto& master_file = ornhost::OpenMaster(master);
  std::vector<const OrnSetup*> list;
  Teskor::ZelPlatform::OrnSetupManager::GetManagerR().GetSetupsForFile(list, master_file);
  ASSERT_EQ(list.size(), std::size(names));
  for (std::size_t i = 0; i < std::size(names); ++i) {
    const OrnSettings expected = i == 3 ? extreme : Numbered(static_cast<int>(i) + 1);
    EXPECT_EQ(stored[i].name, names[i]) << i;
    EXPECT_TRUE(stored[i].valid && stored[i].settings.Equals(expected)) << i;
    EXPECT_EQ(list[i]->GetName().str(), names[i]) << i;
    ASSERT_NE(list[i]->GetSettingsR(), nullptr) << i;
    EXPECT_TRUE(list[i]->GetSettingsR()->Equals(expected)) << i;
    EXPECT_FALSE(list[i]->GetModified()) << i;
  }
  // The file explains itself to someone with the sqlite3 tool.
  EXPECT_EQ(Query(master, "PRAGMA application_id"), std::to_string(0x4F524E31));
  EXPECT_EQ(Query(master, "PRAGMA user_version"), "1");
  EXPECT_EQ(Query(master, "SELECT name_utf8 FROM render_setups WHERE position = 6"),
            "Интерьер 夜景");
  EXPECT_NE(Query(master, "SELECT settings FROM render_setups WHERE position = 1")
                .find("\nQualityThreshold=0.10000000000000001\n"),
            std::string::npos);
}

TEST_F(DesignFileTest, RefusesWhatIsNotADesignFileOfThisVersionWithoutTouchingIt) {
  const auto text = dir / "notes.txt";
  std::ofstream(text) << "not a database at all, just some text that is long enough\n";
  const auto foreign = dir / "foreign.db";
  Query(foreign, "CREATE TABLE t (x)");
  const auto newer = dir / "newer.dgn";
  ornhost::WriteSetup(newer, u"A", OrnSettings());
  Query(newer, "PRAGMA user_version = 2");
  const auto unversioned = dir / "unversioned.dgn";
  ornhost::WriteSetup(unversioned, u"A", OrnSettings());
  Query(unversioned, "PRAGMA user_version = 0");

  for (const auto& path : {text, foreign, newer, unversioned}) {
    const std::string before = FileBytes(path);
    ornhost::OpenMaster(dir / "good.dgn");
    for (int attempt = 0; attempt < 4; ++attempt) {
      try {
        if (attempt == 0) ornhost::OpenMaster(path);
        if (attempt == 1) ornhost::AddLibrary(path);
        if (attempt == 2) ornhost::ReadSetups(path);
        if (attempt == 3) ornhost::WriteSetup(path, u"B", OrnSettings());
        ADD_FAILURE() << "accepted " << path << " in attempt " << attempt;
      } catch (const ornhost::DesignFileError& error) {
        EXPECT_NE(std::string(error.what()).find(path.string()), std::string::npos) << error.what();
      }
    }
    EXPECT_EQ(Teskor::KreelPlatform::ISessionMgr::GetManager().GetMasterZelFile(), nullptr);
    EXPECT_EQ(FileBytes(path), before) << path;
  }
}

TEST_F(DesignFileTest, AMissingMasterIsCreatedAMissingLibraryIsAnError) {
  EXPECT_THROW(ornhost::AddLibrary(dir / "missing.lib"), ornhost::DesignFileError);
  EXPECT_FALSE(std::filesystem::exists(dir / "missing.lib"));
  ornhost::OpenMaster(master);
  EXPECT_TRUE(ornhost::ReadSetups(master).empty());
}

TEST_F(DesignFileTest, ADamagedRecordLoadsInvalidIsFoundAndIsNeverRewritten) {
  for (const char16_t* name : {u"A", u"B", u"C"}) ornhost::WriteSetup(master, name, Numbered(1));
  EXPECT_TRUE(ornhost::InvalidateSetup(master, u"B"));
  EXPECT_FALSE(ornhost::InvalidateSetup(master, u"b"));
  const std::string damaged =
      Query(master, "SELECT settings FROM render_setups WHERE position = 2");

  auto& store = Teskor::ZelPlatform::OrnSetupManager::GetManagerR();
  auto& file = ornhost::OpenMaster(master);
  OrnSetup* b = store.FindOrnSetupByName(u"B", file);
  ASSERT_NE(b, nullptr);
  EXPECT_FALSE(b->valid);
  EXPECT_EQ(b->GetSettings(), nullptr);
  EXPECT_EQ(store.Save(u"B", file), 0);
  store.FindOrnSetupByName(u"A", file)->GetSettings()->SetBlurPasses(99);
  EXPECT_EQ(store.Save(u"A", file), 1);
  store.Reset(u"B", file);
  EXPECT_FALSE(b->valid);
  ornhost::CloseMaster();

  const auto stored = ornhost::ReadSetups(master);
  ASSERT_EQ(stored.size(), 3u);
  EXPECT_EQ(stored[1].name, u"B");
  EXPECT_FALSE(stored[1].valid);
  EXPECT_EQ(stored[0].settings.GetBlurPasses(), 99u);
  EXPECT_EQ(Query(master, "SELECT settings FROM render_setups WHERE position = 2"), damaged);
}

// Another process saves as fast as it can and tells which saves returned; it is killed at some
// moment, and the file must then hold the last save that returned or the one after it.
TEST_F(DesignFileTest, AKillDuringSavesLeavesTheLastOrTheNextSave) {
  ornhost::WriteSetup(master, u"Counter", Numbered(0));
  int before = 0;
  for (int round = 0; round < 8; ++round) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(pipeFds[0]);
      auto& file = ornhost::OpenMaster(master);
      auto& store = Teskor::ZelPlatform::OrnSetupManager::GetManagerR();
      OrnSetup* setup = store.FindOrnSetupByName(u"Counter", file);
      for (int n = static_cast<int>(setup->GetSettings()->GetBlurPasses()) + 1;; ++n) {
        setup->GetSettings()->SetBlurPasses(static_cast<std::uint32_t>(n));
        setup->GetSettings()->SetQualityThreshold(0.1 * n);
        if (store.Save(u"Counter", file) != 1) _exit(3);
        if (write(pipeFds[1], &n, sizeof n) != sizeof n) _exit(4);
      }
    }
    close(pipeFds[1]);
    std::this_thread::sleep_for(std::chrono::milliseconds(30 + 17 * round));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status)) << "saver stopped by itself, status " << status;
    int confirmed = before;
    for (int n = 0; read(pipeFds[0], &n, sizeof n) == sizeof n;) confirmed = n;
    close(pipeFds[0]);

    // Opening as master rolls back a save that was cut short.
    auto& file = ornhost::OpenMaster(master);
    const OrnSetup* setup =
        Teskor::ZelPlatform::OrnSetupManager::GetManagerR().FindOrnSetupByName(u"Counter", file);
    ASSERT_NE(setup, nullptr);
    ASSERT_TRUE(setup->valid);
    const int held = static_cast<int>(setup->GetSettingsR()->GetBlurPasses());
    EXPECT_TRUE(setup->GetSettingsR()->Equals(Numbered(held)));
    EXPECT_TRUE(held == confirmed || held == confirmed + 1) << held << " vs " << confirmed;
    before = held;
    ornhost::CloseMaster();
  }
}
