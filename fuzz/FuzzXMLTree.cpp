// Arbitrary text to the XML reader. Whatever the input, the reader must not
// crash or hang, the tree must hang together (each child's parent is its
// node) and stay within the size of the input, and look-ups must be safe.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "params/janXMLTree.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// Walks the tree without recursion; returns the number of nodes.
std::size_t Walk(const TjanXMLNode& root, std::size_t inputSize) {
  std::size_t nodes = 0;
  std::vector<const TjanXMLNode*> stack{&root};
  while (!stack.empty()) {
    const TjanXMLNode* node = stack.back();
    stack.pop_back();
    ++nodes;
    Check(node->Name().size() <= inputSize + 4 && node->Text().size() <= inputSize);  // "root"
    for (std::int32_t i = 0; i < node->AttributeCount(); ++i) {
      const TjanXMLAttribute* a = node->Attributes(i);
      Check(node->GetAttribute(a->Name(), "x").size() <= inputSize);
    }
    for (std::int32_t i = 0; i < node->ChildCount(); ++i) {
      Check(node->Children(i)->Parent() == node);
      stack.push_back(node->Children(i));
    }
  }
  return nodes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TjanXMLTree tree;
  tree.SetText(text);
  const std::size_t nodes = Walk(tree, size);
  Check(nodes <= tree.Tokens().size() + 1);
  std::size_t tokenBytes = 0;
  for (const TjanXMLToken& token : tree.Tokens()) tokenBytes += token.Text.size();
  Check(tokenBytes <= size);
  // Names from the input itself, so that look-ups also hit.
  for (std::size_t at = 0; at + 4 <= size && at < 64; at += 4) {
    const std::string name = text.substr(at, 4);
    if (TjanXMLNode* found = tree.FindNode(name)) Check(found != &tree);
    if (TjanXMLNode* child = tree.FindChild(name)) Check(child->Parent() == &tree);
  }
  tree.SetText(text.substr(0, size / 2));  // replacing a tree frees the old one
  return 0;
}
