// The system registry. Windows: the real registry (advapi32). posix has
// none: RegistryUsable is false and every open fails, so callers fall back
// to their INI file. Key paths are relative to a predefined root key, 8-bit
// text in the system code page; a leading '\' is ignored. Every function is
// thread-safe for distinct keys and never throws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plat {

// The predefined root keys by their system numbers.
inline constexpr std::uint32_t kHKeyClassesRoot = 0x80000000u;
inline constexpr std::uint32_t kHKeyCurrentUser = 0x80000001u;
inline constexpr std::uint32_t kHKeyLocalMachine = 0x80000002u;
inline constexpr std::uint32_t kHKeyUsers = 0x80000003u;
inline constexpr std::uint32_t kHKeyCurrentConfig = 0x80000005u;

bool RegistryUsable();

// An open key; closes itself.
class TRegKey {
 public:
  TRegKey() = default;
  ~TRegKey() { Close(); }
  TRegKey(const TRegKey&) = delete;
  TRegKey& operator=(const TRegKey&) = delete;

  // Opens root\path for reading and writing; with create the missing keys
  // are created. False when that is not possible (root 0 included).
  bool Open(std::uint32_t root, const std::string& path, bool create);
  void Close();
  bool IsOpen() const { return FHandle != 0; }

  enum class TKind { None, Integer, Binary, Text, Other };
  struct TValue {
    TKind Kind = TKind::None;
    std::uint32_t Integer = 0;  // Integer
    std::string Data;           // Binary: the bytes; Text: the text
  };

  bool ValueExists(const std::string& name) const;
  bool ReadValue(const std::string& name, TValue& value) const;
  bool WriteInteger(const std::string& name, std::uint32_t value);
  bool WriteBinary(const std::string& name, const std::string& bytes);
  bool WriteText(const std::string& name, const std::string& text);
  bool DeleteValue(const std::string& name);

  std::vector<std::string> SubKeyNames() const;
  std::vector<std::string> ValueNames() const;
  bool HasSubKeys() const { return !SubKeyNames().empty(); }
  bool HasValues() const { return !ValueNames().empty(); }

 private:
  std::uintptr_t FHandle = 0;
};

bool RegKeyExists(std::uint32_t root, const std::string& path);
// Deletes root\path with every value and sub-key below it.
bool RegDeleteKeyTree(std::uint32_t root, const std::string& path);

}  // namespace plat
