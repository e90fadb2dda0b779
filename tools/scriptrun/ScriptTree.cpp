#include "tools/scriptrun/ScriptTree.h"

#include <algorithm>
#include <array>

namespace scriptrun {

namespace {

constexpr std::array<std::string_view, 33> kElements = {
    "program",    "uses",      "types",        "var",      "const",    "ident",       "type",
    "name",       "node",      "number",       "string",   "op",       "procedure",   "function",
    "parameters", "varparams", "compoundstmt", "thenstmt", "elsestmt", "finallystmt", "assignstmt",
    "callstmt",   "ifstmt",    "forstmt",      "trystmt",  "with",     "exit",        "break",
    "continue",   "dsgn",      "addr",         "expr",     "set"};

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == ':' || c == '.';
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

class TReader {
 public:
  explicit TReader(std::string_view xml) : FText(xml) {}

  TTreeNode Document() {
    SkipBlanks();
    if (FText.substr(FAt, 5) == "<?xml") {
      const std::size_t end = FText.find("?>", FAt);
      if (end == std::string_view::npos) Fail("unterminated XML declaration");
      FAt = end + 2;
    }
    SkipBlanks();
    TTreeNode root = Element(1);
    if (root.Element != "program")
      Fail("the root element is '" + root.Element + "', not 'program'");
    SkipBlanks();
    if (FAt != FText.size()) Fail("text after the root element");
    return root;
  }

 private:
  [[noreturn]] void Fail(const std::string& reason) const {
    throw ESyntaxTreeError("syntax tree, offset " + std::to_string(FAt) + ": " + reason);
  }

  void SkipBlanks() {
    while (FAt < FText.size() && IsBlank(FText[FAt])) ++FAt;
  }

  void Expect(char c) {
    if (FAt >= FText.size() || FText[FAt] != c) Fail(std::string("expected '") + c + "'");
    ++FAt;
  }

  std::string Name() {
    const std::size_t start = FAt;
    while (FAt < FText.size() && IsNameChar(FText[FAt])) ++FAt;
    if (FAt == start) Fail("expected a name");
    return std::string(FText.substr(start, FAt - start));
  }

  // An attribute value up to its closing quote, entities decoded.
  std::string Value() {
    Expect('"');
    std::string value;
    while (FAt < FText.size() && FText[FAt] != '"') {
      const char c = FText[FAt];
      if (c == '<') Fail("'<' in an attribute value");
      if (c != '&') {
        value += c;
        ++FAt;
        continue;
      }
      const std::size_t end = FText.find(';', FAt);
      if (end == std::string_view::npos || end - FAt > 6) Fail("unterminated entity");
      const std::string_view entity = FText.substr(FAt + 1, end - FAt - 1);
      if (entity == "amp")
        value += '&';
      else if (entity == "lt")
        value += '<';
      else if (entity == "gt")
        value += '>';
      else if (entity == "quot")
        value += '"';
      else if (entity == "apos")
        value += '\'';
      else
        Fail("unknown entity '&" + std::string(entity) + ";'");
      FAt = end + 1;
    }
    Expect('"');
    return value;
  }

  void Attributes(TTreeNode& node) {
    for (;;) {
      SkipBlanks();
      if (FAt >= FText.size() || FText[FAt] == '>' || FText[FAt] == '/') return;
      const std::string name = Name();
      SkipBlanks();
      Expect('=');
      SkipBlanks();
      std::string value = Value();
      if (name == "text" || (name == "unit" && node.Element == "uses"))
        node.Text = std::move(value);
      else if (name == "pos")
        node.Pos = std::move(value);
      else if (name != "pos1")
        Fail("unknown attribute '" + name + "' of '" + node.Element + "'");
    }
  }

  TTreeNode Element(int depth) {
    if (depth > kMaxTreeDepth) Fail("elements nested too deep");
    Expect('<');
    TTreeNode node;
    node.Element = Name();
    if (!IsTreeElement(node.Element)) Fail("unknown element '" + node.Element + "'");
    Attributes(node);
    if (FAt < FText.size() && FText[FAt] == '/') {
      ++FAt;
      Expect('>');
      return node;
    }
    Expect('>');
    for (;;) {
      SkipBlanks();
      if (FAt >= FText.size()) Fail("'" + node.Element + "' is not closed");
      if (FText[FAt] != '<') Fail("text content in '" + node.Element + "'");
      if (FText.substr(FAt, 2) == "</") break;
      node.Children.push_back(Element(depth + 1));
    }
    FAt += 2;
    if (Name() != node.Element) Fail("end tag does not match '" + node.Element + "'");
    SkipBlanks();
    Expect('>');
    return node;
  }

  std::string_view FText;
  std::size_t FAt = 0;
};

}  // namespace

bool IsTreeElement(std::string_view name) {
  return std::find(kElements.begin(), kElements.end(), name) != kElements.end();
}

TTreeNode ReadSyntaxTree(std::string_view xml) {
  return TReader(xml).Document();
}

}  // namespace scriptrun
