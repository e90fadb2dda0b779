// Configuration proxies: plain components that stand in for a form when
// settings are loaded or saved without one. Each proxy class publishes its
// properties in a table (name, type, getter, setter), so the settings store
// reaches them by name at run time. A proxy is used by one thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/Component.h"
#include "framework/SysUtils.h"
#include "params/Variants.h"

enum class TProxyPropertyType : std::uint8_t { Integer, Double, Boolean, String };

// "integer", "double", "boolean" or "string".
const char* ProxyPropertyTypeName(TProxyPropertyType type);

class TProxyCodeCustomObject;

// One published property. Get returns a value of the property's type; Set
// converts the value to it (raising EVariantError when it cannot).
struct TProxyPropertyInfo {
  const char* Name;
  TProxyPropertyType Type;
  OleVariant (*Get)(const TProxyCodeCustomObject& proxy);
  void (*Set)(TProxyCodeCustomObject& proxy, const OleVariant& value);
};

// A property name the proxy does not publish.
class EPropertyError : public Exception {
 public:
  using Exception::Exception;
};

// The marker base of all proxies; publishes nothing itself.
class TProxyCodeCustomObject : public TComponent {
 public:
  explicit TProxyCodeCustomObject(TComponent* owner) : TComponent(owner) {}

  // Assigning a proxy to another object does nothing.
  virtual void AssignTo(TObject* /*dest*/) const {}

  // The published properties in declaration order.
  virtual const std::vector<TProxyPropertyInfo>& Properties() const;
  // By name, A-Z compared without case; null when not published.
  const TProxyPropertyInfo* FindProperty(const std::string& name) const;
  // Raise EPropertyError "Property NAME does not exist" for an unknown name.
  OleVariant GetPropertyValue(const std::string& name) const;
  void SetPropertyValue(const std::string& name, const OleVariant& value);

 protected:
  // Table entries for a field of a proxy class C.
  template <class C, std::int32_t C::*Field>
  static TProxyPropertyInfo IntegerProperty(const char* name);
  template <class C, double C::*Field>
  static TProxyPropertyInfo DoubleProperty(const char* name);
  template <class C, bool C::*Field>
  static TProxyPropertyInfo BooleanProperty(const char* name);
  template <class C, std::string C::*Field>
  static TProxyPropertyInfo StringProperty(const char* name);
};

template <class C, std::int32_t C::*Field>
TProxyPropertyInfo TProxyCodeCustomObject::IntegerProperty(const char* name) {
  return {
      name, TProxyPropertyType::Integer,
      [](const TProxyCodeCustomObject& p) { return OleVariant(static_cast<const C&>(p).*Field); },
      [](TProxyCodeCustomObject& p, const OleVariant& v) {
        static_cast<C&>(p).*Field = v.AsInteger();
      }};
}

template <class C, double C::*Field>
TProxyPropertyInfo TProxyCodeCustomObject::DoubleProperty(const char* name) {
  return {
      name, TProxyPropertyType::Double,
      [](const TProxyCodeCustomObject& p) { return OleVariant(static_cast<const C&>(p).*Field); },
      [](TProxyCodeCustomObject& p, const OleVariant& v) {
        static_cast<C&>(p).*Field = v.AsDouble();
      }};
}

template <class C, bool C::*Field>
TProxyPropertyInfo TProxyCodeCustomObject::BooleanProperty(const char* name) {
  return {
      name, TProxyPropertyType::Boolean,
      [](const TProxyCodeCustomObject& p) { return OleVariant(static_cast<const C&>(p).*Field); },
      [](TProxyCodeCustomObject& p, const OleVariant& v) {
        static_cast<C&>(p).*Field = v.AsBoolean();
      }};
}

template <class C, std::string C::*Field>
TProxyPropertyInfo TProxyCodeCustomObject::StringProperty(const char* name) {
  return {name, TProxyPropertyType::String,
          [](const TProxyCodeCustomObject& p) {
            return OleVariant(std::string_view(static_cast<const C&>(p).*Field));
          },
          [](TProxyCodeCustomObject& p, const OleVariant& v) {
            static_cast<C&>(p).*Field = v.AsAnsiString();
          }};
}
