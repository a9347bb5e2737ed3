#include <array>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "ornr/IPrismetWrapper.h"
#include "panel/Panel.h"

namespace {

using Teskor::RenderSetup::String;
using Teskor::RenderSetup::TextView;
using Teskor::RenderSetup::View::MainPanel;

class PrismetWrapperTest : public ::testing::Test {
 protected:
  void SetUp() override { MainPanel::Reset(); }

  /// Makes the panel hold setup "A" in the master file and, given properties, in the library.
  void Take(const std::u16string& master, const std::u16string& library = u"") {
    std::u16string xml = u"<RenderSetupViewModel><SetupsFromMasterFile Name=\"A\">" + master +
                         u"</SetupsFromMasterFile>";
    if (!library.empty())
      xml += u"<SetupsFromZelLib Name=\"A\">" + library + u"</SetupsFromZelLib>";
    bridge_->ChangeRenderSetupViewModel((xml + u"</RenderSetupViewModel>").c_str());
  }
  std::u16string Text(const char16_t* setup, const char* property, std::uint64_t maxSize = 255,
                      bool fromLib = false) {
    std::array<char16_t, 300> buffer;
    buffer.fill(u'Z');
    bridge_->GetRenderSetupPropertyValue(setup, property, buffer.data(), maxSize, fromLib);
    return buffer.data();
  }

  // Reads the property as every non-text type into values that start at 9.
  struct Values {
    std::uint64_t u64 = 9;
    std::uint32_t u32 = 9;
    std::array<unsigned char, 4> color{9, 9, 9, 9};
    bool b = true;
    double d = 9;
    float f = 9;
    bool operator==(const Values&) const = default;
  };
  Values ReadAll(const char16_t* setup, const char* property, bool fromLib = false) {
    Values v;
    bridge_->GetRenderSetupPropertyValue(setup, property, v.u64, fromLib);
    bridge_->GetRenderSetupPropertyValue(setup, property, v.u32, fromLib);
    bridge_->GetRenderSetupPropertyValue(setup, property, v.color.data(), fromLib);
    bridge_->GetRenderSetupPropertyValue(setup, property, v.b, fromLib);
    bridge_->GetRenderSetupPropertyValue(setup, property, v.d, fromLib);
    bridge_->GetRenderSetupPropertyValue(setup, property, v.f, fromLib);
    return v;
  }

  IPrismetWrapper* bridge_ = GetIPrismetWrapper();
};

TEST_F(PrismetWrapperTest, ReadsEachTypeFromTheChosenGroup) {
  Take(
      u"<U64>-1</U64><U32>-2</U32><Col>255,128,0</Col><B>true</B><D>0.500000</D>"
      u"<F>0.250000</F><T>master</T>",
      u"<U64>7</U64><T>library</T>");
  EXPECT_EQ(ReadAll(u"A", "U64").u64, ~0ULL);
  EXPECT_EQ(ReadAll(u"A", "U32").u32, 0xFFFFFFFEU);
  EXPECT_EQ(ReadAll(u"A", "Col").color, (std::array<unsigned char, 4>{255, 128, 0, 9}));
  EXPECT_TRUE(ReadAll(u"A", "B").b);
  EXPECT_EQ(ReadAll(u"A", "D").d, 0.5);
  EXPECT_EQ(ReadAll(u"A", "F").f, 0.25F);
  EXPECT_EQ(ReadAll(u"A", "U64", true).u64, 7U);
  EXPECT_EQ(Text(u"A", "T"), u"master");
  EXPECT_EQ(Text(u"A", "T", 255, true), u"library");
}

TEST_F(PrismetWrapperTest, NothingToReadWritesStartValues) {
  Take(u"<P>1</P>");
  const Values start{0, 0, {0, 0, 0, 9}, false, 0, 0};
  for (const auto& [setup, property, fromLib] :
       std::vector<std::tuple<const char16_t*, const char*, bool>>{{u"Nobody", "P", false},
                                                                   {u"A", "P", true},
                                                                   {nullptr, "P", false},
                                                                   {u"A", "Q", false},
                                                                   {u"A", nullptr, false}}) {
    EXPECT_EQ(ReadAll(setup, property, fromLib), start) << fromLib;
    EXPECT_EQ(Text(setup, property, 255, fromLib), u"");
  }
}

TEST_F(PrismetWrapperTest, TextArrivesOnlyWhenItFitsWithItsTerminator) {
  for (const auto& [length, maxSize] : std::vector<std::pair<std::size_t, std::uint64_t>>{
           {254, 255}, {255, 255}, {9, 10}, {10, 10}}) {
    const std::u16string text(length, u'x');
    Take(u"<T>" + text + u"</T>");
    EXPECT_EQ(Text(u"A", "T", maxSize), length < maxSize ? text : u"") << length << "/" << maxSize;
  }
}

TEST_F(PrismetWrapperTest, DocumentReachesPanelAsSentAndPanelFailuresStayInside) {
  std::vector<String> seen;
  MainPanel::SetDocumentObserver([&](const TextView& xml) {
    seen.push_back(xml ? String(*xml) : std::nullopt);
    if (xml == u"") throw std::runtime_error("panel broke");
  });
  testing::internal::CaptureStderr();
  bridge_->ChangeRenderSetupViewModel(nullptr);
  EXPECT_NO_THROW(bridge_->ChangeRenderSetupViewModel(u""));
  EXPECT_NE(testing::internal::GetCapturedStderr().find(
                "ChangeRenderSetupViewModel failed: panel broke\n"),
            std::string::npos);
  EXPECT_EQ(seen, (std::vector<String>{std::nullopt, u""}));
}

// A load's document is tens of megabytes: the panel reads the caller's text where it is.
TEST_F(PrismetWrapperTest, PanelReadsTheDocumentWithoutACopy) {
  const std::u16string xml =
      u"<RenderSetupViewModel><SetupsFromMasterFile Name=\"A\"><P>1</P></SetupsFromMasterFile>"
      u"</RenderSetupViewModel>";
  std::vector<const char16_t*> seen;
  MainPanel::SetDocumentObserver([&](const TextView& text) {
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, xml);
    seen.push_back(text->data());
  });
  bridge_->ChangeRenderSetupViewModel(xml.c_str());
  EXPECT_EQ(seen, std::vector<const char16_t*>{xml.c_str()});
  EXPECT_NE(MainPanel::Instance().ViewModel().GetSetupFromCurrentZel(u"A"), nullptr);
}

}  // namespace
