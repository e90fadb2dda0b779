// Arbitrary bytes to the dialog runner's syntax-tree reader. It may refuse
// them (ESyntaxTreeError, with the offset) but never crash, hang or overflow
// the stack; a tree it accepts has a "program" root and only elements of
// the vocabulary, nested no deeper than the limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/scriptrun/ScriptTree.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckNode(const scriptrun::TTreeNode& node, int depth) {
  Check(depth <= scriptrun::kMaxTreeDepth);
  Check(scriptrun::IsTreeElement(node.Element));
  for (const scriptrun::TTreeNode& child : node.Children) CheckNode(child, depth + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const scriptrun::TTreeNode root = scriptrun::ReadSyntaxTree(text);
    Check(root.Element == "program");
    CheckNode(root, 1);
  } catch (const scriptrun::ESyntaxTreeError& error) {
    Check(std::string_view(error.what()).rfind("syntax tree, offset ", 0) == 0);
  }
  return 0;
}
