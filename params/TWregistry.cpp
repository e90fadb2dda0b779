#include "params/TWregistry.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "framework/SysUtils.h"
#include "params/IniFiles.h"
#include "params/ProxyCodeCustom.h"
#include "params/TWregistryStores.h"
#include "params/korParamLst.h"
#include "platform/Files.h"
#include "platform/Registry.h"

std::uint32_t RegistryRootKey(std::uint8_t root) {
  constexpr std::uint32_t keys[] = {plat::kHKeyClassesRoot, plat::kHKeyCurrentUser,
                                    plat::kHKeyLocalMachine, plat::kHKeyUsers,
                                    plat::kHKeyCurrentConfig};
  return root < rrNone ? keys[root] : 0;
}

namespace {

void SplitName(TWregEntry& entry) {
  std::size_t slash = entry.Name.rfind('\\');
  entry.SubKey = slash == std::string::npos ? "" : entry.Name.substr(0, slash);
  entry.ValueName = slash == std::string::npos ? entry.Name : entry.Name.substr(slash + 1);
}

// A doubled backslash counts as one; one leading backslash is dropped.
std::string StorageName(std::string_view raw) {
  std::string name;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    name += raw[i];
    if (raw[i] == '\\' && i + 1 < raw.size() && raw[i + 1] == '\\') ++i;
  }
  if (!name.empty() && name.front() == '\\') name.erase(0, 1);
  return name;
}

}  // namespace

bool ParseWregEntry(std::string_view line, TWregEntry& entry) {
  entry = TWregEntry{};
  line = Trim(line);
  if (line.empty() || line.front() == ';') return false;
  std::size_t split = line.find(',');
  if (split == std::string_view::npos) split = line.find(';');
  std::string_view left = line.substr(0, split);
  std::string_view right = split == std::string_view::npos ? "" : line.substr(split + 1);
  right = Trim(right);
  right = Trim(right.substr(0, right.find(';')));
  entry.Path = std::string(Trim(left));
  if (entry.Path.empty()) return false;
  entry.Name = StorageName(right);
  SplitName(entry);
  return true;
}

std::string TWreg::RegistryKeyOf(const TWregEntry& entry) const {
  std::string key = RegistryPath;
  while (!key.empty() && key.back() == '\\') key.pop_back();
  if (!entry.SubKey.empty()) key += "\\" + entry.SubKey;
  return key;
}

std::string TWreg::IniSectionOf(const TWregEntry& entry, TWregOperation operation) const {
  std::string sub = entry.SubKey;
  for (char& c : sub)
    if (c == '\\') c = '.';
  std::string prefix = INIFileSectionPrefix;
  bool prefixAlone = !prefix.empty() && (prefix.back() == '/' || prefix.back() == '\\');
  if (prefixAlone) prefix.pop_back();
  if (!sub.empty()) return prefix.empty() ? sub : prefix + "." + sub;
  bool common = FUseCommonSection && !prefixAlone && operation != TWregOperation::Delete &&
                operation != TWregOperation::ListSections;
  if (!common) return prefix;
  return prefix.empty() ? "Common" : prefix + ".Common";
}

void TWreg::DoSetValue(const std::string& name, std::int32_t index, const OleVariant& value) {
  if (SetValue) SetValue(*this, name, index, value);
}

bool TWreg::DoGetValue(const std::string& name, std::int32_t index, OleVariant& value) {
  if (GetValue) GetValue(*this, name, index, value);
  return !value.IsEmpty();
}

// ---- properties ----

