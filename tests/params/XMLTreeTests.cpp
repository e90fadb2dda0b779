#include <gtest/gtest.h>

#include <string>

#include "params/janXMLTree.h"

namespace {

std::string Kinds(const std::string& text) {
  std::string kinds;
  for (const TjanXMLToken& t : TokenizeXML(text)) {
    static const char kLetter[] = {'T', 'C', 'O', 'X', 'E'};
    kinds += kLetter[static_cast<int>(t.Kind)];
  }
  return kinds;
}

}  // namespace

TEST(XMLTree, EmptyTextLeavesAnEmptyTree) {
  TjanXMLTree tree;
  EXPECT_EQ(tree.Name(), "");
  tree.SetText("<a/>");
  EXPECT_EQ(tree.Name(), "root");
  tree.SetText("");
  EXPECT_EQ(tree.Name(), "");
  EXPECT_EQ(tree.ChildCount(), 0);
  EXPECT_TRUE(tree.Tokens().empty());
}

TEST(XMLTree, ElementsTextAndAttributes) {
  TjanXMLTree tree;
  tree.SetText(
      "<MBUS version=\"2\">\r\n\t<REQ name='one' addr=\"5\">  first\r\n\tline </REQ>"
      "<REQ name=\"two\"/></MBUS>");
  ASSERT_EQ(tree.ChildCount(), 1);
  TjanXMLNode* mbus = tree.Children(0);
  EXPECT_EQ(mbus->Name(), "MBUS");
  EXPECT_EQ(mbus->Parent(), &tree);
  EXPECT_EQ(mbus->GetAttribute("version"), "2");
  ASSERT_EQ(mbus->ChildCount(), 2);
  TjanXMLNode* one = mbus->Children(0);
  EXPECT_EQ(one->Text(), "first  line");  // CR LF and tab become blanks
  EXPECT_FALSE(one->CData());
  ASSERT_EQ(one->AttributeCount(), 2);
  EXPECT_EQ(one->Attributes(1)->Name(), "addr");
  EXPECT_EQ(one->Attributes(1)->Value().VType(), plat::varOleStr);
  EXPECT_EQ(one->GetAttribute("addr", "0"), "5");
  EXPECT_EQ(mbus->Children(1)->GetAttribute("name"), "two");
}

TEST(XMLTree, DeclarationBecomesTheRootText) {
  TjanXMLTree tree;
  tree.SetText("<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<MBUS/>");
  EXPECT_EQ(tree.Text(), "xml version=\"1.0\" encoding=\"windows-1252\"");
  EXPECT_NE(tree.FindChild("mbus"), nullptr);
  tree.SetText(
      "<?"
      "?><a/>");  // an empty declaration gives no text
  EXPECT_EQ(Kinds("<?"
                  "?><a/>"),
            "E");
  EXPECT_EQ(tree.Text(), "");
}

TEST(XMLTree, CommentReplacesTheText) {
  TjanXMLTree tree;
  tree.SetText("<r>before<a/><!-- note\\n one\\t two --><b/></r>");
  EXPECT_EQ(tree.Children(0)->Text(), " note\r\none\ttwo ");
  EXPECT_EQ(tree.Children(0)->ChildCount(), 2);
}

TEST(XMLTree, OnlyTheLastTextPieceIsKept) {
  TjanXMLTree tree;
  tree.SetText("<a>one<b>inner</b>two<c/>three</a>");
  EXPECT_EQ(tree.Children(0)->Text(), "three");
  EXPECT_EQ(tree.FindNode("b")->Text(), "inner");
}

TEST(XMLTree, CDataKeepsContentAndEscapes) {
  TjanXMLTree tree;
  tree.SetText("<a><![CDATA[x\\n y\\t z <b>&amp;</b>]]></a><c><![cdata[low]]></c>");
  TjanXMLNode* a = tree.FindChild("a");
  EXPECT_EQ(a->Text(), "x\r\ny\tz <b>&amp;</b>");
  EXPECT_TRUE(a->CData());
  EXPECT_EQ(a->ChildCount(), 0);
  EXPECT_EQ(tree.FindChild("c")->Text(), "low");
  EXPECT_TRUE(tree.FindChild("c")->CData());
}

TEST(XMLTree, QuotesInsideTags) {
  TjanXMLTree tree;
  tree.SetText("<a v='say \"hi\"' w=\"1>2\" x='it''s'>t</a>");
  TjanXMLNode* a = tree.FindChild("a");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->GetAttribute("v"), "say \"hi\"");
  EXPECT_EQ(a->GetAttribute("w"), "1>2");
  EXPECT_EQ(a->GetAttribute("x"), "it");  // the value ends at the next quote
  EXPECT_EQ(a->Text(), "t");
}

TEST(XMLTree, AttributeReadingStopsWhereTheRuleSays) {
  TjanXMLTree tree;
  // Unquoted: the value is taken from the next quote, then reading stops.
  tree.SetText("<a x=1 y=\"2\" z=\"3\"/><b p=\"open/>");
  TjanXMLNode* a = tree.FindChild("a");
  EXPECT_EQ(a->AttributeCount(), 2);
  EXPECT_EQ(a->GetAttribute("x"), "2");
  EXPECT_EQ(a->Attributes(1)->Name(), "z");
  EXPECT_EQ(tree.FindChild("b"), nullptr);  // its quote never closes: no ">" ends it
  tree.SetText("<a k=\"\" m=\"&lt;&amp;amp;&#65;\"/>");
  a = tree.FindChild("a");
  EXPECT_EQ(a->GetAttribute("k", "dflt"), "dflt");  // empty counts as missing
  EXPECT_EQ(a->GetAttribute("m"), "<&amp;&#65;");
  EXPECT_EQ(a->GetAttribute("missing", "dflt"), "dflt");
}

