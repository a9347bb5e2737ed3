// The host's store as the module uses it: working copies over the stored copies of a master file.
#include "host/OrnSetupManager.h"

#include <gtest/gtest.h>

#include "TempDir.h"

using Teskor::ZelPlatform::OrnSettings;
using Teskor::ZelPlatform::OrnSetup;
using Teskor::ZelPlatform::ZelFile;
using Names = std::vector<std::u16string>;

class SetupStoreTest : public ::testing::Test {
 protected:
  Names ListNames(ZelFile& file) {
    std::vector<const OrnSetup*> list;
    store.GetSetupsForFile(list, file);
    Names names;
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
  std::filesystem::path path = dir / "master.zel";
  Teskor::ZelPlatform::OrnSetupManager& store = Teskor::ZelPlatform::OrnSetupManager::GetManagerR();
};

// A setup takes its place in the file when it is first stored: another session may have stored
// others meanwhile.
TEST_F(SetupStoreTest, OnlySavedSetupsComeBackAfterReopenInTheOrderTheyWereStored) {
  auto* file = &ornhost::OpenMaster(path);
  for (const char16_t* name : {u"X", u"Y", u"Z"}) Add(*file, name, 1);
  Add(*file, u"X", 9);  // taken: ignored
  EXPECT_EQ(BlurPasses(*file, u"X"), 1u);
  EXPECT_EQ(store.Save(u"Z", *file), 1);
  EXPECT_EQ(store.Save(u"X", *file), 1);
  file = &ornhost::OpenMaster(path);
  EXPECT_EQ(ListNames(*file), (Names{u"Z", u"X"}));
  Add(*file, u"Y", 4);
  store.Save(u"Y", *file);
  EXPECT_EQ(ListNames(ornhost::OpenMaster(path)), (Names{u"Z", u"X", u"Y"}));
}

TEST_F(SetupStoreTest, ResetPutsTheLastSavedCopyBackInPlace) {
  ornhost::WriteSetup(path, u"A", OrnSettings());
  auto& file = ornhost::OpenMaster(path);
  OrnSetup* a = store.FindOrnSetupByName(u"A", file);
  a->GetSettings()->SetBlurPasses(7);
  store.Save(u"A", file);
  a->GetSettings()->SetBlurPasses(8);
  store.Reset(u"A", file);
  EXPECT_EQ(store.FindOrnSetupByName(u"A", file), a);
  EXPECT_EQ(a->GetSettingsR()->GetBlurPasses(), 7u);
  Add(file, u"New", 2);
  store.Reset(u"New", file);  // never saved: nothing to go back to
  EXPECT_EQ(BlurPasses(file, u"New"), 2u);
}

TEST_F(SetupStoreTest, HandedOutSetupsOutliveDeleteUntilListedAgainAndClose) {
  ornhost::WriteSetup(path, u"A", OrnSettings());
  ornhost::WriteSetup(path, u"B", OrnSettings());
  auto& file = ornhost::OpenMaster(path);
  std::vector<const OrnSetup*> list;
  store.GetSetupsForFile(list, file);
  store.Delete(u"A", file);
  // Read through the old pointers: the sanitizer build catches a freed setup.
  EXPECT_EQ(list[0]->GetName().str(), u"A");
  EXPECT_EQ(ListNames(file), (Names{u"B"}));
  EXPECT_EQ(list[0]->GetName().str(), u"A") << "held until the file is listed once more";
  ornhost::CloseMaster();
  EXPECT_EQ(&list[1]->GetFile(), &file);
  EXPECT_EQ(store.FindOrnSetupByName(u"B", file), nullptr);  // a closed file serves nothing
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
