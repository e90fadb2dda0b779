// Parser items (the named outputs a module declares to the host), their text
// form, and the list that carries one delivery of parsed values. Plain data:
// the module guards its item list with its command lock.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "params/korParamLst.h"

struct TParserItem {
  std::string Name;
  std::string Caption;
  std::uint8_t DataType = 17;
  std::string Extra;
};

using TParserItemList = std::vector<TParserItem>;

// Data-type codes: the index of the name in kParserItemTypeNames; 17 is
// "not given" and has the empty name.
inline constexpr std::uint8_t kParserItemTypeNone = 17;
inline constexpr const char* kParserItemTypeNames[] = {
    "String", "Memo", "Bytes",    "Blob",  "Boolean", "Float",    "Smallint", "Word",    "Integer",
    "Date",   "Time", "DateTime", "DWord", "Byte",    "Shortint", "Int64",    "Currency"};

// The name of a data type ("" for 17 and anything unknown).
std::string ParserItemTypeName(std::uint8_t dataType);
// The data type of a name (exact match), 17 when it is none of the list.
std::uint8_t ParserItemTypeOf(std::string_view name);
// The data type that declares an item from a sample VARIANT type.
std::uint8_t ParserItemTypeOfVariant(std::uint16_t varType);

// The standard items: the first six always, "CLIENTID" on request.
inline constexpr std::size_t kStandardParserItemCount = 7;
// Row index of the table (0-based); an index beyond it gives row 0.
TParserItem StandardParserItem(std::size_t index);

// Lines "caption|name|type name|extra" joined by CR LF (no final break).
std::string ParserItemsToText(const TParserItemList& items);
// Parses that form: empty lines are skipped, an unknown or missing type name
// gives 17, a missing extra is empty. A line with fewer than two fields ends
// the parse; the items before it are kept and the rest of the text ignored.
TParserItemList ParserItemsFromText(std::string_view text);

// One delivery of parsed values for the host, with the raw packet text.
class TParsedDataList : public TkorParamsList {
 public:
  static constexpr const char* kRawTextSeparator = "<{[::]}>";

  TkorParamsList* CreateNew() const override { return new TParsedDataList(); }
  void Clear() override;
  // Joins a non-empty RawText and text with kRawTextSeparator.
  void AppendRawText(std::string_view text);

  std::string RawText;
};
