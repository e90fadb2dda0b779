#include "host/CommandRegistry.h"

#include <algorithm>
#include <utility>

namespace host {

namespace {

std::vector<TCommand>& Registry() {
  static std::vector<TCommand> commands;
  return commands;
}

}  // namespace

const std::vector<TCommand>& Commands() {
  return Registry();
}

const TCommand* FindCommand(const std::string& name) {
  const auto& commands = Registry();
  auto it = std::find_if(commands.begin(), commands.end(),
                         [&](const TCommand& c) { return c.Name == name; });
  return it == commands.end() ? nullptr : &*it;
}

TCommandRegistration::TCommandRegistration(TCommand command) {
  auto& commands = Registry();
  auto at = std::find_if(commands.begin(), commands.end(),
                         [&](const TCommand& c) { return c.Name > command.Name; });
  commands.insert(at, std::move(command));
}

}  // namespace host
