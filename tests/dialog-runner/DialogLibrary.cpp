// The host's side of TDialogRunner: forms built from their form streams,
// members of the stand-in objects, and the recording stand-ins for the
// host's script library.
#include <algorithm>
#include <cmath>

#include "DialogRunner.h"
#include "framework/FormStream.h"

namespace dialogrun {

using scriptrun::TTreeNode;

namespace {

const char* const kLineEnding = "\r\n";

bool OneOf(const std::string& name, std::initializer_list<const char*> names) {
  for (const char* candidate : names)
    if (SameName(name, candidate)) return true;
  return false;
}

// An object in messages: its name, or its class when it has none.
std::string Describe(const TObject& object) {
  return object.Name.empty() ? "the " + object.ClassName : "'" + object.Name + "'";
}

std::string Narrow(const std::u16string& wide) {
  std::string text;
  for (char16_t c : wide) text += c < 256 ? static_cast<char>(c) : '?';
  return text;
}

TValue FromForm(const form::TFormValue& value) {
  using form::TValueType;
  switch (value.Type) {
    case TValueType::vaInt8:
    case TValueType::vaInt16:
    case TValueType::vaInt32:
    case TValueType::vaInt64:
    case TValueType::vaCurrency:
      return TValue::Of(value.Int);
    case TValueType::vaSingle:
    case TValueType::vaDate:
    case TValueType::vaDouble:
      return TValue::Of(value.Float);
    case TValueType::vaExtended:
      return TValue::Of(value.ExtendedValue());
    case TValueType::vaString:
    case TValueType::vaLString:
    case TValueType::vaUTF8String:
    case TValueType::vaIdent:
      return TValue::Of(value.Bytes);
    case TValueType::vaWString:
      return TValue::Of(Narrow(value.Wide));
    case TValueType::vaTrue:
      return TValue::Of(true);
    case TValueType::vaFalse:
      return TValue::Of(false);
    case TValueType::vaSet: {
      std::vector<TValue> names;
      for (const std::string& name : value.Names) names.push_back(TValue::Of(name));
      return TValue::ListOf(std::move(names));
    }
    case TValueType::vaList: {
      std::vector<TValue> items;
      for (const form::TFormValue& item : value.List) items.push_back(FromForm(item));
      return TValue::ListOf(std::move(items));
    }
    default:
      return TValue();
  }
}

// The class of the list behind an object's Items (or a row's SubItems).
std::string ListClass(const TObject& owner, const std::string& property) {
  if (SameName(property, "SubItems")) return "TStrings";
  if (owner.ClassName.find("ListView") != std::string::npos) return "TListItems";
  if (owner.ClassName.find("PopupMenu") != std::string::npos) return "TPluginCfgMenuItems";
  return "TStrings";
}

TObjectRef BuildObject(const form::TFormObject& source, const TObjectRef& form,
                       const TObjectRef& owner) {
  TObjectRef object = MakeObject(source.ClassName, source.Name);
  object->Form = form ? form : object;
  object->Owner = owner;
  for (const form::TFormProperty& property : source.Properties) {
    const std::size_t dot = property.Name.find('.');
    if (dot != std::string::npos && property.Value.Type == form::TValueType::vaList) {
      // Items.Strings and the like: a string list of the object.
      const std::string list = property.Name.substr(0, dot);
      TObjectRef strings = MakeObject(ListClass(*object, list), list);
      strings->Parent = object;
      for (const form::TFormValue& item : property.Value.List)
        strings->Strings.push_back(FromForm(item).AsText());
      object->Set(list, TValue::Of(strings));
      continue;
    }
    object->Set(property.Name, FromForm(property.Value));
  }
  for (const form::TFormObject& child : source.Children) {
    TObjectRef built = BuildObject(child, object->Form.lock(), object->Form.lock());
    built->Parent = object;
    object->Components.push_back(std::move(built));
  }
  return object;
}

// Field n (1-based) of text split at separator; empty when there is none.
std::string Field(const std::string& text, const std::string& separator, std::int64_t n) {
  if (n < 1 || separator.empty()) return std::string();
  std::size_t from = 0;
  for (std::int64_t i = 1; i < n; ++i) {
    const std::size_t at = text.find(separator, from);
    if (at == std::string::npos) return std::string();
    from = at + separator.size();
  }
  const std::size_t end = text.find(separator, from);
  return text.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

// Lines as a string list reads them: CR LF, LF or CR; no empty last line.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t end = text.find_first_of("\r\n", from);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(from, end - from));
    from = end;
    if (from < text.size() && text[from] == '\r') ++from;
    if (from < text.size() && text[from] == '\n' && (from == end || text[end] == '\r')) ++from;
  }
  return lines;
}

bool ParseInteger(const std::string& text, std::int64_t& value) {
  try {
    value = TValue::Of(text).AsInt();
    return true;
  } catch (const EScriptRunError&) {
    return false;
  }
}

void Insert(TObject& list, const TObjectRef& item, std::int64_t index) {
  const std::int64_t count = static_cast<std::int64_t>(list.Items.size());
  index = std::clamp<std::int64_t>(index, 0, count);
  list.Items.insert(list.Items.begin() + index, item);
}

}  // namespace

