#include "platform/Process.h"

#include <sys/wait.h>

#include <cstdlib>

namespace plat {

namespace {

// One word for the shell: single quotes, each quote inside closed and
// escaped.
std::string Quote(const std::string& word) {
  std::string out = "'";
  for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

int RunProgram(const std::string& program, const std::vector<std::string>& args,
               const std::string& outFile, const std::string& errFile) {
  std::string command = Quote(program);
  for (const auto& a : args) command += " " + Quote(a);
  if (!outFile.empty()) command += " >" + Quote(outFile);
  if (!errFile.empty()) command += " 2>" + Quote(errFile);
  const int status = std::system(command.c_str());
  if (status == -1 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace plat