namespace {

enum class TPropKind : std::uint8_t { Integer, Int64, Float, Boolean, Text, Variant };

struct TProperty {
  TPropKind Kind = TPropKind::Variant;
  std::function<OleVariant()> Get;
  std::function<void(const OleVariant&)> Set;
};

std::string Underscored(std::string path) {
  for (char& c : path)
    if (c == '.') c = '_';
  return path;
}

TPropKind KindOfDataType(std::int32_t dataType) {
  switch (dataType) {
    case 2:
    case 3:
    case 16:
    case 17:
    case 18:
    case 19:
      return TPropKind::Integer;
    case 4:
    case 5:
    case 6:
    case 7:
      return TPropKind::Float;
    case 8:
    case 0x100:
      return TPropKind::Text;
    case 11:
      return TPropKind::Boolean;
    case 20:
    case 21:
      return TPropKind::Int64;
    default:
      return TPropKind::Variant;
  }
}

std::optional<TProperty> ProxyProperty(TProxyCodeCustomObject& proxy, const std::string& name) {
  const TProxyPropertyInfo* info = proxy.FindProperty(name);
  if (info == nullptr) return std::nullopt;
  TProperty p;
  switch (info->Type) {
    case TProxyPropertyType::Integer:
      p.Kind = TPropKind::Integer;
      break;
    case TProxyPropertyType::Double:
      p.Kind = TPropKind::Float;
      break;
    case TProxyPropertyType::Boolean:
      p.Kind = TPropKind::Boolean;
      break;
    case TProxyPropertyType::String:
      p.Kind = TPropKind::Text;
      break;
  }
  p.Get = [&proxy, info] { return info->Get(proxy); };
  p.Set = [&proxy, info](const OleVariant& v) { info->Set(proxy, v); };
  return p;
}

std::optional<TProperty> ListProperty(TkorParamsList& list, const std::string& name) {
  TProperty p;
  const TkorParamsListItem* item = list.FindItem(name);
  p.Kind = item != nullptr ? KindOfDataType(item->DataType) : TPropKind::Variant;
  p.Get = [&list, name] { return list.GetValue(name); };
  // A typed item gets a value of its own type; any other takes the value.
  const bool typed = p.Kind != TPropKind::Variant;
  p.Set = [&list, name, typed](const OleVariant& v) {
    if (typed)
      list.SetValueStrict(name, v);
    else
      list.SetValue(name, v, true);
  };
  return p;
}

std::optional<TProperty> ResolveProperty(TObject* object, const std::string& path) {
  if (object == nullptr || path.empty() || path.front() == '*') return std::nullopt;
  if (auto* proxy = dynamic_cast<TProxyCodeCustomObject*>(object))
    return ProxyProperty(*proxy, Underscored(path));
  if (auto* list = dynamic_cast<TkorParamsList*>(object))
    return ListProperty(*list, Underscored(path));
  if (auto* component = dynamic_cast<TComponent*>(object)) {
    std::size_t dot = path.find('.');
    std::string first = path.substr(0, dot);
    if (dot == std::string::npos) return std::nullopt;
    for (std::int32_t i = 0; i < component->ComponentCount(); ++i) {
      auto* owned = dynamic_cast<TProxyCodeCustomObject*>(component->Components(i));
      if (owned != nullptr && owned->Name == first)
        return ProxyProperty(*owned, Underscored(path.substr(dot + 1)));
    }
  }
  return std::nullopt;
}

bool IsTextEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
    char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] + 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

// The stored form of a property value; false for an empty value, which
// deletes the stored one instead.
bool ToStored(TPropKind kind, const OleVariant& value, TWregStored& stored) {
  if (value.IsEmpty()) return false;
  switch (kind) {
    case TPropKind::Integer:
    case TPropKind::Int64:
      if (value.IsNull()) return false;
      stored.Kind = TWregStored::TKind::Integer;
      stored.Integer = value.AsInt64();
      return true;
    case TPropKind::Float:
      if (value.IsNull()) return false;
      stored.Kind = TWregStored::TKind::Float;
      stored.Float = value.AsDouble();
      return true;
    default:
      stored.Kind = TWregStored::TKind::Text;
      if (value.IsNull())
        stored.Data = kWregNullText;
      else if (value.VType() == plat::varBoolean)
        stored.Data = value.AsBoolean() ? "True" : "False";
      else
        stored.Data = value.AsAnsiString();
      return !stored.Data.empty();
  }
}

