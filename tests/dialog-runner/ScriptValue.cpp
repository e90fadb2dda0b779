#include "ScriptValue.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace dialogrun {

namespace {

char Lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// Decimal or "$" hexadecimal, optionally signed; false when not a number.
bool ParseInt(const std::string& text, std::int64_t& value) {
  if (text.empty()) return false;
  const bool negative = text[0] == '-';
  std::size_t at = negative || text[0] == '+' ? 1 : 0;
  int base = 10;
  if (at < text.size() && text[at] == '$') {
    base = 16;
    ++at;
  }
  if (at >= text.size()) return false;
  std::uint64_t magnitude = 0;
  const char* first = text.data() + at;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, magnitude, base);
  if (error != std::errc() || end != last) return false;
  if (magnitude > static_cast<std::uint64_t>(INT64_MAX)) return false;
  value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
  return true;
}

}  // namespace

bool TNoCase::operator()(const std::string& a, const std::string& b) const {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const char x = Lower(a[i]);
    const char y = Lower(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

TValue TValue::Of(bool value) {
  TValue v;
  v.Kind = TKind::Bool;
  v.Bool = value;
  return v;
}

TValue TValue::Of(std::int64_t value) {
  TValue v;
  v.Kind = TKind::Int;
  v.Int = value;
  return v;
}

TValue TValue::Of(double value) {
  TValue v;
  v.Kind = TKind::Float;
  v.Float = value;
  return v;
}

TValue TValue::Of(std::string value) {
  TValue v;
  v.Kind = TKind::Text;
  v.Text = std::move(value);
  return v;
}

TValue TValue::Of(TObjectRef value) {
  TValue v;
  if (value) {
    v.Kind = TKind::Object;
    v.Object = std::move(value);
  }
  return v;
}

TValue TValue::Of(const TRoutine* value) {
  TValue v;
  v.Kind = TKind::Routine;
  v.Routine = value;
  return v;
}

TValue TValue::ClassOf(std::string name) {
  TValue v;
  v.Kind = TKind::Class;
  v.Text = std::move(name);
  return v;
}

TValue TValue::ListOf(std::vector<TValue> items) {
  TValue v;
  v.Kind = TKind::List;
  v.List = std::move(items);
  return v;
}

std::string TValue::AsText() const {
  switch (Kind) {
    case TKind::Nil:
      return std::string();
    case TKind::Bool:
      return Bool ? "True" : "False";
    case TKind::Int:
      return std::to_string(Int);
    case TKind::Float: {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%.15g", Float);
      return buffer;
    }
    case TKind::Text:
      return Text;
    case TKind::Object:
      return Object->Name;
    case TKind::Routine:
      return Routine->Name;
    case TKind::Class:
      return Text;
    case TKind::List: {
      std::string text = "[";
      for (std::size_t i = 0; i < List.size(); ++i) text += (i ? ", " : "") + List[i].AsText();
      return text + "]";
    }
  }
  return std::string();
}

std::int64_t TValue::AsInt() const {
  switch (Kind) {
    case TKind::Nil:
      return 0;
    case TKind::Bool:
      return Bool ? 1 : 0;
    case TKind::Int:
      return Int;
    case TKind::Float:
      return static_cast<std::int64_t>(std::llround(Float));
    case TKind::Text: {
      std::int64_t value = 0;
      if (!ParseInt(Text, value)) throw EScriptRunError("'" + Text + "' is not an integer");
      return value;
    }
    default:
      throw EScriptRunError("'" + AsText() + "' is not an integer");
  }
}

double TValue::AsFloat() const {
  if (Kind == TKind::Float) return Float;
  if (Kind == TKind::Text) {
    char* end = nullptr;
    const double value = std::strtod(Text.c_str(), &end);
    if (Text.empty() || end != Text.c_str() + Text.size())
      throw EScriptRunError("'" + Text + "' is not a number");
    return value;
  }
  return static_cast<double>(AsInt());
}

bool TValue::AsBool() const {
  switch (Kind) {
    case TKind::Nil:
      return false;
    case TKind::Bool:
      return Bool;
    case TKind::Int:
      return Int != 0;
    case TKind::Float:
      return Float != 0;
    case TKind::Text:
      if (SameName(Text, "true")) return true;
      if (SameName(Text, "false") || Text.empty()) return false;
      return AsInt() != 0;
    default:
      throw EScriptRunError("'" + AsText() + "' is not a Boolean");
  }
}

TObjectRef TObject::FindComponent(std::string_view name) const {
  for (const TObjectRef& child : Components) {
    if (child->Freed) continue;
    if (SameName(child->Name, name)) return child;
    if (TObjectRef inner = child->FindComponent(name)) return inner;
  }
  return nullptr;
}

TValue TObject::Get(const std::string& name) const {
  const auto it = Props.find(name);
  return it == Props.end() ? TValue() : it->second;
}

TObjectRef MakeObject(std::string className, std::string name) {
  auto object = std::make_shared<TObject>();
  object->ClassName = std::move(className);
  object->Name = std::move(name);
  return object;
}

}  // namespace dialogrun
