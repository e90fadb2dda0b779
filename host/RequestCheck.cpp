#include "host/RequestCheck.h"

#include <algorithm>
#include <cctype>

#include "framework/parser_BasicRequestItem.h"
#include "params/janXMLTree.h"

namespace host {

namespace {

struct TOpenTag {
  std::string Name;
  int Line;
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string At(int line) {
  return "line " + std::to_string(line) + ": ";
}

// Walks the tags with their lines: every tag closed by ">", every element
// closed by its own end tag, nothing after the end. The first fault, or "".
class TStructureWalk {
 public:
  explicit TStructureWalk(const std::string& text) : FText(text) {}

  std::string Run() {
    while (FFault.empty() && FPos < FText.size()) {
      const std::size_t open = FText.find('<', FPos);
      CountLines(open == std::string::npos ? FText.size() : open);
      if (open == std::string::npos) break;
      FPos = open;
      Markup();
    }
    if (FFault.empty() && !FStack.empty())
      FFault = At(FStack.back().Line) + "<" + FStack.back().Name + "> is never closed" +
               (FStack.size() > 1 ? " (the document ends inside it)" : "");
    return FFault;
  }

  // The line of the first element of that name (any letter case), or 0.
  int LineOf(const std::string& lowerName) const {
    for (const auto& [name, line] : FSeen)
      if (name == lowerName) return line;
    return 0;
  }

 private:
  void CountLines(std::size_t until) {
    FLine += static_cast<int>(std::count(FText.begin() + static_cast<std::ptrdiff_t>(FPos),
                                         FText.begin() + static_cast<std::ptrdiff_t>(until), '\n'));
    FPos = until;
  }

  // Skips to the end marker; a fault naming what is left open when it is missing.
  void SkipTo(const char* end, const std::string& what) {
    const int line = FLine;
    const std::size_t at = FText.find(end, FPos);
    if (at == std::string::npos) {
      FFault = At(line) + what + " is not closed (the document ends inside it)";
      return;
    }
    CountLines(at + std::string(end).size());
  }

  void Markup() {
    if (FText.compare(FPos, 4, "<!--") == 0) return SkipTo("-->", "the comment");
    if (FText.compare(FPos, 9, "<![CDATA[") == 0) return SkipTo("]]>", "the CDATA section");
    if (FText.compare(FPos, 2, "<?") == 0) return SkipTo("?>", "the declaration <?");
    if (FText.compare(FPos, 2, "<!") == 0) return SkipTo(">", "the declaration <!");
    Tag();
  }

  void Tag() {
    const int line = FLine;
    std::size_t end = FPos + 1;
    char quote = 0;
    for (; end < FText.size(); ++end) {
      const char c = FText[end];
      if (quote != 0) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>' || c == '<') {
        break;
      }
    }
    const bool closing = FPos + 1 < FText.size() && FText[FPos + 1] == '/';
    std::size_t nameStart = FPos + (closing ? 2 : 1);
    std::size_t nameEnd = nameStart;
    while (nameEnd < end && !std::isspace(static_cast<unsigned char>(FText[nameEnd])) &&
           FText[nameEnd] != '/' && FText[nameEnd] != '>')
      ++nameEnd;
    const std::string name = FText.substr(nameStart, nameEnd - nameStart);
    if (end >= FText.size() || FText[end] == '<') {
      FFault = At(line) + "the tag <" + (closing ? "/" : "") + name + " is not closed" +
               (end >= FText.size() ? " (the document ends inside it)" : " (no \">\")");
      return;
    }
    if (name.empty()) {
      FFault = At(line) + "a tag without a name";
      return;
    }
    CountLines(end + 1);
    if (closing) return Close(name, line);
    if (FText[end - 1] == '/') return;
    FStack.push_back({name, line});
    FSeen.push_back({Lower(name), line});
  }

  void Close(const std::string& name, int line) {
    if (FStack.empty()) {
      FFault = At(line) + "</" + name + "> closes no element";
    } else if (FStack.back().Name != name) {
      FFault = At(line) + "</" + name + "> where <" + FStack.back().Name + "> (line " +
               std::to_string(FStack.back().Line) + ") must be closed first";
    } else {
      FStack.pop_back();
    }
  }

  const std::string& FText;
  std::size_t FPos = 0;
  int FLine = 1;
  std::string FFault;
  std::vector<TOpenTag> FStack;
  std::vector<std::pair<std::string, int>> FSeen;
};

// The plug-in's rule for a flag: the text "1", or without text the check
// state 2.
bool Enabled(const TjanXMLNode& request) {
  const TjanXMLNode* element = request.FindNode("Enabled");
  if (element == nullptr) return false;
  const std::string text = XmlElementText(*element);
  if (!text.empty()) return text == "1";
  return element->GetAttribute("check") == "2";
}

// The plug-in's device list: split at ";" and ",", trimmed; "1" without
// the element, "0" when nothing is left.
std::vector<std::string> DevicesOf(const TjanXMLNode& request) {
  const TjanXMLNode* element = request.FindNode("Device");
  if (element == nullptr) return {"1"};
  std::vector<std::string> devices;
  std::string part;
  auto flush = [&] {
    const auto first = part.find_first_not_of(" \t\r\n");
    if (first != std::string::npos)
      devices.push_back(part.substr(first, part.find_last_not_of(" \t\r\n") - first + 1));
    part.clear();
  };
  for (char c : element->Text()) {
    if (c == ';' || c == ',')
      flush();
    else
      part += c;
  }
  flush();
  if (devices.empty()) devices.push_back("0");
  return devices;
}

}  // namespace

TRequestCheck CheckRequestDocument(const std::string& document) {
  TRequestCheck check;
  TStructureWalk walk(document);
  check.Fault = walk.Run();
  TjanXMLTree tree;
  tree.SetText(document);
  const TjanXMLNode* mbus = tree.FindNode("MBUS");
  int disabled = 0;
  if (mbus != nullptr) {
    for (std::int32_t i = 0; i < mbus->ChildCount(); ++i) {
      const TjanXMLNode& request = *mbus->Children(i);
      if (!Enabled(request)) {
        ++disabled;
        continue;
      }
      ++check.Requests;
      for (auto& device : DevicesOf(request))
        if (std::find(check.Devices.begin(), check.Devices.end(), device) == check.Devices.end())
          check.Devices.push_back(std::move(device));
    }
  }
  if (check.Requests > 0) return check;
  if (!check.Fault.empty()) {
    check.NoRequestReason = check.Fault;
  } else if (mbus == nullptr) {
    check.NoRequestReason = "no <MBUS> element";
  } else if (disabled == 0) {
    check.NoRequestReason = At(walk.LineOf("mbus")) + "<" + mbus->Name() + "> holds no request";
  } else {
    check.NoRequestReason =
        (disabled == 1 ? std::string("the request is not")
                       : "none of the " + std::to_string(disabled) + " requests is") +
        " enabled (<Enabled>1</Enabled>)";
  }
  return check;
}

}  // namespace host
