// TDialogRunner: runs the options dialog the way the host does, for tests.
// It interprets the script's syntax tree (the XML kor-scriptc writes, read
// by scriptrun::ReadSyntaxTree), builds the forms from their compiled form
// streams (TFRMOPTION, TFRMDEVICELIST, TFRMOPPROGRESS), and stands in for
// the host's script library (CreateVirtualParamTreeview, InputQueryVar,
// MessageBoxS, AddMenuItem, ...): each library call is recorded in Calls
// and answered as the test tells (OnInput, OnShowModal). The plug-in
// module's CallEvent goes to OnEvent, which the tests connect to the real
// module (TPluginEvents).
//
// Every element of the tree vocabulary runs: units and their globals,
// routines with value and var parameters, the statements, expressions with
// the language's precedence (the tree keeps source order), sets, routine
// addresses, casts, "is" and "with". Names resolve as in the host: locals,
// the objects of enclosing "with" statements, the unit's globals, the other
// units' globals, the current form (Self) and its components, then the
// library. Event handlers run with Self = the form of the component.
//
// Threads: the test thread only; callbacks run on it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ScriptValue.h"
#include "tools/scriptrun/ScriptTree.h"

namespace dialogrun {

// The three form streams, as the build writes them.
struct TDialogStreams {
  std::string Option;      // TFRMOPTION, unit of the main script
  std::string DeviceList;  // TFRMDEVICELIST, unit DeviceList
  std::string OpProgress;  // TFRMOPPROGRESS, unit OpProgress
};

// One call of a library stand-in (or of a plug-in module member): its name
// and its arguments as text (objects by name, nil as "nil").
struct TLibraryCall {
  std::string Name;
  std::vector<std::string> Args;
};

// CallEvent(name, arguments, var result): the answer the script receives.
using TEventHandler =
    std::function<TValue(const std::string& name, const std::vector<TValue>& args)>;
// InputQueryVar / InputQueryVar2: the captions and the values shown (in
// and out); false cancels.
using TInputHandler =
    std::function<bool(const std::vector<std::string>& captions, std::vector<std::string>& values)>;
// ShowModal of a form: its modal result (the handler may change the form).
using TModalHandler = std::function<std::int64_t(TObject& form)>;

inline constexpr std::int64_t kMrOk = 1;
inline constexpr std::int64_t kMrCancel = 2;
inline constexpr std::int64_t kCrDefault = 0;
inline constexpr std::int64_t kCrHourGlass = -11;

struct TUnit {
  std::string Name;  // empty for the main program
  const scriptrun::TTreeNode* Program = nullptr;
  std::map<std::string, TValue, TNoCase> Globals;
  std::map<std::string, std::string, TNoCase> Types;
  std::map<std::string, TRoutine, TNoCase> Routines;
};

class TDialogRunner {
 public:
  // Reads the tree (raises scriptrun::ESyntaxTreeError) and the streams
  // (form::EFormStreamError), and runs every unit's main block.
  TDialogRunner(std::string_view treeXml, TDialogStreams streams);
  ~TDialogRunner();
  TDialogRunner(const TDialogRunner&) = delete;
  TDialogRunner& operator=(const TDialogRunner&) = delete;

  // The host creating the main form: builds it (owned by the plug-in
  // module object) and fires its OnCreate with the form as sender.
  TObject& CreateForm();
  // Builds the main form without firing OnCreate (for FormCreate(nil)).
  TObject& BuildForm();
  // Calls a routine of any unit by name, Self = the main form.
  TValue Call(const std::string& routine, std::vector<TValue> args = {});
  // Fires an event property (OnClick, OnPopup, OnTimer...) of a component
  // with the component as sender; false when the event has no handler.
  bool Fire(TObject& component, const std::string& event);
  // The form's OnCloseQuery: whether it lets the form close (true without
  // a handler).
  bool CloseQuery(TObject& form);
  // One tick of the main form's timer "CheckSearchProgress": fires OnTimer
  // when it is enabled; false when it was not.
  bool Tick();

  TObject& Form() const { return *FForm; }
  TObject& Plugin() const { return *FPlugin; }
  TObject& Screen() const { return *FScreen; }
  // The request tree the script created last (nil before).
  TObjectRef Tree() const { return FTree; }
  // A global variable of the main program or a unit.
  TValue Global(const std::string& name) const;
  // The forms of that name created by CreateDynChildForm that are not freed.
  std::vector<TObjectRef> LiveForms(const std::string& name) const;
  // The recorded calls of that name, in order.
  std::vector<TLibraryCall> CallsOf(const std::string& name) const;

