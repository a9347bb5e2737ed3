#include <array>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ornr/IPrismetWrapper.h"
#include "panel/Panel.h"

namespace {

using Teskor::RenderSetup::String;
using Teskor::RenderSetup::View::MainPanel;

std::u16string Escaped(std::u16string_view text) {
  std::u16string out;
  for (const char16_t c : text) {
    switch (c) {
      case u'&':
        out += u"&amp;";
        break;
      case u'<':
        out += u"&lt;";
        break;
      case u'>':
        out += u"&gt;";
        break;
      case u'"':
        out += u"&quot;";
        break;
      case u'\'':
        out += u"&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::u16string SetupElement(std::u16string_view group, std::u16string_view name,
                            std::u16string_view properties) {
  return u"<" + std::u16string(group) + u" Name=\"" + Escaped(name) + u"\">" +
         std::u16string(properties) + u"</" + std::u16string(group) + u">";
}

class PrismetWrapperTest : public ::testing::Test {
 protected:
  void SetUp() override { MainPanel::Reset(); }
  void TearDown() override { MainPanel::Reset(); }

  void Take(const std::u16string& body) {
    const std::u16string xml = u"<RenderSetupViewModel>" + body + u"</RenderSetupViewModel>";
    bridge_->ChangeRenderSetupViewModel(xml.c_str());
  }
  std::u16string Text(const char16_t* setup, const char* property, std::uint64_t maxSize,
                      bool fromLib = false) {
    std::array<char16_t, 300> buffer;
    buffer.fill(u'Z');
    bridge_->GetRenderSetupPropertyValue(setup, property, buffer.data(), maxSize, fromLib);
    return buffer.data();
  }

  IPrismetWrapper* bridge_ = GetIPrismetWrapper();
};

TEST_F(PrismetWrapperTest, OneObjectUntilDeleted) {
  EXPECT_EQ(GetIPrismetWrapper(), bridge_);
  DeleteIPrismetWrapperInstance();
  DeleteIPrismetWrapperInstance();
  bridge_ = GetIPrismetWrapper();
  ASSERT_NE(bridge_, nullptr);
  Take(SetupElement(u"SetupsFromMasterFile", u"A", u"<Text>t</Text>"));
  EXPECT_EQ(Text(u"A", "Text", 255), u"t");
}

TEST_F(PrismetWrapperTest, ReadsEachTypeFromTheChosenGroup) {
  Take(SetupElement(u"SetupsFromMasterFile", u"A",
                    u"<U64>-1</U64><U32>-2</U32><Col>255,128,0</Col><B>true</B><D>0.500000</D>"
                    u"<F>0.250000</F><Text>master</Text>") +
       SetupElement(u"SetupsFromZelLib", u"A", u"<U64>7</U64><Text>library</Text>"));
  std::uint64_t u64 = 0;
  std::uint32_t u32 = 0;
  unsigned char color[5] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  bool b = false;
  double d = 0;
  float f = 0;
  bridge_->GetRenderSetupPropertyValue(u"A", "U64", u64, false);
  bridge_->GetRenderSetupPropertyValue(u"A", "U32", u32, false);
  bridge_->GetRenderSetupPropertyValue(u"A", "Col", color, false);
  bridge_->GetRenderSetupPropertyValue(u"A", "B", b, false);
  bridge_->GetRenderSetupPropertyValue(u"A", "D", d, false);
  bridge_->GetRenderSetupPropertyValue(u"A", "F", f, false);
  EXPECT_EQ(u64, ~0ULL);
  EXPECT_EQ(u32, 0xFFFFFFFEU);
  EXPECT_EQ(std::vector<int>(color, color + 5), (std::vector<int>{255, 128, 0, 0xEE, 0xEE}));
  EXPECT_TRUE(b);
  EXPECT_EQ(d, 0.5);
  EXPECT_EQ(f, 0.25F);
  EXPECT_EQ(Text(u"A", "Text", 255), u"master");
  EXPECT_EQ(Text(u"A", "Text", 255, true), u"library");
  bridge_->GetRenderSetupPropertyValue(u"A", "U64", u64, true);
  EXPECT_EQ(u64, 7U);
}

TEST_F(PrismetWrapperTest, SetupNotHeldWritesStartValues) {
  Take(SetupElement(u"SetupsFromMasterFile", u"A", u"<P>1</P>"));
  struct Case {
    const char16_t* setup;
    const char* property;
    bool fromLib;
  };
  for (const Case& c :
       {Case{u"Nobody", "P", false}, Case{u"A", "P", true}, Case{nullptr, "P", false},
        Case{u"A", "Q", false}, Case{u"A", nullptr, false}}) {
    std::uint64_t u64 = 9;
    std::uint32_t u32 = 9;
    unsigned char color[4] = {9, 9, 9, 9};
    bool b = true;
    double d = 9;
    float f = 9;
    bridge_->GetRenderSetupPropertyValue(c.setup, c.property, u64, c.fromLib);
    bridge_->GetRenderSetupPropertyValue(c.setup, c.property, u32, c.fromLib);
    bridge_->GetRenderSetupPropertyValue(c.setup, c.property, color, c.fromLib);
    bridge_->GetRenderSetupPropertyValue(c.setup, c.property, b, c.fromLib);
    bridge_->GetRenderSetupPropertyValue(c.setup, c.property, d, c.fromLib);
    bridge_->GetRenderSetupPropertyValue(c.setup, c.property, f, c.fromLib);
    EXPECT_EQ(u64 + u32 + d + f + b, 0) << c.fromLib;
    EXPECT_EQ(std::vector<int>(color, color + 4), (std::vector<int>{0, 0, 0, 9}));
    EXPECT_EQ(Text(c.setup, c.property, 255, c.fromLib), u"");
  }
}

TEST_F(PrismetWrapperTest, TextArrivesOnlyWhenItFitsWithItsTerminator) {
  struct Case {
    std::size_t length;
    std::uint64_t maxSize;
    bool whole;
  };
  for (const Case& c : {Case{254, 255, true}, Case{255, 255, false}, Case{9, 10, true},
                        Case{10, 10, false}, Case{0, 1, true}}) {
    const std::u16string text(c.length, u'x');
    Take(SetupElement(u"SetupsFromMasterFile", u"A", u"<T>" + text + u"</T>"));
    EXPECT_EQ(Text(u"A", "T", c.maxSize), c.whole ? text : u"") << c.length << "/" << c.maxSize;
  }
}

TEST_F(PrismetWrapperTest, NamesSurviveDocumentPanelAndBridgeUnchanged) {
  const std::vector<std::u16string> names = {
      u"It's", u"say \"hi\"", u"a&b<c>]]>",       u" ",           u"two  spaces ", u"\u0416\u00e9",
      u"Case", u"case",       u"\U0001F600 face", u"lone \xD800", u"\xDC00 back"};
  std::u16string body;
  for (const auto& name : names) {
    body += SetupElement(u"SetupsFromMasterFile", name, u"<Label>" + Escaped(name) + u"</Label>");
  }
  char16_t current[256] = {u'Z'};
  EXPECT_EQ(std::u16string(bridge_->GetCurrentRenderSetupName(current, 255)), u"");
  Take(body);
  for (const auto& name : names) {
    bridge_->SetCurrentRenderSetup(name.c_str());
    EXPECT_EQ(bridge_->GetCurrentRenderSetupName(current, 255), current);
    EXPECT_EQ(std::u16string(current), name);
    EXPECT_EQ(Text(name.c_str(), "Label", 255), name);
    Take(u"<CurrentRenderSetup>" + Escaped(names.front()) + u"</CurrentRenderSetup>");
    EXPECT_EQ(std::u16string(bridge_->GetCurrentRenderSetupName(current, 255)), names.front());
  }
  bridge_->ClearAllViewModel();
  EXPECT_EQ(std::u16string(bridge_->GetCurrentRenderSetupName(current, 255)), u"");
}

TEST_F(PrismetWrapperTest, NullDocumentReachesPanelAsNull) {
  std::vector<String> seen;
  MainPanel::SetDocumentObserver([&](const String& xml) { seen.push_back(xml); });
  bridge_->ChangeRenderSetupViewModel(nullptr);
  bridge_->ChangeRenderSetupViewModel(u"");
  EXPECT_EQ(seen, (std::vector<String>{std::nullopt, u""}));
}

TEST_F(PrismetWrapperTest, PanelFailuresStayInsideTheBridge) {
  const auto fail = [](auto&&...) { throw std::runtime_error("panel broke"); };
  MainPanel::SetDocumentObserver(fail);
  MainPanel::SetClearObserver(fail);
  MainPanel::SetMessageBoxHandler(fail);
  testing::internal::CaptureStderr();
  EXPECT_NO_THROW(bridge_->ChangeRenderSetupViewModel(u"<RenderSetupViewModel/>"));
  EXPECT_NO_THROW(bridge_->ClearAllViewModel());
  EXPECT_NO_THROW(bridge_->ShowMessage(u"MESSAGEID_Untitled"));
  EXPECT_NO_THROW(bridge_->ShowMessageForMissingFile(u"f"));
  const std::string errors = testing::internal::GetCapturedStderr();
  for (const char* operation :
       {"ChangeRenderSetupViewModel failed: panel broke\n", "ClearAllViewModel failed",
        "ShowMessage failed", "ShowMessageForMissingFile failed"}) {
    EXPECT_NE(errors.find(operation), std::string::npos) << errors;
  }
}

}  // namespace
