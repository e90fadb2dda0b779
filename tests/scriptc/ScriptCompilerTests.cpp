// The script compiler's tree: every element of the vocabulary, its pos (and
// pos1 for expressions) as line:column, names in their source case, used
// units inline, no line breaks.
#include <gtest/gtest.h>

#include "tests/scriptc/ScriptTestSupport.h"

using scripttest::Compile;
using scripttest::kDeclaration;

namespace {

// The program element's content between the root tags.
std::string Body(const std::string& tree) {
  const std::string open = std::string(kDeclaration) + "<program>";
  EXPECT_EQ(tree.rfind(open, 0), 0u) << tree;
  const std::string close = "<types/></program>";
  EXPECT_EQ(tree.substr(tree.size() - close.size()), close) << tree;
  return tree.substr(open.size(), tree.size() - open.size() - close.size());
}

// The statements of the main block of source.
std::string MainStatements(const std::string& source, const std::string& blockPos) {
  const std::string body = Body(Compile(source));
  const std::string open = "<compoundstmt pos=\"" + blockPos + "\">";
  const auto at = body.rfind(open);
  EXPECT_NE(at, std::string::npos) << body;
  if (at == std::string::npos) return {};
  const std::string close = "</compoundstmt>";
  return body.substr(at + open.size(), body.size() - at - open.size() - close.size());
}

}  // namespace

TEST(ScriptTree, AnEmptyProgramIsItsMainBlockAndTheTypesMarker) {
  EXPECT_EQ(Compile("begin end."),
            std::string(kDeclaration) + "<program><compoundstmt pos=\"1:1\"/><types/></program>");
}

TEST(ScriptTree, ConstantsAndVariablesWithTheirPositions) {
  const std::string tree =
      Compile("program P;\nconst c = 'a''b';\nvar a, B: Integer;\nbegin\nend.\n");
  EXPECT_EQ(Body(tree),
            "<const pos=\"2:7\"><ident text=\"c\" pos=\"2:7\"/>"
            "<expr pos=\"2:11\" pos1=\"2:17\"><string text=\"'a''b'\" pos=\"2:11\"/></expr></const>"
            "<var pos=\"3:5\"><ident text=\"a\" pos=\"3:5\"/><ident text=\"B\" pos=\"3:8\"/>"
            "<type text=\"Integer\" pos=\"3:11\"/></var>"
            "<compoundstmt pos=\"4:1\"/>");
}

TEST(ScriptTree, RoutinesWithParametersResultTypeAndLocals) {
  const std::string tree = Compile(
      "procedure Run(A: Integer; var B, C: string);\n"
      "var\n"
      "  x: TObject;\n"
      "begin\n"
      "end;\n"
      "function Get: Boolean;\n"
      "begin\n"
      "  Result := True\n"
      "end;\n"
      "begin end.");
  EXPECT_EQ(
      Body(tree),
      "<procedure pos=\"1:1\"><name text=\"Run\" pos=\"1:11\"/>"
      "<parameters pos=\"1:14\"><var pos=\"1:15\"><ident text=\"A\" pos=\"1:15\"/>"
      "<type text=\"Integer\" pos=\"1:18\"/></var><varparams pos=\"1:27\"/>"
      "<var pos=\"1:31\"><ident text=\"B\" pos=\"1:31\"/><ident text=\"C\" pos=\"1:34\"/>"
      "<type text=\"string\" pos=\"1:37\"/></var></parameters>"
      "<var pos=\"3:3\"><ident text=\"x\" pos=\"3:3\"/><type text=\"TObject\" pos=\"3:6\"/></var>"
      "<compoundstmt pos=\"4:1\"/></procedure>"
      "<function pos=\"6:1\"><name text=\"Get\" pos=\"6:10\"/><parameters pos=\"6:13\"/>"
      "<type text=\"Boolean\" pos=\"6:15\"/><compoundstmt pos=\"7:1\">"
      "<assignstmt pos=\"8:3\"><dsgn pos=\"8:3\"><node text=\"Result\" pos=\"8:3\"/></dsgn>"
      "<expr pos=\"8:13\" pos1=\"8:17\"><dsgn pos=\"8:13\"><node text=\"True\" pos=\"8:13\"/>"
      "</dsgn></expr></assignstmt></compoundstmt></function>"
      "<compoundstmt pos=\"10:1\"/>");
}

