#include "plugin/korPluginParserItems.h"

#include <iterator>

#include "plugin/korPluginText.h"

namespace {

constexpr std::size_t kTypeNameCount = std::size(kParserItemTypeNames);

struct TStandardRow {
  const char* Name;
  const char* Caption;
  std::uint8_t DataType;
  const char* Extra;
};
constexpr TStandardRow kStandardItems[kStandardParserItemCount] = {
    {"FULL_DATA_PACKET", "Full data packet", 0, ""},
    {"DATA_PACKET", "Data packet", 0, ""},
    {"DATE_TIME_STAMP", "Datetime stamp", 11, "1"},
    {"DATA_SOURCE_ID", "Data source ID", 8, ""},
    {"DATA_SOURCE_NAME", "Data source name", 0, "1"},
    {"DATA_SOURCE_FULL_NAME", "Data source long name", 0, ""},
    {"CLIENTID", "Client ID", 8, ""},
};

// VARIANT type -> data type, one row per type that has one.
struct TVariantTypeRow {
  std::uint16_t VarType;
  std::uint8_t DataType;
};
constexpr TVariantTypeRow kVariantTypes[] = {
    {plat::varSmallint, 6},  {plat::varInteger, 8},   {plat::varSingle, 5},    {plat::varDouble, 5},
    {plat::varCurrency, 16}, {plat::varDate, 11},     {plat::varOleStr, 0},    {plat::varString, 0},
    {plat::varUString, 0},   {plat::varBoolean, 4},   {plat::varShortInt, 14}, {plat::varByte, 13},
    {plat::varWord, 7},      {plat::varLongWord, 12}, {plat::varInt64, 15},
};

}  // namespace

std::string ParserItemTypeName(std::uint8_t dataType) {
  return dataType < kTypeNameCount ? kParserItemTypeNames[dataType] : "";
}

std::uint8_t ParserItemTypeOf(std::string_view name) {
  for (std::size_t i = 0; i < kTypeNameCount; ++i)
    if (name == kParserItemTypeNames[i]) return static_cast<std::uint8_t>(i);
  return kParserItemTypeNone;
}

std::uint8_t ParserItemTypeOfVariant(std::uint16_t varType) {
  for (const TVariantTypeRow& row : kVariantTypes)
    if (row.VarType == varType) return row.DataType;
  return kParserItemTypeNone;
}

TParserItem StandardParserItem(std::size_t index) {
  const TStandardRow& row = kStandardItems[index < kStandardParserItemCount ? index : 0];
  return TParserItem{row.Name, row.Caption, row.DataType, row.Extra};
}

std::string ParserItemsToText(const TParserItemList& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += "\r\n";
    const TParserItem& item = items[i];
    text +=
        item.Caption + "|" + item.Name + "|" + ParserItemTypeName(item.DataType) + "|" + item.Extra;
  }
  return text;
}

TParserItemList ParserItemsFromText(std::string_view text) {
  TParserItemList items;
  for (const std::string& line : plugtext::SplitLines(text)) {
    if (line.empty()) continue;
    std::vector<std::string> fields = plugtext::SplitFields(line, '|');
    if (fields.size() < 2) break;
    TParserItem item;
    item.Caption = fields[0];
    item.Name = fields[1];
    item.DataType = fields.size() > 2 ? ParserItemTypeOf(fields[2]) : kParserItemTypeNone;
    if (fields.size() > 3) item.Extra = fields[3];
    items.push_back(std::move(item));
  }
  return items;
}

void TParsedDataList::Clear() {
  TkorParamsList::Clear();
  RawText.clear();
}

void TParsedDataList::AppendRawText(std::string_view text) {
  if (!RawText.empty()) RawText += kRawTextSeparator;
  RawText += text;
}
