// TWreg: saves and loads named values of an object to and from the
// registry, an INI file, or a storage its owner supplies through events.
// What is stored is a list of entries (Components), one per line:
//   property path "," storage name [";" comment]
// e.g. "lblParams.Caption,Parser config" or "Left,Window\Left"; a line that
// is empty or starts with ";" is skipped. The storage name's part up to its
// last backslash is a sub-key (registry) or sub-section (INI).
//
// Objects: a configuration proxy (the path with "." as "_" names a proxy
// property), a parameter list (the same form names an item; its DataType
// gives the kind), or a component whose first path step names an owned
// proxy. Other paths name nothing and are skipped.
//
// Storage: INIFile "$CUSTOM$" selects the events; an INIFile that exists
// (or any INIFile for other operations than Load) the INI file, each
// operation under the file's cross-process lock (params/IniFiles.h);
// otherwise the registry below RegistryRoot, or SecondRegistryRoot when the
// first cannot be opened (posix has no registry: both fail).
//
// A TWreg is made for one load or save and used by one thread. Errors of
// the INI file (unreadable, not text, cannot be written) raise
// EIniFileError, and the file stays as it was; values that cannot be read
// or converted are skipped.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "framework/Component.h"
#include "framework/StringList.h"
#include "params/Variants.h"

enum TRegistryRoot : std::uint8_t {
  rrHKEY_CLASSES_ROOT,
  rrHKEY_CURRENT_USER,
  rrHKEY_LOCAL_MACHINE,
  rrHKEY_USERS,
  rrHKEY_CURRENT_CONFIG,
  rrNone
};

// The system number of a root key; 0 for rrNone and values out of range.
std::uint32_t RegistryRootKey(std::uint8_t root);

// One parsed line of Components.
struct TWregEntry {
  std::string Path;       // property path as written ("lblParams.Caption")
  std::string Name;       // storage name after the backslash rules
  std::string SubKey;     // up to the last backslash of Name ("" when none)
  std::string ValueName;  // after it
};

// Parses one entry line; false for a line that is skipped (empty, a ";"
// comment, or an empty property path).
bool ParseWregEntry(std::string_view line, TWregEntry& entry);

// The operations, numbered as the plug-in module's wrapper selects them.
enum class TWregOperation : std::uint8_t { Load, Save, Delete, ListSections, ListValues };

class TWreg;
using TWregSetValueEvent = std::function<void(TWreg& sender, const std::string& name,
                                              std::int32_t index, const OleVariant& value)>;
using TWregGetValueEvent = std::function<void(TWreg& sender, const std::string& name,
                                              std::int32_t index, OleVariant& value)>;
// May change the storage name or skip the entry.
using TWregBeforeProcessItemEvent =
    std::function<void(TWreg& sender, std::string& name, bool& skip)>;

inline constexpr const char* kWregCustomStorage = "$CUSTOM$";
inline constexpr const char* kWregNullText = "[[Null]]";

class TWreg : public TComponent {
 public:
  explicit TWreg(TComponent* owner = nullptr) : TComponent(owner) {}

  TRegistryRoot RegistryRoot = rrHKEY_LOCAL_MACHINE;
  TRegistryRoot SecondRegistryRoot = rrHKEY_CURRENT_USER;
  std::string RegistryPath = "\\Software\\Company name\\App name";
  std::string INIFile;
  std::string INIFileSectionPrefix;
  TStringList Components;
  TWregSetValueEvent SetValue;
  TWregGetValueEvent GetValue;
  TWregBeforeProcessItemEvent BeforeProcessItem;

  // Each returns true when at least one entry was processed.
  bool Load(TObject& object) { return Execute(TWregOperation::Load, &object, nullptr); }
  bool Save(TObject& object) { return Execute(TWregOperation::Save, &object, nullptr); }
  bool Delete() { return Execute(TWregOperation::Delete, nullptr, nullptr); }
  bool ListSections(TStringList& into) {
    return Execute(TWregOperation::ListSections, nullptr, &into);
  }
  bool ListValues(TStringList& into) { return Execute(TWregOperation::ListValues, nullptr, &into); }
  // object: Load and Save; list: the listing operations (names added once).
  bool Execute(TWregOperation operation, TObject* object, TStringList* list);

  // The key or section of an entry for an operation (documented rules:
  // registry key = RegistryPath + "\" + sub-key; INI section = prefix "."
  // sub-section with "\" as ".", or "Common").
  std::string RegistryKeyOf(const TWregEntry& entry) const;
  std::string IniSectionOf(const TWregEntry& entry, TWregOperation operation) const;

 protected:
  // The event storage; the defaults fire SetValue and GetValue (GetValue
  // leaving the value Empty means "not stored").
  virtual void DoSetValue(const std::string& name, std::int32_t index, const OleVariant& value);
  virtual bool DoGetValue(const std::string& name, std::int32_t index, OleVariant& value);

 private:
  friend class TWregRun;
  // Set for Common sections of entries without sub-section (true at creation).
  bool FUseCommonSection = true;
};
