// Environment: the process's environment variables, as every module of the
// process (the plug-in included) sees them.
#pragma once

#include <string>

namespace plat {

// Sets (an empty value: removes) a variable of the process. False on failure.
bool SetEnvironmentValue(const std::string& name, const std::string& value);
// The variable's value; empty when it is not set.
std::string EnvironmentValue(const std::string& name);

}  // namespace plat
