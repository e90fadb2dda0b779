#include "params/janXMLTree.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "framework/SysUtils.h"

namespace {

// Trimmed, every CR LF and every tab one blank, trimmed again.
std::string Normalize(const std::string& text) {
  const std::string trimmed(Trim(text));
  std::string out;
  out.reserve(trimmed.size());
  for (std::size_t i = 0; i < trimmed.size(); ++i) {
    if (trimmed[i] == '\r' && i + 1 < trimmed.size() && trimmed[i + 1] == '\n') {
      out += ' ';
      ++i;
    } else {
      out += trimmed[i] == '\t' ? ' ' : trimmed[i];
    }
  }
  return std::string(Trim(out));
}

// "\n " becomes CR LF and "\t " a tab (how comments and CDATA carry them).
std::string Unescape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 2 < text.size() && text[i + 2] == ' ' &&
        (text[i + 1] == 'n' || text[i + 1] == 't')) {
      out += text[i + 1] == 'n' ? "\r\n" : "\t";
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string AsciiLower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool StartsWithUpper(const std::string& text, std::size_t at, const char* prefix) {
  const std::size_t n = std::strlen(prefix);
  if (text.size() - at < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    char c = text[at + i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != prefix[i]) return false;
  }
  return true;
}

// The ">" that ends the tag starting at "<" (at), skipping quoted text; npos
// when there is none.
std::size_t TagEnd(const std::string& text, std::size_t at) {
  char quote = 0;
  for (std::size_t i = at + 1; i < text.size(); ++i) {
    const char c = text[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      return i;
    }
  }
  return std::string::npos;
}

class TTokenizer {
 public:
  explicit TTokenizer(const std::string& text) : FText(text) {}

  std::vector<TjanXMLToken> Run() {
    while (FPos < FText.size()) {
      const std::size_t lt = FText.find('<', FPos);
      AddText(FText.substr(FPos, lt == std::string::npos ? std::string::npos : lt - FPos));
      if (lt == std::string::npos) break;
      FPos = lt;
      if (!Special("<![CDATA[", "]]>", TjanXMLTokenKind::CData) &&
          !Special("<?", "?>", TjanXMLTokenKind::Text) &&
          !Special("<!--", "-->", TjanXMLTokenKind::Text)) {
        Tag();
      }
    }
    return std::move(FTokens);
  }

 private:
  void AddText(const std::string& raw) {
    std::string text = Normalize(raw);
    if (!text.empty()) FTokens.push_back({TjanXMLTokenKind::Text, std::move(text)});
  }

  // A construct from open to close; false (nothing taken) when it does not
  // start here or is not closed, so that it is read as a tag instead.
  bool Special(const char* open, const char* close, TjanXMLTokenKind kind) {
    if (!StartsWithUpper(FText, FPos, open)) return false;
    const std::size_t start = FPos + std::strlen(open);
    const std::size_t end = FText.find(close, start);
    if (end == std::string::npos) return false;
    std::string content = FText.substr(start, end - start);
    const bool declaration = open[1] == '?';
    if (!declaration) content = Unescape(content);
    if (!declaration || !content.empty()) FTokens.push_back({kind, std::move(content)});
    FPos = end + std::strlen(close);
    return true;
  }

  void Tag() {
    const std::size_t end = TagEnd(FText, FPos);
    if (end == std::string::npos) {
      ++FPos;  // an unterminated "<" is skipped
      return;
    }
    std::string content = Normalize(FText.substr(FPos + 1, end - FPos - 1));
    FPos = end + 1;
    if (!content.empty() && content.front() == '/') {
      FTokens.push_back({TjanXMLTokenKind::Close, content.substr(1)});
    } else if (!content.empty() && content.back() == '/') {
      content.pop_back();
      FTokens.push_back({TjanXMLTokenKind::Empty, std::move(content)});
    } else {
      FTokens.push_back({TjanXMLTokenKind::Open, std::move(content)});
    }
  }

  const std::string& FText;
  std::size_t FPos = 0;
  std::vector<TjanXMLToken> FTokens;
};

}  // namespace

std::vector<TjanXMLToken> TokenizeXML(const std::string& text) {
  return TTokenizer(text).Run();
}

