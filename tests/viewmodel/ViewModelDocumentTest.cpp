#include "viewmodel/ViewModelDocument.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ornr/IPrismetWrapper.h"
#include "support/Utf.h"

namespace {

using namespace ornr;

// Records what reaches the panel; nothing else may be asked of the bridge here.
class RecordingBridge final : public IPrismetWrapper {
  using W = const ornR_wchar*;

 public:
  void ChangeRenderSetupViewModel(W xml) override { sent.emplace_back(xml); }
  ornR_wchar* GetResource(ornR_wchar*, ornR_wchar* b, std::uint64_t) override { return No(b); }
  void RegisterEventsHandler(func_EventRenderSetupChanged) override { No(); }
  void GetRenderSetupPropertyValue(W, const char*, std::uint64_t&, bool) override { No(); }
  void GetRenderSetupPropertyValue(W, const char*, ornR_wchar*, std::uint64_t, bool) override {
    No();
  }
  void GetRenderSetupPropertyValue(W, const char*, std::uint32_t&, bool) override { No(); }
  void GetRenderSetupPropertyValue(W, const char*, unsigned char*, bool) override { No(); }
  void GetRenderSetupPropertyValue(W, const char*, bool&, bool) override { No(); }
  void GetRenderSetupPropertyValue(W, const char*, double&, bool) override { No(); }
  void GetRenderSetupPropertyValue(W, const char*, float&, bool) override { No(); }
  void ShowMessageForMissingFile(W) override { No(); }
  void ShowMessage(W) override { No(); }
  ornR_wchar* GetCurrentRenderSetupName(ornR_wchar* b, std::uint64_t) override { return No(b); }
  void SetCurrentRenderSetup(W) override { No(); }
  void ClearAllViewModel() override { No(); }
  std::vector<std::u16string> sent;

 private:
  static ornR_wchar* No(ornR_wchar* result = nullptr) {
    ADD_FAILURE() << "only ChangeRenderSetupViewModel is expected";
    return result;
  }
};

std::uint32_t StatusOf(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const ComError& error) {
    return error.Status();
  }
  return 0;
}

class ViewModelDocumentTest : public testing::Test {
 protected:
  void SetUp() override {
    SetBridgeProvider([this] { return &bridge; });
    CreateViewModelDocument();
    ASSERT_NE(GetViewModelDocument(), nullptr);
  }
  void TearDown() override {
    DestroyViewModelDocument();
    SetDocumentFactory(nullptr);
    SetBridgeProvider(nullptr);
  }
  ViewModelDocument& Doc() { return *GetViewModelDocument(); }
  std::u16string Body(std::u16string inner) {
    return u"<RenderSetupViewModel>" + inner + u"</RenderSetupViewModel>";
  }
  RecordingBridge bridge;
};

TEST_F(ViewModelDocumentTest, StartsAndResetsAsTheEmptyModelInLongForm) {
  EXPECT_EQ(Doc().GetRootXml(), u"<RenderSetupViewModel></RenderSetupViewModel>");
  EXPECT_EQ(Doc().GetRootXml().size(), 45u);
  Doc().AppendToRoot(u"S", u"x", {u"Name", u"a"});
  Doc().SelectLastRootChild();
  Doc().AppendToParent(nullptr, u"P", u"1");
  Doc().ResetDocument();
  EXPECT_EQ(Doc().GetRootXml(), Body(u""));
  EXPECT_EQ(StatusOf([&] { Doc().AppendToParent(nullptr, u"P", u"1"); }), kE_POINTER);
}

TEST_F(ViewModelDocumentTest, AttributesFollowArgumentOrder) {
  // The lists are made inside the lambdas: an initializer_list does not outlive its expression.
  // clang-format off
  const std::vector<std::pair<std::function<void()>, std::u16string>> cases = {
      {[&] { Doc().AppendToRoot(u"S", nullptr, {}); }, u"<S></S>"},
      {[&] { Doc().AppendToRoot(u"S", nullptr, {u"Name", u"n", u"New", u"false", u"NewBorn", u"true", u"StoreIn", u"f"}); },
       uR"(<S Name="n" New="false" NewBorn="true" StoreIn="f"></S>)"},
      {[&] { Doc().AppendToRoot(u"S", nullptr, {u"B", u"1", u"A"}); }, uR"(<S B="1"></S>)"},
      {[&] { Doc().AppendToRoot(u"S", nullptr, {u"A", nullptr}); }, uR"(<S A=""></S>)"},
      {[&] { Doc().AppendToRoot(u"S", nullptr, {u"A", u"1", u"B", u"2", u"A", u"3"}); }, uR"(<S A="3" B="2"></S>)"},
  };
  // clang-format on
  for (const auto& [append, xml] : cases) {
    Doc().ResetDocument();
    append();
    EXPECT_EQ(Doc().GetRootXml(), Body(xml));
  }
}

