// The rows the plug-in delivers, as mbus-host prints them: a table (one
// block per row: item, value, unit), CSV (one line per item: row, data
// source, item, value) or JSON lines (one object per row, every item under
// its name, numbers as numbers). Packet items (raw M-Bus bytes) print as
// hexadecimal. One thread at a time (the main thread).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "host/PluginHost.h"
#include "host/ReadOptions.h"

namespace host {

class TRowWriter {
 public:
  TRowWriter(std::ostream& out, TOutputFormat format);
  // A data source's name (identifiers from 1) for the table's headings.
  void SetSourceName(std::int32_t id, const std::string& name);

  void Write(const TReceivedData& row);
  int Rows() const { return FRows; }

 private:
  void WriteTable(const TReceivedData& row);
  void WriteCsv(const TReceivedData& row);

  std::ostream& FOut;
  TOutputFormat FFormat;
  std::vector<std::string> FSourceNames;
  int FRows = 0;
  bool FCsvHeader = false;
};

// One row as a JSON object (no line break).
std::string JsonRow(const TReceivedData& row);
// A value as JSON: numbers and Booleans as such, Empty and Null as null,
// anything else as a string.
std::string JsonValue(const OleVariant& value);
std::string JsonString(const std::string& text);
// A CSV field, quoted when it needs to be.
std::string CsvField(const std::string& text);
// Text of the system code page as UTF-8, as the table and CSV print it.
std::string TerminalText(const std::string& text);
// The items that hold raw packet bytes.
bool IsPacketItem(const std::string& name);
// The text of an item for display: packet bytes as hexadecimal pairs.
std::string DisplayText(const std::string& name, const OleVariant& value, const std::string& text);

}  // namespace host
