// ornR_LoadAllSetups: the document the panel receives and what the panel then answers.
#include <algorithm>
#include <cstring>
#include <tuple>

#include "ModuleFixture.h"
#include "settings/OrnSettingsWrapper.h"

namespace ornr::testing {
namespace {

using Teskor::KreelPlatform::OrnSettingsWrapper;
using Teskor::ZelPlatform::PropertyType;

struct Property {
  std::string name;
  PropertyType type;
};

std::vector<Property> Catalogue() {
  OrnSettings settings;
  OrnSettingsWrapper wrapper(settings);
  std::vector<Property> properties;
  wrapper.ForEachProperty(
      [](const std::string& name, PropertyType type, void* context) {
        static_cast<std::vector<Property>*>(context)->push_back({name, type});
      },
      &properties);
  return properties;
}

OrnSettings Distinct(int seed) {
  OrnSettings s;
  s.SetDoShadows(seed % 2 == 0);
  s.SetBlurPasses(100 + seed);
  s.SetGlobalShadowQuality(static_cast<OrnSettings::GlobalShadowQuality>(-seed));
  s.SetInterocularDistance(0.25 * seed);
  s.SetRenderOutputChannels(0x1F0F + seed);
  s.SetMaxAASamples(0xFFFFFFFFu - seed);
  s.SetLightingModel(static_cast<OrnSettings::LightingModel>(40 + seed));
  s.SetToleranceOverrideMeters(1.0 / (seed + 3));
  return s;
}

class LoadAllSetupsTest : public ModuleFixture {
 protected:
  void SetUp() override {
    ModuleFixture::SetUp();
    ornhost::OpenMaster(File("master.zel"));
    Store("master.zel", u"A", Distinct(1));
    Store("master.zel", u"B", Distinct(2));
    Store("master.zel", u"C", Distinct(3));
    Store("z-lib.zellib", u"Z1", Distinct(4));
    Store("a-lib.zellib", u"A1", Distinct(5));
    Store("a-lib.zellib", u"B", Distinct(6));
    // Added in the opposite order of their names: the document follows the names.
    ornhost::AddLibrary(File("z-lib.zellib"));
    ornhost::AddLibrary(File("a-lib.zellib"));
    ornR_Init();
  }
};

TEST_F(LoadAllSetupsTest, DocumentListsEverySetupInOrderWithAllProperties) {
  ornR_LoadAllSetups(false);
  auto documents = TakeDocuments();
  ASSERT_EQ(documents.size(), 1u);
  const auto root = documents[0].child("RenderSetupViewModel");

  struct Expected {
    std::string element, name, isNew, storeIn;
  };
  const std::string master = File("master.zel").string();
  const std::vector<Expected> expected = {
      {"SetupsFromMasterFile", "A", "false", master},
      {"CurrentRenderSetup", "A", "", ""},
      {"SetupsFromMasterFile", "B", "false", master},
      {"CurrentRenderSetup", "B", "", ""},
      {"SetupsFromMasterFile", "C", "false", master},
      {"CurrentRenderSetup", "C", "", ""},
      {"SetupsFromZelLib", "A1", "true", File("a-lib.zellib").string()},
      {"SetupsFromZelLib", "B", "true", File("a-lib.zellib").string()},
      {"SetupsFromZelLib", "Z1", "true", File("z-lib.zellib").string()},
  };
  const auto catalogue = Catalogue();
  ASSERT_EQ(catalogue.size(), 68u);
  std::size_t i = 0;
  for (auto element : root.children()) {
    ASSERT_LT(i, expected.size());
    const auto& e = expected[i++];
    EXPECT_EQ(element.name(), e.element);
    if (e.element == "CurrentRenderSetup") {
      EXPECT_EQ(element.text().as_string(), e.name);
      continue;
    }
    EXPECT_EQ(element.attribute("Name").as_string(), e.name);
    EXPECT_EQ(element.attribute("New").as_string(), e.isNew);
    EXPECT_STREQ(element.attribute("NewBorn").as_string(), "false");
    EXPECT_EQ(element.attribute("StoreIn").as_string(), e.storeIn);
    std::size_t p = 0;
    for (auto property : element.children()) {
      ASSERT_LT(p, catalogue.size());
      EXPECT_EQ(property.name(), catalogue[p++].name);
    }
    EXPECT_EQ(p, 68u) << e.name;
  }
  EXPECT_EQ(i, expected.size());
  EXPECT_EQ(*Panel().CurrentRenderSetup()->Name(), u"C");
}

TEST_F(LoadAllSetupsTest, PanelAnswersEveryPropertyWithTheHostsValue) {
  ornR_LoadAllSetups(false);
  IPrismetWrapper* bridge = GetIPrismetWrapper();
  const std::vector<std::tuple<std::u16string, bool, const char*>> setups = {
      {u"A", false, "master.zel"},
      {u"C", false, "master.zel"},
      {u"B", true, "a-lib.zellib"},
      {u"Z1", true, "z-lib.zellib"}};
  for (const auto& [name, fromLib, file] : setups) {
    OrnSettings stored = StoredSettings(name, file);
    OrnSettingsWrapper host(stored);
    // Reads the panel's value into a variable that starts unlike the host's.
    auto read = [&](const char* p, auto unlike) {
      bridge->GetRenderSetupPropertyValue(name.c_str(), p, unlike, fromLib);
      return unlike;
    };
    for (const auto& property : Catalogue()) {
      const char* p = property.name.c_str();
      SCOPED_TRACE(N(name) + "." + property.name);
      std::uint64_t u64 = 0;
      std::uint32_t u32 = 0;
      std::int32_t i32 = 0;
      double d = 0;
      bool b = false;
      switch (property.type) {
        case PropertyType::Bool:
          host.GetBoolValue(p, b);
          EXPECT_EQ(read(p, !b), b);
          break;
        case PropertyType::Double:
          host.GetDoubleValue(p, d);
          EXPECT_NEAR(read(p, d + 1), d, 5e-7);
          break;
        case PropertyType::UInt32:
          host.GetUInt32Value(p, PropertyType::UInt32, u32);
          EXPECT_EQ(read(p, u32 + 1), u32);
          break;
        case PropertyType::Int32:
          host.GetInt32Value(p, i32);
          EXPECT_EQ(read(p, static_cast<std::uint32_t>(i32) + 1), static_cast<std::uint32_t>(i32));
          break;
        case PropertyType::UInt64:
          host.GetUInt64Value(p, u64);
          EXPECT_EQ(read(p, u64 + 1), u64);
          break;
        default:
          ADD_FAILURE() << "no property of this type is in the catalogue";
      }
    }
  }
}

TEST_F(LoadAllSetupsTest, InvalidSetupsAreLeftOut) {
  ornhost::InvalidateSetup(File("master.zel"), u"B");
  ornR_Release();
  ornhost::CloseMaster();
  ornhost::OpenMaster(File("master.zel"));
  ornR_Init();
  ornR_LoadAllSetups(false);
  EXPECT_EQ(Panel().GetSetupFromCurrentZel(u"B"), nullptr);
  EXPECT_NE(Panel().GetSetupFromCurrentZel(u"A"), nullptr);
  EXPECT_NE(Panel().GetSetupFromZelLib(u"B"), nullptr);
  const auto documents = TakeDocuments();
  ASSERT_EQ(documents.size(), 1u);
  EXPECT_EQ(std::distance(
                documents[0].child("RenderSetupViewModel").children("CurrentRenderSetup").begin(),
                documents[0].child("RenderSetupViewModel").children("CurrentRenderSetup").end()),
            2);
}

TEST_F(LoadAllSetupsTest, LibraryAddedLaterAppearsOnlyAfterReinit) {
  ornR_LoadAllSetups(false);
  Store("late.zel", {u"Late"});
  ornhost::AddLibrary(File("late.zel"));
  ornR_LoadAllSetups(true);
  EXPECT_EQ(Panel().GetSetupFromZelLib(u"Late"), nullptr);
  ornR_Release();
  ornR_Init();
  ornR_LoadAllSetups(true);
  EXPECT_NE(Panel().GetSetupFromZelLib(u"Late"), nullptr);
}

// Names travel host -> document -> panel -> bridge unchanged, code unit for code unit.
TEST_F(LoadAllSetupsTest, OddNamesSurviveTheRoundTrip) {
  const std::vector<std::u16string> names = {u"sky",
                                             u"Sky",
                                             u"Bob's \"best\" <setup> & more ]",
                                             u"  spaced  ",
                                             u"\u65E5\u672C\u8A9E",
                                             u"\U0001F305 sunrise",
                                             std::u16string(254, u'x'),
                                             u"tab\there"};
  std::uint32_t passes = 500;
  for (const auto& name : names) {
    OrnSettings s;
    s.SetBlurPasses(passes++);
    Store("master.zel", name, s);
  }
  ornR_Release();
  ornhost::CloseMaster();
  ornhost::OpenMaster(File("master.zel"));
  ornR_Init();
  ornR_LoadAllSetups(false);
  passes = 500;
  for (const auto& name : names) {
    SCOPED_TRACE(N(name));
    ASSERT_NE(Panel().GetSetupFromCurrentZel(name), nullptr);
    std::uint32_t value = 0;
    GetIPrismetWrapper()->GetRenderSetupPropertyValue(name.c_str(), "BlurPasses", value, false);
    EXPECT_EQ(value, passes++);
  }
  char16_t current[256] = {};
  GetIPrismetWrapper()->GetCurrentRenderSetupName(current, 256);
  EXPECT_EQ(std::u16string(current), names.back());
}

}  // namespace
}  // namespace ornr::testing