TEST(ScriptTree, EveryStatementKind) {
  const std::string statements = MainStatements(
      "begin\n"
      "  if a = 1 then b else c;\n"
      "  for i := 1 to 10 do x(i);\n"
      "  try y finally z end;\n"
      "  with o.p do q := 2;\n"
      "  exit; break; continue\n"
      "end.",
      "1:1");
  EXPECT_EQ(
      statements,
      "<ifstmt pos=\"2:3\"><expr pos=\"2:6\" pos1=\"2:11\"><dsgn pos=\"2:6\"><node text=\"a\" "
      "pos=\"2:6\"/></dsgn><op text=\"=\" pos=\"2:8\"/><number text=\"1\" pos=\"2:10\"/></expr>"
      "<thenstmt pos=\"2:12\"><callstmt pos=\"2:17\"><dsgn pos=\"2:17\"><node text=\"b\" "
      "pos=\"2:17\"/></dsgn></callstmt></thenstmt><elsestmt pos=\"2:19\"><callstmt pos=\"2:24\">"
      "<dsgn pos=\"2:24\"><node text=\"c\" pos=\"2:24\"/></dsgn></callstmt></elsestmt></ifstmt>"
      "<forstmt pos=\"3:3\"><ident text=\"i\" pos=\"3:7\"/><expr pos=\"3:12\" pos1=\"3:13\">"
      "<number text=\"1\" pos=\"3:12\"/></expr><expr pos=\"3:17\" pos1=\"3:19\"><number "
      "text=\"10\" pos=\"3:17\"/></expr><callstmt pos=\"3:23\"><dsgn pos=\"3:23\"><node text=\"x\" "
      "pos=\"3:23\"/><expr pos=\"3:25\" pos1=\"3:26\"><dsgn pos=\"3:25\"><node text=\"i\" "
      "pos=\"3:25\"/></dsgn></expr></dsgn></callstmt></forstmt>"
      "<trystmt pos=\"4:3\"><callstmt pos=\"4:7\"><dsgn pos=\"4:7\"><node text=\"y\" pos=\"4:7\"/>"
      "</dsgn></callstmt><finallystmt pos=\"4:9\"><callstmt pos=\"4:17\"><dsgn pos=\"4:17\"><node "
      "text=\"z\" pos=\"4:17\"/></dsgn></callstmt></finallystmt></trystmt>"
      "<with pos=\"5:3\"><dsgn pos=\"5:8\"><node text=\"o\" pos=\"5:8\"/><node text=\"p\" "
      "pos=\"5:10\"/></dsgn><assignstmt pos=\"5:15\"><dsgn pos=\"5:15\"><node text=\"q\" "
      "pos=\"5:15\"/></dsgn><expr pos=\"5:20\" pos1=\"5:21\"><number text=\"2\" pos=\"5:20\"/>"
      "</expr></assignstmt></with>"
      "<exit pos=\"6:3\"/><break pos=\"6:9\"/><continue pos=\"6:16\"/>");
}

TEST(ScriptTree, NestedBlocksAndEmptyStatements) {
  EXPECT_EQ(MainStatements("begin ; begin x end; ; end.", "1:1"),
            "<compoundstmt pos=\"1:9\"><callstmt pos=\"1:15\"><dsgn pos=\"1:15\"><node text=\"x\" "
            "pos=\"1:15\"/></dsgn></callstmt></compoundstmt>");
  // An if without else, a then-branch that is empty.
  EXPECT_EQ(MainStatements("begin if a then ; end.", "1:1"),
            "<ifstmt pos=\"1:7\"><expr pos=\"1:10\" pos1=\"1:11\"><dsgn pos=\"1:10\"><node "
            "text=\"a\" pos=\"1:10\"/></dsgn></expr><thenstmt pos=\"1:12\"/></ifstmt>");
}