std::string DecodeXMLEntities(const std::string& text) {
  static const std::pair<const char*, char> kEntities[] = {
      {"&lt;", '<'}, {"&gt;", '>'}, {"&apos;", '\''}, {"&quot;", '"'}, {"&amp;", '&'}};
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    bool replaced = false;
    if (text[i] == '&') {
      for (const auto& [name, c] : kEntities) {
        const std::size_t n = std::strlen(name);
        if (text.compare(i, n, name) == 0) {
          out += c;
          i += n;
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

// ---- nodes

TjanXMLNode::~TjanXMLNode() {
  // Iteratively, so a deeply nested document cannot exhaust the stack.
  std::vector<std::unique_ptr<TjanXMLNode>> pending = std::move(FChildren);
  while (!pending.empty()) {
    std::unique_ptr<TjanXMLNode> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->FChildren) pending.push_back(std::move(child));
    node->FChildren.clear();
  }
}

void TjanXMLNode::Reset() {
  TjanXMLNode scratch;
  scratch.FChildren = std::move(FChildren);  // freed iteratively with scratch
  FChildren.clear();
  FAttributes.clear();
  FName.clear();
  FText.clear();
  FCData = false;
}

TjanXMLNode* TjanXMLNode::FindNode(const std::string& name) const {
  const std::string wanted = AsciiLower(name);
  // Children are pushed in reverse so that they come off in document order.
  std::vector<const TjanXMLNode*> stack;
  for (auto it = FChildren.rbegin(); it != FChildren.rend(); ++it) stack.push_back(it->get());
  while (!stack.empty()) {
    const TjanXMLNode* node = stack.back();
    stack.pop_back();
    if (AsciiLower(node->FName) == wanted) return const_cast<TjanXMLNode*>(node);
    for (auto it = node->FChildren.rbegin(); it != node->FChildren.rend(); ++it)
      stack.push_back(it->get());
  }
  return nullptr;
}

TjanXMLNode* TjanXMLNode::FindChild(const std::string& name) const {
  const std::string wanted = AsciiLower(name);
  for (const auto& child : FChildren)
    if (AsciiLower(child->FName) == wanted) return child.get();
  return nullptr;
}

std::string TjanXMLNode::GetAttribute(const std::string& name, const std::string& def) const {
  for (const auto& attribute : FAttributes) {
    if (attribute->Name() != name) continue;
    std::string value = attribute->Text();
    return value.empty() ? def : value;
  }
  return def;
}

void TjanXMLNode::SetValue(std::string text, bool cdata) {
  FText = std::move(text);
  FCData = cdata;
}

TjanXMLNode* TjanXMLNode::AddChild(const std::string& tagContent) {
  FChildren.push_back(std::make_unique<TjanXMLNode>(this));
  FChildren.back()->SetTag(tagContent);
  return FChildren.back().get();
}

void TjanXMLNode::SetTag(const std::string& content) {
  const std::size_t blank = content.find(' ');
  FName = content.substr(0, blank);
  if (blank == std::string::npos) return;
  std::size_t pos = blank;
  for (;;) {
    const std::size_t eq = content.find('=', pos);
    if (eq == std::string::npos) return;
    const std::size_t open = content.find_first_of("\"'", eq + 1);
    if (open == std::string::npos) return;
    const std::size_t close = content.find(content[open], open + 1);
    if (close == std::string::npos) return;
    FAttributes.push_back(std::make_unique<TjanXMLAttribute>(
        std::string(Trim(content.substr(pos, eq - pos))),
        DecodeXMLEntities(content.substr(open + 1, close - open - 1))));
    pos = close + 1;
  }
}

// ---- the tree

void TjanXMLTree::SetText(const std::string& text) {
  Reset();
  FTokens = TokenizeXML(text);
  if (text.empty()) return;
  BuildTree();
}

void TjanXMLTree::BuildTree() {
  SetTag("root");
  TjanXMLNode* current = this;
  for (const TjanXMLToken& token : FTokens) {
    if (current == nullptr) break;  // closed past the root: the rest is ignored
    switch (token.Kind) {
      case TjanXMLTokenKind::Open:
        current = current->AddChild(token.Text);
        break;
      case TjanXMLTokenKind::Close:
        current = current->Parent();
        break;
      case TjanXMLTokenKind::Empty:
        current->AddChild(token.Text);
        break;
      case TjanXMLTokenKind::Text:
        current->SetValue(DecodeXMLEntities(token.Text), false);
        break;
      case TjanXMLTokenKind::CData:
        current->SetValue(token.Text, true);
        break;
    }
  }
}
