#include "viewmodel/SetupWriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Utf.h"

namespace {

using namespace ornr;
using Teskor::WString;
using Teskor::ZelPlatform::OrnSettings;
using Teskor::ZelPlatform::OrnSetup;
using Teskor::ZelPlatform::ZelFile;

// The host record's field keys, in its order: what the panel expects as element names.
const std::vector<std::string> kHostKeys = {
#define ORN_FIELD(type, getter, setter, key, init) #key,
#include "host/OrnSettingsFields.def"
#undef ORN_FIELD
};

class TestFile final : public ZelFile {
 public:
  WString GetFileName() const override { return WString(u"master.dgn"); }
};

class SetupWriterTest : public testing::Test {
 protected:
  pugi::xml_document Written() {
    pugi::xml_document parsed;
    const std::string xml = Utf16ToUtf8(document.GetRootXml());
    EXPECT_TRUE(parsed.load_buffer(xml.data(), xml.size()));
    return parsed;
  }
  static std::vector<std::string> ChildNames(pugi::xml_node node) {
    std::vector<std::string> names;
    for (const pugi::xml_node child : node.children()) names.emplace_back(child.name());
    return names;
  }
  TestFile file;
  ViewModelDocument document{std::make_unique<pugi::xml_document>()};
};

TEST_F(SetupWriterTest, SetupElementCarriesFlagsAndIsFollowedByTheCurrentSetupWhenSelected) {
  struct Case {
    bool select, newBorn;
    std::u16string start, end;
  };
  const std::u16string element = u"<SetupsFromMasterFile Name=\"Interior\" ";
  const std::vector<Case> cases = {
      {false, false, uR"(New="true" NewBorn="false" StoreIn="C:/m.dgn"><DoShadows>)",
       u"</SetupsFromMasterFile></RenderSetupViewModel>"},
      {true, false, uR"(New="false" NewBorn="false" StoreIn="C:/m.dgn"><DoShadows>)",
       u"</SetupsFromMasterFile><CurrentRenderSetup>Interior</CurrentRenderSetup></"
       u"RenderSetupViewModel>"},
      {true, true, uR"(New="false" NewBorn="true" StoreIn="C:/m.dgn"><DoShadows>)",
       u"</SetupsFromMasterFile><CurrentRenderSetup>Interior</CurrentRenderSetup></"
       u"RenderSetupViewModel>"}};
  for (const Case& c : cases) {
    document.ResetDocument();
    WriteSetup(document, kGroupMasterFile, OrnSetup(file, u"Interior"), WString(u"C:/m.dgn"),
               c.select, c.newBorn);
    const std::u16string xml = document.GetRootXml();
    EXPECT_TRUE(xml.starts_with(u"<RenderSetupViewModel>" + element + c.start))
        << c.select << c.newBorn;
    EXPECT_TRUE(xml.ends_with(c.end)) << c.select << c.newBorn;
  }
}

TEST_F(SetupWriterTest, OnePropertyElementPerHostFieldWithItsValueText) {
  OrnSetup setup(file, u"Interior");
  OrnSettings& settings = *setup.GetSettings();
  settings.SetIsStereo(true);
  settings.SetQualityThreshold(0.5);
  settings.SetBlurPasses(0xFFFFFFFF);
  settings.SetToleranceOverrideMeters(1e30);
  settings.SetGlobalShadowQuality(OrnSettings::GlobalShadowQuality(-1));
  settings.SetRenderOutputChannels(0xFFFF);
  settings.SetLightingModel(OrnSettings::LightingModel(7));
  WriteSetup(document, kGroupLibrary, setup, WString(u"lib.dgn"), false, false);

  const pugi::xml_document parsed = Written();
  const pugi::xml_node element = parsed.child("RenderSetupViewModel").child("SetupsFromZelLib");
  EXPECT_EQ(ChildNames(element), kHostKeys);
  for (const pugi::xml_node property : element.children()) {
    EXPECT_TRUE(property.attributes().empty()) << property.name();
    EXPECT_EQ(property.first_child().type(), pugi::node_pcdata) << property.name();
  }
  const std::vector<std::pair<const char*, const char*>> texts = {
      {"DoShadows", "true"},
      {"Stereo", "true"},
      {"QualityThreshold", "0.500000"},
      {"InterocularDistance", "0.065000"},
      {"BlurPasses", "-1"},
      {"ToleranceOverrideMeters", "10000000000000000198846248386"},
      {"ShadowQuality", "-1"},
      {"Outputs", "8191"},
      {"LightingModel", "7"},
      {"MaxSamplesPerPixel", "256"}};
  for (const auto& [name, text] : texts) EXPECT_STREQ(element.child_value(name), text) << name;
}

TEST_F(SetupWriterTest, EverySetupGetsItsOwnPropertiesWhateverItsName) {
  const std::vector<std::u16string> names = {u"O'Brien's", u"Twin", u"Twin", u"a\"b&<c]",
                                             u"\xD83D\xDE00 x"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    OrnSetup setup(file, names[i].c_str());
    setup.GetSettings()->SetBlurPasses(static_cast<std::uint32_t>(i));
    WriteSetup(document, kGroupLibrary, setup, WString(u"lib.dgn"), false, false);
  }
  const pugi::xml_document parsed = Written();
  std::size_t index = 0;
  for (const pugi::xml_node element : parsed.child("RenderSetupViewModel").children()) {
    ASSERT_LT(index, names.size());
    EXPECT_EQ(element.attribute("Name").value(), Utf16ToUtf8(names[index]));
    EXPECT_EQ(ChildNames(element).size(), 68u) << index;
    EXPECT_EQ(element.child_value("BlurPasses"), std::to_string(index));
    ++index;
  }
  EXPECT_EQ(index, names.size());
}

TEST_F(SetupWriterTest, InvalidSetupWritesNothing) {
  OrnSetup setup(file, u"Broken");
  setup.valid = false;
  WriteSetup(document, kGroupMasterFile, setup, WString(u"m.dgn"), true, true);
  EXPECT_EQ(document.GetRootXml(), kEmptyViewModel);
}

}  // namespace
