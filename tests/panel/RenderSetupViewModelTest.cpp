#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "panel/Panel.h"

namespace Teskor::RenderSetup::ViewModel {
namespace {

std::u16string Element(const char16_t* group, const char16_t* name, const char16_t* shadows) {
  return std::u16string(u"<") + group + u" Name=\"" + name +
         u"\" New=\"false\" StoreIn=\"a.zel\"><DoShadows>" + shadows + u"</DoShadows></" + group +
         u">";
}
std::u16string Doc(const std::u16string& body) {
  return u"<RenderSetupViewModel>" + body + u"</RenderSetupViewModel>";
}
constexpr char16_t kMaster[] = u"SetupsFromMasterFile";
constexpr char16_t kLibrary[] = u"SetupsFromZelLib";

class RenderSetupViewModelTest : public ::testing::Test {
 protected:
  void SetUp() override { View::MainPanel::Reset(); }

  RenderSetupViewModel& model_ = View::MainPanel::Instance().ViewModel();
};

TEST_F(RenderSetupViewModelTest, DocumentUpdatesByGroupAndNameAndKeepsTheRest) {
  ASSERT_TRUE(
      model_.TakeDocument(Doc(Element(kMaster, u"A", u"true") + Element(kLibrary, u"A", u"false") +
                              Element(kMaster, u"B", u"false"))));
  RenderSetup* masterA = model_.GetSetupFromCurrentZel(u"A");
  ASSERT_TRUE(
      model_.TakeDocument(Doc(u"<SetupsFromMasterFile Name=\"A\" "
                              u"StoreIn=\"b.zel\"><Outputs>3</Outputs></SetupsFromMasterFile>")));

  ASSERT_EQ(model_.Setups(Group::MasterFile).size(), 2U);
  EXPECT_EQ(model_.GetSetupFromCurrentZel(u"A"), masterA);
  EXPECT_EQ(masterA->StoreIn, u"b.zel");
  EXPECT_FALSE(masterA->New);  // attributes the document leaves out stay as they were
  EXPECT_EQ(masterA->Properties().size(), 1U);
  EXPECT_EQ(*masterA->PropertyText("Outputs"), u"3");
  EXPECT_EQ(*model_.GetSetupFromZelLib(u"A")->PropertyText("DoShadows"), u"false");
  EXPECT_EQ(*model_.GetSetupFromCurrentZel(u"B")->PropertyText("DoShadows"), u"false");
  EXPECT_EQ(model_.GetSetupFromCurrentZel(u"a"), nullptr);
  EXPECT_EQ(model_.GetSetupFromZelLib(u"B"), nullptr);
}

TEST_F(RenderSetupViewModelTest, CurrentSetupPrefersMasterFileAndSurvivesBadDocuments) {
  ASSERT_TRUE(model_.TakeDocument(
      Doc(Element(kLibrary, u"A", u"false") + Element(kMaster, u"A", u"true") +
          u"<CurrentRenderSetup>A</CurrentRenderSetup>" + Element(kLibrary, u"L", u"true"))));
  EXPECT_EQ(model_.CurrentRenderSetup(), model_.GetSetupFromCurrentZel(u"A"));
  ASSERT_TRUE(model_.TakeDocument(Doc(u"<CurrentRenderSetup>L</CurrentRenderSetup>")));
  // Nothing of a document that is not whole and well-formed is taken.
  for (const std::u16string& bad : std::vector<std::u16string>{
           u"", u"<Other><CurrentRenderSetup>A</CurrentRenderSetup></Other>",
           u"<RenderSetupViewModel>" + Element(kMaster, u"B", u"true")}) {
    EXPECT_FALSE(model_.TakeDocument(bad));
  }
  EXPECT_EQ(model_.CurrentRenderSetup(), model_.GetSetupFromZelLib(u"L"));
  EXPECT_EQ(model_.GetSetupFromCurrentZel(u"B"), nullptr);
  model_.Clear();
  EXPECT_EQ(model_.CurrentRenderSetup(), nullptr);
  EXPECT_TRUE(model_.Setups(Group::Library).empty());
}

TEST_F(RenderSetupViewModelTest, OwnRenameAndDeleteKeepPlacesValuesAndListing) {
  ASSERT_TRUE(
      model_.TakeDocument(Doc(Element(kMaster, u"A", u"true") + Element(kMaster, u"B", u"false") +
                              Element(kLibrary, u"A", u"true"))));
  RenderSetup* a = model_.GetSetupFromCurrentZel(u"A");
  ASSERT_TRUE(model_.Select(Group::MasterFile, u"A"));

  // Renamed in place: same object, same values, still current; the old name is free.
  ASSERT_TRUE(model_.RenameSetup(Group::MasterFile, u"A", u"C \"<&>\" é"));
  EXPECT_EQ(model_.GetSetupFromCurrentZel(u"C \"<&>\" é"), a);
  EXPECT_EQ(model_.GetSetupFromCurrentZel(u"A"), nullptr);
  EXPECT_EQ(a->Name(), String(u"C \"<&>\" é"));
  EXPECT_EQ(*a->PropertyText("DoShadows"), u"true");
  EXPECT_EQ(model_.CurrentRenderSetup(), a);
  EXPECT_EQ(model_.Setups(Group::MasterFile).front().get(), a);

  // Onto a name the panel shows already: the old entry goes, the other stays.
  RenderSetup* b = model_.GetSetupFromCurrentZel(u"B");
  ASSERT_TRUE(model_.RenameSetup(Group::MasterFile, u"C \"<&>\" é", u"B"));
  EXPECT_EQ(model_.Setups(Group::MasterFile).size(), 1U);
  EXPECT_EQ(model_.GetSetupFromCurrentZel(u"B"), b);
  EXPECT_EQ(model_.CurrentRenderSetup(), nullptr);

  EXPECT_FALSE(model_.RenameSetup(Group::MasterFile, u"A", u"D"));
  EXPECT_FALSE(model_.RemoveSetup(Group::MasterFile, u"A"));
  ASSERT_TRUE(model_.RemoveSetup(Group::MasterFile, u"B"));
  EXPECT_TRUE(model_.Setups(Group::MasterFile).empty());
  // The library's setup of the same name is another entry.
  EXPECT_NE(model_.GetSetupFromZelLib(u"A"), nullptr);
  EXPECT_FALSE(model_.Select(Group::MasterFile, u"A"));
}

TEST_F(RenderSetupViewModelTest, LibrarySetupStaysListedUnderTheFileItCameWith) {
  ASSERT_TRUE(model_.TakeDocument(Doc(Element(kLibrary, u"A", u"true"))));
  // The module re-sends it with the master file's name after a rename of the master's "A".
  ASSERT_TRUE(model_.TakeDocument(
      Doc(u"<SetupsFromZelLib Name=\"A\" StoreIn=\"master.zel\"></SetupsFromZelLib>")));
  const RenderSetup* a = model_.GetSetupFromZelLib(u"A");
  EXPECT_EQ(a->StoreIn, u"master.zel");
  EXPECT_EQ(a->ListedIn, u"a.zel");
}

}  // namespace
}  // namespace Teskor::RenderSetup::ViewModel
