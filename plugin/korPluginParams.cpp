#include "plugin/korPluginParams.h"

#include <cstring>

#include "framework/SysUtils.h"

namespace plugparams {
namespace {

void Check(plat::HResult hr, const char* call, const char* name) {
  if (!plat::Succeeded(hr))
    throw Exception(std::string("Parameter list call failed: ") + call + " \"" + name + "\"");
}

}  // namespace

OleVariant Read(IkorParamsListA* params, const char* name) {
  if (params == nullptr) return OleVariant();
  plat::TVarData raw;
  std::memset(static_cast<void*>(&raw), 0, sizeof raw);
  Check(params->GetValue(name, 0, -1, &raw), "GetValue", name);
  OleVariant value = OleVariant::FromHost(raw, THostText::Ansi);
  plat::VariantClear(raw);
  return value;
}

bool IsPresent(const OleVariant& value) {
  return !value.IsEmpty() && !value.IsNull();
}

std::string ReadText(IkorParamsListA* params, const char* name) {
  OleVariant value = Read(params, name);
  return IsPresent(value) ? value.AsAnsiString() : std::string();
}

std::uintptr_t AsHandle(const OleVariant& value) {
  return static_cast<std::uintptr_t>(value.AsInt64());
}

bool HasItem(IkorParamsListA* params, const char* name) {
  if (params == nullptr) return false;
  TIntfRef<IkorParamsListItemA> item;
  Check(params->FindItem(name, 0, -1, item.Put()), "FindItem", name);
  return static_cast<bool>(item);
}

void WriteResult(IkorParamsListA* params, const OleVariant& value) {
  if (params == nullptr) return;
  TIntfRef<IkorParamsListItemA> item;
  Check(params->SetValue("RESULT", &value.Data(), 0, item.Put()), "SetValue", "RESULT");
}

}  // namespace plugparams
