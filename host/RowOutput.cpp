#include "host/RowOutput.h"

#include <cmath>
#include <cstdio>
#include <ostream>

#include "platform/Text.h"

namespace host {

namespace {

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The value of the item name + "_UNIT" in the row, or "".
std::string UnitOf(const TReceivedData& row, const std::string& name) {
  for (const auto& [item, text] : row.Values)
    if (item == name + "_UNIT") return text;
  return {};
}

std::string Number(double value) {
  if (!std::isfinite(value)) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

}  // namespace

bool IsPacketItem(const std::string& name) {
  return name == "FULL_DATA_PACKET" || name == "DATA_PACKET";
}

std::string DisplayText(const std::string& name, const OleVariant& value, const std::string& text) {
  if (!IsPacketItem(name)) return text;
  try {
    return Hex(value.AsAnsiString());
  } catch (const std::exception&) {
    return text;
  }
}

// 8-bit text is in the system code page: every character outside printable
// ASCII goes out as the \u escape of its UTF-16 code unit, never raw.
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char16_t c : plat::AnsiToWide(text)) {
    switch (c) {
      case u'"':
        out += "\\\"";
        break;
      case u'\\':
        out += "\\\\";
        break;
      case u'\n':
        out += "\\n";
        break;
      case u'\r':
        out += "\\r";
        break;
      case u'\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string TerminalText(const std::string& text) {
  return plat::WideToUtf8(plat::AnsiToWide(text));
}

std::string JsonValue(const OleVariant& value) {
  switch (value.VType()) {
    case plat::varEmpty:
    case plat::varNull:
      return "null";
    case plat::varBoolean:
      return value.AsBoolean() ? "true" : "false";
    case plat::varSmallint:
    case plat::varInteger:
    case plat::varShortInt:
    case plat::varByte:
    case plat::varWord:
    case plat::varLongWord:
    case plat::varInt64:
      return std::to_string(value.AsInt64());
    case plat::varUInt64:
      return VariantText(value);
    case plat::varSingle:
    case plat::varDouble:
    case plat::varCurrency:
      return Number(value.AsDouble());
    default:
      return JsonString(VariantText(value));
  }
}

std::string JsonRow(const TReceivedData& row) {
  std::string out = "{";
  for (std::size_t i = 0; i < row.Values.size(); ++i) {
    const std::string& name = row.Values[i].first;
    const OleVariant value = i < row.Items.size() ? row.Items[i] : OleVariant();
    if (i > 0) out += ",";
    out += JsonString(name) + ":";
    out += IsPacketItem(name) ? JsonString(DisplayText(name, value, row.Values[i].second))
                              : JsonValue(value);
  }
  return out + "}";
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

TRowWriter::TRowWriter(std::ostream& out, TOutputFormat format) : FOut(out), FFormat(format) {}

void TRowWriter::SetSourceName(std::int32_t id, const std::string& name) {
  if (id < 1) return;
  if (FSourceNames.size() < static_cast<std::size_t>(id)) FSourceNames.resize(id);
  FSourceNames[id - 1] = name;
}

void TRowWriter::Write(const TReceivedData& row) {
  ++FRows;
  switch (FFormat) {
    case TOutputFormat::Table:
      WriteTable(row);
      break;
    case TOutputFormat::Csv:
      WriteCsv(row);
      break;
    case TOutputFormat::Json:
      FOut << JsonRow(row) << "\n";
      break;
  }
  FOut.flush();
}

void TRowWriter::WriteTable(const TReceivedData& row) {
  std::string source = std::to_string(row.DataSourceId);
  if (row.DataSourceId >= 1 && static_cast<std::size_t>(row.DataSourceId) <= FSourceNames.size())
    source += " (" + FSourceNames[row.DataSourceId - 1] + ")";
  FOut << "row " << FRows << ", data source " << source << "\n";
  std::size_t width = 4;
  for (const auto& [name, text] : row.Values) width = std::max(width, name.size());
  for (std::size_t i = 0; i < row.Values.size(); ++i) {
    const std::string& name = row.Values[i].first;
    if (EndsWith(name, "_UNIT")) continue;  // shown beside its value
    const OleVariant value = i < row.Items.size() ? row.Items[i] : OleVariant();
    std::string shown = TerminalText(DisplayText(name, value, row.Values[i].second));
    const std::string unit = TerminalText(UnitOf(row, name));
    if (!unit.empty()) shown += " " + unit;
    FOut << "  " << name << std::string(width - name.size() + 2, ' ') << shown << "\n";
  }
  FOut << "\n";
}

void TRowWriter::WriteCsv(const TReceivedData& row) {
  if (!FCsvHeader) {
    FOut << "row,data_source,item,value\n";
    FCsvHeader = true;
  }
  for (std::size_t i = 0; i < row.Values.size(); ++i) {
    const std::string& name = row.Values[i].first;
    const OleVariant value = i < row.Items.size() ? row.Items[i] : OleVariant();
    FOut << FRows << "," << row.DataSourceId << "," << CsvField(name) << ","
         << CsvField(TerminalText(DisplayText(name, value, row.Values[i].second))) << "\n";
  }
}

}  // namespace host
