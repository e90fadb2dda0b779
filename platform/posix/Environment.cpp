#include "platform/Environment.h"

#include <stdlib.h>

namespace plat {

bool SetEnvironmentValue(const std::string& name, const std::string& value) {
  if (name.empty()) return false;
  return (value.empty() ? ::unsetenv(name.c_str()) : ::setenv(name.c_str(), value.c_str(), 1)) == 0;
}

std::string EnvironmentValue(const std::string& name) {
  const char* value = ::getenv(name.c_str());
  return value ? value : "";
}

}  // namespace plat
