#include "viewmodel/ViewModelDocument.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

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

// Appended elements wait as text until an XPath needs the tree: the text must be what the tree
// prints, byte for byte, and parse back into the same tree.
TEST_F(ViewModelDocumentTest, ElementsKeptAsTextPrintAndParseAsTheTreeWould) {
  std::string every;
  for (int c = 1; c < 0x80; ++c) every.push_back(static_cast<char>(c));
  const std::string texts[] = {every, " ", "", "\xC3\xA9 \xF0\x9F\x98\x80 &amp;"};
  pugi::xml_document expected;
  pugi::xml_node root = expected.append_child("RenderSetupViewModel");
  for (const std::string& text : texts) {
    Doc().AppendToRootUtf8("S", text.c_str(), {{"A", text.c_str()}, {"B", "b"}, {"A", "again"}});
    Doc().SelectLastRootChild();
    Doc().AppendToParentUtf8("P", text.c_str());
    pugi::xml_node element = root.append_child("S");
    if (!text.empty()) element.text().set(text.c_str());
    element.append_attribute("A").set_value("again");
    element.append_attribute("B").set_value("b");
    pugi::xml_node property = element.append_child("P");
    if (!text.empty()) property.text().set(text.c_str());
  }
  struct Sink : pugi::xml_writer {
    std::string text;
    void write(const void* data, std::size_t size) override {
      text.append(static_cast<const char*>(data), size);
    }
  } sink;
  root.print(sink, "", pugi::format_raw | pugi::format_no_empty_element_tags);
  const std::u16string printed = Utf8ToUtf16(sink.text);
  ASSERT_TRUE(Doc().HoldsText());
  EXPECT_EQ(Doc().GetRootXml(), printed);
  EXPECT_EQ(Doc().GetRootXmlUtf8(), sink.text);
  Doc().SelectParent(u"/RenderSetupViewModel/S[2]/P");  // parses the text into the tree
  EXPECT_FALSE(Doc().HoldsText());
  EXPECT_EQ(Doc().GetRootXml(), printed);
  Doc().AppendToParent(nullptr, u"Q", u"q");
  EXPECT_NE(Doc().GetRootXml().find(u"<P> <Q>q</Q></P>"), std::u16string::npos);
}

// The current parent may be a waiting element that is no longer the last one, and stays the same
// element once the text becomes tree.
TEST_F(ViewModelDocumentTest, ParentKeptAsTextTakesChildrenInItsPlace) {
  Doc().AppendTextToRoot(u"First", u"1");
  Doc().SelectParent(u"/RenderSetupViewModel");  // the tree from here
  Doc().AppendToRootUtf8("S", nullptr, {{"Name", "s"}});
  Doc().SelectLastRootChild();
  Doc().AppendToRootUtf8("Current", "s");
  Doc().AppendToParentUtf8("P", "1");
  Doc().AppendToParent(nullptr, u"P", u"2");
  EXPECT_TRUE(Doc().HoldsText());
  EXPECT_EQ(Doc().GetRootXml(),
            Body(u"<First>1</First><S Name=\"s\"><P>1</P><P>2</P></S><Current>s</Current>"));
  Doc().SelectParent(u"//First");
  Doc().SelectLastRootChild();
  Doc().AppendToParentUtf8("P", "3");  // under Current, the tree's last element now
  Doc().AppendTextToRoot(u"Last", u"");
  EXPECT_EQ(Doc().GetRootXml(), Body(u"<First>1</First><S Name=\"s\"><P>1</P><P>2</P></S>"
                                     u"<Current>s<P>3</P></Current><Last></Last>"));
}

