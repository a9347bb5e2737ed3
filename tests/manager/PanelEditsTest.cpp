// Values the user edits in the panel reach the master file's setup.
#include <cstring>
#include <functional>

#include <gmock/gmock.h>

#include "ModuleFixture.h"

namespace ornr::testing {
namespace {

using panel::ViewModel::Group;

class PanelEditsTest : public ModuleFixture {
 protected:
  void SetUp() override {
    ModuleFixture::SetUp();
    Store("master.zel", {u"Sky", u"Both"});
    Store("lib.zellib", {u"Lib only", u"Both"});
    Start("master.zel", {"lib.zellib"});
  }

  /// The master file's setup after saving it, as the file holds it.
  OrnSettings Saved(const std::u16string& name) {
    ornR_SaveSetup(name.c_str());
    return StoredSettings(name);
  }
};

// One row per type of the catalogue: the text the user types and what the host then holds.
TEST_F(PanelEditsTest, EachTypeIsReadBackAndStored) {
  struct Case {
    const char* property;
    std::u16string text;
    std::function<bool(const OrnSettings&)> holds;
  };
  const std::vector<Case> cases = {
      {"DoShadows", u"false", [](const OrnSettings& s) { return !s.DoShadows(); }},
      {"BlurPasses", u"-1", [](const OrnSettings& s) { return s.GetBlurPasses() == 0xFFFFFFFFu; }},
      {"LightingModel", u"77",
       [](const OrnSettings& s) { return static_cast<int>(s.GetLightingModel()) == 77; }},
      {"InterocularDistance", u"0.125000",
       [](const OrnSettings& s) { return s.GetInterocularDistance() == 0.125; }},
      {"Outputs", u"0", [](const OrnSettings& s) { return s.GetRenderOutputChannels() == 3; }},
      {"Outputs", u"-1",
       [](const OrnSettings& s) { return s.GetRenderOutputChannels() == 0x1FFF; }},
      {"StopAfterMaxSmaples", u"false",
       [](const OrnSettings& s) { return !s.DoStopAfterMaxSmaples(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.property);
    ASSERT_TRUE(Panel().EditProperty(Group::MasterFile, u"Sky", c.property, c.text));
    EXPECT_EQ(ornR_IsModified(u"Sky"), 1);
    EXPECT_TRUE(c.holds(Saved(u"Sky")));
  }
  EXPECT_TRUE(documents_.empty()) << "nothing is sent back to the panel";
}

// The panel refuses these edits itself; an event that still names such a property only marks.
TEST_F(PanelEditsTest, UnwritablePropertiesAreRefusedByThePanelAndOnlyMarkWhenRaised) {
  const OrnSettings before = Saved(u"Sky");
  for (const char* property : {"ShadowQuality", "Name", "doshadows"}) {
    ornR_SaveSetup(u"Sky");
    const auto refused = Panel().EditProperty(Group::MasterFile, u"Sky", property, u"3");
    EXPECT_FALSE(refused) << property;
    EXPECT_THAT(refused.message, ::testing::HasSubstr(property));
    EXPECT_EQ(ornR_IsModified(u"Sky"), 0) << property;
    Panel().RaiseRenderSetupChanged(*Panel().GetSetupFromCurrentZel(u"Sky"),
                                    {std::u16string(property, property + strlen(property))});
    EXPECT_EQ(ornR_IsModified(u"Sky"), 1) << property;
    EXPECT_TRUE(Saved(u"Sky").Equals(before)) << property;
  }
}

// Texts that are no value of the property's type once reached the setup as 0 or false.
TEST_F(PanelEditsTest, TextsThatAreNoValueChangeNeitherPanelNorSetup) {
  const std::pair<const char*, std::u16string> cases[] = {
      {"BlurPasses", u"abc"},
      {"BlurPasses", u"4294967296"},
      {"BlurPasses", u"-2147483649"},
      {"BlurPasses", u" 5"},
      {"BlurPasses", u"5x"},
      {"QualityThreshold", u"1,5"},
      {"QualityThreshold", u"1e309"},
      {"QualityThreshold", u"nan"},
      {"QualityThreshold", u"-inf"},
      {"QualityThreshold", u"1e21"},
      {"DoShadows", u"yes"},
      {"DoShadows", u"1"},
      {"DoShadows", u"TRUE1"},
      {"DoShadows", u"True"},
      {"Outputs", u"1e3"},
      {"Outputs", u"18446744073709551616"},
      {"Outputs", u""},
  };
  const OrnSettings before = Saved(u"Sky");
  for (const auto& [property, text] : cases) {
    SCOPED_TRACE(std::string(property) + " " + Utf16ToUtf8(text));
    const std::u16string shown(*Panel().GetSetupFromCurrentZel(u"Sky")->PropertyText(property));
    const auto result = Panel().EditProperty(Group::MasterFile, u"Sky", property, text);
    EXPECT_FALSE(result);
    EXPECT_THAT(result.message, ::testing::HasSubstr(property));
    EXPECT_THAT(result.message, ::testing::HasSubstr("expected"));
    EXPECT_EQ(*Panel().GetSetupFromCurrentZel(u"Sky")->PropertyText(property), shown);
    EXPECT_EQ(ornR_IsModified(u"Sky"), 0);
  }
  ornR_SaveSetup(u"Sky");
  EXPECT_TRUE(Saved(u"Sky").Equals(before));
  // The edges of each type are values.
  for (const auto& [property, text] : std::initializer_list<std::pair<const char*, std::u16string>>{
           {"BlurPasses", u"4294967295"},
           {"BlurPasses", u"-2147483648"},
           {"QualityThreshold", u"-123456789012345678901"},
           {"QualityThreshold", u"2.5e-3"},
           {"Outputs", u"-9223372036854775808"},
           {"Outputs", u"18446744073709551615"}}) {
    EXPECT_TRUE(Panel().EditProperty(Group::MasterFile, u"Sky", property, text))
        << property << " " << Utf16ToUtf8(text);
  }
  EXPECT_EQ(Saved(u"Sky").GetBlurPasses(), 0x80000000u);
}

TEST_F(PanelEditsTest, EditsThatFindNoMasterSetupChangeNothing) {
  Panel().EditProperty(Group::Library, u"Lib only", "BlurPasses", u"5");
  EXPECT_EQ(ornR_IsModified(u"Lib only"), 0);
  // A library setup that shares its name with a master-file setup: the master file's is changed,
  // with the master file's panel value.
  Panel().EditProperty(Group::MasterFile, u"Both", "BlurPasses", u"6");
  ornR_SaveSetup(u"Both");
  Panel().EditProperty(Group::Library, u"Both", "BlurPasses", u"9");
  EXPECT_EQ(ornR_IsModified(u"Both"), 1);
  EXPECT_EQ(Saved(u"Both").GetBlurPasses(), 6u);
}

TEST_F(PanelEditsTest, EditsDuringAPushAreIgnored) {
  panel::View::MainPanel::SetDocumentObserver([this](const panel::TextView&) {
    Panel().EditProperty(Group::MasterFile, u"Sky", "BlurPasses", u"1234");
  });
  ornR_ResetSetup(u"Sky");  // pushes the setup
  panel::View::MainPanel::SetDocumentObserver({});
  EXPECT_EQ(ornR_IsModified(u"Sky"), 0);
  EXPECT_NE(Saved(u"Sky").GetBlurPasses(), 1234u);
  Panel().EditProperty(Group::MasterFile, u"Sky", "BlurPasses", u"1234");
  EXPECT_EQ(ornR_IsModified(u"Sky"), 1) << "the flag is cleared again after the push";
}

TEST_F(PanelEditsTest, EditsAfterReleaseAreIgnored) {
  ornR_Release();
  Panel().EditProperty(Group::MasterFile, u"Sky", "BlurPasses", u"5");
  ornR_Init();
  EXPECT_EQ(ornR_IsModified(u"Sky"), 0);
}

}  // namespace
}  // namespace ornr::testing
