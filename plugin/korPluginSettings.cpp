// The module's settings operations on top of the settings store (TWreg).
#include "params/TWregistry.h"
#include "plugin/korPluginModule.h"

namespace {

// Sets a flag for one scope and restores its value, also on an error.
class TBusyScope {
 public:
  explicit TBusyScope(bool& flag) : FFlag(flag), FSaved(flag) { FFlag = true; }
  ~TBusyScope() { FFlag = FSaved; }
  TBusyScope(const TBusyScope&) = delete;
  TBusyScope& operator=(const TBusyScope&) = delete;

 private:
  bool& FFlag;
  bool FSaved;
};

}  // namespace

bool TkorPlugin::SaveSettings(const TStringList* properties, TObject* config,
                              const std::string* settingsFile) {
  return RunSettings(true, properties, config, settingsFile);
}

bool TkorPlugin::LoadSettings(const TStringList* properties, TObject* config,
                              const std::string* settingsFile) {
  return RunSettings(false, properties, config, settingsFile);
}

bool TkorPlugin::RunSettings(bool save, const TStringList* properties, TObject* config,
                             const std::string* settingsFile) {
  if (properties == nullptr || config == nullptr) return false;
  TBusyScope busy(SettingsBusy);
  TWreg store;
  store.RegistryRoot = static_cast<TRegistryRoot>(ModuleRegistryRoot1);
  store.SecondRegistryRoot = static_cast<TRegistryRoot>(ModuleRegistryRoot2);
  store.RegistryPath = ModuleRegistryPath;
  store.INIFileSectionPrefix = INISectionPrefix;
  store.INIFile = settingsFile != nullptr ? *settingsFile : INIFile;
  for (std::int32_t i = 0; i < properties->Count(); ++i)
    store.Components.Add(properties->Strings(i));
  return save ? store.Save(*config) : store.Load(*config);
}
