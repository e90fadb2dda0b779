// Values and objects of the dialog script runner: what a script variable,
// a property or an argument holds, and the stand-in objects (forms built
// from form streams, their components, the host's tree, lists and menus)
// that the script reaches by name.
//
// Threads: the test thread only (the runner is single-threaded, as the
// host's script engine is).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tools/scriptrun/ScriptTree.h"

namespace dialogrun {

// A script that cannot run: an unknown name, a member of nil or of a freed
// object, a wrong argument. The message starts with the script position.
class EScriptRunError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Names compare without regard to ASCII case, as in the script language.
struct TNoCase {
  bool operator()(const std::string& a, const std::string& b) const;
};
bool SameName(std::string_view a, std::string_view b);

struct TObject;
using TObjectRef = std::shared_ptr<TObject>;
struct TUnit;

// A routine of a unit: its procedure/function element.
struct TRoutine {
  std::string Name;
  const scriptrun::TTreeNode* Node = nullptr;
  TUnit* Unit = nullptr;
};

enum class TKind { Nil, Bool, Int, Float, Text, Object, Routine, Class, List };

// Nil is also an unassigned Variant: it reads as 0, "" or false.
struct TValue {
  TKind Kind = TKind::Nil;
  bool Bool = false;
  std::int64_t Int = 0;
  double Float = 0;
  std::string Text;  // Text; Class: the class name
  TObjectRef Object;
  const TRoutine* Routine = nullptr;
  std::vector<TValue> List;

  static TValue Of(bool value);
  static TValue Of(std::int64_t value);
  static TValue Of(int value) { return Of(static_cast<std::int64_t>(value)); }
  static TValue Of(double value);
  static TValue Of(std::string value);
  static TValue Of(const char* value) { return Of(std::string(value)); }
  static TValue Of(TObjectRef value);
  static TValue Of(const TRoutine* value);
  static TValue ClassOf(std::string name);
  static TValue ListOf(std::vector<TValue> items);

  bool IsNumber() const { return Kind == TKind::Int || Kind == TKind::Float; }
  // Conversions as the script engine makes them; text that is not a number
  // raises EScriptRunError.
  std::string AsText() const;
  std::int64_t AsInt() const;
  double AsFloat() const;
  bool AsBool() const;
};

// One stand-in object. Components: the objects it owns that FindComponent
// and member access find by name (a form's controls, menu items). Items:
// the members of a list (menu items of a menu list, rows of a list view).
// Strings: the lines of a string list.
struct TObject : std::enable_shared_from_this<TObject> {
  std::string ClassName;
  std::string Name;
  std::weak_ptr<TObject> Owner;
  std::weak_ptr<TObject> Parent;
  std::weak_ptr<TObject> Form;  // the form whose unit handles its events
  std::string Unit;             // forms: the script unit of their handlers
  std::map<std::string, TValue, TNoCase> Props;
  std::vector<TObjectRef> Components;
  std::vector<TObjectRef> Items;
  std::vector<std::string> Strings;
  bool Freed = false;

  bool IsForm() const { return !Unit.empty(); }
  // This object's component of that name, depth first; nil when none.
  TObjectRef FindComponent(std::string_view name) const;
  // A property's value; Nil when it was never set.
  TValue Get(const std::string& name) const;
  void Set(const std::string& name, TValue value) { Props[name] = std::move(value); }
};

TObjectRef MakeObject(std::string className, std::string name = {});

}  // namespace dialogrun
