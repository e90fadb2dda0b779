#include "params/ProxyCodeCustom.h"

namespace {

bool SameName(const char* a, const std::string& b) {
  std::size_t i = 0;
  for (; a[i] != 0 && i < b.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return a[i] == 0 && i == b.size();
}

}  // namespace

const char* ProxyPropertyTypeName(TProxyPropertyType type) {
  switch (type) {
    case TProxyPropertyType::Integer:
      return "integer";
    case TProxyPropertyType::Double:
      return "double";
    case TProxyPropertyType::Boolean:
      return "boolean";
    case TProxyPropertyType::String:
      return "string";
  }
  return "";
}

const std::vector<TProxyPropertyInfo>& TProxyCodeCustomObject::Properties() const {
  static const std::vector<TProxyPropertyInfo> none;
  return none;
}

const TProxyPropertyInfo* TProxyCodeCustomObject::FindProperty(const std::string& name) const {
  for (const TProxyPropertyInfo& info : Properties())
    if (SameName(info.Name, name)) return &info;
  return nullptr;
}

namespace {

const TProxyPropertyInfo& Require(const TProxyPropertyInfo* info, const std::string& name) {
  if (info == nullptr) throw EPropertyError("Property " + name + " does not exist");
  return *info;
}

}  // namespace

OleVariant TProxyCodeCustomObject::GetPropertyValue(const std::string& name) const {
  return Require(FindProperty(name), name).Get(*this);
}

void TProxyCodeCustomObject::SetPropertyValue(const std::string& name, const OleVariant& value) {
  Require(FindProperty(name), name).Set(*this, value);
}
