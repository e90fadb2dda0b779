// The reader of the dialog script's syntax tree: the XML that kor-scriptc
// writes (vocabulary in docs/options-dialog.md) back into a tree of nodes,
// for the test runner that interprets it. It accepts the XML declaration,
// elements with attributes in double quotes, the five predefined entities
// and blanks between elements; anything else (text content, an unknown
// element or attribute, a mismatched end tag, nesting beyond kMaxTreeDepth)
// is refused with the byte offset where it was found.
// Pure code over text; thread-safe (no shared state).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace scriptrun {

// A tree that cannot be read or does not fit the vocabulary.
class ESyntaxTreeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One element. Text: the "text" attribute, or "unit" for a uses element.
// Pos: the "pos" attribute ("line:column"), empty when absent.
struct TTreeNode {
  std::string Element;
  std::string Text;
  std::string Pos;
  std::vector<TTreeNode> Children;
};

// Elements nest at most this deep (the compiler's own limits stay far
// below it); deeper trees are refused rather than risking the stack.
inline constexpr int kMaxTreeDepth = 1000;

// The root "program" element of a whole tree. Raises ESyntaxTreeError.
TTreeNode ReadSyntaxTree(std::string_view xml);

// True for the element names of the vocabulary.
bool IsTreeElement(std::string_view name);

}  // namespace scriptrun