TEST(ScriptTree, DesignatorsWithAddressIndexesAndArguments) {
  const std::string statements = MainStatements(
      "begin\n"
      "  a.OnClick := @Handler;\n"
      "  s := Items[i + 1, 2].Name(x, 'y');\n"
      "  Free()\n"
      "end.",
      "1:1");
  EXPECT_EQ(
      statements,
      "<assignstmt pos=\"2:3\"><dsgn pos=\"2:3\"><node text=\"a\" pos=\"2:3\"/><node "
      "text=\"OnClick\" pos=\"2:5\"/></dsgn><expr pos=\"2:16\" pos1=\"2:24\"><dsgn pos=\"2:16\">"
      "<addr text=\"@\" pos=\"2:16\"/><node text=\"Handler\" pos=\"2:17\"/></dsgn></expr>"
      "</assignstmt>"
      "<assignstmt pos=\"3:3\"><dsgn pos=\"3:3\"><node text=\"s\" pos=\"3:3\"/></dsgn>"
      "<expr pos=\"3:8\" pos1=\"3:36\"><dsgn pos=\"3:8\"><node text=\"Items\" pos=\"3:8\"/>"
      "<node text=\"[\" pos=\"3:13\"/><expr pos=\"3:14\" pos1=\"3:19\"><dsgn pos=\"3:14\"><node "
      "text=\"i\" pos=\"3:14\"/></dsgn><op text=\"+\" pos=\"3:16\"/><number text=\"1\" "
      "pos=\"3:18\"/></expr><expr pos=\"3:21\" pos1=\"3:22\"><number text=\"2\" pos=\"3:21\"/>"
      "</expr><node text=\"Name\" pos=\"3:24\"/><expr pos=\"3:29\" pos1=\"3:30\"><dsgn "
      "pos=\"3:29\"><node text=\"x\" pos=\"3:29\"/></dsgn></expr><expr pos=\"3:32\" "
      "pos1=\"3:35\"><string text=\"'y'\" pos=\"3:32\"/></expr></dsgn></expr></assignstmt>"
      "<callstmt pos=\"4:3\"><dsgn pos=\"4:3\"><node text=\"Free\" pos=\"4:3\"/></dsgn>"
      "</callstmt>");
}

TEST(ScriptTree, ExpressionsKeepOperandsAndOperatorsInSourceOrder) {
  const std::string statements =
      MainStatements("begin\n  v := not -b + (c - 3) / $1F <> [1, d] is T < 2.5e3\nend.", "1:1");
  EXPECT_EQ(
      statements,
      "<assignstmt pos=\"2:3\"><dsgn pos=\"2:3\"><node text=\"v\" pos=\"2:3\"/></dsgn>"
      "<expr pos=\"2:8\" pos1=\"2:53\"><op text=\"not\" pos=\"2:8\"/><op text=\"unminus\" "
      "pos=\"2:12\"/><dsgn pos=\"2:13\"><node text=\"b\" pos=\"2:13\"/></dsgn><op text=\"+\" "
      "pos=\"2:15\"/><expr pos=\"2:17\" pos1=\"2:24\"><dsgn pos=\"2:18\"><node text=\"c\" "
      "pos=\"2:18\"/></dsgn><op text=\"-\" pos=\"2:20\"/><number text=\"3\" pos=\"2:22\"/></expr>"
      "<op text=\"/\" pos=\"2:25\"/><number text=\"$1F\" pos=\"2:27\"/><op text=\"&lt;&gt;\" "
      "pos=\"2:31\"/><set pos=\"2:34\"><expr pos=\"2:35\" pos1=\"2:36\"><number text=\"1\" "
      "pos=\"2:35\"/></expr><expr pos=\"2:38\" pos1=\"2:39\"><dsgn pos=\"2:38\"><node text=\"d\" "
      "pos=\"2:38\"/></dsgn></expr></set><op text=\"is\" pos=\"2:41\"/><dsgn pos=\"2:44\"><node "
      "text=\"T\" pos=\"2:44\"/></dsgn><op text=\"&lt;\" pos=\"2:46\"/><number text=\"2.5e3\" "
      "pos=\"2:48\"/></expr></assignstmt>");
}

TEST(ScriptTree, WordOperatorsAreWrittenInLowerCase) {
  const std::string statements = MainStatements("begin x := a AND b Or NOT c Is d end.", "1:1");
  EXPECT_NE(statements.find("<op text=\"and\" pos=\"1:14\"/>"), std::string::npos) << statements;
  EXPECT_NE(statements.find("<op text=\"or\" pos=\"1:20\"/>"), std::string::npos);
  EXPECT_NE(statements.find("<op text=\"not\" pos=\"1:23\"/>"), std::string::npos);
  EXPECT_NE(statements.find("<op text=\"is\" pos=\"1:29\"/>"), std::string::npos);
}

TEST(ScriptTree, StringLiteralsAsWrittenAndEscapedForXml) {
  const std::string statements = MainStatements("begin s := 'a<&\">'#13#$0A'''' end.", "1:1");
  EXPECT_NE(statements.find("<string text=\"'a&lt;&amp;&quot;&gt;'#13#$0A''''\" pos=\"1:12\"/>"),
            std::string::npos)
      << statements;
}

