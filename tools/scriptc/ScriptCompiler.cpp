#include "tools/scriptc/ScriptCompiler.h"

#include <cctype>
#include <utility>
#include <vector>

namespace script {

namespace {

// ---------------------------------------------------------------- tokens

enum class TTokenKind { Name, Number, String, Symbol, End };

struct TPos {
  int Line = 1;
  int Column = 1;
};

struct TToken {
  TTokenKind Kind = TTokenKind::End;
  std::string Text;  // as written
  TPos Start;
  TPos Stop;  // the position just past the token
};

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

bool IsNameStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsHexDigit(char c) {
  return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// Defined with the word tables below.
bool IsUnsupportedWord(const std::string& word);

std::string PosText(TPos pos) {
  return std::to_string(pos.Line) + ":" + std::to_string(pos.Column);
}

// Splits one source file into tokens. Comments: { }, (* *) and //.
class TLexer {
 public:
  TLexer(std::string_view text, const std::string& file) : Text(text), File(file) {}

  std::vector<TToken> Run() {
    std::vector<TToken> tokens;
    for (;;) {
      SkipBlanks();
      TToken token;
      token.Start = Here();
      if (At >= Text.size()) {
        token.Stop = token.Start;
        tokens.push_back(token);
        return tokens;
      }
      const std::size_t first = At;
      token.Kind = Scan();
      token.Text = std::string(Text.substr(first, At - first));
      if (token.Kind == TTokenKind::Name && IsUnsupportedWord(token.Text))
        Fail(token.Start, "'" + token.Text + "' is not supported");
      token.Stop = Here();
      tokens.push_back(std::move(token));
    }
  }

 private:
  std::string_view Text;
  const std::string& File;
  std::size_t At = 0;
  int Line = 1;
  std::size_t LineStart = 0;

  TPos Here() const { return {Line, static_cast<int>(At - LineStart) + 1}; }
  char Peek(std::size_t ahead = 0) const {
    return At + ahead < Text.size() ? Text[At + ahead] : '\0';
  }

  [[noreturn]] void Fail(TPos pos, const std::string& reason) const {
    throw EScriptError(File + ":" + PosText(pos) + ": " + reason);
  }

  void Advance() {
    if (Text[At] == '\n') {
      ++Line;
      LineStart = At + 1;
    }
    ++At;
  }

  void SkipBlanks() {
    while (At < Text.size()) {
      const char c = Text[At];
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
        Advance();
      else if (c == '/' && Peek(1) == '/')
        while (At < Text.size() && Text[At] != '\n') Advance();
      else if (c == '{')
        SkipComment("}");
      else if (c == '(' && Peek(1) == '*')
        SkipComment("*)");
      else
        return;
    }
  }

  void SkipComment(std::string_view close) {
    const TPos start = Here();
    const std::size_t end = Text.find(close, At + 1 + (close.size() - 1));
    if (end == std::string_view::npos) Fail(start, "unterminated comment");
    while (At < end + close.size()) Advance();
  }

  TTokenKind Scan() {
    const char c = Text[At];
    if (IsNameStart(c)) {
      while (At < Text.size() && IsNameChar(Text[At])) Advance();
      return TTokenKind::Name;
    }
    if (IsDigit(c) || (c == '$' && IsHexDigit(Peek(1)))) return ScanNumber();
    if (c == '\'' || IsCharCodeAt()) return ScanString();
    return ScanSymbol();
  }

  // "#" and a decimal code, or "#$" and a hexadecimal one.
  bool IsCharCodeAt() const {
    return Peek() == '#' && (IsDigit(Peek(1)) || (Peek(1) == '$' && IsHexDigit(Peek(2))));
  }

  void Digits(bool hex) {
    while (At < Text.size() && (hex ? IsHexDigit(Text[At]) : IsDigit(Text[At]))) Advance();
  }

  TTokenKind ScanNumber() {
    if (Text[At] == '$') {
      Advance();
      Digits(true);
      return TTokenKind::Number;
    }
    Digits(false);
    if (Peek() == '.' && IsDigit(Peek(1))) {
      Advance();
      Digits(false);
    }
    const bool sign = Peek(1) == '+' || Peek(1) == '-';
    if ((Peek() == 'e' || Peek() == 'E') && IsDigit(Peek(sign ? 2 : 1))) {
      Advance();
      if (sign) Advance();
      Digits(false);
    }
    if (At < Text.size() && IsNameChar(Text[At])) Fail(Here(), "malformed number");
    return TTokenKind::Number;
  }

  // Quoted pieces ('' is one quote) and #code pieces written next to each
  // other form one literal, kept as written.
  TTokenKind ScanString() {
    const TPos start = Here();
    while (At < Text.size()) {
      if (Text[At] == '\'') {
        Advance();
        for (;;) {
          if (At >= Text.size() || Text[At] == '\n' || Text[At] == '\r')
            Fail(start, "unterminated string");
          if (Text[At] == '\'' && Peek(1) != '\'') break;
          if (Text[At] == '\'') Advance();
          Advance();
        }
        Advance();
      } else if (Text[At] == '#' && Peek(1) == '$' && IsHexDigit(Peek(2))) {
        Advance();
        Advance();
        Digits(true);
      } else if (Text[At] == '#' && IsDigit(Peek(1))) {
        Advance();
        Digits(false);
      } else {
        break;
      }
    }
    return TTokenKind::String;
  }

  TTokenKind ScanSymbol() {
    static const char* const kPairs[] = {":=", "<>", "<=", ">="};
    for (const char* pair : kPairs) {
      if (Text.substr(At, 2) == pair) {
        Advance();
        Advance();
        return TTokenKind::Symbol;
      }
    }
    static const std::string_view kSingles = "()[],;:.@+-*/=<>";
    const char c = Text[At];
    if (kSingles.find(c) == std::string_view::npos) {
      const unsigned code = static_cast<unsigned char>(c);
      Fail(Here(), code < 32 || code > 126 ? "unexpected character #" + std::to_string(code)
                                           : std::string("unexpected character '") + c + "'");
    }
    Advance();
    return TTokenKind::Symbol;
  }
};

// ---------------------------------------------------------------- tree

struct TNode {
  std::string Name;
  std::vector<std::pair<std::string, std::string>> Attributes;
  std::vector<TNode> Children;

  TNode& Add(TNode child) {
    Children.push_back(std::move(child));
    return Children.back();
  }
};

TNode Element(std::string name, TPos pos) {
  TNode node;
  node.Name = std::move(name);
  node.Attributes.emplace_back("pos", PosText(pos));
  return node;
}

// An element with a text attribute (written before pos).
TNode Leaf(std::string name, std::string text, TPos pos) {
  TNode node;
  node.Name = std::move(name);
  node.Attributes.emplace_back("text", std::move(text));
  node.Attributes.emplace_back("pos", PosText(pos));
  return node;
}

void AppendEscaped(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
}

void Serialize(const TNode& node, std::string& out) {
  out += '<';
  out += node.Name;
  for (const auto& [name, value] : node.Attributes) {
    out += ' ' + name + "=\"";
    AppendEscaped(out, value);
    out += '"';
  }
  if (node.Children.empty()) {
    out += "/>";
    return;
  }
  out += '>';
  for (const TNode& child : node.Children) Serialize(child, out);
  out += "</" + node.Name + '>';
}

// ---------------------------------------------------------------- parser

// Words the grammar reserves (compared without regard to case).
const char* const kReserved[] = {"and",     "begin", "const",     "div",     "do",  "else", "end",
                                 "finally", "for",   "function",  "if",      "in",  "is",   "mod",
                                 "not",     "or",    "procedure", "program", "shl", "shr",  "then",
                                 "to",      "try",   "unit",      "uses",    "var", "with", "xor"};

// Words of the language that the script does not use: refused wherever
// they appear.
const char* const kUnsupported[] = {"array", "case",   "downto", "except", "goto",  "of",
                                    "raise", "record", "repeat", "type",   "until", "while"};

bool IsReserved(const std::string& lower) {
  for (const char* word : kReserved)
    if (lower == word) return true;
  return false;
}

bool IsUnsupportedWord(const std::string& word) {
  const std::string lower = Lower(word);
  for (const char* unsupported : kUnsupported)
    if (lower == unsupported) return true;
  return false;
}

// Binary operators: written text -> text in the tree.
bool BinaryOperator(const TToken& token, std::string& text) {
  static const char* const kSymbols[] = {"+", "-", "*", "/", "=", "<>", "<", ">", "<=", ">="};
  static const char* const kWords[] = {"div", "mod", "and", "or", "xor", "shl", "shr", "is", "in"};
  if (token.Kind == TTokenKind::Symbol) {
    for (const char* symbol : kSymbols)
      if (token.Text == symbol) return text = symbol, true;
  } else if (token.Kind == TTokenKind::Name) {
    const std::string lower = Lower(token.Text);
    for (const char* word : kWords)
      if (lower == word) return text = lower, true;
  }
  return false;
}

class TParser {
 public:
  TParser(std::vector<TToken> tokens, const std::string& file, const TUnitReader& reader,
          std::vector<std::string>& unitStack)
      : Tokens(std::move(tokens)), File(file), Reader(reader), UnitStack(unitStack) {}

  // program := [("program"|"unit") name ";"] [uses] declarations compound "."
  TNode Program(const std::string& expectedUnit) {
    TNode program;
    program.Name = "program";
    if (IsWord("program") || IsWord("unit")) {
      const bool isUnit = IsWord("unit");
      Next();
      const TToken& name = ExpectName("a unit name");
      if (isUnit && !expectedUnit.empty() && Lower(name.Text) != Lower(expectedUnit))
        Fail(name.Start, "unit '" + name.Text + "' is used as '" + expectedUnit + "'");
      Expect(";");
    }
    if (IsWord("uses")) Uses(program);
    Declarations(program, true);
    if (!IsWord("begin"))
      Fail(Current().Start, "expected 'begin' but found " + Describe(Current()));
    program.Add(Compound());
    Expect(".");
    if (Current().Kind != TTokenKind::End)
      Fail(Current().Start, "text after the final 'end.': " + Describe(Current()));
    TNode types;
    types.Name = "types";
    program.Add(std::move(types));
    return program;
  }

 private:
  std::vector<TToken> Tokens;
  const std::string& File;
  const TUnitReader& Reader;
  std::vector<std::string>& UnitStack;
  std::size_t At = 0;
  int Depth = 0;
  TPos LastStop;

  // Counts nesting of statements and expressions for the current scope.
  struct TNest {
    TParser& Parser;
    explicit TNest(TParser& parser, TPos pos) : Parser(parser) {
      if (++Parser.Depth > kMaxNesting) Parser.Fail(pos, "nested too deeply");
    }
    ~TNest() { --Parser.Depth; }
  };

  const TToken& Current() const { return Tokens[At]; }
  const TToken& Next() {
    const TToken& token = Tokens[At];
    LastStop = token.Stop;
    if (token.Kind != TTokenKind::End) ++At;
    return token;
  }

  [[noreturn]] void Fail(TPos pos, const std::string& reason) const {
    throw EScriptError(File + ":" + PosText(pos) + ": " + reason);
  }

  static std::string Describe(const TToken& token) {
    return token.Kind == TTokenKind::End ? "the end of the file" : "'" + token.Text + "'";
  }

  bool IsWord(const char* word) const {
    return Current().Kind == TTokenKind::Name && Lower(Current().Text) == word;
  }
  bool IsSymbol(const char* symbol) const {
    return Current().Kind == TTokenKind::Symbol && Current().Text == symbol;
  }
  bool IsPlainName() const {
    return Current().Kind == TTokenKind::Name && !IsReserved(Lower(Current().Text));
  }

  const TToken& Expect(const char* text) {
    const bool word = IsNameStart(text[0]);
    if (word ? !IsWord(text) : !IsSymbol(text))
      Fail(Current().Start,
           std::string("expected '") + text + "' but found " + Describe(Current()));
    return Next();
  }

  const TToken& ExpectName(const char* what) {
    if (!IsPlainName()) {
      if (Current().Kind == TTokenKind::Name)
        Fail(Current().Start, "'" + Current().Text + "' is a reserved word, expected " + what);
      Fail(Current().Start, std::string("expected ") + what + " but found " + Describe(Current()));
    }
    return Next();
  }

  // ------------------------------------------------------------ units

  void Uses(TNode& program) {
    Next();
    for (;;) {
      const TToken name = ExpectName("a unit name");
      program.Add(UsedUnit(name));
      if (IsSymbol(",")) {
        Next();
        continue;
      }
      Expect(";");
      return;
    }
  }

  TNode UsedUnit(const TToken& name) {
    for (const std::string& open : UnitStack)
      if (Lower(open) == Lower(name.Text)) Fail(name.Start, "unit '" + name.Text + "' uses itself");
    if (static_cast<int>(UnitStack.size()) >= kMaxUnitDepth)
      Fail(name.Start, "units nested too deeply");
    std::string fileName, source;
    if (!Reader || !Reader(name.Text, fileName, source))
      Fail(name.Start, "unit '" + name.Text + "' not found");
    UnitStack.push_back(name.Text);
    TParser unit(TLexer(source, fileName).Run(), fileName, Reader, UnitStack);
    TNode uses;
    uses.Name = "uses";
    uses.Attributes.emplace_back("unit", name.Text);
    uses.Add(unit.Program(name.Text));
    UnitStack.pop_back();
    return uses;
  }

  // ------------------------------------------------------------ declarations

  // var, const, procedure and function sections in source order; routines
  // only at the top of a unit.
  void Declarations(TNode& parent, bool routines) {
    for (;;) {
      if (IsWord("var"))
        VarSection(parent);
      else if (IsWord("const"))
        ConstSection(parent);
      else if (routines && (IsWord("procedure") || IsWord("function")))
        parent.Add(Routine());
      else
        return;
    }
  }

  void VarSection(TNode& parent) {
    Next();
    do {
      parent.Add(VarDeclaration());
      Expect(";");
    } while (IsPlainName());
  }

  // name {"," name} ":" type
  TNode VarDeclaration() {
    TNode var = Element("var", Current().Start);
    for (;;) {
      const TToken& name = ExpectName("a name");
      var.Add(Leaf("ident", name.Text, name.Start));
      if (!IsSymbol(",")) break;
      Next();
    }
    Expect(":");
    var.Add(TypeName());
    return var;
  }

  TNode TypeName() {
    const TToken& type = ExpectName("a type name");
    return Leaf("type", type.Text, type.Start);
  }

  void ConstSection(TNode& parent) {
    Next();
    do {
      const TToken& name = ExpectName("a constant name");
      TNode constant = Element("const", name.Start);
      constant.Add(Leaf("ident", name.Text, name.Start));
      Expect("=");
      constant.Add(Expression());
      Expect(";");
      parent.Add(std::move(constant));
    } while (IsPlainName());
  }

  // ("procedure"|"function") name [params] [":" type] ";" locals compound ";"
  TNode Routine() {
    const bool isFunction = IsWord("function");
    TNode routine = Element(isFunction ? "function" : "procedure", Next().Start);
    const TToken& name = ExpectName("a routine name");
    routine.Add(Leaf("name", name.Text, name.Start));
    routine.Add(Parameters());
    if (isFunction) {
      Expect(":");
      routine.Add(TypeName());
    }
    Expect(";");
    Declarations(routine, false);
    if (IsWord("procedure") || IsWord("function"))
      Fail(Current().Start, "nested routines are not supported");
    if (!IsWord("begin"))
      Fail(Current().Start, "expected 'begin' but found " + Describe(Current()));
    routine.Add(Compound());
    Expect(";");
    return routine;
  }

  // "(" group {";" group} ")"; a group passed by reference is preceded by
  // a varparams marker.
  TNode Parameters() {
    TNode parameters = Element("parameters", Current().Start);
    if (!IsSymbol("(")) return parameters;
    Next();
    if (IsSymbol(")")) {
      Next();
      return parameters;
    }
    for (;;) {
      if (IsWord("var")) {
        parameters.Add(Element("varparams", Next().Start));
      } else if (IsWord("const")) {
        Next();
      }
      parameters.Add(VarDeclaration());
      if (IsSymbol(";")) {
        Next();
        continue;
      }
      Expect(")");
      return parameters;
    }
  }

  // ------------------------------------------------------------ statements

  TNode Compound() {
    TNode compound = Element("compoundstmt", Expect("begin").Start);
    StatementList(compound, "end");
    Expect("end");
    return compound;
  }

  // Statements separated by ";" up to the closing word (not consumed).
  void StatementList(TNode& parent, const char* close) {
    for (;;) {
      if (IsWord(close)) return;
      Statement(parent);
      if (IsSymbol(";")) {
        Next();
        continue;
      }
      if (!IsWord(close))
        Fail(Current().Start,
             "expected ';' or '" + std::string(close) + "' but found " + Describe(Current()));
    }
  }

  // One statement added to parent; an empty statement adds nothing.
  void Statement(TNode& parent) {
    TNest nest(*this, Current().Start);
    if (IsSymbol(";") || IsWord("end") || IsWord("finally") || IsWord("else")) return;
    if (IsWord("begin")) return void(parent.Add(Compound()));
    if (IsWord("if")) return void(parent.Add(IfStatement()));
    if (IsWord("for")) return void(parent.Add(ForStatement()));
    if (IsWord("try")) return void(parent.Add(TryStatement()));
    if (IsWord("with")) return void(parent.Add(WithStatement()));
    if (IsJump()) {
      const TToken& jump = Next();
      return void(parent.Add(Element(Lower(jump.Text), jump.Start)));
    }
    if (Current().Kind == TTokenKind::Name && IsReserved(Lower(Current().Text)))
      Fail(Current().Start, "'" + Current().Text + "' cannot start a statement");
    if (!IsPlainName() && !IsSymbol("@"))
      Fail(Current().Start, "expected a statement but found " + Describe(Current()));
    parent.Add(SimpleStatement());
  }

  // exit, break and continue on their own (not followed by arguments).
  bool IsJump() const {
    if (!(IsWord("exit") || IsWord("break") || IsWord("continue"))) return false;
    const TToken& after = Tokens[At + 1 < Tokens.size() ? At + 1 : At];
    return after.Kind == TTokenKind::End ||
           (after.Kind == TTokenKind::Symbol && after.Text == ";") ||
           (after.Kind == TTokenKind::Name &&
            (Lower(after.Text) == "end" || Lower(after.Text) == "else" ||
             Lower(after.Text) == "finally"));
  }

  TNode SimpleStatement() {
    const TPos start = Current().Start;
    TNode target = Designator();
    if (IsSymbol(":=")) {
      Next();
      TNode assign = Element("assignstmt", start);
      assign.Add(std::move(target));
      assign.Add(Expression());
      return assign;
    }
    TNode call = Element("callstmt", start);
    call.Add(std::move(target));
    return call;
  }

  TNode IfStatement() {
    TNode node = Element("ifstmt", Next().Start);
    node.Add(Expression());
    TNode& thenBranch = node.Add(Element("thenstmt", Expect("then").Start));
    Statement(thenBranch);
    if (IsWord("else")) {
      TNode& elseBranch = node.Add(Element("elsestmt", Next().Start));
      Statement(elseBranch);
    }
    return node;
  }

  TNode ForStatement() {
    TNode node = Element("forstmt", Next().Start);
    const TToken& control = ExpectName("a control variable");
    node.Add(Leaf("ident", control.Text, control.Start));
    Expect(":=");
    node.Add(Expression());
    Expect("to");
    node.Add(Expression());
    Expect("do");
    Statement(node);
    return node;
  }

  TNode TryStatement() {
    TNode node = Element("trystmt", Next().Start);
    StatementList(node, "finally");
    TNode& cleanup = node.Add(Element("finallystmt", Expect("finally").Start));
    StatementList(cleanup, "end");
    Expect("end");
    return node;
  }

  TNode WithStatement() {
    TNode node = Element("with", Next().Start);
    if (!IsPlainName()) Fail(Current().Start, "expected a name but found " + Describe(Current()));
    node.Add(Designator());
    if (IsSymbol(",")) Fail(Current().Start, "one object per 'with' is supported");
    Expect("do");
    Statement(node);
    return node;
  }

  // ------------------------------------------------------------ expressions

  // ["@"] name {"." name | "(" [expr {"," expr}] ")" | "[" expr {"," expr} "]"}
  TNode Designator() {
    TNode dsgn = Element("dsgn", Current().Start);
    if (IsSymbol("@")) {
      dsgn.Add(Leaf("addr", "@", Next().Start));
      if (!IsPlainName())
        Fail(Current().Start, "expected a routine name after '@' but found " + Describe(Current()));
    }
    const TToken& first = ExpectName("a name");
    dsgn.Add(Leaf("node", first.Text, first.Start));
    for (;;) {
      if (IsSymbol(".")) {
        Next();
        const TToken& name = ExpectName("a name after '.'");
        dsgn.Add(Leaf("node", name.Text, name.Start));
      } else if (IsSymbol("(")) {
        Next();
        if (!IsSymbol(")")) ExpressionList(dsgn);
        Expect(")");
      } else if (IsSymbol("[")) {
        dsgn.Add(Leaf("node", "[", Next().Start));
        ExpressionList(dsgn);
        Expect("]");
      } else {
        return dsgn;
      }
    }
  }

  void ExpressionList(TNode& parent) {
    for (;;) {
      parent.Add(Expression());
      if (!IsSymbol(",")) return;
      Next();
    }
  }

  // Operands and operators in source order: {unary} operand {binary {unary} operand}.
  TNode Expression() {
    TNest nest(*this, Current().Start);
    TNode expr = Element("expr", Current().Start);
    for (;;) {
      UnaryOperators(expr);
      expr.Add(Operand());
      std::string op;
      if (!BinaryOperator(Current(), op)) break;
      expr.Add(Leaf("op", op, Next().Start));
    }
    expr.Attributes.emplace_back("pos1", PosText(LastStop));
    return expr;
  }

  void UnaryOperators(TNode& expr) {
    for (;;) {
      if (IsWord("not"))
        expr.Add(Leaf("op", "not", Next().Start));
      else if (IsSymbol("-"))
        expr.Add(Leaf("op", "unminus", Next().Start));
      else if (IsSymbol("+"))
        Next();
      else
        return;
    }
  }

  TNode Operand() {
    const TToken& token = Current();
    if (token.Kind == TTokenKind::Number) return Leaf("number", Next().Text, token.Start);
    if (token.Kind == TTokenKind::String) return Leaf("string", Next().Text, token.Start);
    if (IsSymbol("(")) {
      const TPos open = Next().Start;
      TNode inner = Expression();
      Expect(")");
      inner.Attributes[0].second = PosText(open);
      inner.Attributes[1].second = PosText(LastStop);
      return inner;
    }
    if (IsSymbol("[")) return SetConstructor();
    if (IsPlainName() || IsSymbol("@")) return Designator();
    Fail(token.Start, "expected an operand but found " + Describe(token));
  }

  TNode SetConstructor() {
    TNode set = Element("set", Next().Start);
    if (!IsSymbol("]")) ExpressionList(set);
    Expect("]");
    return set;
  }
};

}  // namespace

std::string CompileScript(std::string_view source, const std::string& fileName,
                          const TUnitReader& readUnit) {
  std::vector<std::string> unitStack;
  TParser parser(TLexer(source, fileName).Run(), fileName, readUnit, unitStack);
  const TNode program = parser.Program(std::string());
  std::string out = "<?xml version=\"1.0\"?>";
  Serialize(program, out);
  return out;
}

}  // namespace script
