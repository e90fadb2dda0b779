#include "platform/Environment.h"

#include <windows.h>

#include <vector>

namespace plat {

// The process environment block, which every module of the process reads
// (each C runtime's copy may differ, so getenv is not used).
bool SetEnvironmentValue(const std::string& name, const std::string& value) {
  if (name.empty()) return false;
  return SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str()) != 0;
}

std::string EnvironmentValue(const std::string& name) {
  const DWORD needed = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
  if (needed == 0) return {};
  std::vector<char> buffer(needed);
  const DWORD length = GetEnvironmentVariableA(name.c_str(), buffer.data(), needed);
  return length > 0 && length < needed ? std::string(buffer.data(), length) : std::string();
}

}  // namespace plat
