// A second process for the settings tests: saves COUNT different keys of
// its own into one INI file, one save each, as a module of another host
// process would.  settings_saver INI-FILE NAME COUNT
// Exit status 0 when every save reported success.
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

#include "params/TWregistry.h"
#include "params/korParamLst.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: settings_saver INI-FILE NAME COUNT\n";
    return 2;
  }
  const std::string file = argv[1];
  const std::string name = argv[2];
  const int count = std::atoi(argv[3]);
  try {
    for (int i = 0; i < count; ++i) {
      TkorParamsList values;
      values.Add("v", OleVariant(static_cast<std::int32_t>(i)));
      TWreg store;
      store.INIFile = file;
      store.INIFileSectionPrefix = "Shared";
      store.Components.Add("v," + name + "\\Key" + std::to_string(i));
      if (!store.Save(values)) {
        std::cerr << name << ": save " << i << " stored nothing\n";
        return 1;
      }
    }
  } catch (const std::exception& e) {
    std::cerr << name << ": " << e.what() << "\n";
    return 1;
  }
  return 0;
}