std::string HexText(const std::string& bytes) {
  std::string text;
  char pair[3];
  for (unsigned char b : bytes) {
    std::snprintf(pair, sizeof pair, "%02X", b);
    text += pair;
  }
  return text;
}

// A stored value as the property's kind; nothing when it does not convert.
std::optional<OleVariant> FromStored(TPropKind kind, const TWregStored& stored) {
  using K = TWregStored::TKind;
  std::int64_t i = 0;
  double f = 0;
  switch (kind) {
    case TPropKind::Integer:
    case TPropKind::Int64:
      if (stored.Kind == K::Integer)
        i = stored.Integer;
      else if (stored.Kind != K::Text || !ParseIniInteger(stored.Data, i))
        return std::nullopt;
      // The property converts to its own type (a number it cannot hold is
      // refused there and the entry skipped).
      if (kind == TPropKind::Int64 || i < INT32_MIN || i > INT32_MAX) return OleVariant(i);
      return OleVariant(static_cast<std::int32_t>(i));
    case TPropKind::Float:
      if (stored.Kind == K::Float)
        f = stored.Float;
      else if (stored.Kind == K::Integer)
        f = static_cast<double>(stored.Integer);
      else if (stored.Kind == K::Binary && stored.Data.size() == sizeof(double))
        std::memcpy(&f, stored.Data.data(), sizeof(double));
      else if (stored.Kind != K::Text || !ParseIniFloat(stored.Data, f))
        return std::nullopt;
      return OleVariant(f);
    case TPropKind::Boolean:
      if (stored.Kind == K::Integer) return OleVariant(stored.Integer != 0);
      if (stored.Kind != K::Text) return std::nullopt;
      if (IsTextEqual(stored.Data, "True")) return OleVariant(true);
      if (IsTextEqual(stored.Data, "False")) return OleVariant(false);
      if (ParseIniInteger(stored.Data, i)) return OleVariant(i != 0);
      return std::nullopt;
    default:
      switch (stored.Kind) {
        case K::Integer:
          return OleVariant(std::string_view(std::to_string(stored.Integer)));
        case K::Float:
          return OleVariant(std::string_view(FormatIniFloat(stored.Float)));
        case K::Binary:
          if (stored.Data.size() == sizeof(double)) {
            std::memcpy(&f, stored.Data.data(), sizeof(double));
            return OleVariant(std::string_view(FormatIniFloat(f)));
          }
          return OleVariant(std::string_view(HexText(stored.Data)));
        case K::Text:
          return OleVariant(std::string_view(stored.Data));
      }
  }
  return std::nullopt;
}

// The owner's events as a storage.
class TEventStore : public TWregStore {
 public:
  explicit TEventStore(std::function<void(const std::string&, const OleVariant&)> set,
                       std::function<bool(const std::string&, OleVariant&)> get)
      : FSet(std::move(set)), FGet(std::move(get)) {}

  bool Read(const TWregEntry& entry, TWregStored& value) override {
    OleVariant v;
    if (!FGet(entry.Name, v)) return false;
    switch (v.VType()) {
      case plat::varSmallint:
      case plat::varInteger:
      case plat::varShortInt:
      case plat::varByte:
      case plat::varWord:
      case plat::varLongWord:
      case plat::varInt64:
      case plat::varBoolean:
        value.Kind = TWregStored::TKind::Integer;
        value.Integer = v.AsInt64();
        return true;
      case plat::varSingle:
      case plat::varDouble:
      case plat::varDate:
      case plat::varCurrency:
        value.Kind = TWregStored::TKind::Float;
        value.Float = v.AsDouble();
        return true;
      default:
        value.Kind = TWregStored::TKind::Text;
        value.Data = v.IsNull() ? kWregNullText : v.AsAnsiString();
        return true;
    }
  }
  bool Write(const TWregEntry& entry, const TWregStored& value) override {
    switch (value.Kind) {
      case TWregStored::TKind::Integer:
        FSet(entry.Name, OleVariant(value.Integer));
        break;
      case TWregStored::TKind::Float:
        FSet(entry.Name, OleVariant(value.Float));
        break;
      default:
        FSet(entry.Name, OleVariant(std::string_view(value.Data)));
        break;
    }
    return true;
  }
  bool Remove(const TWregEntry& entry) override {
    FSet(entry.Name, OleVariant());
    return true;
  }
  bool Delete(const TWregEntry& entry) override { return Remove(entry); }
  bool List(const TWregEntry&, bool, TStringList&) override { return false; }

