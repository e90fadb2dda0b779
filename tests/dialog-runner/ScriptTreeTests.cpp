// The syntax-tree reader: the trees kor-scriptc writes, read back with their
// names, texts and positions, and malformed trees refused with the offset.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tools/scriptc/ScriptCompiler.h"
#include "tools/scriptrun/ScriptTree.h"

namespace {

using scriptrun::ESyntaxTreeError;
using scriptrun::ReadSyntaxTree;
using scriptrun::TTreeNode;

std::string Compile(const std::string& source) {
  return script::CompileScript(
      source, "main.pas", [](const std::string&, std::string&, std::string&) { return false; });
}

std::string ErrorOf(const std::string& xml) {
  try {
    ReadSyntaxTree(xml);
  } catch (const ESyntaxTreeError& error) {
    return error.what();
  }
  return "(no error)";
}

std::size_t CountElements(const TTreeNode& node, const std::string& element) {
  std::size_t count = node.Element == element ? 1 : 0;
  for (const TTreeNode& child : node.Children) count += CountElements(child, element);
  return count;
}

TEST(ScriptTreeReader, ReadsWhatTheCompilerWrites) {
  const TTreeNode root =
      ReadSyntaxTree(Compile("var s: string;\nbegin\n  s := 'a<&>\"b' + #13;\nend."));
  EXPECT_EQ(root.Element, "program");
  ASSERT_EQ(root.Children.size(), 3u);  // var, compoundstmt, types
  EXPECT_EQ(root.Children[0].Element, "var");
  EXPECT_EQ(root.Children[0].Pos, "1:5");
  EXPECT_EQ(root.Children[0].Children[0].Text, "s");
  EXPECT_EQ(root.Children[2].Element, "types");
  const TTreeNode& assign = root.Children[1].Children.at(0);
  EXPECT_EQ(assign.Element, "assignstmt");
  EXPECT_EQ(assign.Pos, "3:3");
  const TTreeNode& literal = assign.Children.at(1).Children.at(0);
  EXPECT_EQ(literal.Element, "string");
  EXPECT_EQ(literal.Text, "'a<&>\"b'");  // entities decoded
}

TEST(ScriptTreeReader, KeepsTheUnitNameOfAUsesElement) {
  const TTreeNode root = ReadSyntaxTree(
      "<?xml version=\"1.0\"?><program><uses unit=\"Other\"><program><types/></program></uses>"
      "<compoundstmt pos=\"1:1\"/><types/></program>");
  ASSERT_EQ(root.Children.at(0).Element, "uses");
  EXPECT_EQ(root.Children[0].Text, "Other");
  EXPECT_EQ(root.Children[0].Children.at(0).Element, "program");
}

TEST(ScriptTreeReader, ReadsTheDialogTreeOfTheBuild) {
  std::ifstream file(std::string(KOR_DIALOG_RESOURCES) + "/FORM_DATA.xml", std::ios::binary);
  ASSERT_TRUE(file) << "the build writes FORM_DATA.xml";
  std::stringstream text;
  text << file.rdbuf();
  const TTreeNode root = ReadSyntaxTree(text.str());
  EXPECT_EQ(CountElements(root, "uses"), 2u);
  EXPECT_GT(CountElements(root, "procedure"), 10u);
}

TEST(ScriptTreeReader, RefusesMalformedTreesWithTheOffset) {
  EXPECT_EQ(ErrorOf("<program><bogus/></program>"),
            "syntax tree, offset 15: unknown element 'bogus'");
  EXPECT_NE(ErrorOf("<program>text</program>").find("text content in 'program'"),
            std::string::npos);
  EXPECT_NE(ErrorOf("<program><types></program>").find("does not match 'types'"),
            std::string::npos);
  EXPECT_NE(ErrorOf("<program><types size=\"1\"/></program>").find("unknown attribute 'size'"),
            std::string::npos);
  EXPECT_NE(ErrorOf("<program><ident text=\"a&nbsp;\"/></program>").find("unknown entity"),
            std::string::npos);
  EXPECT_NE(ErrorOf("<program><ident text=\"a/></program>").find("'<' in an attribute value"),
            std::string::npos);
  EXPECT_NE(ErrorOf("<program>").find("'program' is not closed"), std::string::npos);
  EXPECT_NE(ErrorOf("<types/>").find("root element is 'types'"), std::string::npos);
  EXPECT_NE(ErrorOf("<program/><program/>").find("text after the root element"), std::string::npos);
  EXPECT_NE(ErrorOf("").find("expected '<'"), std::string::npos);
  EXPECT_NE(ErrorOf("<?xml version=\"1.0\"").find("unterminated XML declaration"),
            std::string::npos);
}

TEST(ScriptTreeReader, RefusesNestingBeyondTheLimitAndReadsItUpToIt) {
  auto nested = [](int depth) {
    std::string xml = "<program>";
    for (int i = 1; i < depth; ++i) xml += "<expr>";
    for (int i = 1; i < depth; ++i) xml += "</expr>";
    return xml + "</program>";
  };
  EXPECT_NO_THROW(ReadSyntaxTree(nested(scriptrun::kMaxTreeDepth)));
  EXPECT_NE(ErrorOf(nested(scriptrun::kMaxTreeDepth + 1)).find("nested too deep"),
            std::string::npos);
}

}  // namespace