// ------------------------------------------------------------------ forms

TObjectRef TDialogRunner::MakeForm(const std::string& unit, TObjectRef owner) {
  const std::string* bytes = nullptr;
  if (SameName(unit, "frmOption")) bytes = &FStreams.Option;
  if (SameName(unit, "DeviceList")) bytes = &FStreams.DeviceList;
  if (SameName(unit, "OpProgress")) bytes = &FStreams.OpProgress;
  if (bytes == nullptr) throw EScriptRunError("no form for the unit '" + unit + "'");
  TObjectRef form = BuildObject(form::ReadFormStream(*bytes), nullptr, owner);
  form->Unit = unit;
  form->Set("Handle", TValue::Of(++FHandles));
  return form;
}

TObject& TDialogRunner::BuildForm() {
  FForm = MakeForm("frmOption", FPlugin);
  return *FForm;
}

TObject& TDialogRunner::CreateForm() {
  BuildForm();
  Fire(*FForm, "OnCreate");
  return *FForm;
}

TValue TDialogRunner::Call(const std::string& routine, std::vector<TValue> values) {
  const TRoutine* found = FindRoutine(routine, nullptr);
  if (found == nullptr) throw EScriptRunError("unknown routine '" + routine + "'");
  std::vector<TArg> args;
  for (TValue& value : values) args.push_back(TArg{std::move(value), nullptr});
  return Invoke(*found, args, FForm);
}

bool TDialogRunner::Fire(TObject& component, const std::string& event) {
  std::vector<TValue> ignored;
  return FireWith(component, event, ignored);
}

bool TDialogRunner::CloseQuery(TObject& form) {
  std::vector<TValue> canClose{TValue::Of(true)};
  FireWith(form, "OnCloseQuery", canClose);
  return canClose[0].AsBool();
}

bool TDialogRunner::FireWith(TObject& component, const std::string& event,
                             std::vector<TValue>& extra) {
  if (component.Freed) throw EScriptRunError(Describe(component) + " was freed");
  const TValue handler = component.Get(event);
  const TRoutine* routine = nullptr;
  TObjectRef form = component.Form.lock();
  if (handler.Kind == TKind::Routine) {
    routine = handler.Routine;
  } else if (handler.Kind == TKind::Text) {
    TUnit* unit = nullptr;
    for (const auto& candidate : FUnits)
      if (form && SameName(candidate->Name, form->Unit)) unit = candidate.get();
    routine = FindRoutine(handler.Text, unit);
    if (routine == nullptr)
      throw EScriptRunError(event + " of '" + component.Name + "': no routine '" + handler.Text +
                            "'");
  } else {
    return false;
  }
  // The sender, then the caller's variables for the var parameters that
  // follow it, such as the CanClose of OnCloseQuery.
  std::vector<TArg> args;
  args.push_back(TArg{TValue::Of(component.shared_from_this()), nullptr});
  const std::vector<std::size_t> byRef = VarArguments(routine->Name, routine->Unit);
  if (byRef.size() > extra.size())
    throw EScriptRunError(event + " of '" + component.Name + "': " + routine->Name +
                          " has more var parameters than the event");
  for (std::size_t i = 0; i < byRef.size(); ++i) args.push_back(TArg{extra[i], &extra[i]});
  Invoke(*routine, args, form ? form : FForm);
  return true;
}

bool TDialogRunner::Tick() {
  TObjectRef timer = FForm ? FForm->FindComponent("CheckSearchProgress") : nullptr;
  if (!timer || !timer->Get("Enabled").AsBool()) return false;
  return Fire(*timer, "OnTimer");
}

TValue TDialogRunner::Global(const std::string& name) const {
  for (const auto& unit : FUnits) {
    const auto it = unit->Globals.find(name);
    if (it != unit->Globals.end()) return it->second;
  }
  throw EScriptRunError("unknown global '" + name + "'");
}

