// A small, forgiving XML reader: text in, a tree of named nodes with text
// values and attributes out. It never fails: unbalanced or unterminated
// constructs are skipped or taken as text. Read-only after parsing; one
// thread at a time per tree.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/Classes.h"
#include "params/Variants.h"

class TjanXMLAttribute : public TObject {
 public:
  TjanXMLAttribute(std::string name, const std::string& value)
      : FName(std::move(name)), FValue(std::string_view(value)) {}

  const std::string& Name() const { return FName; }
  const OleVariant& Value() const { return FValue; }  // always OLE text
  std::string Text() const { return FValue.AsAnsiString(); }

 private:
  std::string FName;
  OleVariant FValue;
};

// One element. Owns its children and attributes.
class TjanXMLNode : public TObject {
 public:
  explicit TjanXMLNode(TjanXMLNode* parent = nullptr) : FParent(parent) {}
  ~TjanXMLNode() override;

  const std::string& Name() const { return FName; }
  const std::string& Text() const { return FText; }
  bool CData() const { return FCData; }
  TjanXMLNode* Parent() const { return FParent; }
  std::int32_t ChildCount() const { return static_cast<std::int32_t>(FChildren.size()); }
  TjanXMLNode* Children(std::int32_t index) const { return FChildren.at(index).get(); }
  std::int32_t AttributeCount() const { return static_cast<std::int32_t>(FAttributes.size()); }
  TjanXMLAttribute* Attributes(std::int32_t index) const { return FAttributes.at(index).get(); }

  // Depth-first in document order over the descendants (not this node);
  // names compared with A-Z lower-cased. Null when there is none.
  TjanXMLNode* FindNode(const std::string& name) const;
  // The first direct child of that name, compared the same way.
  TjanXMLNode* FindChild(const std::string& name) const;
  // The value of the first attribute named exactly so; def when there is
  // none or its value is empty.
  std::string GetAttribute(const std::string& name, const std::string& def = "") const;

 protected:
  friend class TjanXMLTree;                 // the reader builds nodes
  void SetTag(const std::string& content);  // name and attributes
  void SetValue(std::string text, bool cdata);
  TjanXMLNode* AddChild(const std::string& tagContent);
  void Reset();  // no name, text, children or attributes

 private:
  std::string FName;
  std::string FText;
  bool FCData = false;
  TjanXMLNode* FParent;
  std::vector<std::unique_ptr<TjanXMLNode>> FChildren;
  std::vector<std::unique_ptr<TjanXMLAttribute>> FAttributes;
};

enum class TjanXMLTokenKind : std::uint8_t { Text, CData, Open, Close, Empty };

struct TjanXMLToken {
  TjanXMLTokenKind Kind;
  std::string Text;  // text, CDATA content or tag content (without the slash)
};

// The document; itself the root node, named "root" once a non-empty text has
// been parsed.
class TjanXMLTree : public TjanXMLNode {
 public:
  TjanXMLTree() = default;

  // Replaces the whole tree by the tree of text; an empty text leaves it empty.
  void SetText(const std::string& text);
  const std::vector<TjanXMLToken>& Tokens() const { return FTokens; }

 private:
  void BuildTree();

  std::vector<TjanXMLToken> FTokens;
};

// The token pass alone, and the entity decoding (each reference once; only
// lt, gt, apos, quot and amp).
std::vector<TjanXMLToken> TokenizeXML(const std::string& text);
std::string DecodeXMLEntities(const std::string& text);
