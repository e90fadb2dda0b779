// mbus-host: loads the plug-in the way the data-logging host does and runs
// one subcommand. "mbus-host" alone or "mbus-host help" lists them;
// "mbus-host --version" tells the versions of the program, the plug-in
// beside it and the protocol library beside that.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "host/CommandRegistry.h"
#include "host/PluginHost.h"
#include "platform/Files.h"
#include "platform/Modules.h"

namespace {

void PrintUsage(std::ostream& out) {
  out << "usage: mbus-host COMMAND [ARGUMENTS]\n       mbus-host --version\n\ncommands:\n";
  for (const auto& command : host::Commands()) {
    out << "  " << command.Usage << "\n      " << command.Help << "\n";
  }
}

// One line per file: its version, or why there is none. False when the
// file is missing.
bool PrintFileVersion(std::ostream& out, const char* what, const std::string& path) {
  if (!plat::FileExists(path)) {
    out << what << ": missing (" << path << ")\n";
    return false;
  }
  const std::string version = plat::FileVersion(path);
  out << what << " " << (version.empty() ? "(no version)" : version) << " (" << path << ")\n";
  return true;
}

int PrintVersions(std::ostream& out) {
  out << "mbus-host " << KOR_HOST_VERSION << "\n";
  const std::string plugin = host::DefaultPluginPath();
  const bool pluginThere = PrintFileVersion(out, "plug-in", plugin);
  const bool libraryThere =
      PrintFileVersion(out, "protocol library", host::ProtocolLibraryPath(plugin));
  return pluginThere && libraryThere ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::string(argv[1]) == "help" || std::string(argv[1]) == "--help") {
    PrintUsage(argc < 2 ? std::cerr : std::cout);
    return argc < 2 ? 2 : 0;
  }
  if (std::string(argv[1]) == "--version") return PrintVersions(std::cout);
  const host::TCommand* command = host::FindCommand(argv[1]);
  if (command == nullptr) {
    std::cerr << "mbus-host: unknown command \"" << argv[1] << "\"\n";
    PrintUsage(std::cerr);
    return 2;
  }
  try {
    return command->Run(std::vector<std::string>(argv + 2, argv + argc), std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "mbus-host: " << e.what() << "\n";
    return 1;
  }
}