std::vector<TObjectRef> TDialogRunner::LiveForms(const std::string& name) const {
  std::vector<TObjectRef> forms;
  for (const TObjectRef& form : FChildForms)
    if (!form->Freed && SameName(form->Name, name)) forms.push_back(form);
  return forms;
}

std::vector<TLibraryCall> TDialogRunner::CallsOf(const std::string& name) const {
  std::vector<TLibraryCall> calls;
  for (const TLibraryCall& call : Calls)
    if (SameName(call.Name, name)) calls.push_back(call);
  return calls;
}

void TDialogRunner::Record(const std::string& name, const std::vector<TArg>& args) {
  TLibraryCall call{name, {}};
  for (const TArg& arg : args) call.Args.push_back(arg.Value.AsText());
  Calls.push_back(std::move(call));
}

// The host's standard controls: OK and Cancel, and with the tree its
// button panel and pop-up menu, whose list holds a caption item.
void TDialogRunner::AddStdControls(const TObjectRef& form, bool withTree) {
  auto add = [&](const std::string& className, const std::string& name) {
    TObjectRef control = form->FindComponent(name);
    if (control) return control;
    control = MakeObject(className, name);
    control->Form = form;
    control->Owner = form;
    control->Parent = form;
    form->Components.push_back(control);
    return control;
  };
  add("TButton", "btnOK");
  add("TButton", "btnCancel");
  if (!withTree) return;
  add("TPanel", "panParamTreeview");
  TObjectRef popup = add("TPopupMenu", "VirtualTreePopup");
  TObjectRef list = MakeObject("TPluginCfgMenuItems", "");
  list->Parent = popup;
  popup->Set("Items", TValue::Of(list));
  for (const char* name : {"pmExpandAll", "pmCollapseAll", "pmCaption"}) {
    TObjectRef item = add("TPluginCfgMenuItem", name);
    item->Parent = list;
    list->Items.push_back(item);
  }
}

TValue TDialogRunner::TreeText(const TObject& tree) const {
  const std::string base = tree.Get("Text").AsText();
  if (tree.Strings.empty()) return TValue::Of(base);
  // Append takes request entries, alone or inside their own MBUS element.
  // The tree keeps nodes, not text: a check box's state, whether the entry
  // gave it as "checked" (the plug-in's search fragment) or "check", is
  // written back as the tree writes every check state, "check".
  std::string fragments;
  for (std::string fragment : tree.Strings) {
    for (std::size_t at = fragment.find(" checked=\""); at != std::string::npos;
         at = fragment.find(" checked=\"", at))
      fragment.erase(at + 6, 2);
    const std::size_t open = fragment.find("<MBUS>");
    const std::size_t close = fragment.rfind("</MBUS>");
    if (open == std::string::npos || close == std::string::npos || close < open) {
      fragments += fragment;
      continue;
    }
    std::string inner = fragment.substr(open + 6, close - open - 6);
    const std::size_t first = inner.find_first_not_of("\r\n");
    const std::size_t last = inner.find_last_not_of("\r\n");
    fragments += first == std::string::npos ? std::string() : inner.substr(first, last - first + 1);
  }
  const std::size_t close = base.rfind("</MBUS>");
  if (close == std::string::npos) return TValue::Of("<MBUS>" + fragments + "</MBUS>");
  return TValue::Of(base.substr(0, close) + fragments + base.substr(close));
}

// ---------------------------------------------------------------- members

bool TDialogRunner::Has(const TObject& object, const std::string& name) const {
  if (object.Props.count(name) != 0 || object.FindComponent(name)) return true;
  if (object.ClassName == "TStrings" || object.ClassName == "TStringList")
    return OneOf(name, {"Text", "Count", "Strings", "Add", "Clear", "Free"});
  if (object.ClassName == "TListItems" || object.ClassName == "TPluginCfgMenuItems")
    return OneOf(name, {"Count", "Item", "Items", "Add", "Clear"});
  if (object.IsForm())
    return OneOf(name, {"Owner", "Hide", "Show", "BringToFront", "ShowModal", "Close",
                        "FindComponent", "Handle", "Caption", "Free", "Name", "Tag", "Visible"});
  return false;
}