TEST(ScriptTree, KeywordsInAnyCaseNamesInTheirOwn) {
  const std::string statements = MainStatements("BEGIN If MyVar Then EXIT END.", "1:1");
  EXPECT_EQ(statements,
            "<ifstmt pos=\"1:7\"><expr pos=\"1:10\" pos1=\"1:15\"><dsgn pos=\"1:10\"><node "
            "text=\"MyVar\" pos=\"1:10\"/></dsgn></expr><thenstmt pos=\"1:16\"><exit "
            "pos=\"1:21\"/></thenstmt></ifstmt>");
}

TEST(ScriptTree, CommentsAndLineEndingsCountInPositionsButLeaveNoLineBreaks) {
  const std::string tree =
      Compile("{ one\r\n two }\r\n(* three *) begin // four\r\n  x\r\nend.\r\n");
  EXPECT_EQ(tree.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(Body(tree),
            "<compoundstmt pos=\"3:13\"><callstmt pos=\"4:3\"><dsgn pos=\"4:3\"><node text=\"x\" "
            "pos=\"4:3\"/></dsgn></callstmt></compoundstmt>");
}

TEST(ScriptTree, ExitFollowedByArgumentsIsACall) {
  EXPECT_EQ(
      MainStatements("begin Exit(1) end.", "1:1"),
      "<callstmt pos=\"1:7\"><dsgn pos=\"1:7\"><node text=\"Exit\" pos=\"1:7\"/><expr "
      "pos=\"1:12\" pos1=\"1:13\"><number text=\"1\" pos=\"1:12\"/></expr></dsgn></callstmt>");
}

TEST(ScriptUnits, AUsedUnitIsInlinedWithItsOwnPositions) {
  const std::string tree = Compile("program M;\nuses Alpha;\nbegin end.",
                                   {{"Alpha", "unit Alpha;\nvar q: Integer;\nbegin\nend.\n"}});
  EXPECT_EQ(Body(tree),
            "<uses unit=\"Alpha\"><program><var pos=\"2:5\"><ident text=\"q\" pos=\"2:5\"/>"
            "<type text=\"Integer\" pos=\"2:8\"/></var><compoundstmt pos=\"3:1\"/><types/>"
            "</program></uses><compoundstmt pos=\"3:1\"/>");
}

TEST(ScriptUnits, UnitsInUsesOrderAndNestedUses) {
  const std::string tree =
      Compile("uses Beta, alpha; begin end.", {{"alpha", "unit Alpha; begin end."},
                                               {"Beta", "uses Gamma; begin end."},
                                               {"Gamma", "const g = 1; begin end."}});
  const auto beta = tree.find("<uses unit=\"Beta\">");
  const auto gamma = tree.find("<uses unit=\"Gamma\">");
  const auto alpha = tree.find("<uses unit=\"alpha\">");  // the name as the uses clause writes it
  ASSERT_NE(beta, std::string::npos);
  ASSERT_NE(gamma, std::string::npos);
  ASSERT_NE(alpha, std::string::npos);
  EXPECT_LT(beta, gamma);
  EXPECT_LT(gamma, alpha);
  // Gamma's tree ends before Beta's main block.
  const auto gammaEnd = tree.find("</uses>", gamma) + 7;
  EXPECT_EQ(tree.substr(gammaEnd, 26), "<compoundstmt pos=\"1:13\"/>");
}

TEST(ScriptTree, LocalConstantsAndConstParametersWithoutReferenceMarker) {
  EXPECT_EQ(Body(Compile("procedure P(const A: Integer);\nconst k = 1;\nbegin end;\nbegin end.")),
            "<procedure pos=\"1:1\"><name text=\"P\" pos=\"1:11\"/><parameters pos=\"1:12\">"
            "<var pos=\"1:19\"><ident text=\"A\" pos=\"1:19\"/><type text=\"Integer\" "
            "pos=\"1:22\"/></var></parameters><const pos=\"2:7\"><ident text=\"k\" pos=\"2:7\"/>"
            "<expr pos=\"2:11\" pos1=\"2:12\"><number text=\"1\" pos=\"2:11\"/></expr></const>"
            "<compoundstmt pos=\"3:1\"/></procedure><compoundstmt pos=\"4:1\"/>");
}
