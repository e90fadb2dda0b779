// The interpreter part of TDialogRunner: units, routines, statements and
// expressions of the syntax tree. The stand-in objects and the host's
// library are in DialogLibrary.cpp.
#include "DialogRunner.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace dialogrun {

using scriptrun::TTreeNode;

namespace {

constexpr int kMaxCallDepth = 200;

const TTreeNode* Child(const TTreeNode& node, std::string_view element) {
  for (const TTreeNode& child : node.Children)
    if (child.Element == element) return &child;
  return nullptr;
}

bool OneOf(const std::string& name, std::initializer_list<const char*> names) {
  for (const char* candidate : names)
    if (SameName(name, candidate)) return true;
  return false;
}

TValue Initial(const std::string& type) {
  if (OneOf(type, {"Integer", "Int64", "Cardinal", "LongInt", "Word", "Byte", "SmallInt",
                   "ShortInt", "LongWord"}))
    return TValue::Of(std::int64_t{0});
  if (OneOf(type, {"string", "AnsiString", "WideString", "UnicodeString", "Char"}))
    return TValue::Of(std::string());
  if (OneOf(type, {"Boolean"})) return TValue::Of(false);
  if (OneOf(type, {"Double", "Extended", "Real", "Single", "Currency"})) return TValue::Of(0.0);
  return TValue();
}

// A value stored through a var parameter keeps the kind of the variable.
TValue CoerceLike(const TValue& slot, const TValue& value) {
  switch (slot.Kind) {
    case TKind::Int:
      return TValue::Of(value.AsInt());
    case TKind::Text:
      return TValue::Of(value.AsText());
    case TKind::Bool:
      return TValue::Of(value.AsBool());
    case TKind::Float:
      return TValue::Of(value.AsFloat());
    default:
      return value;
  }
}

// A value stored into a variable of that declared type.
TValue Coerce(const std::string& type, const TValue& value) {
  return CoerceLike(Initial(type), value);
}

TValue Number(const std::string& text) {
  if (!text.empty() && text[0] != '$' && text.find_first_of(".eE") != std::string::npos)
    return TValue::Of(TValue::Of(text).AsFloat());
  return TValue::Of(TValue::Of(text).AsInt());
}

// 'it''s'#13#$0A -> the text.
std::string StringLiteral(const std::string& literal) {
  std::string text;
  std::size_t at = 0;
  while (at < literal.size()) {
    if (literal[at] == '\'') {
      for (++at;; ++at) {
        if (at >= literal.size()) throw EScriptRunError("unterminated string " + literal);
        if (literal[at] == '\'') {
          if (at + 1 < literal.size() && literal[at + 1] == '\'') {
            text += '\'';
            ++at;
            continue;
          }
          ++at;
          break;
        }
        text += literal[at];
      }
    } else if (literal[at] == '#') {
      std::size_t end = ++at;
      if (end < literal.size() && literal[end] == '$') ++end;
      while (end < literal.size() && std::isxdigit(static_cast<unsigned char>(literal[end])) &&
             (literal[at] == '$' || std::isdigit(static_cast<unsigned char>(literal[end]))))
        ++end;
      const std::int64_t code = TValue::Of(literal.substr(at, end - at)).AsInt();
      if (code < 0 || code > 255) throw EScriptRunError("character code out of range " + literal);
      text += static_cast<char>(code);
      at = end;
    } else {
      throw EScriptRunError("malformed string " + literal);
    }
  }
  return text;
}

int Precedence(const std::string& op) {
  if (OneOf(op, {"*", "/", "div", "mod", "and", "shl", "shr"})) return 3;
  if (OneOf(op, {"+", "-", "or", "xor"})) return 2;
  if (OneOf(op, {"=", "<>", "<", ">", "<=", ">=", "in", "is"})) return 1;
  return 0;
}

bool IsA(const TObject& object, const std::string& className) {
  if (SameName(object.ClassName, className)) return true;
  if (OneOf(className, {"TObject", "TPersistent", "TComponent"})) return true;
  if (OneOf(className, {"TForm", "TCustomForm"})) return object.IsForm();
  return false;
}

bool Equal(const TValue& a, const TValue& b) {
  if (a.Kind == TKind::Text || b.Kind == TKind::Text) return a.AsText() == b.AsText();
  if (a.Kind == TKind::Object || b.Kind == TKind::Object) return a.Object == b.Object;
  if (a.Kind == TKind::Routine || b.Kind == TKind::Routine) return a.Routine == b.Routine;
  if (a.Kind == TKind::Nil && b.Kind == TKind::Nil) return true;
  if (a.Kind == TKind::Float || b.Kind == TKind::Float) return a.AsFloat() == b.AsFloat();
  return a.AsInt() == b.AsInt();
}

int Compare(const TValue& a, const TValue& b) {
  if (a.Kind == TKind::Text || b.Kind == TKind::Text) return a.AsText().compare(b.AsText());
  if (a.Kind == TKind::Float || b.Kind == TKind::Float) {
    const double x = a.AsFloat();
    const double y = b.AsFloat();
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  const std::int64_t x = a.AsInt();
  const std::int64_t y = b.AsInt();
  return x < y ? -1 : (x > y ? 1 : 0);
}

TValue Arithmetic(const std::string& op, const TValue& a, const TValue& b) {
  if (op == "+" && (a.Kind == TKind::Text || b.Kind == TKind::Text))
    return TValue::Of(a.AsText() + b.AsText());
  if (op == "/") {
    if (b.AsFloat() == 0) throw EScriptRunError("division by zero");
    return TValue::Of(a.AsFloat() / b.AsFloat());
  }
  if (a.Kind == TKind::Float || b.Kind == TKind::Float) {
    const double x = a.AsFloat();
    const double y = b.AsFloat();
    if (op == "+") return TValue::Of(x + y);
    if (op == "-") return TValue::Of(x - y);
    if (op == "*") return TValue::Of(x * y);
    throw EScriptRunError("'" + op + "' needs integers");
  }
  const std::int64_t x = a.AsInt();
  const std::int64_t y = b.AsInt();
  if (op == "+") return TValue::Of(static_cast<std::int64_t>(static_cast<std::uint64_t>(x) + y));
  if (op == "-") return TValue::Of(static_cast<std::int64_t>(static_cast<std::uint64_t>(x) - y));
  if (op == "*") return TValue::Of(static_cast<std::int64_t>(static_cast<std::uint64_t>(x) * y));
  if (op == "div" || op == "mod") {
    if (y == 0) throw EScriptRunError("division by zero");
    if (x == INT64_MIN && y == -1) throw EScriptRunError("integer overflow");
    return TValue::Of(op == "div" ? x / y : x % y);
  }
  if (op == "shl")
    return TValue::Of(static_cast<std::int64_t>(static_cast<std::uint64_t>(x) << (y & 63)));
  if (op == "shr")
    return TValue::Of(static_cast<std::int64_t>(static_cast<std::uint64_t>(x) >> (y & 63)));
  throw EScriptRunError("unknown operator '" + op + "'");
}

TValue Binary(const std::string& op, const TValue& a, const TValue& b) {
  if (op == "is")
    return TValue::Of(b.Kind == TKind::Class && a.Kind == TKind::Object && IsA(*a.Object, b.Text));
  if (op == "in") {
    for (const TValue& item : b.List)
      if (Equal(a, item)) return TValue::Of(true);
    return TValue::Of(false);
  }
  if (op == "=") return TValue::Of(Equal(a, b));
  if (op == "<>") return TValue::Of(!Equal(a, b));
  if (op == "<") return TValue::Of(Compare(a, b) < 0);
  if (op == ">") return TValue::Of(Compare(a, b) > 0);
  if (op == "<=") return TValue::Of(Compare(a, b) <= 0);
  if (op == ">=") return TValue::Of(Compare(a, b) >= 0);
  if (op == "and" || op == "or" || op == "xor") {
    if (a.Kind == TKind::Bool && b.Kind == TKind::Bool) {
      if (op == "and") return TValue::Of(a.Bool && b.Bool);
      if (op == "or") return TValue::Of(a.Bool || b.Bool);
      return TValue::Of(a.Bool != b.Bool);
    }
    const std::int64_t x = a.AsInt();
    const std::int64_t y = b.AsInt();
    return TValue::Of(op == "and" ? x & y : (op == "or" ? x | y : x ^ y));
  }
  return Arithmetic(op, a, b);
}

}  // namespace

TDialogRunner::TDialogRunner(std::string_view treeXml, TDialogStreams streams)
    : FStreams(std::move(streams)), FRoot(scriptrun::ReadSyntaxTree(treeXml)) {
  FPlugin = MakeObject("TaPlugin", "aPlugin");
  FScreen = MakeObject("TScreen", "Screen");
  FScreen->Set("Cursor", TValue::Of(kCrDefault));
  LoadUnit(FRoot, "frmOption");
}

TDialogRunner::~TDialogRunner() = default;

void TDialogRunner::Fail(const TTreeNode& at, const std::string& reason) const {
  throw EScriptRunError(at.Pos + ": " + reason);
}

bool TDialogRunner::Declare(TFrame& frame, const TTreeNode& decl,
                            std::map<std::string, TValue, TNoCase>& values,
                            std::map<std::string, std::string, TNoCase>& types) {
  if (decl.Element == "var") {
    const TTreeNode* type = Child(decl, "type");
    if (type == nullptr) Fail(decl, "'var' without a type");
    for (const TTreeNode& ident : decl.Children)
      if (ident.Element == "ident") {
        values[ident.Text] = Initial(type->Text);
        types[ident.Text] = type->Text;
      }
    return true;
  }
  if (decl.Element == "const") {
    const TTreeNode* ident = Child(decl, "ident");
    const TTreeNode* expr = Child(decl, "expr");
    if (ident == nullptr || expr == nullptr) Fail(decl, "'const' needs a name and a value");
    values[ident->Text] = Expression(frame, *expr);
    return true;
  }
  return false;
}

void TDialogRunner::LoadUnit(const TTreeNode& program, const std::string& name) {
  FUnits.push_back(std::make_unique<TUnit>());
  TUnit& unit = *FUnits.back();
  unit.Name = name;
  unit.Program = &program;
  TFrame frame;
  frame.Unit = &unit;
  const TTreeNode* main = nullptr;
  for (const TTreeNode& child : program.Children) {
    if (child.Element == "uses") {
      if (child.Children.size() != 1 || child.Children[0].Element != "program")
        Fail(child, "'uses' must hold one program");
      bool loaded = false;
      for (const auto& other : FUnits) loaded = loaded || SameName(other->Name, child.Text);
      if (!loaded) LoadUnit(child.Children[0], child.Text);
    } else if (child.Element == "var" || child.Element == "const") {
      Declare(frame, child, unit.Globals, unit.Types);
    } else if (child.Element == "procedure" || child.Element == "function") {
      const TTreeNode* nameNode = Child(child, "name");
      if (nameNode == nullptr || Child(child, "compoundstmt") == nullptr)
        Fail(child, "a routine needs a name and a body");
      unit.Routines[nameNode->Text] = TRoutine{nameNode->Text, &child, &unit};
    } else if (child.Element == "compoundstmt") {
      main = &child;
    } else if (child.Element != "types") {
      Fail(child, "'" + child.Element + "' cannot stand in a program");
    }
  }
  if (main != nullptr) Statements(frame, *main);
}

const TRoutine* TDialogRunner::FindRoutine(const std::string& name, const TUnit* first) const {
  if (first != nullptr) {
    const auto it = first->Routines.find(name);
    if (it != first->Routines.end()) return &it->second;
  }
  for (const auto& unit : FUnits) {
    const auto it = unit->Routines.find(name);
    if (it != unit->Routines.end()) return &it->second;
  }
  return nullptr;
}

TValue TDialogRunner::Invoke(const TRoutine& routine, std::vector<TArg>& args, TObjectRef self) {
  const TTreeNode& node = *routine.Node;
  if (FDepth >= kMaxCallDepth) Fail(node, "calls nested too deep");
  struct TDepth {
    int& Depth;
    explicit TDepth(int& depth) : Depth(depth) { ++Depth; }
    ~TDepth() { --Depth; }
  } depth(FDepth);
  TFrame frame;
  frame.Unit = routine.Unit;
  frame.Self = std::move(self);
  std::size_t at = 0;
  if (const TTreeNode* parameters = Child(node, "parameters")) {
    bool byRef = false;
    for (const TTreeNode& group : parameters->Children) {
      if (group.Element == "varparams") {
        byRef = true;
        continue;
      }
      const TTreeNode* type = Child(group, "type");
      if (group.Element != "var" || type == nullptr) Fail(group, "malformed parameter group");
      for (const TTreeNode& ident : group.Children) {
        if (ident.Element != "ident") continue;
        TArg* arg = at < args.size() ? &args[at] : nullptr;
        ++at;
        if (byRef) {
          if (arg == nullptr || arg->Slot == nullptr)
            Fail(ident, "'" + ident.Text + "' of " + routine.Name + " needs a variable");
          frame.Refs[ident.Text] = arg->Slot;
        } else {
          frame.Locals[ident.Text] = Coerce(type->Text, arg ? arg->Value : Initial(type->Text));
          frame.Types[ident.Text] = type->Text;
        }
      }
      byRef = false;
    }
  }
  if (at < args.size()) Fail(node, routine.Name + " takes " + std::to_string(at) + " arguments");
  const bool function = node.Element == "function";
  if (function) {
    const TTreeNode* type = Child(node, "type");
    if (type == nullptr) Fail(node, "a function without a result type");
    frame.Locals["Result"] = Initial(type->Text);
    frame.Types["Result"] = type->Text;
  }
  for (const TTreeNode& local : node.Children) Declare(frame, local, frame.Locals, frame.Types);
  Statements(frame, *Child(node, "compoundstmt"));
  return function ? frame.Locals["Result"] : TValue();
}

// ------------------------------------------------------------- statements

TDialogRunner::TFlow TDialogRunner::Statements(TFrame& frame, const TTreeNode& node,
                                               std::size_t from) {
  for (std::size_t i = from; i < node.Children.size(); ++i) {
    const TFlow flow = Statement(frame, node.Children[i]);
    if (flow != TFlow::Normal) return flow;
  }
  return TFlow::Normal;
}

TDialogRunner::TFlow TDialogRunner::Statement(TFrame& frame, const TTreeNode& node) {
  try {
    const std::string& kind = node.Element;
    const std::size_t count = node.Children.size();
    if (kind == "compoundstmt" || kind == "thenstmt" || kind == "elsestmt" || kind == "finallystmt")
      return Statements(frame, node);
    if (kind == "assignstmt") {
      if (count != 2 || node.Children[0].Element != "dsgn") Fail(node, "malformed assignment");
      Assign(frame, node.Children[0], Expression(frame, node.Children[1]));
      return TFlow::Normal;
    }
    if (kind == "callstmt") {
      if (count != 1 || node.Children[0].Element != "dsgn") Fail(node, "malformed call");
      Designator(frame, node.Children[0]);
      return TFlow::Normal;
    }
    if (kind == "ifstmt") {
      if (count < 2 || node.Children[1].Element != "thenstmt") Fail(node, "malformed if");
      if (Expression(frame, node.Children[0]).AsBool()) return Statement(frame, node.Children[1]);
      return count > 2 ? Statement(frame, node.Children[2]) : TFlow::Normal;
    }
    if (kind == "forstmt") {
      if (count != 4 || node.Children[0].Element != "ident") Fail(node, "malformed for");
      TValue* control = VariableSlot(frame, node.Children[0].Text);
      if (control == nullptr) Fail(node, "unknown control variable " + node.Children[0].Text);
      const std::int64_t first = Expression(frame, node.Children[1]).AsInt();
      const std::int64_t last = Expression(frame, node.Children[2]).AsInt();
      for (std::int64_t i = first; i <= last; ++i) {
        *control = TValue::Of(i);
        const TFlow flow = Statement(frame, node.Children[3]);
        if (flow == TFlow::Break) break;
        if (flow == TFlow::Exit) return flow;
      }
      return TFlow::Normal;
    }
    if (kind == "trystmt") {
      if (count == 0 || node.Children.back().Element != "finallystmt") Fail(node, "malformed try");
      TFlow flow = TFlow::Normal;
      try {
        for (std::size_t i = 0; i + 1 < count && flow == TFlow::Normal; ++i)
          flow = Statement(frame, node.Children[i]);
      } catch (...) {
        Statement(frame, node.Children.back());
        throw;
      }
      const TFlow cleanup = Statement(frame, node.Children.back());
      return cleanup != TFlow::Normal ? cleanup : flow;
    }
    if (kind == "with") {
      if (count != 2 || node.Children[0].Element != "dsgn") Fail(node, "malformed with");
      const TValue object = Designator(frame, node.Children[0]);
      if (object.Kind != TKind::Object) Fail(node, "'with' needs an object");
      frame.With.push_back(object.Object);
      TFlow flow = TFlow::Normal;
      try {
        flow = Statement(frame, node.Children[1]);
      } catch (...) {
        frame.With.pop_back();
        throw;
      }
      frame.With.pop_back();
      return flow;
    }
    if (kind == "exit") return TFlow::Exit;
    if (kind == "break") return TFlow::Break;
    if (kind == "continue") return TFlow::Continue;
    Fail(node, "'" + kind + "' is not a statement");
  } catch (const EScriptRunError& error) {
    // Conversion errors carry no position yet: give them the statement's.
    if (std::isdigit(static_cast<unsigned char>(error.what()[0]))) throw;
    Fail(node, error.what());
  }
}

void TDialogRunner::Assign(TFrame& frame, const TTreeNode& dsgn, TValue value) {
  std::size_t nodes = 0;
  for (const TTreeNode& child : dsgn.Children)
    if (child.Element == "node" && child.Text != "[") ++nodes;
  if (nodes == 0 || dsgn.Children.back().Element != "node" || dsgn.Children.back().Text == "[")
    Fail(dsgn, "only a name or a member can be assigned");
  const TTreeNode& last = dsgn.Children.back();
  if (nodes == 1) {
    if (TValue* slot = LocalSlot(frame, last.Text)) {
      const auto type = frame.Types.find(last.Text);
      *slot = type != frame.Types.end() ? Coerce(type->second, value) : CoerceLike(*slot, value);
      return;
    }
    for (auto it = frame.With.rbegin(); it != frame.With.rend(); ++it)
      if (Has(**it, last.Text)) return SetMember(last, **it, last.Text, std::move(value));
    if (TValue* slot = GlobalSlot(frame, last.Text)) {
      for (const auto& unit : FUnits) {
        const auto type = unit->Types.find(last.Text);
        if (type != unit->Types.end() && &unit->Globals[last.Text] == slot) {
          *slot = Coerce(type->second, value);
          return;
        }
      }
      *slot = std::move(value);
      return;
    }
    if (frame.Self && Has(*frame.Self, last.Text))
      return SetMember(last, *frame.Self, last.Text, std::move(value));
    Fail(last, "unknown name '" + last.Text + "'");
  }
  const TValue object = Steps(frame, dsgn, nodes - 1);
  if (object.Kind != TKind::Object)
    Fail(last, "'" + last.Text + "' of a value that is not an object");
  SetMember(last, *object.Object, last.Text, std::move(value));
}

// ------------------------------------------------------------ expressions

TValue TDialogRunner::Expression(TFrame& frame, const TTreeNode& node) {
  if (node.Element != "expr") Fail(node, "expected an expression, found '" + node.Element + "'");
  std::size_t at = 0;
  // Unary operators bind tightest; binary ones by precedence climbing.
  std::function<TValue()> unary = [&]() -> TValue {
    if (at >= node.Children.size()) Fail(node, "an operand is missing");
    const TTreeNode& item = node.Children[at++];
    if (item.Element != "op") return Operand(frame, item);
    const TValue operand = unary();
    if (item.Text == "not")
      return operand.Kind == TKind::Bool ? TValue::Of(!operand.Bool) : TValue::Of(~operand.AsInt());
    if (item.Text == "unminus")
      return operand.Kind == TKind::Float ? TValue::Of(-operand.Float)
                                          : TValue::Of(static_cast<std::int64_t>(
                                                0 - static_cast<std::uint64_t>(operand.AsInt())));
    Fail(item, "'" + item.Text + "' is not a unary operator");
  };
  std::function<TValue(int)> binary = [&](int minimum) -> TValue {
    TValue left = unary();
    while (at < node.Children.size()) {
      const TTreeNode& op = node.Children[at];
      if (op.Element != "op") Fail(op, "an operator is missing");
      const int precedence = Precedence(op.Text);
      if (precedence == 0) Fail(op, "'" + op.Text + "' is not a binary operator");
      if (precedence < minimum) break;
      ++at;
      const TValue right = binary(precedence + 1);
      try {
        left = Binary(op.Text, left, right);
      } catch (const EScriptRunError& error) {
        Fail(op, error.what());
      }
    }
    return left;
  };
  TValue value = binary(1);
  if (at != node.Children.size()) Fail(node, "malformed expression");
  return value;
}

TValue TDialogRunner::Operand(TFrame& frame, const TTreeNode& node) {
  try {
    if (node.Element == "number") return Number(node.Text);
    if (node.Element == "string") return TValue::Of(StringLiteral(node.Text));
  } catch (const EScriptRunError& error) {
    Fail(node, error.what());
  }
  if (node.Element == "dsgn") return Designator(frame, node);
  if (node.Element == "expr") return Expression(frame, node);
  if (node.Element == "set") {
    std::vector<TValue> items;
    for (const TTreeNode& item : node.Children) items.push_back(Expression(frame, item));
    return TValue::ListOf(std::move(items));
  }
  Fail(node, "'" + node.Element + "' is not an operand");
}

TValue TDialogRunner::Designator(TFrame& frame, const TTreeNode& dsgn) {
  if (!dsgn.Children.empty() && dsgn.Children[0].Element == "addr") {
    if (dsgn.Children.size() != 2 || dsgn.Children[1].Element != "node")
      Fail(dsgn, "'@' takes one routine name");
    const TRoutine* routine = FindRoutine(dsgn.Children[1].Text, frame.Unit);
    if (routine == nullptr)
      Fail(dsgn.Children[1], "unknown routine '" + dsgn.Children[1].Text + "'");
    return TValue::Of(routine);
  }
  std::size_t nodes = 0;
  for (const TTreeNode& child : dsgn.Children)
    if (child.Element == "node" && child.Text != "[") ++nodes;
  return Steps(frame, dsgn, nodes);
}

// The value of the first count named steps of a designator: a name, then
// members; the expressions after a step (call arguments, or the index after
// "[") belong to it.
TValue TDialogRunner::Steps(TFrame& frame, const TTreeNode& dsgn, std::size_t count) {
  struct TStep {
    const TTreeNode* Node = nullptr;
    std::vector<const TTreeNode*> Args;
  };
  std::vector<TStep> steps;
  for (const TTreeNode& child : dsgn.Children) {
    if (child.Element == "node" && child.Text != "[") {
      steps.push_back(TStep{&child, {}});
    } else if (child.Element == "node") {
      if (steps.empty()) Fail(child, "an index without a name");
    } else if (child.Element == "expr") {
      if (steps.empty()) Fail(child, "arguments without a name");
      steps.back().Args.push_back(&child);
    } else {
      Fail(child, "'" + child.Element + "' cannot stand in a designator");
    }
  }
  if (steps.empty()) Fail(dsgn, "empty designator");
  TValue value;
  for (std::size_t k = 0; k < count && k < steps.size(); ++k) {
    const TTreeNode& at = *steps[k].Node;
    std::vector<TArg> args = Arguments(frame, steps[k].Args, VarArguments(at.Text, frame.Unit));
    if (k == 0) {
      bool found = false;
      value = Name(frame, at, at.Text, args, found);
      if (!found) Fail(at, "unknown name '" + at.Text + "'");
    } else if (value.Kind == TKind::Class && SameName(at.Text, "Create")) {
      value = TValue::Of(MakeObject(value.Text));
    } else if (value.Kind != TKind::Object) {
      Fail(at, "'" + at.Text + "' of a value that is not an object");
    } else {
      value = Member(at, value.Object, at.Text, args);
    }
  }
  return value;
}

std::vector<TDialogRunner::TArg> TDialogRunner::Arguments(
    TFrame& frame, const std::vector<const TTreeNode*>& exprs,
    const std::vector<std::size_t>& byRef) {
  std::vector<TArg> args;
  for (std::size_t i = 0; i < exprs.size(); ++i) {
    TArg arg;
    if (std::find(byRef.begin(), byRef.end(), i) != byRef.end()) {
      arg.Slot = ArgumentSlot(frame, *exprs[i]);
      arg.Value = *arg.Slot;
    } else {
      arg.Value = Expression(frame, *exprs[i]);
    }
    args.push_back(std::move(arg));
  }
  return args;
}

TValue* TDialogRunner::ArgumentSlot(TFrame& frame, const TTreeNode& expr) {
  if (expr.Children.size() == 1 && expr.Children[0].Element == "dsgn" &&
      expr.Children[0].Children.size() == 1) {
    if (TValue* slot = VariableSlot(frame, expr.Children[0].Children[0].Text)) return slot;
  }
  Fail(expr, "a var argument must be a variable");
}

std::vector<std::size_t> TDialogRunner::VarArguments(const std::string& name,
                                                     const TUnit* unit) const {
  if (SameName(name, "InputQueryVar")) return {4};
  if (SameName(name, "InputQueryVar2")) return {4, 5};
  if (SameName(name, "CallEvent")) return {2};
  std::vector<std::size_t> byRef;
  const TRoutine* routine = FindRoutine(name, unit);
  const TTreeNode* parameters = routine ? Child(*routine->Node, "parameters") : nullptr;
  if (parameters == nullptr) return byRef;
  std::size_t at = 0;
  bool ref = false;
  for (const TTreeNode& group : parameters->Children) {
    if (group.Element == "varparams") {
      ref = true;
      continue;
    }
    for (const TTreeNode& ident : group.Children)
      if (ident.Element == "ident") {
        if (ref) byRef.push_back(at);
        ++at;
      }
    ref = false;
  }
  return byRef;
}

TValue* TDialogRunner::LocalSlot(TFrame& frame, const std::string& name) {
  const auto ref = frame.Refs.find(name);
  if (ref != frame.Refs.end()) return ref->second;
  const auto local = frame.Locals.find(name);
  return local != frame.Locals.end() ? &local->second : nullptr;
}

TValue* TDialogRunner::GlobalSlot(TFrame& frame, const std::string& name) {
  if (frame.Unit != nullptr) {
    const auto it = frame.Unit->Globals.find(name);
    if (it != frame.Unit->Globals.end()) return &it->second;
  }
  for (const auto& unit : FUnits) {
    const auto it = unit->Globals.find(name);
    if (it != unit->Globals.end()) return &it->second;
  }
  return nullptr;
}

TValue* TDialogRunner::VariableSlot(TFrame& frame, const std::string& name) {
  if (TValue* slot = LocalSlot(frame, name)) return slot;
  return GlobalSlot(frame, name);
}

TValue TDialogRunner::Name(TFrame& frame, const TTreeNode& at, const std::string& name,
                           std::vector<TArg>& args, bool& found) {
  found = true;
  if (SameName(name, "Self")) return TValue::Of(frame.Self);
  if (SameName(name, "nil")) return TValue();
  if (SameName(name, "True")) return TValue::Of(true);
  if (SameName(name, "False")) return TValue::Of(false);
  if (TValue* slot = LocalSlot(frame, name)) return *slot;
  for (auto it = frame.With.rbegin(); it != frame.With.rend(); ++it)
    if (Has(**it, name)) return Member(at, *it, name, args);
  if (TValue* slot = GlobalSlot(frame, name)) return *slot;
  if (const TRoutine* routine = FindRoutine(name, frame.Unit))
    return Invoke(*routine, args, frame.Self);
  if (frame.Self && Has(*frame.Self, name)) return Member(at, frame.Self, name, args);
  TValue result;
  try {
    if (Library(name, args, result)) return result;
  } catch (const EScriptRunError& error) {
    if (std::isdigit(static_cast<unsigned char>(error.what()[0]))) throw;
    Fail(at, error.what());
  }
  // Class names (TForm, TStringList, ...): casts, "is" and constructors.
  if (name.size() > 1 && name[0] == 'T' && std::isupper(static_cast<unsigned char>(name[1]))) {
    if (args.size() == 1) return args[0].Value;  // a cast
    if (args.empty()) return TValue::ClassOf(name);
  }
  found = false;
  return TValue();
}

}  // namespace dialogrun
