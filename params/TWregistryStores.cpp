#include "params/TWregistryStores.h"

#include <cstring>

#include "platform/Registry.h"

void AddOnce(TStringList& list, const std::string& name) {
  if (list.IndexOf(name) < 0) list.Add(name);
}

bool RegistryKeyMayBeDeleted(const std::string& path) {
  std::size_t backslashes = 0;
  for (char c : path) backslashes += c == '\\' ? 1 : 0;
  return path.size() > 5 && backslashes > 2;
}

namespace {

// ---- registry ----

class TRegistryStore : public TWregStore {
 public:
  TRegistryStore(const TWreg& wreg, std::uint32_t root, bool create)
      : FWreg(wreg), FRoot(root), FCreate(create) {}

  bool Read(const TWregEntry& entry, TWregStored& value) override {
    plat::TRegKey key;
    plat::TRegKey::TValue raw;
    if (!key.Open(FRoot, FWreg.RegistryKeyOf(entry), false) || !key.ReadValue(entry.ValueName, raw))
      return false;
    switch (raw.Kind) {
      case plat::TRegKey::TKind::Integer:
        value.Kind = TWregStored::TKind::Integer;
        value.Integer = static_cast<std::int32_t>(raw.Integer);
        return true;
      case plat::TRegKey::TKind::Binary:
        value.Kind = TWregStored::TKind::Binary;
        value.Data = raw.Data;
        return true;
      case plat::TRegKey::TKind::Text:
        value.Kind = TWregStored::TKind::Text;
        value.Data = raw.Data;
        return true;
      default:
        return false;
    }
  }

  bool Write(const TWregEntry& entry, const TWregStored& value) override {
    plat::TRegKey key;
    if (!key.Open(FRoot, FWreg.RegistryKeyOf(entry), FCreate)) return false;
    bool ok = false;
    switch (value.Kind) {
      case TWregStored::TKind::Integer:
        // A 64-bit number beyond 32 bits keeps its digits as text.
        if (value.Integer >= INT32_MIN && value.Integer <= INT32_MAX)
          ok = key.WriteInteger(entry.ValueName, static_cast<std::uint32_t>(value.Integer));
        else
          ok = key.WriteText(entry.ValueName, std::to_string(value.Integer));
        break;
      case TWregStored::TKind::Float: {
        std::string bytes(sizeof(double), '\0');
        std::memcpy(bytes.data(), &value.Float, sizeof(double));
        ok = key.WriteBinary(entry.ValueName, bytes);
        break;
      }
      case TWregStored::TKind::Binary:
        ok = key.WriteBinary(entry.ValueName, value.Data);
        break;
      case TWregStored::TKind::Text:
        ok = key.WriteText(entry.ValueName, value.Data);
        break;
    }
    if (!ok) key.DeleteValue(entry.ValueName);  // no half-written value stays
    return ok;
  }

  bool Remove(const TWregEntry& entry) override {
    plat::TRegKey key;
    if (!key.Open(FRoot, FWreg.RegistryKeyOf(entry), false)) return true;
    return !key.ValueExists(entry.ValueName) || key.DeleteValue(entry.ValueName);
  }

  bool Delete(const TWregEntry& entry) override {
    std::string keyPath = FWreg.RegistryKeyOf(entry);
    std::string child = entry.ValueName.empty() ? keyPath : keyPath + "\\" + entry.ValueName;
    if (plat::RegKeyExists(FRoot, child))
      return RegistryKeyMayBeDeleted(child) && plat::RegDeleteKeyTree(FRoot, child);
    plat::TRegKey key;
    if (!key.Open(FRoot, keyPath, false)) return false;
    bool deleted = key.DeleteValue(entry.ValueName);
    bool empty = !key.HasValues() && !key.HasSubKeys();
    key.Close();
    if (empty && RegistryKeyMayBeDeleted(keyPath)) deleted = plat::RegDeleteKeyTree(FRoot, keyPath);
    return deleted;
  }

