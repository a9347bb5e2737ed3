// Copying from, updating from and comparing with design-library setups.
#include "ModuleFixture.h"

namespace ornr::testing {
namespace {

using panel::ViewModel::Group;

class LibrarySetupsTest : public ModuleFixture {
 protected:
  void SetUp() override {
    ModuleFixture::SetUp();
    OrnSettings first, second, master;
    first.SetBlurPasses(1);
    second.SetBlurPasses(2);
    master.SetBlurPasses(3);
    Store("b-lib.zellib", u"Night", second);
    Store("a-lib.zellib", u"Night", first);
    Store("a-lib.zellib", u"Sky", first);
    Store("master.zel", u"sky", master);
    Store("master.zel", u"Master only", master);
    Start("master.zel", {"b-lib.zellib", "a-lib.zellib"});
  }
};

TEST_F(LibrarySetupsTest, CopyEditCompareUpdateCompare) {
  ASSERT_EQ(ornR_CopyFromLib(u"Night"), 1);
  EXPECT_EQ(BlurPassesOnDisk(u"Night"), 1u) << "the library whose file name sorts first wins";
  auto documents = TakeDocuments();
  ASSERT_EQ(documents.size(), 1u);
  auto root = documents[0].child("RenderSetupViewModel");
  EXPECT_STREQ(root.child("SetupsFromMasterFile").attribute("Name").as_string(), "Night");
  EXPECT_EQ(root.child("SetupsFromMasterFile").attribute("StoreIn").as_string(),
            File("master.zel").string());
  EXPECT_STREQ(root.child("CurrentRenderSetup").text().get(), "Night");
  EXPECT_EQ(ornR_MatchesToLibrarySetup(u"Night"), 1);

  ASSERT_TRUE(Panel().EditProperty(Group::MasterFile, u"Night", "BlurPasses", u"50"));
  EXPECT_EQ(ornR_MatchesToLibrarySetup(u"Night"), 0);
  EXPECT_TRUE(documents_.empty()) << "comparing sends nothing";

  ornR_UpdateFromLibrarySetup(u"Night");
  EXPECT_EQ(ornR_MatchesToLibrarySetup(u"Night"), 1);
  EXPECT_EQ(ornR_IsModified(u"Night"), 0);
  EXPECT_EQ(BlurPassesOnDisk(u"Night"), 1u);
  documents = TakeDocuments();
  ASSERT_EQ(documents.size(), 1u);
  EXPECT_STREQ(Element(documents[0], "SetupsFromMasterFile").child("BlurPasses").text().get(), "1");
}

TEST_F(LibrarySetupsTest, CopyRefusesNamesTheMasterFileHasEvenInvalidOnes) {
  Store("a-lib.zellib", u"Master only", OrnSettings{});
  ornR_Release();
  ornR_Init();
  EXPECT_EQ(ornR_CopyFromLib(u"Master only"), 0);
  EXPECT_EQ(BlurPassesOnDisk(u"Master only"), 3u);

  ornhost::InvalidateSetup(File("master.zel"), u"Master only");
  ornR_Release();
  ornhost::CloseMaster();
  ornhost::OpenMaster(File("master.zel"));
  ornR_Init();
  EXPECT_EQ(ornR_CopyFromLib(u"Master only"), 0);
  EXPECT_EQ(ornR_CopyFromLib(u"Nobody"), 0);
  EXPECT_TRUE(documents_.empty());
  EXPECT_TRUE(messages_.empty());
}

TEST_F(LibrarySetupsTest, NothingToCompareAnswersMinusOne) {
  const char16_t* names[] = {u"Master only", u"Sky" /* library only */, u"sky", u"", nullptr};
  for (const char16_t* name : names) {
    EXPECT_EQ(ornR_MatchesToLibrarySetup(name), -1);
  }
  EXPECT_EQ(ornR_CopyFromLib(u"Sky"), 1);
  EXPECT_EQ(ornR_MatchesToLibrarySetup(u"Sky"), 1);
  EXPECT_EQ(ornR_MatchesToLibrarySetup(u"sky"), -1) << "names that differ in case are not linked";
}

TEST_F(LibrarySetupsTest, UpdateWithoutBothSetupsDoesNothing) {
  ornR_UpdateFromLibrarySetup(u"Master only");
  ornR_UpdateFromLibrarySetup(u"Sky");
  EXPECT_TRUE(documents_.empty());
  EXPECT_EQ(BlurPassesOnDisk(u"Master only"), 3u);
}

}  // namespace
}  // namespace ornr::testing
