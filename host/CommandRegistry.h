// The subcommands of mbus-host. Each command file registers itself with a
// static TCommandRegistration, so main() needs no list of them. Registration
// happens before main() runs; look-ups happen on the main thread only.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace host {

// Arguments after the subcommand name; the streams are stdout and stderr.
// Returns the process exit status.
using TCommandFn =
    std::function<int(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)>;

struct TCommand {
  std::string Name;
  std::string Usage;  // one line, e.g. "info PLUGIN"
  std::string Help;   // one sentence
  TCommandFn Run;
};

const std::vector<TCommand>& Commands();
const TCommand* FindCommand(const std::string& name);

class TCommandRegistration {
 public:
  explicit TCommandRegistration(TCommand command);
};

}  // namespace host
