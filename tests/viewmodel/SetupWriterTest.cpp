#include "viewmodel/SetupWriter.h"

#include <gtest/gtest.h>

#include "support/Utf.h"

namespace {

using namespace ornr;
using Teskor::WString;
using Teskor::ZelPlatform::OrnSetup;

class TestFile final : public Teskor::ZelPlatform::ZelFile {
 public:
  WString GetFileName() const override { return WString(u"master.zel"); }
};

class SetupWriterTest : public testing::Test {
 protected:
  TestFile file;
  ViewModelDocument document{std::make_unique<pugi::xml_document>()};
};

TEST_F(SetupWriterTest, SetupElementCarriesFlagsAndIsFollowedByTheCurrentSetupWhenSelected) {
  const std::u16string current = u"<CurrentRenderSetup>Interior</CurrentRenderSetup>";
  for (const bool select : {false, true}) {  // a selected setup is the newborn one here
    document.ResetDocument();
    WriteSetup(document, kGroupMasterFile, OrnSetup(file, u"Interior"), WString(u"C:/m.zel"),
               select, select);
    const std::u16string flags =
        select ? uR"(New="false" NewBorn="true")" : uR"(New="true" NewBorn="false")";
    const std::u16string xml = document.GetRootXml();
    EXPECT_TRUE(xml.starts_with(u"<RenderSetupViewModel><SetupsFromMasterFile Name=\"Interior\" " +
                                flags + u" StoreIn=\"C:/m.zel\"><DoShadows>"))
        << select;
    EXPECT_TRUE(xml.ends_with(u"</SetupsFromMasterFile>" + (select ? current : u"") +
                              u"</RenderSetupViewModel>"))
        << select;
  }
}

// Same names, and names that end an XPath string, must not make setups share property elements.
TEST_F(SetupWriterTest, EveryValidSetupGetsItsOwnPropertiesWhateverItsName) {
  const std::u16string names[] = {u"O'Brien's", u"Twin", u"Twin"};
  for (std::uint32_t i = 0; i < std::size(names); ++i) {
    OrnSetup setup(file, names[i].c_str());
    setup.GetSettings()->SetBlurPasses(i);
    setup.GetSettings()->SetRenderOutputChannels(0xFFFF);
    WriteSetup(document, kGroupLibrary, setup, WString(u"lib.zellib"), false, false);
  }
  OrnSetup broken(file, u"Broken");
  broken.valid = false;
  WriteSetup(document, kGroupLibrary, broken, WString(u"lib.zellib"), true,
             true);  // nothing at all
  const std::string xml = Utf16ToUtf8(document.GetRootXml());
  pugi::xml_document parsed;
  ASSERT_TRUE(parsed.load_buffer(xml.data(), xml.size()));
  std::uint32_t i = 0;
  for (const pugi::xml_node element : parsed.child("RenderSetupViewModel").children()) {
    ASSERT_LT(i, std::size(names));
    EXPECT_EQ(element.attribute("Name").value(), Utf16ToUtf8(names[i]));
    EXPECT_EQ(std::distance(element.begin(), element.end()), 68) << i;
    EXPECT_EQ(element.child_value("BlurPasses"), std::to_string(i));
    EXPECT_STREQ(element.child_value("Outputs"), "8191");  // masked
    ++i;
  }
  EXPECT_EQ(i, std::size(names));
}

}  // namespace
