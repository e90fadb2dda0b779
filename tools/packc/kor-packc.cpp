// kor-packc: packs the options dialog's script container, or a resource of
// plain text, for embedding in the plug-in libraries.
//
//   kor-packc --tree TREE.xml --form NAME --properties FILE -o OUT [--cpp UNIT --name RESOURCE]
//   kor-packc --text TEXT -o OUT [--cpp UNIT --name RESOURCE]
//
// The first form writes the gzip member of the container (tree, form name,
// property lines); the second writes TEXT's bytes (no terminator). With
// --cpp it also writes a C++ unit that registers OUT's bytes as the raw-data
// resource RESOURCE (posix builds). Outputs are written only when their
// content changes. Exit status 0, 1 on a failure, 2 for a usage error.
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "tools/common/ToolFiles.h"
#include "tools/packc/ScriptContainer.h"

namespace {

int Usage() {
  std::cerr << "usage: kor-packc --tree TREE.xml --form NAME --properties FILE -o OUT"
               " [--cpp UNIT --name RESOURCE]\n"
               "       kor-packc --text TEXT -o OUT [--cpp UNIT --name RESOURCE]\n";
  return 2;
}

// Options with a value each; false on anything else.
bool ParseOptions(const std::vector<std::string>& args, std::map<std::string, std::string>& opts) {
  static const char* const kKnown[] = {"--tree", "--form", "--properties", "--text",
                                       "-o",     "--cpp",  "--name"};
  for (std::size_t i = 0; i < args.size(); i += 2) {
    bool known = false;
    for (const char* name : kKnown) known = known || args[i] == name;
    if (!known || i + 1 >= args.size() || opts.count(args[i])) return false;
    opts[args[i]] = args[i + 1];
  }
  return true;
}

// The container from its three inputs; message on failure.
bool PackContainer(std::map<std::string, std::string>& opts, std::string& bytes) {
  std::string tree, properties;
  if (!tools::ReadFile(opts["--tree"], tree)) {
    std::cerr << opts["--tree"] << ": cannot be read\n";
    return false;
  }
  if (!tools::ReadFile(opts["--properties"], properties)) {
    std::cerr << opts["--properties"] << ": cannot be read\n";
    return false;
  }
  try {
    bytes = pack::Gzip(pack::ContainerContent(tree, opts["--form"], pack::SplitLines(properties)));
    return true;
  } catch (const std::exception& error) {
    std::cerr << "kor-packc: " << error.what() << "\n";
    return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> opts;
  if (!ParseOptions(std::vector<std::string>(argv + 1, argv + argc), opts)) return Usage();
  const bool text = opts.count("--text") != 0;
  const bool container = opts.count("--tree") && opts.count("--form") && opts.count("--properties");
  const std::size_t expected = (text ? 1 : 3) + 1 + (opts.count("--cpp") ? 2 : 0);
  if (text == container || !opts.count("-o") || opts.count("--cpp") != opts.count("--name") ||
      opts.size() != expected)
    return Usage();
  if (opts.count("--name") && !tools::ValidResourceName(opts["--name"])) {
    std::cerr << "kor-packc: resource name must be letters, digits and _: " << opts["--name"]
              << "\n";
    return 2;
  }
  std::string bytes = opts["--text"];
  if (container && !PackContainer(opts, bytes)) return 1;
  if (!tools::WriteIfChanged(opts["-o"], bytes)) {
    std::cerr << opts["-o"] << ": cannot be written\n";
    return 1;
  }
  if (opts.count("--cpp") &&
      !tools::WriteIfChanged(opts["--cpp"],
                             tools::EmbeddingUnit("kor-packc", opts["--name"], bytes))) {
    std::cerr << opts["--cpp"] << ": cannot be written\n";
    return 1;
  }
  return 0;
}
