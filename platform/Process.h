// Process: running another program to its end (tests drive mbus-host this
// way). Any thread.
#pragma once

#include <string>
#include <vector>

namespace plat {

// Runs the program with its arguments through the system's command
// interpreter, standard output and error redirected to the given files
// (empty: inherited), waits for it and returns its exit status; -1 when it
// could not be run or did not end normally.
int RunProgram(const std::string& program, const std::vector<std::string>& args,
               const std::string& outFile = "", const std::string& errFile = "");

}  // namespace plat