TEST(XMLTree, EntitiesAreDecodedOnce) {
  EXPECT_EQ(DecodeXMLEntities("&lt;&gt;&apos;&quot;&amp;"), "<>'\"&");
  EXPECT_EQ(DecodeXMLEntities("&amp;lt; &#60; &nbsp; & &am"), "&lt; &#60; &nbsp; & &am");
  TjanXMLTree tree;
  tree.SetText("<a>x &amp;gt; y &lt; z</a>");
  EXPECT_EQ(tree.FindChild("a")->Text(), "x &gt; y < z");
}

TEST(XMLTree, NamesAreFoundInAnyCaseAttributesNot) {
  TjanXMLTree tree;
  tree.SetText("<Config><Item Name=\"x\"><Sub/></Item><item2/><EMPTY/></Config>");
  EXPECT_EQ(tree.FindNode("SUB")->Name(), "Sub");
  EXPECT_EQ(tree.FindNode("empty")->Name(), "EMPTY");  // empty-element tag, no attributes
  EXPECT_EQ(tree.FindNode("config")->FindChild("ITEM")->GetAttribute("Name"), "x");
  EXPECT_EQ(tree.FindNode("item")->GetAttribute("name", "?"), "?");
  EXPECT_EQ(tree.FindChild("item"), nullptr);  // not a direct child of the root
  EXPECT_EQ(tree.FindNode("Config")->FindNode("Config"), nullptr);  // not the node itself
  EXPECT_EQ(tree.FindNode("nothing"), nullptr);
}

TEST(XMLTree, FindNodeIsDepthFirstInDocumentOrder) {
  TjanXMLTree tree;
  tree.SetText("<a><b><x id=\"1\"/></b><x id=\"2\"/></a><x id=\"3\"/>");
  EXPECT_EQ(tree.FindNode("x")->GetAttribute("id"), "1");
  EXPECT_EQ(tree.FindChild("x")->GetAttribute("id"), "3");
}

TEST(XMLTree, UnbalancedTags) {
  TjanXMLTree tree;
  tree.SetText("<a><b></c></d></x><e/>tail");  // the names of closing tags are not checked
  EXPECT_EQ(tree.ChildCount(), 1);
  EXPECT_EQ(tree.FindNode("b")->ChildCount(), 0);
  EXPECT_EQ(tree.FindNode("e"), nullptr);  // closed past the root: ignored
  EXPECT_EQ(tree.Text(), "");
  tree.SetText("<a><b>open");
  EXPECT_EQ(tree.FindNode("b")->Text(), "open");
}

TEST(XMLTree, UnterminatedConstructs) {
  EXPECT_EQ(Kinds("text < more"), "TT");
  TjanXMLTree tree;
  tree.SetText("<a>x</a>< b");
  EXPECT_EQ(tree.Text(), "b");                      // "<" skipped, the rest is text of the root
  EXPECT_EQ(Kinds("<![CDATA[never closed>"), "O");  // read as a tag instead
  EXPECT_EQ(Kinds("<!-- open <a>"), "O");
  EXPECT_EQ(Kinds("<?pi <b/>"), "E");  // up to the first ">"
}

TEST(XMLTree, TokenKindsAndContent) {
  const auto tokens = TokenizeXML("  <a x='1'>\t<b />text</a >");
  ASSERT_EQ(tokens.size(), 4u);
  EXPECT_EQ(tokens[0].Kind, TjanXMLTokenKind::Open);
  EXPECT_EQ(tokens[0].Text, "a x='1'");
  EXPECT_EQ(tokens[1].Kind, TjanXMLTokenKind::Empty);
  EXPECT_EQ(tokens[1].Text, "b ");
  EXPECT_EQ(tokens[2].Text, "text");
  EXPECT_EQ(tokens[3].Kind, TjanXMLTokenKind::Close);
  EXPECT_EQ(tokens[3].Text, "a");
}

TEST(XMLTree, DeepNestingDoesNotExhaustTheStack) {
  std::string text;
  for (int i = 0; i < 200000; ++i) text += "<n>";
  text += "<leaf/>";
  TjanXMLTree tree;
  tree.SetText(text);
  EXPECT_NE(tree.FindNode("leaf"), nullptr);
  tree.SetText("<short/>");  // the deep tree is freed
  EXPECT_EQ(tree.FindNode("n"), nullptr);
}

TEST(XMLTree, EightBitTextSurvivesTheAttributeValue) {
  TjanXMLTree tree;
  tree.SetText(
      "<a city=\"M\xFCnchen\">Stra\xDF"
      "e</a>");
  EXPECT_EQ(tree.FindChild("a")->GetAttribute("city"), "M\xFCnchen");
  EXPECT_EQ(tree.FindChild("a")->Text(),
            "Stra\xDF"
            "e");
}
