#include "viewmodel/ViewModelDocument.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/Utf.h"
#include "tests/schema/ViewModelSchema.h"

namespace {

using namespace ornr;

std::uint32_t StatusOf(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const ComError& error) {
    return error.Status();
  }
  return 0;
}

std::u16string Body(const std::u16string& inner) {
  return u"<RenderSetupViewModel>" + inner + u"</RenderSetupViewModel>";
}

class ViewModelDocumentTest : public testing::Test {
 protected:
  void SetUp() override {
    SetBridgeProvider([] { return static_cast<IPrismetWrapper*>(nullptr); });
    CreateViewModelDocument();
    ASSERT_NE(GetViewModelDocument(), nullptr);
  }
  void TearDown() override {
    DestroyViewModelDocument();
    SetDocumentFactory(nullptr);
    SetBridgeProvider(nullptr);
  }
  ViewModelDocument& Doc() { return *GetViewModelDocument(); }
};

TEST_F(ViewModelDocumentTest, StartsAndResetsAsTheEmptyModelInLongForm) {
  EXPECT_EQ(Doc().GetRootXml(), u"<RenderSetupViewModel></RenderSetupViewModel>");
  EXPECT_EQ(Doc().GetRootXml().size(), 45u);
  Doc().AppendToRoot(u"S", u"x", {u"Name", u"a"});
  Doc().SelectLastRootChild();
  Doc().ResetDocument();
  EXPECT_EQ(Doc().GetRootXml(), Body(u""));
  // The selected element went with the reset.
  EXPECT_EQ(StatusOf([&] { Doc().AppendToParent(nullptr, u"P", u"1"); }), kE_POINTER);
}

// One character that XML 1.0 cannot carry once made a strict parser refuse the whole document.
TEST_F(ViewModelDocumentTest, TextsAndValuesXmlCannotCarryBecomeReplacementCharacters) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"pair \xD83D\xDE00 kept", u"pair \xD83D\xDE00 kept"},
      {u"lone \xD800 high", u"lone \uFFFD high"},
      {u"lone \xDC00 low", u"lone \uFFFD low"},
      {u"ctl \x01\x1F\x0B", u"ctl \uFFFD\uFFFD\uFFFD"},
      {u"non \uFFFE\uFFFF", u"non \uFFFD\uFFFD"},
      {u"tab\tkept & <>\"'", u"tab\tkept & <>\"'"},
  };
  for (const auto& [raw, carried] : cases) {
    Doc().ResetDocument();
    Doc().AppendTextToRoot(u"T", raw.c_str());
    Doc().AppendToRoot(u"S", nullptr, {u"StoreIn", raw.c_str()});
    const std::u16string xml = Doc().GetRootXml();
    EXPECT_EQ(ornr::test::XmlErrors(xml), "") << Utf16ToUtf8(raw);
    // Printed straight into UTF-16, the text is the UTF-8 one converted.
    EXPECT_EQ(xml, Utf8ToUtf16(Doc().GetRootXmlUtf8())) << Utf16ToUtf8(raw);
    pugi::xml_document parsed;
    ASSERT_TRUE(parsed.load_string(Utf16ToUtf8(xml).c_str()));
    const auto root = parsed.child("RenderSetupViewModel");
    EXPECT_EQ(Utf8ToUtf16(root.child_value("T")), carried);
    EXPECT_EQ(Utf8ToUtf16(root.child("S").attribute("StoreIn").value()), carried);
  }
}

TEST_F(ViewModelDocumentTest, RefusedOperationsReportTheirCodeAndLeaveTheDocumentAsItWas) {
  Doc().AppendTextToRoot(u"S", u"content");
  const std::u16string before = Doc().GetRootXml();
  // clang-format off
  const std::tuple<const char*, std::function<void()>, std::uint32_t> cases[] = {
      {"no match", [&] { Doc().AppendToParent(u"//Missing", u"P", nullptr); }, kE_POINTER},
      {"unparsable", [&] { Doc().AppendToParent(u"//S[@Name='it's']", u"P", nullptr); }, kE_XPATH_SYNTAX},
      {"not a node set", [&] { Doc().SelectParent(u"1+1"); }, kE_XPATH_SYNTAX},
      {"null name", [&] { Doc().AppendToRoot(nullptr, u"t"); }, kE_POINTER},
      {"bad name", [&] { Doc().AppendTextToRoot(u"two words", u"t"); }, kE_FAIL},
      {"null attribute", [&] { Doc().AppendToRoot(u"S", nullptr, {u"A", u"v", nullptr, u"w"}); }, kE_POINTER},
      {"no bridge", [&] { Doc().SendToPanel(); }, kE_POINTER},
  };
  // clang-format on
  for (const auto& [what, operation, status] : cases) {
    EXPECT_EQ(StatusOf(operation), status) << what;
    EXPECT_EQ(Doc().GetRootXml(), before) << what;
  }
  Doc().ResetDocument();
  EXPECT_EQ(StatusOf([&] { Doc().SendToPanel(); }), 0u);  // the empty model is not sent
}

TEST_F(ViewModelDocumentTest, FactoryIsAskedForTheDomDocumentAndItsFailureLeavesNone) {
  SetDocumentFactory([](std::string_view progId) {
    EXPECT_EQ(progId, "Msxml2.DOMDocument.6.0");
    return std::make_unique<pugi::xml_document>();
  });
  Doc().AppendTextToRoot(u"Old", u"x");
  CreateViewModelDocument();
  EXPECT_EQ(Doc().GetRootXml(), Body(u""));
  SetDocumentFactory([](std::string_view) { return std::unique_ptr<pugi::xml_document>(); });
  EXPECT_EQ(StatusOf(CreateViewModelDocument), kE_POINTER);  // so the factory is what is asked
  EXPECT_EQ(GetViewModelDocument(), nullptr);
}

}  // namespace