  TEventHandler OnEvent;
  TInputHandler OnInput;
  TModalHandler OnShowModal;
  std::map<std::string, TValue, TNoCase> ModuleParameters;
  std::vector<TLibraryCall> Calls;

 private:
  // One routine activation: its unit, Self, locals (with declared types),
  // var parameters (slots of the caller) and the enclosing "with" objects.
  struct TFrame {
    TUnit* Unit = nullptr;
    TObjectRef Self;
    std::map<std::string, TValue, TNoCase> Locals;
    std::map<std::string, std::string, TNoCase> Types;
    std::map<std::string, TValue*, TNoCase> Refs;
    std::vector<TObjectRef> With;
  };
  // An argument: its value, and for a var parameter the caller's variable.
  struct TArg {
    TValue Value;
    TValue* Slot = nullptr;
  };
  enum class TFlow { Normal, Exit, Break, Continue };

  void LoadUnit(const scriptrun::TTreeNode& program, const std::string& name);
  TObjectRef MakeForm(const std::string& unit, TObjectRef owner);
  // Fire with the values of the handler's var parameters after the sender.
  bool FireWith(TObject& component, const std::string& event, std::vector<TValue>& extra);
  TValue Invoke(const TRoutine& routine, std::vector<TArg>& args, TObjectRef self);
  const TRoutine* FindRoutine(const std::string& name, const TUnit* first) const;

  TFlow Statement(TFrame& frame, const scriptrun::TTreeNode& node);
  TFlow Statements(TFrame& frame, const scriptrun::TTreeNode& node, std::size_t from = 0);
  void Assign(TFrame& frame, const scriptrun::TTreeNode& dsgn, TValue value);
  TValue Expression(TFrame& frame, const scriptrun::TTreeNode& node);
  TValue Operand(TFrame& frame, const scriptrun::TTreeNode& node);
  TValue Designator(TFrame& frame, const scriptrun::TTreeNode& dsgn);
  TValue* VariableSlot(TFrame& frame, const std::string& name);
  TValue* LocalSlot(TFrame& frame, const std::string& name);
  TValue* GlobalSlot(TFrame& frame, const std::string& name);
  TValue* ArgumentSlot(TFrame& frame, const scriptrun::TTreeNode& expr);
  TValue Name(TFrame& frame, const scriptrun::TTreeNode& at, const std::string& name,
              std::vector<TArg>& args, bool& found);
  TValue Member(const scriptrun::TTreeNode& at, TObjectRef object, const std::string& name,
                std::vector<TArg>& args);
  bool Library(const std::string& name, std::vector<TArg>& args, TValue& result);
  bool FormMember(TObject& form, const std::string& name, std::vector<TArg>& args, TValue& result);
  bool ListMember(TObject& object, const std::string& name, std::vector<TArg>& args,
                  TValue& result);
  void SetMember(const scriptrun::TTreeNode& at, TObject& object, const std::string& name,
                 TValue value);
  std::vector<std::size_t> VarArguments(const std::string& name, const TUnit* unit) const;
  std::vector<TArg> Arguments(TFrame& frame, const std::vector<const scriptrun::TTreeNode*>& exprs,
                              const std::vector<std::size_t>& byRef);
  TValue Steps(TFrame& frame, const scriptrun::TTreeNode& dsgn, std::size_t count);
  bool Has(const TObject& object, const std::string& name) const;
  void Record(const std::string& name, const std::vector<TArg>& args);
  void AddStdControls(const TObjectRef& form, bool withTree);
  TValue TreeText(const TObject& tree) const;
  // A 'var' or 'const' declaration into the given names (a unit's globals
  // or a routine's locals); false for any other element.
  bool Declare(TFrame& frame, const scriptrun::TTreeNode& decl,
               std::map<std::string, TValue, TNoCase>& values,
               std::map<std::string, std::string, TNoCase>& types);
  [[noreturn]] void Fail(const scriptrun::TTreeNode& at, const std::string& reason) const;

  TDialogStreams FStreams;
  scriptrun::TTreeNode FRoot;
  std::vector<std::unique_ptr<TUnit>> FUnits;  // [0] the main program
  TObjectRef FPlugin;
  TObjectRef FScreen;
  TObjectRef FForm;
  TObjectRef FTree;
  std::vector<TObjectRef> FChildForms;
  int FDepth = 0;
  std::int64_t FHandles = 0x1000;  // the last window handle given to a form
};

}  // namespace dialogrun
