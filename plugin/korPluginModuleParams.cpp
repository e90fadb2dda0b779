// The module parameters the host reads and writes by name
// (GET-MODULE-PARAMETER, SET-MODULE-PARAMETER) and the paths among them.
#include <optional>

#include "framework/LockGuards.h"
#include "plugin/korPluginEnv.h"
#include "plugin/korPluginModule.h"
#include "plugin/korPluginParams.h"
#include "plugin/korPluginText.h"

namespace {

constexpr std::size_t kParserItemPrefixLength = 14;

// Pointer-sized values go out as 32-bit integers where pointers are 32 bits,
// as 64-bit ones elsewhere, so no address is cut.
OleVariant HandleValue(std::uintptr_t handle) {
  if constexpr (sizeof(std::uintptr_t) == 4)
    return OleVariant(static_cast<std::int32_t>(handle));
  else
    return OleVariant(static_cast<std::int64_t>(handle));
}

bool NotAllowedInFileName(char c) {
  return static_cast<unsigned char>(c) < 0x20 ||
         std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos;
}

std::string ReplaceNotAllowed(std::string text, char by) {
  for (char& c : text)
    if (NotAllowedInFileName(c)) c = by;
  return text;
}

std::string WithTrailingSeparator(std::string path) {
  char separator = PluginEnv().PathSeparator;
  if (path.empty() || (path.back() != separator && path.back() != '/')) path += separator;
  return path;
}

// The index of "ParserItemName" + nnn and its kin; none when not a number.
std::optional<std::int32_t> ParserItemIndex(const std::string& name) {
  if (name.size() <= kParserItemPrefixLength) return std::nullopt;
  std::string digits = name.substr(kParserItemPrefixLength, 3);
  for (char c : digits)
    if (c < '0' || c > '9') return std::nullopt;
  return plugtext::ParseInt32(digits);
}

// The key of a "Custom" name; none when the name is no Custom name.
std::optional<std::string> CustomKey(const std::string& name) {
  if (name.compare(0, 6, "Custom") != 0) return std::nullopt;
  std::string key = name.substr(6);
  if (!key.empty() && (key[0] == ' ' || key[0] == ':' || key[0] == '_')) key.erase(0, 1);
  if (key.empty()) return std::nullopt;
  return key;
}

std::int32_t CustomIndex(const std::string& key) {
  if (key.size() > 2) return -1;
  return plugtext::ParseInt32(key).value_or(-1);
}

}  // namespace

TkorThreadParamsList& TkorPlugin::ModuleParamsList() {
  std::lock_guard<std::mutex> lock(FModuleParamsLock);
  if (!ModuleParams) ModuleParams = std::make_unique<TkorThreadParamsList>();
  return *ModuleParams;
}

std::string TkorPlugin::AppDataPath() const {
  std::string part = ReplaceNotAllowed(plugtext::Field(ModuleRegistryPath, '\\', 4), ' ');
  std::string folder = PluginEnv().CommonAppDataFolder();
  return WithTrailingSeparator(folder + PluginEnv().PathSeparator + part);
}

std::string TkorPlugin::ModuleConfigId() const {
  std::string section = plugtext::Field(INISectionPrefix, '}', 1);
  section = plugtext::Field(section, '{', 2);
  std::string afterColon = plugtext::Field(section, ':', 2);
  return afterColon.empty() ? section : afterColon;
}

std::string TkorPlugin::ModuleDataPath() const {
  std::string name = Description.substr(0, Description.find_first_of("\r\n"));
  name = ReplaceNotAllowed(name, '-');
  if (name.empty()) {
    name = ModuleName.substr(0, ModuleName.find_last_of('.'));
    name = plugtext::AsciiLower(name);
  }
  return WithTrailingSeparator(WithTrailingSeparator(AppDataPath() + ModuleConfigId()) + name);
}

