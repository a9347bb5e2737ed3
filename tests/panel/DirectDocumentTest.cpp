#include "panel/DirectDocument.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "panel/Panel.h"
#include "tests/panel/ModelShown.h"

namespace Teskor::RenderSetup::ViewModel {
namespace {

std::u16string MasterSetup(const std::u16string& name, const std::u16string& content) {
  return u"<SetupsFromMasterFile Name=\"" + name + u"\">" + content + u"</SetupsFromMasterFile>";
}

// A document in the module's own form is read straight from its text, any other by the full
// parser; either way the model ends up the same as the full parser makes it (which it always
// does when the document starts with a comment).
TEST(DirectDocumentTest, TakesEveryDocumentAsTheFullParserDoes) {
  const std::u16string first =
      Doc(u"<SetupsFromMasterFile Name=\"A\" New=\"true\" StoreIn=\"m.zel\"><DoShadows>true"
          u"</DoShadows></SetupsFromMasterFile><SetupsFromZelLib Name=\"A\" StoreIn=\"l.zellib\">"
          u"</SetupsFromZelLib>");
  const std::u16string odd = u"A &amp; &lt;B&gt; &quot;q&quot; &apos;s&apos;&#09;&#10;&#x1F600;";
  const struct {
    std::u16string xml;
    bool direct;
  } cases[] = {
      {Doc(u"<SetupsFromMasterFile Name=\"" + odd +
           u"\" New=\"false\" NewBorn=\"true\" StoreIn=\"C:/a.zel\"><DoShadows>true</DoShadows>"
           u"<BlurPasses>-1</BlurPasses><Empty></Empty><Blank> </Blank><Esc>&lt;&amp;&gt;</Esc>"
           u"</SetupsFromMasterFile><CurrentRenderSetup>" +
           odd +
           u"</CurrentRenderSetup><SetupsFromZelLib Name=\"A\" New=\"false\"><DoShadows>false"
           u"</DoShadows></SetupsFromZelLib><CurrentRenderSetup>A</CurrentRenderSetup>"),
       true},
      {Doc(MasterSetup(u"\xD83D\xDE00 \xD800", u"<P>\xDC00\t\n</P>")), true},
      {Doc(u"<SetupsFromMasterFile Name=\"X\" Name=\"Y\"></SetupsFromMasterFile>"), true},
      {Doc(u"<SetupsFromMasterFile Name=\"a<>b\" StoreIn=\"<\"></SetupsFromMasterFile>"), true},
      {Doc(u"<Other a=\"1\"><P>1</P></Other><SetupsFromMasterFile New=\"false\"><P>1</P>"
           u"</SetupsFromMasterFile>" +
           MasterSetup(u"T", u"text<P>2</P>")),
       true},
      {Doc(u"<SetupsFromMasterFile Name=\"A\" New=\"fals&#101;\"></SetupsFromMasterFile>"
           u"<CurrentRenderSetup> </CurrentRenderSetup>"),
       true},
      {Doc(u"<!-- c -->" + MasterSetup(u"C", u"")), false},
      {Doc(u"\n" + MasterSetup(u"C", u"") + u"\n"), false},
      {Doc(u"<SetupsFromMasterFile Name='C'></SetupsFromMasterFile>"), false},
      {Doc(u"<SetupsFromMasterFile Name=\"C\"/>"), false},
      {Doc(u"<SetupsFromMasterFile Name = \"C\"></SetupsFromMasterFile>"), false},
      {Doc(MasterSetup(u"C", u"<P>a\r\nb</P>")), false},
      {Doc(MasterSetup(u"a\tb", u"")), false},
      {Doc(MasterSetup(u"C", u"<P><![CDATA[<x>]]></P>")), false},
      {Doc(MasterSetup(u"C", u"<P>&nbsp;</P>")), false},
      {Doc(MasterSetup(u"C", u"<P>&#0;</P>")), false},
      // The references at the edges of what is a character.
      {Doc(MasterSetup(u"C", u"<P>&#1;&#xFFFD;&#x10000;&#x10FFFF;&#xD7FF;&#xE000;</P>")), true},
      {Doc(MasterSetup(u"C", u"<P>&#xD800;</P>")), false},
      {Doc(MasterSetup(u"C", u"<P>&#xDFFF;</P>")), false},
      {Doc(MasterSetup(u"C", u"<P>&#xFFFE;</P>")), false},
      {Doc(MasterSetup(u"C", u"<P>&#x110000;</P>")), false},
      {Doc(MasterSetup(u"C", u"<P><Q>1</Q>2</P>")), false},
      {Doc(MasterSetup(u"C", u" <P>1</P>")), false},
      {Doc(MasterSetup(u"C", u"<P>1</P>tail")), false},
      {Doc(MasterSetup(u"C", u"<P a=\"1\">1</P>")), false},
      {Doc(MasterSetup(u"C", u"<P>1</Q>")), false},
      {u"<Other>" + MasterSetup(u"C", u"") + u"</Other>", false},
      {u"<?xml version=\"1.0\"?>" + Doc(MasterSetup(u"C", u"")), false},
      {u"<RenderSetupViewModel v=\"1\">" + MasterSetup(u"C", u"") + u"</RenderSetupViewModel>",
       false},
      {Doc(MasterSetup(u"C", u"")) + u" ", false},
      {Doc(MasterSetup(u"C", u"<P>1")), false},
      // A child's name is first tried as the one its place had in the setup before.
      {Doc(MasterSetup(u"A", u"<P>1</P><Q>2</Q>") + MasterSetup(u"B", u"<P>3</P><Qr>4</Qr>")),
       true},
      {Doc(MasterSetup(u"A", u"<P>1</P><Qr>2</Qr>") + MasterSetup(u"B", u"<P>3</P><Q>4</Q>")),
       true},
      {Doc(MasterSetup(u"A", u"<P>1</P><Q>2</Q>") + u"<CurrentRenderSetup>A</CurrentRenderSetup>" +
           MasterSetup(u"B", u"<Q>3</Q><P>4</P><R>5</R>")),
       true},
      {Doc(MasterSetup(u"A", u"<P>1</P><Q>2</Q>") + MasterSetup(u"B", u"<P>3</P><Q x=\"1\">4</Q>")),
       false},
      {Doc(MasterSetup(u"A", u"<P>1</P><Q>2</Q>") + MasterSetup(u"B", u"<P>3</P><Q/>")), false},
      {Doc(MasterSetup(u"A", u"<P>1</P><Q>2</Q>") + MasterSetup(u"B", u"<P>3</P><Q>4</P>")), false},
      {Doc(MasterSetup(u"A", u"<P>1</P><Q>2</Q>") + MasterSetup(u"B", u"<P>3</P><Q")), false},
      // Found out of form after setups, a library's and a current one were taken.
      {Doc(u"<SetupsFromMasterFile Name=\"A\" StoreIn=\"m.zel\"><P>1</P></SetupsFromMasterFile>"
           u"<SetupsFromZelLib Name=\"L\" StoreIn=\"l.zellib\"><P>1</P></SetupsFromZelLib>"
           u"<CurrentRenderSetup>A</CurrentRenderSetup>" +
           MasterSetup(u"B", u"<P>&nbsp;</P>")),
       false},
  };
  for (const auto& [xml, direct] : cases) {
    // The count of the root's children comes before the first of them, and only for a document
    // that is read at all.
    std::vector<std::string> calls;
    EXPECT_EQ(ReadDirect(
                  xml, [&](const DirectElement&) { calls.push_back("take"); },
                  [&](std::size_t elements) { calls.push_back(std::to_string(elements)); }),
              direct)
        << testing::PrintToString(xml);
    if (direct) {
      ASSERT_FALSE(calls.empty());
      EXPECT_EQ(calls.front(), std::to_string(calls.size() - 1));
    } else {
      EXPECT_TRUE(calls.empty());
    }
    // A comment before the root leaves the document the same for the full parser only.
    const std::u16string forFullParser = direct ? u"<!---->" + xml : xml;
    ASSERT_FALSE(ReadDirect(u"<!---->" + xml, [](const DirectElement&) {}));
    RenderSetupViewModel fast, reporting, full, owning;
    std::vector<TakenElement> reported, taken;
    for (RenderSetupViewModel* model : {&fast, &reporting, &full, &owning}) {
      ASSERT_TRUE(model->TakeDocument(first));
    }
    const bool expected = full.TakeDocument(forFullParser, &taken);
    EXPECT_EQ(fast.TakeDocument(xml), expected) << testing::PrintToString(xml);
    EXPECT_EQ(reporting.TakeDocument(xml, &reported), expected) << testing::PrintToString(xml);
    std::u16string handed = xml;
    EXPECT_EQ(owning.TakeOwnedDocument(std::move(handed)), expected) << testing::PrintToString(xml);
    // Emptied once taken; as it was when not.
    EXPECT_EQ(handed, expected ? u"" : xml) << testing::PrintToString(xml);
    EXPECT_EQ(Shown(fast), Shown(full)) << testing::PrintToString(xml);
    EXPECT_EQ(Shown(reporting), Shown(full)) << testing::PrintToString(xml);
    EXPECT_EQ(Shown(owning), Shown(full)) << testing::PrintToString(xml);
    EXPECT_EQ(Reported(reported), Reported(taken)) << testing::PrintToString(xml);

    // An empty panel takes as it reads, in one pass, and is empty again before the full parser
    // reads a text found out of form partway.
    EXPECT_EQ(ReadDirectTaking(xml, [](const DirectElement&) {}), direct)
        << testing::PrintToString(xml);
    RenderSetupViewModel empty, emptyFull;
    std::vector<TakenElement> emptyReported, emptyTaken;
    EXPECT_EQ(empty.TakeDocument(xml, &emptyReported),
              emptyFull.TakeDocument(forFullParser, &emptyTaken))
        << testing::PrintToString(xml);
    EXPECT_EQ(Shown(empty), Shown(emptyFull)) << testing::PrintToString(xml);
    EXPECT_EQ(Reported(emptyReported), Reported(emptyTaken)) << testing::PrintToString(xml);
  }
}

// A document handed over gives its memory back while it is read: nothing still to be read may
// go with it. Megabytes of setups, whose names and values differ from setup to setup, and
// current-setup elements between them, must make the same model as the same text lent.
TEST(DirectDocumentTest, HandedOverDocumentMakesTheSameModelAsALentOne) {
  std::u16string body;
  for (int i = 0; i < 6000; ++i) {
    const std::u16string n = std::u16string(u"S") + static_cast<char16_t>(u'a' + i % 26) +
                             static_cast<char16_t>(u'a' + i / 26 % 26) +
                             static_cast<char16_t>(u'a' + i / 676);
    std::u16string properties;
    for (int p = 0; p < 60; ++p) {
      properties += u"<Property" + n.substr(0, 1 + (i + p) % 3) + u">" + n + u"&amp;" +
                    u"</Property" + n.substr(0, 1 + (i + p) % 3) + u">";
    }
    body += MasterSetup(n, properties);
    if (i % 7 == 0) body += u"<CurrentRenderSetup>" + n + u"</CurrentRenderSetup>";
  }
  const std::u16string xml = Doc(body);
  ASSERT_GT(xml.size() * sizeof(char16_t), std::size_t{8} << 20);
  RenderSetupViewModel lent, owning;
  std::vector<TakenElement> lentElements, owningElements;
  ASSERT_TRUE(lent.TakeDocument(xml, &lentElements));
  std::u16string handed = xml;
  ASSERT_TRUE(owning.TakeOwnedDocument(std::move(handed), &owningElements));
  EXPECT_TRUE(handed.empty());
  EXPECT_EQ(Shown(owning), Shown(lent));
  EXPECT_EQ(Reported(owningElements), Reported(lentElements));
}

}  // namespace
}  // namespace Teskor::RenderSetup::ViewModel
