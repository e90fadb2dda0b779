// mbus-host: loads the plug-in the way the data-logging host does and runs
// one subcommand. "mbus-host" alone or "mbus-host help" lists them.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "host/CommandRegistry.h"

namespace {

void PrintUsage(std::ostream& out) {
  out << "usage: mbus-host COMMAND [ARGUMENTS]\n\ncommands:\n";
  for (const auto& command : host::Commands()) {
    out << "  " << command.Usage << "\n      " << command.Help << "\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::string(argv[1]) == "help" || std::string(argv[1]) == "--help") {
    PrintUsage(argc < 2 ? std::cerr : std::cout);
    return argc < 2 ? 2 : 0;
  }
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
