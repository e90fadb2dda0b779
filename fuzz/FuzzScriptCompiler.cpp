// Arbitrary text to the dialog script compiler, as the main unit and as
// every unit it uses. It may refuse the text (with a message that names the
// file) but never crash, hang or overflow the stack; a tree it writes is one
// line that starts with the declaration and closes the root element.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/scriptc/ScriptCompiler.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // Every unit name reads the same text: uses clauses recurse until a unit
  // uses itself or the depth limit stops them.
  auto reader = [&](const std::string& unit, std::string& fileName, std::string& source) {
    fileName = unit + ".pas";
    source = text;
    return true;
  };
  std::string tree;
  try {
    tree = script::CompileScript(text, "main.pas", reader);
  } catch (const script::EScriptError& error) {
    const std::string_view message = error.what();
    Check(message.find(".pas:") != std::string_view::npos);
    return 0;
  }
  Check(tree.rfind("<?xml version=\"1.0\"?><program>", 0) == 0);
  Check(tree.size() >= 10 && tree.compare(tree.size() - 10, 10, "</program>") == 0);
  Check(tree.find_first_of("\r\n") == std::string::npos);
  return 0;
}
