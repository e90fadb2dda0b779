// kor-scriptc: the dialog script compiler. Compiles the main script unit and
// every unit it uses (found as UNIT.pas beside the main unit) into one XML
// syntax tree.
//
//   kor-scriptc MAIN.pas -o TREE.xml
//
// The output is written only when its content changes. Exit status 0, 1
// with "FILE:LINE:COLUMN: reason" on standard error, 2 for a usage error.
#include <iostream>
#include <string>
#include <vector>

#include "tools/common/ToolFiles.h"
#include "tools/scriptc/ScriptCompiler.h"

namespace {

int Usage() {
  std::cerr << "usage: kor-scriptc MAIN.pas -o TREE.xml\n";
  return 2;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() != 3 || args[1] != "-o" || args[0].empty() || args[0][0] == '-') return Usage();
  const std::string& source = args[0];
  const std::string& output = args[2];
  std::string text;
  if (!tools::ReadFile(source, text)) {
    std::cerr << source << ": cannot be read\n";
    return 1;
  }
  const std::string folder = FolderOf(source);
  auto readUnit = [&](const std::string& unit, std::string& fileName, std::string& unitText) {
    fileName = folder + unit + ".pas";
    return tools::ReadFile(fileName, unitText);
  };
  std::string tree;
  try {
    tree = script::CompileScript(text, source, readUnit);
  } catch (const std::exception& error) {
    std::cerr << error.what() << "\n";
    return 1;
  }
  if (!tools::WriteIfChanged(output, tree)) {
    std::cerr << output << ": cannot be written\n";
    return 1;
  }
  return 0;
}