TEST_F(ViewModelDocumentTest, MarkupInTextsAndValuesParsesBackUnchanged) {
  const char16_t* markup = u"it's \"<&>]]>\" \n\t end";
  Doc().AppendToRoot(u"S", markup, {u"Name", markup});
  Doc().AppendTextToRoot(u"T", u"\xD83D\xDE00 \xD800");
  const std::u16string xml = Doc().GetRootXml();
  // Pairs and a lone surrogate come back as the very same code units.
  EXPECT_NE(xml.find(u"<T>\xD83D\xDE00 \xD800</T>"), std::u16string::npos);
  pugi::xml_document parsed;
  const std::string utf8 = Utf16ToUtf8(xml);
  ASSERT_TRUE(parsed.load_buffer(utf8.data(), utf8.size()));
  const pugi::xml_node s = parsed.child("RenderSetupViewModel").child("S");
  EXPECT_EQ(std::string(s.text().get()), Utf16ToUtf8(markup));
  EXPECT_EQ(std::string(s.attribute("Name").value()), Utf16ToUtf8(markup));
}

TEST_F(ViewModelDocumentTest, AppendToParentGoesUnderTheSelectedElement) {
  Doc().AppendToRoot(u"S", nullptr, {u"Name", u"a"});
  Doc().AppendToRoot(u"S", nullptr, {u"Name", u"b"});
  Doc().AppendToParent(u"/RenderSetupViewModel/S", u"First", nullptr);  // first in document order
  Doc().SelectLastRootChild();
  Doc().AppendToParent(nullptr, u"Last", u"");
  Doc().AppendToParent(u"//S[@Name='a']", u"Again", u"t");
  EXPECT_EQ(
      Doc().GetRootXml(),
      Body(uR"(<S Name="a"><First></First><Again>t</Again></S><S Name="b"><Last></Last></S>)"));
}

TEST_F(ViewModelDocumentTest, RefusedAppendsLeaveTheDocumentAsItWas) {
  Doc().AppendToRoot(u"S", nullptr);
  const std::u16string before = Doc().GetRootXml();
  struct Case {
    const char* what;
    std::function<void()> operation;
    std::uint32_t status;
  };
  // clang-format off
  const std::vector<Case> cases = {
      {"no match", [&] { Doc().AppendToParent(u"//Missing", u"P", nullptr); }, kE_POINTER},
      {"parent stays null", [&] { Doc().AppendToParent(nullptr, u"P", nullptr); }, kE_POINTER},
      {"unparsable", [&] { Doc().AppendToParent(u"//S[@Name='it's']", u"P", nullptr); }, kE_XPATH_SYNTAX},
      {"not a node set", [&] { Doc().SelectParent(u"1+1"); }, kE_XPATH_SYNTAX},
      {"attribute parent", [&] { Doc().AppendToParent(u"//@Name", u"P", nullptr); }, kE_POINTER},
      {"null name", [&] { Doc().AppendToRoot(nullptr, u"t"); }, kE_POINTER},
      {"bad name", [&] { Doc().AppendTextToRoot(u"two words", u"t"); }, kE_FAIL},
      {"bad attribute", [&] { Doc().AppendToRoot(u"S", nullptr, {u"1A", u"v"}); }, kE_FAIL},
      {"null attribute", [&] { Doc().AppendToRoot(u"S", nullptr, {u"A", u"v", nullptr, u"w"}); }, kE_POINTER},
  };
  // clang-format on
  for (const Case& c : cases) {
    EXPECT_EQ(StatusOf(c.operation), c.status) << c.what;
    EXPECT_EQ(Doc().GetRootXml(), before) << c.what;
    // Nothing half-built is left beside the root either.
    EXPECT_EQ(StatusOf([&] { Doc().AppendToParent(u"/*[2]", u"P", nullptr); }), kE_POINTER)
        << c.what;
  }
}

TEST_F(ViewModelDocumentTest, FactoryIsAskedForTheDomDocumentAndItsFailureLeavesNone) {
  std::vector<std::string> asked;
  SetDocumentFactory([&](std::string_view progId) {
    asked.emplace_back(progId);
    return std::make_unique<pugi::xml_document>();
  });
  Doc().AppendTextToRoot(u"Old", u"x");
  CreateViewModelDocument();
  EXPECT_EQ(Doc().GetRootXml(), Body(u""));
  EXPECT_EQ(asked, std::vector<std::string>{"Msxml2.DOMDocument.6.0"});

  SetDocumentFactory([](std::string_view) { return std::unique_ptr<pugi::xml_document>(); });
  EXPECT_EQ(StatusOf(CreateViewModelDocument), kE_POINTER);
  EXPECT_EQ(GetViewModelDocument(), nullptr);
}

TEST_F(ViewModelDocumentTest, SendToPanelSendsOnlyContentAndThenEmptiesTheDocument) {
  Doc().SendToPanel();
  EXPECT_TRUE(bridge.sent.empty());
  Doc().AppendTextToRoot(u"CurrentRenderSetup", u"a");
  const std::u16string xml = Doc().GetRootXml();
  Doc().SendToPanel();
  EXPECT_EQ(bridge.sent, std::vector<std::u16string>{xml});
  EXPECT_EQ(Doc().GetRootXml(), Body(u""));

  SetBridgeProvider([] { return static_cast<IPrismetWrapper*>(nullptr); });
  Doc().AppendTextToRoot(u"CurrentRenderSetup", u"b");
  EXPECT_EQ(StatusOf([&] { Doc().SendToPanel(); }), kE_POINTER);
  EXPECT_EQ(Doc().GetRootXml(), Body(u"<CurrentRenderSetup>b</CurrentRenderSetup>"));
  EXPECT_EQ(bridge.sent.size(), 1u);
}

}  // namespace