// A setup's element stays open while its properties are appended; whatever reads the document
// meanwhile sees it closed.
TEST_F(ViewModelDocumentTest, ElementTakingChildrenReadsAsClosedAtEveryStep) {
  Doc().AppendToRootUtf8("S", nullptr, {{"Name", "a"}});
  Doc().SelectLastRootChild();
  EXPECT_EQ(Doc().GetRootXml(), Body(u"<S Name=\"a\"></S>"));
  EXPECT_EQ(Doc().GetRootXmlUtf8(),
            "<RenderSetupViewModel><S Name=\"a\"></S></RenderSetupViewModel>");
  Doc().AppendToParentUtf8("P", "1");
  EXPECT_EQ(Doc().GetRootXml(), Body(u"<S Name=\"a\"><P>1</P></S>"));
  Doc().SelectLastRootChild();  // the same element again
  Doc().AppendToParentUtf8("Q", "2");
  Doc().AppendToRootUtf8("T", "t");
  Doc().AppendToParentUtf8("R", "3");  // still under S, now before T
  const std::u16string expected = Body(u"<S Name=\"a\"><P>1</P><Q>2</Q><R>3</R></S><T>t</T>");
  EXPECT_EQ(Doc().GetRootXml(), expected);
  Doc().SelectLastRootChild();
  Doc().SelectParent(u"//S");  // the text becomes the tree with T open and empty
  EXPECT_EQ(Doc().GetRootXml(), expected);
}

// Names are checked once and kept by their place under the parent: a name that differs from the
// one its place had, by a character more or a character that no name may hold, is checked anew.
TEST_F(ViewModelDocumentTest, ChildNamesMetBeforeAreCheckedWhereTheyChange) {
  const struct {
    std::vector<std::string> names;
    std::uint32_t status;
  } setups[] = {
      {{"P", "Q", "R"}, 0},         {{"P", "Qr", "R"}, 0}, {{"P", "Q"}, 0},
      {{"P", "Q x"}, kE_FAIL},      {{"P", ""}, kE_FAIL},  {{"P", "1Q"}, kE_FAIL},
      {{"P", "Q\xC3\xA9", "R"}, 0}, {{"Q", "P"}, 0},
  };
  std::u16string expected;
  for (const auto& [names, status] : setups) {
    Doc().AppendToRootUtf8("S", nullptr);
    Doc().SelectLastRootChild();
    std::u16string element;
    std::uint32_t got = 0;
    for (const std::string& name : names) {
      got = StatusOf([&] { Doc().AppendToParentUtf8(name, "v"); });
      if (got != 0) break;
      element += u"<" + Utf8ToUtf16(name) + u">v</" + Utf8ToUtf16(name) + u">";
    }
    EXPECT_EQ(got, status) << names.back();
    expected += u"<S>" + element + u"</S>";
    EXPECT_EQ(Doc().GetRootXml(), Body(expected)) << names.back();
  }
}

// Past a quarter of a megabyte the text moves from the heap to pages of its own and grows by
// remapping them: what was written before stays, and so does an element put before an end tag.
TEST_F(ViewModelDocumentTest, LargeTextKeepsEverythingAsItMovesAndGrows) {
  std::u16string expected;
  const std::string value(40, 'v');
  for (int i = 0; i < 20000; ++i) {
    const std::string name = "Setup" + std::to_string(i);
    Doc().AppendToRootUtf8("S", nullptr, {{"Name", name.c_str()}});
    Doc().SelectLastRootChild();
    Doc().AppendToParentUtf8("P", value);
    Doc().AppendToRootUtf8("C", name.c_str());
    // Under S again, before C's element: the text after S's end tag moves along.
    Doc().AppendToParentUtf8("Q", name);
    expected += u"<S Name=\"" + Utf8ToUtf16(name) + u"\"><P>" + Utf8ToUtf16(value) + u"</P><Q>" +
                Utf8ToUtf16(name) + u"</Q></S><C>" + Utf8ToUtf16(name) + u"</C>";
  }
  ASSERT_GT(expected.size() * sizeof(char16_t), std::size_t{2} << 20);
  EXPECT_EQ(Doc().GetRootXml(), Body(expected));
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
