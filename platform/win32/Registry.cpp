#include "platform/Registry.h"

#include <windows.h>

#include <cstring>

namespace plat {
namespace {

// Predefined keys are sign-extended 32-bit values in 64-bit builds.
HKEY RootKey(std::uint32_t root) {
  return reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(root)));
}

std::string Relative(const std::string& path) {
  std::size_t start = 0;
  while (start < path.size() && path[start] == '\\') ++start;
  std::string p = path.substr(start);
  while (!p.empty() && p.back() == '\\') p.pop_back();
  return p;
}

HKEY Handle(std::uintptr_t h) {
  return reinterpret_cast<HKEY>(h);
}

std::vector<std::string> Enumerate(HKEY key, bool subKeys) {
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[16384];
    DWORD size = sizeof name;
    LONG rc = subKeys ? ::RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr)
                      : ::RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) break;
    names.emplace_back(name, size);
  }
  return names;
}

bool DeleteTree(HKEY parent, const std::string& path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS)
    return false;
  for (const std::string& sub : Enumerate(key, true)) DeleteTree(key, sub);
  ::RegCloseKey(key);
  return ::RegDeleteKeyA(parent, path.c_str()) == ERROR_SUCCESS;
}

}  // namespace

bool RegistryUsable() {
  return true;
}

bool TRegKey::Open(std::uint32_t root, const std::string& path, bool create) {
  Close();
  if (root == 0) return false;
  HKEY rootKey = RootKey(root);
  HKEY key = nullptr;
  std::string rel = Relative(path);
  LONG rc = create ? ::RegCreateKeyExA(rootKey, rel.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_READ | KEY_WRITE, nullptr, &key, nullptr)
                   : ::RegOpenKeyExA(rootKey, rel.c_str(), 0, KEY_READ | KEY_WRITE, &key);
  if (rc != ERROR_SUCCESS) return false;
  FHandle = reinterpret_cast<std::uintptr_t>(key);
  return true;
}

void TRegKey::Close() {
  if (FHandle != 0) ::RegCloseKey(Handle(FHandle));
  FHandle = 0;
}

bool TRegKey::ValueExists(const std::string& name) const {
  return FHandle != 0 && ::RegQueryValueExA(Handle(FHandle), name.c_str(), nullptr, nullptr,
                                            nullptr, nullptr) == ERROR_SUCCESS;
}

bool TRegKey::ReadValue(const std::string& name, TValue& value) const {
  value = TValue{};
  if (FHandle == 0) return false;
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExA(Handle(FHandle), name.c_str(), nullptr, &type, nullptr, &size) !=
      ERROR_SUCCESS)
    return false;
  std::string data(size, '\0');
  if (::RegQueryValueExA(Handle(FHandle), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
    return false;
  data.resize(size);
  switch (type) {
    case REG_DWORD:
      if (data.size() != 4) return false;
      value.Kind = TKind::Integer;
      std::memcpy(&value.Integer, data.data(), 4);
      return true;
    case REG_BINARY:
      value.Kind = TKind::Binary;
      value.Data = std::move(data);
      return true;
    case REG_SZ:
    case REG_EXPAND_SZ:
      value.Kind = TKind::Text;
      // The stored text may or may not carry its terminating NUL.
      while (!data.empty() && data.back() == '\0') data.pop_back();
      value.Data = std::move(data);
      return true;
    default:
      value.Kind = TKind::Other;
      value.Data = std::move(data);
      return true;
  }
}

bool TRegKey::WriteInteger(const std::string& name, std::uint32_t value) {
  return FHandle != 0 &&
         ::RegSetValueExA(Handle(FHandle), name.c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&value), sizeof value) == ERROR_SUCCESS;
}

bool TRegKey::WriteBinary(const std::string& name, const std::string& bytes) {
  return FHandle != 0 && ::RegSetValueExA(Handle(FHandle), name.c_str(), 0, REG_BINARY,
                                          reinterpret_cast<const BYTE*>(bytes.data()),
                                          static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

bool TRegKey::WriteText(const std::string& name, const std::string& text) {
  return FHandle != 0 && ::RegSetValueExA(Handle(FHandle), name.c_str(), 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(text.c_str()),
                                          static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool TRegKey::DeleteValue(const std::string& name) {
  return FHandle != 0 && ::RegDeleteValueA(Handle(FHandle), name.c_str()) == ERROR_SUCCESS;
}

std::vector<std::string> TRegKey::SubKeyNames() const {
  return FHandle != 0 ? Enumerate(Handle(FHandle), true) : std::vector<std::string>{};
}

std::vector<std::string> TRegKey::ValueNames() const {
  return FHandle != 0 ? Enumerate(Handle(FHandle), false) : std::vector<std::string>{};
}

bool RegKeyExists(std::uint32_t root, const std::string& path) {
  TRegKey key;
  return key.Open(root, path, false);
}

bool RegDeleteKeyTree(std::uint32_t root, const std::string& path) {
  if (root == 0) return false;
  HKEY rootKey = RootKey(root);
  std::string rel = Relative(path);
  if (rel.empty()) return false;
  return DeleteTree(rootKey, rel);
}

}  // namespace plat
