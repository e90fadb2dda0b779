#include "platform/Process.h"

#include <cstdlib>

namespace plat {

namespace {

// One argument as the C runtime splits a command line: in double quotes,
// backslashes before a quote doubled, quotes escaped.
std::string Quote(const std::string& word) {
  std::string out = "\"";
  std::size_t slashes = 0;
  for (char c : word) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    if (c == '"') slashes = slashes * 2 + 1;
    out.append(slashes, '\\');
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, '\\');
  return out + "\"";
}

}  // namespace

int RunProgram(const std::string& program, const std::vector<std::string>& args,
               const std::string& outFile, const std::string& errFile) {
  std::string command = Quote(program);
  for (const auto& a : args) command += " " + Quote(a);
  if (!outFile.empty()) command += " >" + Quote(outFile);
  if (!errFile.empty()) command += " 2>" + Quote(errFile);
  // cmd /c drops the outer quotes of a line that starts with one.
  command = "\"" + command + "\"";
  return std::system(command.c_str());
}

}  // namespace plat