  bool List(const TWregEntry& entry, bool sections, TStringList& into) override {
    plat::TRegKey key;
    if (!key.Open(FRoot, FWreg.RegistryKeyOf(entry), false)) return false;
    for (const std::string& name : sections ? key.SubKeyNames() : key.ValueNames())
      AddOnce(into, name);
    return true;
  }

 private:
  const TWreg& FWreg;
  std::uint32_t FRoot;
  bool FCreate;
};

// ---- INI ----

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

class TIniStore : public TWregStore {
 public:
  TIniStore(const TWreg& wreg, TWregOperation operation, TIniDocument& document)
      : FWreg(wreg), FOperation(operation), FDoc(document) {}

  bool Read(const TWregEntry& entry, TWregStored& value) override {
    value.Kind = TWregStored::TKind::Text;
    return FDoc.ReadString(Section(entry), entry.ValueName, value.Data);
  }

  bool Write(const TWregEntry& entry, const TWregStored& value) override {
    std::string text;
    switch (value.Kind) {
      case TWregStored::TKind::Integer:
        text = std::to_string(value.Integer);
        break;
      case TWregStored::TKind::Float:
        text = FormatIniFloat(value.Float);
        break;
      default:
        text = value.Data;
        break;
    }
    FDoc.WriteString(Section(entry), entry.ValueName, text);
    return true;
  }

  bool Remove(const TWregEntry& entry) override {
    FDoc.DeleteKey(Section(entry), entry.ValueName);
    return true;
  }

  // The key and every key named "value name." something.
  bool Delete(const TWregEntry& entry) override {
    std::string section = Section(entry);
    if (entry.ValueName.empty()) return FDoc.EraseSection(section);
    std::string prefix = LowerAscii(entry.ValueName) + ".";
    bool deleted = FDoc.DeleteKey(section, entry.ValueName);
    for (const std::string& key : FDoc.KeyNames(section))
      if (LowerAscii(key).compare(0, prefix.size(), prefix) == 0)
        deleted = FDoc.DeleteKey(section, key) || deleted;
    return deleted;
  }

  bool List(const TWregEntry& entry, bool sections, TStringList& into) override {
    std::string section = Section(entry);
    if (!sections) {
      if (!FDoc.SectionExists(section)) return false;
      for (const std::string& key : FDoc.KeyNames(section)) AddOnce(into, key);
      return true;
    }
    // Sections below this one, named relative to it.
    std::string base = LowerAscii(section);
    for (const std::string& name : FDoc.SectionNames()) {
      std::string lower = LowerAscii(name);
      if (lower.compare(0, base.size(), base) != 0) continue;
      std::string rest = name.substr(base.size());
      if (!base.empty()) {
        if (rest.empty() || rest.front() != '.') continue;
        rest.erase(0, 1);
      }
      if (!rest.empty()) AddOnce(into, rest);
    }
    return true;
  }

 private:
  std::string Section(const TWregEntry& entry) const {
    return FWreg.IniSectionOf(entry, FOperation);
  }

  const TWreg& FWreg;
  TWregOperation FOperation;
  TIniDocument& FDoc;
};

}  // namespace

std::unique_ptr<TWregStore> OpenRegistryStore(const TWreg& wreg, bool create) {
  for (std::uint8_t root : {wreg.RegistryRoot, wreg.SecondRegistryRoot}) {
    std::uint32_t key = RegistryRootKey(root);
    plat::TRegKey probe;
    if (key != 0 && probe.Open(key, wreg.RegistryPath, create))
      return std::make_unique<TRegistryStore>(wreg, key, create);
  }
  return nullptr;
}

std::unique_ptr<TWregStore> MakeIniStore(const TWreg& wreg, TWregOperation operation,
                                         TIniDocument& document) {
  return std::make_unique<TIniStore>(wreg, operation, document);
}
