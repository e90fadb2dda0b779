// kor-formc: the form compiler. Turns the text form of a form into its
// binary form stream, and optionally into a C++ unit that embeds the stream
// as a raw-data resource on platforms without resource sections.
//
//   kor-formc FORM -o STREAM [--cpp UNIT --name RESOURCE]
//   kor-formc --text STREAM          prints the text form of a binary stream
//
// Outputs are written only when their content changes, so a build that
// recompiles an unchanged form rebuilds nothing after it. Exit status 0, or
// 1 with "FILE:LINE:COLUMN: reason" on standard error.
#include <iostream>
#include <string>
#include <vector>

#include "tools/common/ToolFiles.h"
#include "tools/formc/FormText.h"

namespace {

using tools::ReadFile;
using tools::ValidResourceName;
using tools::WriteIfChanged;

int Usage() {
  std::cerr << "usage: kor-formc FORM -o STREAM [--cpp UNIT --name RESOURCE]\n"
               "       kor-formc --text STREAM\n";
  return 2;
}

int PrintText(const std::string& path) {
  std::string bytes;
  if (!ReadFile(path, bytes)) {
    std::cerr << path << ": cannot be read\n";
    return 1;
  }
  try {
    std::cout << form::FormToText(form::ReadFormStream(bytes));
    return 0;
  } catch (const std::exception& error) {
    std::cerr << path << ": " << error.what() << "\n";
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 2 && args[0] == "--text") return PrintText(args[1]);
  std::string source, output, unit, name;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const bool hasValue = i + 1 < args.size();
    if (args[i] == "-o" && hasValue)
      output = args[++i];
    else if (args[i] == "--cpp" && hasValue)
      unit = args[++i];
    else if (args[i] == "--name" && hasValue)
      name = args[++i];
    else if (source.empty() && !args[i].empty() && args[i][0] != '-')
      source = args[i];
    else
      return Usage();
  }
  if (source.empty() || output.empty() || unit.empty() != name.empty()) return Usage();
  if (!name.empty() && !ValidResourceName(name)) {
    std::cerr << "kor-formc: resource name must be letters, digits and _: " << name << "\n";
    return 2;
  }
  std::string text;
  if (!ReadFile(source, text)) {
    std::cerr << source << ": cannot be read\n";
    return 1;
  }
  std::string stream;
  try {
    stream = form::CompileFormText(text);
  } catch (const std::exception& error) {
    std::cerr << source << ":" << error.what() << "\n";
    return 1;
  }
  if (!WriteIfChanged(output, stream)) {
    std::cerr << output << ": cannot be written\n";
    return 1;
  }
  if (!unit.empty() && !WriteIfChanged(unit, tools::EmbeddingUnit("kor-formc", name, stream))) {
    std::cerr << unit << ": cannot be written\n";
    return 1;
  }
  return 0;
}