bool TDialogRunner::FormMember(TObject& form, const std::string& name, std::vector<TArg>& args,
                               TValue& result) {
  if (OneOf(name, {"Hide", "Show", "Close"})) {
    form.Set("Visible", TValue::Of(SameName(name, "Show")));
    Record(form.Name + "." + name, args);
  } else if (SameName(name, "BringToFront")) {
    form.Set("FrontCount", TValue::Of(form.Get("FrontCount").AsInt() + 1));
    Record(form.Name + ".BringToFront", args);
  } else if (SameName(name, "ShowModal")) {
    Record(form.Name + ".ShowModal", args);
    result = TValue::Of(OnShowModal ? OnShowModal(form) : kMrCancel);
  } else if (SameName(name, "FindComponent") && args.size() == 1) {
    result = TValue::Of(form.FindComponent(args[0].Value.AsText()));
  } else {
    return false;
  }
  return true;
}

bool TDialogRunner::ListMember(TObject& object, const std::string& name, std::vector<TArg>& args,
                               TValue& result) {
  const std::string& kind = object.ClassName;
  auto index = [&](std::size_t size) {
    if (args.size() != 1) throw EScriptRunError(name + " takes one index");
    const std::int64_t i = args[0].Value.AsInt();
    if (i < 0 || i >= static_cast<std::int64_t>(size))
      throw EScriptRunError(name + "[" + std::to_string(i) + "] is out of bounds");
    return static_cast<std::size_t>(i);
  };
  if (kind == "TStrings" || kind == "TStringList") {
    if (SameName(name, "Count")) {
      result = TValue::Of(static_cast<std::int64_t>(object.Strings.size()));
    } else if (SameName(name, "Add") && args.size() == 1) {
      object.Strings.push_back(args[0].Value.AsText());
      result = TValue::Of(static_cast<std::int64_t>(object.Strings.size() - 1));
    } else if (SameName(name, "Clear")) {
      object.Strings.clear();
    } else if (SameName(name, "Strings")) {
      result = TValue::Of(object.Strings[index(object.Strings.size())]);
    } else if (SameName(name, "Text")) {
      std::string text;
      for (const std::string& line : object.Strings) text += line + kLineEnding;
      result = TValue::Of(text);
    } else {
      return false;
    }
    return true;
  }
  if (kind == "TListItems" || kind == "TPluginCfgMenuItems") {
    if (SameName(name, "Count")) {
      result = TValue::Of(static_cast<std::int64_t>(object.Items.size()));
    } else if (OneOf(name, {"Item", "Items"})) {
      result = TValue::Of(object.Items[index(object.Items.size())]);
    } else if (kind == "TListItems" && SameName(name, "Add") && args.empty()) {
      TObjectRef row = MakeObject("TListItem", "");
      row->Parent = object.Parent;
      row->Set("Checked", TValue::Of(false));
      row->Set("Caption", TValue::Of(std::string()));
      row->Set("Data", TValue());
      object.Items.push_back(row);
      result = TValue::Of(row);
    } else if (SameName(name, "Clear")) {
      object.Items.clear();
    } else {
      return false;
    }
    return true;
  }
  return false;
}

