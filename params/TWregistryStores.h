// The storages behind TWreg (internal to params/): the registry, an INI
// document, and the owner's events. Each maps an entry's key or section and
// value name onto its medium. Used by one thread, inside one TWreg
// operation.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "framework/StringList.h"
#include "params/IniFiles.h"
#include "params/TWregistry.h"

// A value as a storage holds it.
struct TWregStored {
  enum class TKind : std::uint8_t { Integer, Float, Binary, Text };
  TKind Kind = TKind::Text;
  std::int64_t Integer = 0;
  double Float = 0;
  std::string Data;  // Binary bytes or Text
};

class TWregStore {
 public:
  virtual ~TWregStore() = default;
  virtual bool Read(const TWregEntry& entry, TWregStored& value) = 0;
  virtual bool Write(const TWregEntry& entry, const TWregStored& value) = 0;
  // The stored value of an empty property.
  virtual bool Remove(const TWregEntry& entry) = 0;
  virtual bool Delete(const TWregEntry& entry) = 0;
  // Adds names not yet in into; false when the key or section is missing.
  virtual bool List(const TWregEntry& entry, bool sections, TStringList& into) = 0;
};

// Registry below root; nil when neither root opens RegistryPath (create:
// for other operations than Load).
std::unique_ptr<TWregStore> OpenRegistryStore(const TWreg& wreg, bool create);
std::unique_ptr<TWregStore> MakeIniStore(const TWreg& wreg, TWregOperation operation,
                                         TIniDocument& document);

// Adds name to list unless it holds it already.
void AddOnce(TStringList& list, const std::string& name);

// Path guard for registry key deletion: longer than five characters and
// more than two backslashes.
bool RegistryKeyMayBeDeleted(const std::string& path);
