// The host's store as the module uses it: working copies over the stored copies of a master file.
#include "host/OrnSetupManager.h"

#include <gtest/gtest.h>

#include "TempDir.h"
#include "host/SessionMgr.h"
#include "platform/HostControls.h"

using Teskor::ZelPlatform::OrnSettings;
using Teskor::ZelPlatform::OrnSetup;
using Teskor::ZelPlatform::OrnSetupManager;
using Teskor::ZelPlatform::ZelFile;

class SetupStoreTest : public ::testing::Test {
 protected:
  std::vector<std::u16string> ListNames(ZelFile& file) {
    std::vector<const OrnSetup*> list;
    store.GetSetupsForFile(list, file);
    std::vector<std::u16string> names;
    for (const OrnSetup* setup : list) names.push_back(setup->GetName().str());
    return names;
  }
  void Add(ZelFile& file, const char16_t* name, std::uint32_t blurPasses) {
    OrnSetup temporary(file, name);
    temporary.GetSettings()->SetBlurPasses(blurPasses);
    store.AddSetup(temporary, file);
  }
  std::uint32_t BlurPasses(ZelFile& file, const char16_t* name) {
    return store.FindOrnSetupByName(name, file)->GetSettingsR()->GetBlurPasses();
  }

  TempDir dir;
  std::filesystem::path path = dir / "master.dgn";
  OrnSetupManager& store = OrnSetupManager::GetManagerR();
};

using Names = std::vector<std::u16string>;

TEST_F(SetupStoreTest, OnlySavedSetupsComeBackAfterReopenInTheOrderTheyWereAdded) {
  auto* file = &ornhost::OpenMaster(path);
  Add(*file, u"X", 1);
  Add(*file, u"Y", 2);
  Add(*file, u"Z", 3);
  Add(*file, u"X", 9);  // taken: ignored
  EXPECT_EQ(ListNames(*file), (Names{u"X", u"Y", u"Z"}));
  EXPECT_EQ(BlurPasses(*file, u"X"), 1u);
  EXPECT_TRUE(store.FindOrnSetupByName(u"Y", *file)->GetModified());
  EXPECT_EQ(store.FindOrnSetupByName(u"x", *file), nullptr);
  EXPECT_EQ(store.Save(u"Z", *file), 1);
  EXPECT_EQ(store.Save(u"X", *file), 1);
  EXPECT_EQ(store.Save(u"W", *file), 0);
  EXPECT_TRUE(store.FindOrnSetupByName(u"X", *file)->GetModified());  // callers clear it

  file = &ornhost::OpenMaster(path);
  EXPECT_EQ(ListNames(*file), (Names{u"X", u"Z"}));
  EXPECT_EQ(BlurPasses(*file, u"Z"), 3u);
  EXPECT_FALSE(store.FindOrnSetupByName(u"Z", *file)->GetModified());
  Add(*file, u"Y", 4);
  store.Save(u"Y", *file);
  file = &ornhost::OpenMaster(path);
  EXPECT_EQ(ListNames(*file), (Names{u"X", u"Z", u"Y"}));
}

TEST_F(SetupStoreTest, ResetPutsTheStoredCopyBackInPlace) {
  OrnSettings stored;
  stored.SetBlurPasses(5);
  ornhost::WriteSetup(path, u"A", stored);
  auto& file = ornhost::OpenMaster(path);
  OrnSetup* a = store.FindOrnSetupByName(u"A", file);
  a->GetSettings()->SetBlurPasses(6);
  store.Reset(u"A", file);
  EXPECT_EQ(store.FindOrnSetupByName(u"A", file), a);
  EXPECT_TRUE(a->GetSettingsR()->Equals(stored));

  a->GetSettings()->SetBlurPasses(7);
  store.Save(u"A", file);
  a->GetSettings()->SetBlurPasses(8);
  store.Reset(u"A", file);
  EXPECT_EQ(a->GetSettingsR()->GetBlurPasses(), 7u);

  Add(file, u"New", 1);
  store.FindOrnSetupByName(u"New", file)->GetSettings()->SetBlurPasses(2);
  store.Reset(u"New", file);  // never saved: nothing to go back to
  EXPECT_EQ(BlurPasses(file, u"New"), 2u);
}