TValue TDialogRunner::Member(const TTreeNode& at, TObjectRef object, const std::string& name,
                             std::vector<TArg>& args) {
  TObject& target = *object;
  if (target.Freed) Fail(at, Describe(target) + " was freed");
  TValue result;
  try {
    if (SameName(name, "Free")) {
      if (target.IsForm()) Fire(target, "OnDestroy");
      target.Freed = true;
      return result;
    }
    if (SameName(name, "Owner")) return TValue::Of(target.Owner.lock());
    if (SameName(name, "Parent")) return TValue::Of(target.Parent.lock());
    if (SameName(name, "Name")) return TValue::Of(target.Name);
    if (&target == FPlugin.get()) {
      if (SameName(name, "CallEvent") && args.size() == 3) {
        Record("CallEvent", args);
        std::vector<TValue> values = args[1].Value.Kind == TKind::List
                                         ? args[1].Value.List
                                         : std::vector<TValue>{args[1].Value};
        if (!OnEvent) Fail(at, "CallEvent without an event handler");
        *args[2].Slot = OnEvent(args[0].Value.AsText(), values);
        return result;
      }
      if (SameName(name, "Translate") && args.size() == 1) {
        Record("Translate", args);
        return result;
      }
      if (SameName(name, "GetModuleParameter") && args.size() == 1) {
        const auto it = ModuleParameters.find(args[0].Value.AsText());
        return it == ModuleParameters.end() ? TValue() : it->second;
      }
    }
    if (target.ClassName == "TVirtualParamTreeviewEx") {
      if (SameName(name, "AsText")) return TreeText(target);
      if (SameName(name, "Append") && args.size() == 1) {
        Record("propTree.Append", args);
        target.Strings.push_back(args[0].Value.AsText());
        return result;
      }
      if (OneOf(name, {"CancelEdit", "PopupMenuPopup"})) {
        Record("propTree." + name, args);
        return result;
      }
    }
    if (target.IsForm() && FormMember(target, name, args, result)) return result;
    if (ListMember(target, name, args, result)) return result;
    if (OneOf(name, {"Items", "SubItems"}) && target.Get(name).Kind == TKind::Nil) {
      TObjectRef list = MakeObject(ListClass(target, name), name);
      list->Parent = object;
      target.Set(name, TValue::Of(list));
    }
    if (!args.empty()) {
      // An indexed default property of a list property, or an unknown method.
      Fail(at, "'" + target.Name + "' (" + target.ClassName + ") has no method '" + name + "'");
    }
    const auto it = target.Props.find(name);
    if (it != target.Props.end()) return it->second;
    // A control without borders: its client area is its size.
    if (SameName(name, "ClientWidth")) return target.Get("Width");
    if (SameName(name, "ClientHeight")) return target.Get("Height");
    if (TObjectRef component = target.FindComponent(name)) return TValue::Of(component);
    return result;
  } catch (const EScriptRunError& error) {
    if (std::isdigit(static_cast<unsigned char>(error.what()[0]))) throw;
    Fail(at, error.what());
  }
}

void TDialogRunner::SetMember(const TTreeNode& at, TObject& object, const std::string& name,
                              TValue value) {
  if (object.Freed) Fail(at, Describe(object) + " was freed");
  if (object.ClassName == "TVirtualParamTreeviewEx" && SameName(name, "AsText")) {
    object.Set("Text", std::move(value));
    object.Strings.clear();
    return;
  }
  if ((object.ClassName == "TStrings" || object.ClassName == "TStringList") &&
      SameName(name, "Text")) {
    object.Strings = SplitLines(value.AsText());
    return;
  }
  object.Set(name, std::move(value));
}

// ---------------------------------------------------------------- library