OleVariant TkorPlugin::GetModuleParameter(const std::string& name) {
  auto is = [&](std::string_view known) { return plugtext::SameTextAscii(name, known); };
  if (is("LogTitle")) return OleVariant(GetLogTitle());
  if (is("Description")) return OleVariant(Description);
  if (is("EventsSupported")) return OleVariant(EventsSupported);
  if (is("CustomCommands")) return OleVariant(CustomCommands->AsText());
  if (is("TranslatorComponentProperties"))
    return Translator ? OleVariant(Translator->PropertiesText()) : OleVariant();
  if (is("ModuleType")) return OleVariant(static_cast<std::int32_t>(ModuleType));
  if (is("ModuleEnabled")) return OleVariant(static_cast<std::int32_t>(StateSet()));
  if (is("ModuleDllHandle")) return HandleValue(ModuleDllHandle);
  if (is("ModuleLoadCount")) return OleVariant(ModuleLoadCount.load());
  if (is("ModuleIndex")) return OleVariant(ModuleIndex.load());
  if (is("ModulePluginHandle")) return HandleValue(reinterpret_cast<std::uintptr_t>(this));
  if (is("ModulePath")) return OleVariant(ModulePath);
  if (is("ModuleDataPath")) return OleVariant(ModuleDataPath());
  if (is("AppDataPath")) return OleVariant(AppDataPath());
  if (is("ModuleName")) return OleVariant(ModuleName);
  if (is("ModuleLoadForConfig")) return OleVariant(ModuleLoadForConfig);
  if (is("ModuleConfigId")) return OleVariant(ModuleConfigId());
  if (is("ApplicationFullName")) return OleVariant(ApplicationFullName);
  if (is("INIFile")) return OleVariant(INIFile);
  if (is("ModuleRegistryRoot1")) return OleVariant(ModuleRegistryRoot1);
  if (is("ModuleRegistryRoot2")) return OleVariant(ModuleRegistryRoot2);
  if (is("ModuleRegistryPath")) return OleVariant(ModuleRegistryPath);
  if (is("INISectionPrefix")) return OleVariant(INISectionPrefix);
  if (is("DisplayFullVersion")) return OleVariant(DisplayFullVersion);
  if (is("ParserItems")) return OleVariant(ParserItemsText());
  if (is("ParserItemsCount")) return OleVariant(ParserItemCount());
  if (is("DataSourceLoadFor")) return OleVariant(DataSourceLoadFor);
  if (is("TerminateNow")) return OleVariant(TerminateNow.load());
  if (is("IsTemporaryLoad")) return OleVariant(IsTemporaryLoad);
  if (is("ParentApp")) return HandleValue(ParentApp);
  if (is("OWNER-FORM")) return HandleValue(OwnerForm);
  if (is("TESTTRANSL")) {
    for (const std::string& argument : PluginEnv().CommandLineArguments())
      if (argument == "/TESTTRANSL") return OleVariant(true);
    return OleVariant(false);
  }
  return GetIndexedParameter(name);
}

// "ParserItem..." + index and "Custom" + key.
OleVariant TkorPlugin::GetIndexedParameter(const std::string& name) {
  std::string prefix = name.substr(0, kParserItemPrefixLength);
  if (prefix == "ParserItemName" || prefix == "ParserItemDesc" || prefix == "ParserItemType") {
    std::optional<std::int32_t> index = ParserItemIndex(name);
    if (!index || *index < 0 || *index >= ParserItemCount()) return OleVariant();
    const TParserItem& item = ParserItems[static_cast<std::size_t>(*index)];
    if (prefix == "ParserItemName") return OleVariant(item.Name);
    if (prefix == "ParserItemDesc") return OleVariant(item.Caption);
    return OleVariant(item.DataType);
  }
  std::optional<std::string> key = CustomKey(name);
  return key ? GetCustomParameter(*key) : OleVariant();
}

OleVariant TkorPlugin::GetCustomParameter(const std::string& key) {
  TReadLock lock(ModuleParamsList());
  TkorParamsList& list = *lock;
  if (key == "COUNT") return OleVariant(list.Count());
  std::int32_t index = CustomIndex(key);
  if (index >= 0) return index < list.Count() ? list.Items(index)->Value : OleVariant();
  return list.GetValue(key);
}

bool TkorPlugin::SetCustomParameter(const std::string& key, const OleVariant& value) {
  TWriteLock lock(ModuleParamsList());
  TkorParamsList& list = *lock;
  if (key == "COUNT") {
    list.Clear();
    return true;
  }
  std::int32_t index = CustomIndex(key);
  if (index < 0) {
    list.SetValue(key, value, true);
    return true;
  }
  if (index >= list.Count()) return false;
  list.Items(index)->SetValue(value);
  return true;
}

bool TkorPlugin::SetModuleParameter(const std::string& name, const OleVariant& value) {
  auto is = [&](std::string_view known) { return plugtext::SameTextAscii(name, known); };
  if (is("LogTitle"))
    SetLogTitle(value.AsAnsiString());
  else if (is("Description"))
    Description = value.AsAnsiString();
  else if (is("EventsSupported"))
    EventsSupported = value.AsAnsiString();
  else if (is("CustomCommands"))
    CustomCommands->FromText(value.AsAnsiString());
  else if (is("TranslatorComponentProperties"))
    return SetTranslatorProperties(value);
  else if (is("ModuleType"))
    return SetModuleType(value);
  else if (is("ParserItems"))
    SetParserItemsText(value.AsAnsiString(), true);
  else if (is("OWNER-FORM"))
    OwnerForm = plugparams::AsHandle(value);
  else if (is("SUBSCRIBE-FOR-DATA"))
    SubscribeForData = value.AsBoolean();
  else {
    std::optional<std::string> key = CustomKey(name);
    return key && SetCustomParameter(*key, value);
  }
  return true;
}

bool TkorPlugin::SetTranslatorProperties(const OleVariant& value) {
  if (!Translator) return false;
  std::string text = value.AsAnsiString();
  for (char& c : text)
    if (c == '|') c = ';';
  for (const std::string& part : plugtext::SplitFields(text, ';')) Translator->AddProperty(part);
  return true;
}

bool TkorPlugin::SetModuleType(const OleVariant& value) {
  try {
    ModuleType = static_cast<std::uint8_t>(value.AsInteger() & 0xFF);
  } catch (const EVariantError&) {
    return false;
  }
  return true;
}
