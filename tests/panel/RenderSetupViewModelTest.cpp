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

}  // namespace
}  // namespace Teskor::RenderSetup::ViewModel