 private:
  std::function<void(const std::string&, const OleVariant&)> FSet;
  std::function<bool(const std::string&, OleVariant&)> FGet;
};

// One entry through one storage; true when it counts as processed.
bool ProcessEntry(TWregOperation operation, const TWregEntry& entry, TObject* object,
                  TStringList* list, TWregStore& store) {
  switch (operation) {
    case TWregOperation::Load: {
      std::optional<TProperty> prop = ResolveProperty(object, entry.Path);
      TWregStored stored;
      if (!prop || !store.Read(entry, stored)) return false;
      std::optional<OleVariant> value = FromStored(prop->Kind, stored);
      if (!value) return false;
      try {
        prop->Set(*value);
      } catch (const Exception&) {
        return false;  // a value the property refuses is skipped
      }
      return true;
    }
    case TWregOperation::Save: {
      std::optional<TProperty> prop = ResolveProperty(object, entry.Path);
      if (!prop) return false;
      TWregStored stored;
      bool has;
      try {
        has = ToStored(prop->Kind, prop->Get(), stored);
      } catch (const EVariantError&) {
        return false;
      }
      try {
        return has ? store.Write(entry, stored) : store.Remove(entry);
      } catch (const EIniFileError&) {
        return false;  // a name an INI line cannot hold
      }
    }
    case TWregOperation::Delete:
      store.Delete(entry);
      return true;
    case TWregOperation::ListSections:
    case TWregOperation::ListValues:
      return list != nullptr && store.List(entry, operation == TWregOperation::ListSections, *list);
  }
  return false;
}

}  // namespace

bool TWreg::Execute(TWregOperation operation, TObject* object, TStringList* list) {
  const bool listing =
      operation == TWregOperation::ListSections || operation == TWregOperation::ListValues;
  std::vector<TWregEntry> entries;
  TWregEntry entry;
  if (listing && Components.Count() == 0 && ParseWregEntry("?,", entry)) entries.push_back(entry);
  for (std::int32_t i = 0; i < Components.Count(); ++i) {
    if (!ParseWregEntry(Components.Strings(i), entry)) continue;
    if (BeforeProcessItem) {
      bool skip = false;
      BeforeProcessItem(*this, entry.Name, skip);
      if (skip) continue;
      SplitName(entry);
    }
    if (!listing && operation != TWregOperation::Delete && entry.Name.empty()) continue;
    entries.push_back(entry);
  }

  auto runAll = [&](TWregStore& store) {
    bool processed = false;
    for (const TWregEntry& e : entries)
      processed = ProcessEntry(operation, e, object, list, store) || processed;
    return processed;
  };

  if (INIFile == kWregCustomStorage) {
    TEventStore store(
        [this](const std::string& name, const OleVariant& v) { DoSetValue(name, 0, v); },
        [this](const std::string& name, OleVariant& v) { return DoGetValue(name, 0, v); });
    return runAll(store);
  }
  if (!INIFile.empty() && (operation != TWregOperation::Load || plat::FileExists(INIFile))) {
    bool processed = false;
    UpdateIniFile(INIFile, [&](TIniDocument& document) {
      processed = runAll(*MakeIniStore(*this, operation, document));
    });
    return processed;
  }
  std::unique_ptr<TWregStore> store = OpenRegistryStore(*this, operation != TWregOperation::Load);
  return store != nullptr && runAll(*store);
}