bool TDialogRunner::Library(const std::string& name, std::vector<TArg>& args, TValue& result) {
  auto need = [&](std::size_t count) {
    if (args.size() != count)
      throw EScriptRunError(name + " takes " + std::to_string(count) + " arguments");
  };
  auto object = [&](std::size_t i) {
    if (args[i].Value.Kind != TKind::Object)
      throw EScriptRunError("argument " + std::to_string(i + 1) + " of " + name +
                            " is not an object");
    return args[i].Value.Object;
  };
  // Constants and the language's own routines.
  if (SameName(name, "LineEnding"))
    result = TValue::Of(kLineEnding);
  else if (SameName(name, "Screen"))
    result = TValue::Of(FScreen);
  else if (SameName(name, "crHourGlass"))
    result = TValue::Of(kCrHourGlass);
  else if (SameName(name, "crDefault"))
    result = TValue::Of(kCrDefault);
  else if (SameName(name, "mrOk"))
    result = TValue::Of(kMrOk);
  else if (SameName(name, "mrCancel"))
    result = TValue::Of(kMrCancel);
  else if (OneOf(name, {"ifoCloseForm", "ifoStdControls"}))
    result = TValue::Of(name);
  else if (SameName(name, "Pos")) {
    need(2);
    const std::size_t at = args[1].Value.AsText().find(args[0].Value.AsText());
    result = TValue::Of(static_cast<std::int64_t>(at == std::string::npos ? 0 : at + 1));
  } else if (SameName(name, "Copy")) {
    need(3);
    const std::string text = args[0].Value.AsText();
    const std::int64_t from = std::max<std::int64_t>(args[1].Value.AsInt(), 1) - 1;
    const std::int64_t count = std::max<std::int64_t>(args[2].Value.AsInt(), 0);
    result = TValue::Of(
        from >= static_cast<std::int64_t>(text.size())
            ? std::string()
            : text.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(count)));
  } else if (SameName(name, "Length")) {
    need(1);
    result = TValue::Of(static_cast<std::int64_t>(args[0].Value.AsText().size()));
  } else if (SameName(name, "IntToStr")) {
    need(1);
    result = TValue::Of(std::to_string(args[0].Value.AsInt()));
  } else if (OneOf(name, {"StrToIntDef", "StrToInt64Def"})) {
    need(2);
    std::int64_t value = 0;
    const bool ok = ParseInteger(args[0].Value.AsText(), value) &&
                    (SameName(name, "StrToInt64Def") || (value >= INT32_MIN && value <= INT32_MAX));
    result = ok ? TValue::Of(value) : TValue::Of(args[1].Value.AsInt());
  } else if (SameName(name, "Trunc")) {
    need(1);
    result = TValue::Of(static_cast<std::int64_t>(std::trunc(args[0].Value.AsFloat())));
  } else if (SameName(name, "Int2Obj") || SameName(name, "Obj2Int")) {
    need(1);
    result = TValue::Of(args[0].Value.AsInt());
  } else if (SameName(name, "GetParam")) {
    need(3);
    result =
        TValue::Of(Field(args[0].Value.AsText(), args[1].Value.AsText(), args[2].Value.AsInt()));
  }
  // The host's library: recorded.
  else if (SameName(name, "CreateVirtualParamTreeview")) {
    need(4);
    Record(name, args);
    FTree = MakeObject("TVirtualParamTreeviewEx", "propTree");
    FTree->Owner = object(0);
    FTree->Parent = object(1);
    FTree->Set("Header", args[2].Value);
    FTree->Set("Template", args[3].Value);
    result = TValue::Of(FTree);
  } else if (SameName(name, "FreeVirtualParamTreeview")) {
    need(1);
    Record(name, args);
    if (args[0].Value.Kind == TKind::Object) args[0].Value.Object->Freed = true;
  } else if (SameName(name, "InitPluginConfigForm")) {
    need(2);
    Record(name, args);
    for (const TValue& option : args[1].Value.List)
      if (SameName(option.AsText(), "ifoStdControls")) AddStdControls(object(0), true);
  } else if (SameName(name, "LoadPluginConfigForm")) {
    need(1);
    Record(name, args);
  } else if (SameName(name, "CreateStdControls")) {
    need(1);
    Record(name, args);
    AddStdControls(object(0), false);
  } else if (SameName(name, "CreateDynChildForm")) {
    need(4);
    Record(name, args);
    TObjectRef form = MakeForm(args[1].Value.AsText(), object(0));
    if (!SameName(form->Name, args[2].Value.AsText()) ||
        !SameName(form->ClassName, args[3].Value.AsText()))
      throw EScriptRunError("the form of unit " + args[1].Value.AsText() + " is " + form->Name +
                            ": " + form->ClassName);
    FChildForms.push_back(form);
    Fire(*form, "OnCreate");
    result = TValue::Of(form);
  } else if (SameName(name, "InputQueryVar") || SameName(name, "InputQueryVar2")) {
    const bool two = SameName(name, "InputQueryVar2");
    need(two ? 7 : 6);
    Record(name, args);
    std::vector<std::string> values{args[4].Value.AsText()};
    if (two) values.push_back(args[5].Value.AsText());
    const bool ok =
        OnInput ? OnInput({args[2].Value.AsText(), args[3].Value.AsText()}, values) : true;
    if (ok) {
      for (std::size_t i = 0; i < values.size() && i + 4 < args.size(); ++i) {
        TValue& slot = *args[i + 4].Slot;
        slot = slot.Kind == TKind::Int ? TValue::Of(TValue::Of(values[i]).AsInt())
                                       : TValue::Of(values[i]);
      }
    }
    result = TValue::Of(ok);
  } else if (SameName(name, "MessageBoxS")) {
    need(4);
    Record(name, args);
    result = TValue::Of(kMrOk);
  } else if (SameName(name, "AddMenuSep") || SameName(name, "AddMenuItem")) {
    const bool separator = SameName(name, "AddMenuSep");
    need(separator ? 3 : 6);
    Record(name, args);
    TObjectRef owner = object(0);
    TObjectRef list = object(1);
    TObjectRef item = MakeObject("TPluginCfgMenuItem", "");
    item->Owner = owner;
    item->Form = owner;
    item->Parent = list;
    item->Set("Caption", TValue::Of(separator ? std::string("-") : args[2].Value.AsText()));
    item->Set("Tag", TValue::Of(std::int64_t{0}));
    if (!separator) {
      item->Set("OnClick", args[3].Value);
      item->Set("Hint", args[4].Value);
    }
    Insert(*list, item, args[separator ? 2 : 5].Value.AsInt());
    result = TValue::Of(item);
  } else {
    return false;
  }
  return true;
}

}  // namespace dialogrun
