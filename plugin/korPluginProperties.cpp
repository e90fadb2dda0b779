#include "plugin/korPluginProperties.h"

#include <string>

#include "framework/SysUtils.h"
#include "platform/Resources.h"
#include "plugin/korStringHolder.h"

void ReadFormStrings(std::string_view stream, std::string_view component, TStringList& into) {
  form::TFormObject root;
  try {
    root = form::ReadFormStream(stream);
  } catch (const form::EFormStreamError& error) {
    throw Exception(error.what());
  }
  const form::TFormObject* record = root.FindComponent(component);
  if (record == nullptr || record->ClassName != TkorStrHolder::kClassName)
    throw Exception("Form " + root.ClassName + " has no string holder " + std::string(component));
  TkorStrHolder holder;
  holder.ReadFromForm(*record);
  holder.AssignTo(into);
}

void LoadFormStrings(std::string_view resource, std::string_view component, TStringList& into) {
  const std::string stream = plat::LoadDataResource(resource);
  if (stream.empty()) throw Exception("Form resource " + std::string(resource) + " not found");
  ReadFormStrings(stream, component, into);
}