TEST_F(SetupStoreTest, RenameActsOnBothCopiesAndRefusesMissingOrTakenNames) {
  ornhost::WriteSetup(path, u"A", OrnSettings());
  ornhost::WriteSetup(path, u"B", OrnSettings());
  auto* file = &ornhost::OpenMaster(path);
  Add(*file, u"C", 1);
  OrnSetup* a = store.FindOrnSetupByName(u"A", *file);
  EXPECT_EQ(store.Rename(u"A", u"B", *file), 0);
  EXPECT_EQ(store.Rename(u"A", u"A", *file), 0);
  EXPECT_EQ(store.Rename(u"Q", u"R", *file), 0);
  EXPECT_EQ(store.Rename(u"A", u"a", *file), 1);
  EXPECT_EQ(store.Rename(u"C", u"D", *file), 1);
  EXPECT_EQ(a->GetName(), Teskor::WString(u"a"));
  EXPECT_EQ(ListNames(*file), (Names{u"a", u"B", u"D"}));
  file = &ornhost::OpenMaster(path);
  EXPECT_EQ(ListNames(*file), (Names{u"a", u"B"}));
}

TEST_F(SetupStoreTest, HandedOutSetupsOutliveDeleteAndClose) {
  ornhost::WriteSetup(path, u"A", OrnSettings());
  ornhost::WriteSetup(path, u"B", OrnSettings());
  auto& file = ornhost::OpenMaster(path);
  std::vector<const OrnSetup*> list;
  store.GetSetupsForFile(list, file);
  store.Delete(u"A", file);
  store.Delete(u"missing", file);
  EXPECT_EQ(store.FindOrnSetupByName(u"A", file), nullptr);
  ornhost::CloseMaster();
  // Read through the old pointers: the sanitizer build catches a freed setup.
  EXPECT_EQ(list[0]->GetName().str(), u"A");
  EXPECT_EQ(list[1]->GetName().str(), u"B");
  EXPECT_EQ(&list[1]->GetFile(), &file);
  EXPECT_EQ(store.FindOrnSetupByName(u"B", file), nullptr);  // a closed file serves nothing
  EXPECT_EQ(ListNames(ornhost::OpenMaster(path)), (Names{u"B"}));
}

TEST_F(SetupStoreTest, LibrariesAreReadButNeverChanged) {
  const auto libraryPath = dir / "shared.lib";
  ornhost::WriteSetup(libraryPath, u"L", OrnSettings());
  const std::string before = FileBytes(libraryPath);
  auto& library = ornhost::AddLibrary(libraryPath);
  Add(library, u"M", 1);
  store.FindOrnSetupByName(u"L", library)->GetSettings()->SetBlurPasses(3);
  EXPECT_EQ(store.Save(u"L", library), 0);
  EXPECT_EQ(store.Rename(u"L", u"K", library), 0);
  store.Delete(u"L", library);
  EXPECT_EQ(ListNames(library), (Names{u"L"}));
  EXPECT_EQ(FileBytes(libraryPath), before);
}

TEST_F(SetupStoreTest, WritingTheOpenMasterDirectlyKeepsTheStoreInStep) {
  auto& file = ornhost::OpenMaster(path);
  Add(file, u"Unsaved", 1);
  OrnSettings written;
  written.SetBlurPasses(42);
  ornhost::WriteSetup(path, u"W", written);
  OrnSetup* w = store.FindOrnSetupByName(u"W", file);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->GetSettingsR()->GetBlurPasses(), 42u);
  EXPECT_EQ(ListNames(file), (Names{u"Unsaved", u"W"}));

  EXPECT_TRUE(ornhost::InvalidateSetup(path, u"W"));
  EXPECT_FALSE(w->valid);
  ornhost::WriteSetup(path, u"W", written);
  EXPECT_TRUE(w->valid);
  EXPECT_EQ(store.FindOrnSetupByName(u"W", file), w);

  // The unsaved setup kept its place: saving it later neither clobbers W nor moves behind it.
  store.Save(u"Unsaved", file);
  const auto stored = ornhost::ReadSetups(path);
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0].name, u"Unsaved");
  EXPECT_EQ(stored[1].settings.GetBlurPasses(), 42u);
}
