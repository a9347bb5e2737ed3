#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "panel/Panel.h"

namespace Teskor::RenderSetup::ViewModel {
namespace {

using View::MainPanel;

constexpr char16_t kMaster[] = u"SetupsFromMasterFile";
constexpr char16_t kLibrary[] = u"SetupsFromZelLib";

std::u16string SetupElement(const char16_t* group, const char16_t* name, const char16_t* shadows,
                            const char16_t* storeIn = u"a.zel") {
  return std::u16string(u"<") + group + u" Name=\"" + name + u"\" New=\"false\" NewBorn=\"true\" " +
         u"StoreIn=\"" + storeIn + u"\"><DoShadows>" + shadows + u"</DoShadows><Stereo>false" +
         u"</Stereo></" + group + u">";
}

std::u16string Current(const char16_t* name) {
  return std::u16string(u"<CurrentRenderSetup>") + name + u"</CurrentRenderSetup>";
}

std::u16string Doc(const std::u16string& body) {
  return u"<RenderSetupViewModel>" + body + u"</RenderSetupViewModel>";
}

class RenderSetupViewModelTest : public ::testing::Test {
 protected:
  void SetUp() override { MainPanel::Reset(); }

  std::u16string Shadows(RenderSetup* setup) {
    return setup == nullptr ? u"<none>" : *setup->PropertyText("DoShadows");
  }

  RenderSetupViewModel& model_ = MainPanel::Instance().ViewModel();
};

TEST_F(RenderSetupViewModelTest, DocumentUpdatesByGroupAndNameAndKeepsTheRest) {
  ASSERT_TRUE(model_.TakeDocument(Doc(SetupElement(kMaster, u"A", u"true") +
                                      SetupElement(kLibrary, u"A", u"false", u"lib.zel") +
                                      SetupElement(kMaster, u"B", u"false"))));
  RenderSetup* masterA = model_.GetSetupFromCurrentZel(u"A");
  ASSERT_TRUE(
      model_.TakeDocument(Doc(u"<SetupsFromMasterFile Name=\"A\" "
                              u"StoreIn=\"b.zel\"><Outputs>3</Outputs></SetupsFromMasterFile>")));

  ASSERT_EQ(model_.Setups(Group::MasterFile).size(), 2U);
  EXPECT_EQ(model_.Setups(Group::MasterFile)[0].get(), masterA);
  EXPECT_EQ(model_.GetSetupFromCurrentZel(u"A"), masterA);
  EXPECT_EQ(masterA->StoreIn, u"b.zel");
  EXPECT_FALSE(masterA->New);  // attributes the document leaves out stay as they were
  EXPECT_EQ(masterA->Properties().size(), 1U);
  EXPECT_EQ(*masterA->PropertyText("Outputs"), u"3");
  EXPECT_EQ(Shadows(model_.GetSetupFromZelLib(u"A")), u"false");
  EXPECT_EQ(Shadows(model_.GetSetupFromCurrentZel(u"B")), u"false");
  EXPECT_EQ(model_.GetSetupFromCurrentZel(u"a"), nullptr);
  EXPECT_EQ(model_.GetSetupFromZelLib(u"B"), nullptr);
  EXPECT_EQ(model_.GetSetupFromCurrentZel(std::nullopt), nullptr);
}

TEST_F(RenderSetupViewModelTest, CurrentSetupPrefersMasterFileAndSurvivesBadText) {
  ASSERT_TRUE(model_.TakeDocument(Doc(SetupElement(kLibrary, u"A", u"false") +
                                      SetupElement(kMaster, u"A", u"true") + Current(u"A") +
                                      SetupElement(kLibrary, u"L", u"true"))));
  ASSERT_NE(model_.CurrentRenderSetup(), nullptr);
  EXPECT_EQ(model_.CurrentRenderSetup()->GetGroup(), Group::MasterFile);

  ASSERT_TRUE(model_.TakeDocument(Doc(Current(u"L") + Current(u"Unknown"))));
  EXPECT_EQ(model_.CurrentRenderSetup(), model_.GetSetupFromZelLib(u"L"));
  model_.SetCurrentSetup(std::nullopt);
  for (const std::u16string& bad : std::vector<std::u16string>{
           u"", u"not xml", u"<Other>" + Current(u"A") + u"</Other>",
           u"<RenderSetupViewModel>" + SetupElement(kMaster, u"B", u"true")}) {
    EXPECT_FALSE(model_.TakeDocument(bad));
  }
  EXPECT_EQ(model_.CurrentRenderSetup(), model_.GetSetupFromZelLib(u"L"));
  EXPECT_EQ(model_.Setups(Group::MasterFile).size(), 1U);
}

TEST_F(RenderSetupViewModelTest, EditRaisesToEverySubscriptionMadeBeforeTheEvent) {
  ASSERT_TRUE(model_.TakeDocument(
      Doc(SetupElement(kMaster, u"A", u"true") + SetupElement(kLibrary, u"A", u"true"))));
  std::vector<std::u16string> calls;
  const auto record = [&](RenderSetup& sender, const PropertyChangedEventArgs& e) {
    calls.push_back(*sender.Name() + u"/" + e.PropertyName.value_or(u"<null>"));
  };
  bool subscribed = false;
  model_.AddOnRenderSetupChanged(record);
  model_.AddOnRenderSetupChanged([&](RenderSetup& sender, const PropertyChangedEventArgs& e) {
    record(sender, e);
    if (!subscribed) model_.AddOnRenderSetupChanged(record);
    subscribed = true;
  });

  EXPECT_TRUE(model_.EditProperty(Group::Library, u"A", "DoShadows", u"false"));
  EXPECT_EQ(calls, (std::vector<std::u16string>{u"A/DoShadows", u"A/DoShadows"}));
  EXPECT_EQ(Shadows(model_.GetSetupFromZelLib(u"A")), u"false");
  EXPECT_EQ(Shadows(model_.GetSetupFromCurrentZel(u"A")), u"true");

  EXPECT_FALSE(model_.EditProperty(Group::MasterFile, u"B", "DoShadows", u"false"));
  EXPECT_EQ(calls.size(), 2U);
  model_.Clear();
  EXPECT_EQ(model_.CurrentRenderSetup(), nullptr);
  EXPECT_TRUE(model_.Setups(Group::Library).empty());
  EXPECT_EQ(model_.OnRenderSetupChangedSubscriptions(), 3U);
}

}  // namespace
}  // namespace Teskor::RenderSetup::ViewModel
