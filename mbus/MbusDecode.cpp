#include "mbus/MbusDecode.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "framework/DateUtils.h"
#include "framework/SysUtils.h"
#include "mbus/RequestConfig.h"
#include "mbus/mbus_api.h"
#include "platform/Text.h"

namespace {

struct TMediumRow {
  std::uint8_t Code;
  const char* Name;
};

// The medium names the host shows (their spelling is part of the output).
constexpr TMediumRow kMedia[] = {
    {0, "Other"},         {1, "Oil"},           {2, "Electricity"},   {3, "Gas"},
    {4, "Heat out"},      {5, "Steam"},         {6, "Hot water"},     {7, "Water"},
    {8, "Heat cost"},     {9, "Compr air"},     {10, "Cool out"},     {11, "Cool in"},
    {12, "Heat in"},      {13, "Hear cool"},    {14, "Bus"},          {15, "Unknown"},
    {16, "Irrigation"},   {17, "Water logger"}, {18, "Gas logger"},   {19, "Gas conv"},
    {20, "Colorific"},    {21, "Boil water"},   {22, "Cold water"},   {23, "Dual water"},
    {24, "Pressure"},     {25, "ADC"},          {26, "Smoke"},        {27, "Room sensor"},
    {28, "Gas detector"}, {32, "Breaker E"},    {33, "Valve"},        {37, "Customer unit"},
    {40, "Waste water"},  {41, "Garbage"},      {48, "Service unit"}, {54, "RC system"},
    {55, "RC meter"},
};

// Names that every row receives after its values: the identification items
// (merged at its front), and the packet items the worker inserts into the
// first row. Values named alike step aside (_I2) so names stay unique.
constexpr const char* kReservedNames[] = {kItemDeviceId,      kItemManufacturer, kItemMedium,
                                          kItemVersion,       kItemStatus,       kItemStorage,
                                          "FULL_DATA_PACKET", "DATA_PACKET"};

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

void ReplaceAll(std::string& text, std::string_view what, std::string_view with) {
  for (std::size_t at = text.find(what); at != std::string::npos;
       at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
}

// Quantity text to item name: "(...)" parts out, trimmed, blanks to "_",
// upper case (ASCII letters; other bytes stay), "/", "." and "," out.
std::string CleanName(std::string text) {
  for (;;) {
    const std::size_t open = text.find('(');
    const std::size_t close = open == std::string::npos ? open : text.find(')', open + 1);
    if (close == std::string::npos) break;
    text.erase(open, close - open + 1);
  }
  std::string name;
  for (char c : Trim(text)) {
    if (c == '/' || c == '.' || c == ',') continue;
    name += c == ' ' ? '_' : Upper(c);
  }
  return name;
}

// A leading number of a unit text ("1e-3 m^3"), with "." whatever the
// locale: 0 when it is none.
double ParseFactor(const std::string& text) {
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return 0;
  return value;
}

struct TItemName {
  std::string Name;
  std::string Unit;
  double Factor = 0;
};

// Rules 1 and 2 of the naming: from the quantity, else from the unit text.
TItemName BaseName(const std::string& quantity, const std::string& unit) {
  TItemName out;
  if (!quantity.empty()) {
    out.Name = CleanName(quantity);
    out.Unit = unit;
    return out;
  }
  const std::size_t open = unit.find('(');
  if (open == std::string::npos) {
    out.Name = "VALUE";
    out.Unit = std::string(Trim(unit));
  } else {
    out.Name = CleanName(unit.substr(0, open));
    const std::size_t close = unit.find(')', open + 1);
    out.Unit = std::string(Trim(
        unit.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1)));
  }
  if (!out.Unit.empty() && out.Unit[0] >= '0' && out.Unit[0] <= '9') {
    const std::size_t blank = out.Unit.find(' ');
    if (blank != std::string::npos) {
      out.Factor = ParseFactor(out.Unit.substr(0, blank));
      out.Unit = std::string(Trim(out.Unit.substr(blank + 1)));
    }
    std::string packed;
    for (char c : out.Unit)
      if (c != ' ') packed += c;
    out.Unit = packed;
  }
  return out;
}

bool HasUnitItem(const std::string& unit) {
  return !unit.empty() && unit != "-" &&
         plat::AnsiLowerCase(unit).find("time point") == std::string::npos;
}

// Whether the row (back to its last row marker) or the reserved names hold
// the name already.
bool NameTaken(const TkorMbusDataRow& row, std::string_view name) {
  for (const char* reserved : kReservedNames)
    if (SameName(name, reserved)) return true;
  for (std::int32_t i = row.Count() - 1; i >= 0; --i) {
    const TkorParamsListItem* item = row.Items(i);
    if (item->IsRowMarker()) break;
    if (SameName(item->Name, name)) return true;
  }
  return false;
}

// The n-th value of a name is name + "_I" + n (n from 2), checked against
// every name in the row, so three alike give NAME, NAME_I2, NAME_I3.
std::string UniqueName(const TkorMbusDataRow& row, const std::string& name, bool withUnit) {
  std::string candidate = name;
  for (int n = 2; NameTaken(row, candidate) || (withUnit && NameTaken(row, candidate + "_UNIT"));
       ++n)
    candidate = name + "_I" + std::to_string(n);
  return candidate;
}

OleVariant ApplyFactor(OleVariant value, double factor) {
  if (factor == 0 || value.VType() != plat::varDouble) return value;
  const double number = value.AsDouble();
  double integral = 0;
  if (std::modf(factor, &integral) != 0 || std::fabs(integral) >= 9.2e18)
    return OleVariant(number * factor);
  return OleVariant(number * static_cast<double>(static_cast<std::int64_t>(integral)));
}

std::int32_t ClampIndex(long value) {
  if (value < 0) return 0;
  return value > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<std::int32_t>(value);
}

// ---- library memory ----

struct TRecordFree {
  const TMbusApi* Api;
  void operator()(mbus_record* record) const { Api->mbus_record_free(record); }
};
using TRecordPtr = std::unique_ptr<mbus_record, TRecordFree>;

// Releases the records of one parsed frame when it goes out of scope.
class TRecordsOwner {
 public:
  TRecordsOwner(const TMbusApi& api, mbus_frame_data& data) : FApi(api), FData(data) {}
  ~TRecordsOwner() {
    if (FData.data_var.record) FApi.mbus_data_record_free(FData.data_var.record);
    FData.data_var.record = nullptr;
  }
  TRecordsOwner(const TRecordsOwner&) = delete;
  TRecordsOwner& operator=(const TRecordsOwner&) = delete;

 private:
  const TMbusApi& FApi;
  mbus_frame_data& FData;
};

// ---- dates ----

enum class TDateForm { None, Date, DateTime };

TDateForm RecordDateForm(const mbus_data_record& r) {
  const unsigned field = r.dib.dif & MBUS_DATA_RECORD_DIF_MASK_DATA;
  const unsigned vif = r.vib.vif & MBUS_DIB_VIF_WITHOUT_EXTENSION;
  if (field == 0x02) return vif == 0x6C ? TDateForm::Date : TDateForm::None;
  if (field != 0x04 && field != 0x06) return TDateForm::None;
  if (vif == 0x6D) return TDateForm::DateTime;
  if (r.vib.vif == 0xFD && r.vib.nvife > 0) {
    const unsigned ext = r.vib.vife[0] & MBUS_DIB_VIF_WITHOUT_EXTENSION;
    if (ext == 0x30 || ext == 0x70) return TDateForm::DateTime;
  }
  return TDateForm::None;
}

// The record's date as an OLE date; false for a record without one or an
// invalid date or time.
bool RecordDate(const TMbusApi& api, mbus_data_record& r, double& value) {
  const TDateForm form = RecordDateForm(r);
  if (form == TDateForm::None) return false;
  const std::size_t size = r.dib.dif & MBUS_DATA_RECORD_DIF_MASK_DATA;  // 2, 4 or 6 bytes
  if (r.data_len < size) return false;
  struct tm t;
  std::memset(&t, 0, sizeof t);
  api.mbus_data_tm_decode(&t, r.data, size);
  TDateParts parts;
  parts.Year = t.tm_year + 1900;
  parts.Month = t.tm_mon + 1;
  parts.Day = t.tm_mday;
  if (form == TDateForm::DateTime) {
    parts.Hour = t.tm_hour;
    parts.Minute = t.tm_min;
    parts.Second = t.tm_sec;
  }
  bool ok = false;
  value = EncodeDateTimeSafe(parts, ok);
  return ok;
}

// ---- variable structure ----

void HeaderItems(const TMbusApi& api, mbus_data_variable_header& header, TkorParamsList& items) {
  char id[16];
  std::snprintf(id, sizeof id, "%08llX",
                static_cast<unsigned long long>(api.mbus_data_bcd_decode_hex(header.id_bcd, 4)) &
                    0xFFFFFFFFull);
  items.Add(kItemDeviceId, OleVariant(id));
  char buffer[16] = {};
  if (const char* maker =
          api.mbus_decode_manufacturer(header.manufacturer[0], header.manufacturer[1], buffer))
    items.Add(kItemManufacturer, OleVariant(maker));
  items.Add(kItemMedium, OleVariant(MediumName(header.medium)));
  items.Add(kItemVersion, OleVariant(static_cast<std::uint8_t>(header.version)));
  items.Add(kItemStatus, OleVariant(static_cast<std::uint8_t>(header.status)));
}

bool FilterPasses(const std::string& filter, std::int32_t number) {
  return number <= 0 || filter.empty() ||
         filter.find("[" + std::to_string(number) + "]") != std::string::npos;
}

const char* FunctionSuffix(unsigned char dif) {
  switch (dif & MBUS_DATA_RECORD_DIF_MASK_FUNCTION) {
    case 0x10:
      return "MAX";
    case 0x20:
      return "MIN";
    case 0x30:
      return "ERR";
    default:
      return "";
  }
}

std::string Text(const char* text) {
  return text ? std::string(text) : std::string();
}

OleVariant RecordValue(const mbus_record& record) {
  if (record.is_numeric) return OleVariant(record.value.real_val);
  const char* text = record.value.str_val.value;
  if (!text) return OleVariant("");
  const std::size_t size = record.value.str_val.size > 0
                               ? strnlen(text, static_cast<std::size_t>(record.value.str_val.size))
                               : std::strlen(text);
  return OleVariant(std::string_view(text, size));
}

void DecodeRecord(const TMbusApi& api, mbus_handle* handle, TkorMbusDataRows& rows,
                  mbus_data_record& r, const TRequestParameters& params) {
  const unsigned char dif = r.dib.dif;
  const unsigned field = dif & MBUS_DATA_RECORD_DIF_MASK_DATA;
  if (dif == MBUS_DIB_DIF_MORE_RECORDS_FOLLOW || field == 0x00 || field == 0x0F) return;
  double date = 0;
  const bool isDate = RecordDate(api, r, date);
  const TRecordPtr record(api.mbus_parse_variable_record(handle, &r), TRecordFree{&api});
  if (!record) return;
  const std::int32_t storage = ClampIndex(record->storage_number);
  const std::int32_t tariff = ClampIndex(record->tariff);
  if (!FilterPasses(params.StorageNo, storage) || !FilterPasses(params.TariffNo, tariff)) return;
  TkorMbusDataRow& row = FindRow(rows, tariff, storage);
  if (row.Count() == 0 && storage >= 1) row.Add(kItemStorage, OleVariant(storage));
  OleVariant value = isDate ? OleVariant::Date(date) : RecordValue(*record);
  AddMbusItem(row, Text(record->quantity), Text(record->unit), FunctionSuffix(dif), tariff,
              record->device < 0 ? 0 : record->device, std::move(value));
}

void DecodeRecords(const TMbusApi& api, mbus_handle* handle, TkorMbusDataRows& rows,
                   mbus_frame_data& data, const TRequestParameters& params) {
  for (mbus_data_record* r = data.data_var.record; r; r = r->next)
    DecodeRecord(api, handle, rows, *r, params);
}

bool IsTimePointName(const std::string& name) {
  const std::size_t size = std::strlen(kItemTimePoint);
  if (!SameName(std::string_view(name).substr(0, size), kItemTimePoint)) return false;
  if (name.size() == size) return true;
  if (name.compare(size, 2, "_I") != 0 || name.size() == size + 2) return false;
  for (std::size_t i = size + 2; i < name.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

bool HoldsValues(const TkorMbusDataRow& row) {
  for (std::int32_t i = 0; i < row.Count(); ++i) {
    const std::string& name = row.Items(i)->Name;
    if (!SameName(name, kItemStorage) && !IsTimePointName(name)) return true;
  }
  return false;
}

// Every row with values gets the identification items at its front; rows
// with nothing but time points and the storage number go.
void MergeHeader(TkorMbusDataRows& rows, const TkorParamsList& header) {
  for (std::int32_t r = rows.Count() - 1; r >= 0; --r) {
    TkorMbusDataRow& row = rows.Row(r);
    if (!HoldsValues(row)) {
      rows.Delete(r);
      continue;
    }
    for (std::int32_t i = 0; i < header.Count(); ++i)
      row.Insert(i, header.Items(i)->Name, header.Items(i)->Value);
  }
}

void DropStoredRows(TkorMbusDataRows& rows) {
  for (std::int32_t r = rows.Count() - 1; r >= 0; --r)
    if (rows.Row(r).Storage > 0) rows.Delete(r);
}

// ---- fixed structure ----

void DecodeFixed(const TMbusApi& api, mbus_handle* handle, TkorMbusDataRows& rows,
                 mbus_data_fixed& fixed) {
  TkorMbusDataRow& row = FindRow(rows, 0, 0);
  char id[16];
  std::snprintf(id, sizeof id, "%08llX",
                static_cast<unsigned long long>(api.mbus_data_bcd_decode_hex(fixed.id_bcd, 4)) &
                    0xFFFFFFFFull);
  row.Add(kItemDeviceId, OleVariant(id));
  const std::uint8_t medium =
      static_cast<std::uint8_t>((fixed.cnt1_type >> 6) | ((fixed.cnt2_type >> 6) << 2));
  row.Add(kItemMedium, OleVariant(MediumName(medium)));
  row.Add(kItemStatus, OleVariant(static_cast<std::uint8_t>(fixed.status)));
  const char* suffix = (fixed.status & 0x40) ? "Stored value" : "Actual value";
  const struct {
    unsigned char Type;
    unsigned char* Value;
  } counters[] = {{fixed.cnt1_type, fixed.cnt1_val}, {fixed.cnt2_type, fixed.cnt2_val}};
  for (const auto& counter : counters) {
    const TRecordPtr record(
        api.mbus_parse_fixed_record(handle, static_cast<char>(fixed.status),
                                    static_cast<char>(counter.Type), counter.Value),
        TRecordFree{&api});
    if (!record) continue;
    AddMbusItem(row, Text(record->quantity), Text(record->unit), suffix, ClampIndex(record->tariff),
                record->device < 0 ? 0 : record->device, RecordValue(*record));
  }
}

}  // namespace

TkorMbusDataRow& TkorMbusDataRows::Row(std::int32_t index) const {
  return *static_cast<TkorMbusDataRow*>(Items(index));
}

TkorMbusDataRow& FindRow(TkorMbusDataRows& rows, std::int32_t tariff, std::int32_t storage) {
  if (tariff < 0) tariff = 0;
  if (storage < 0) storage = 0;
  for (std::int32_t i = 0; i < rows.Count(); ++i) {
    TkorMbusDataRow& row = rows.Row(i);
    if (row.Tariff == tariff && row.Storage == storage) return row;
  }
  auto row = std::make_unique<TkorMbusDataRow>();
  row->Tariff = tariff;
  row->Storage = storage;
  rows.Add(row.get());
  return *row.release();
}

std::string MediumName(std::uint8_t code) {
  for (const TMediumRow& row : kMedia)
    if (row.Code == code) return row.Name;
  return "???";
}

std::string AddMbusItem(TkorMbusDataRow& row, const std::string& quantity, const std::string& unit,
                        const std::string& suffix, std::int32_t tariff, std::int32_t device,
                        OleVariant value) {
  TItemName item = BaseName(quantity, unit);
  ReplaceAll(item.Name, "TEMPERATURE", "TEMP");
  ReplaceAll(item.Name, "DIFFERENCE", "DIFF");
  if (item.Name.empty()) item.Name = "VALUE";  // a quantity of nothing but "(...)"
  if (!suffix.empty()) item.Name += "_" + suffix;
  if (tariff > 0) item.Name += "_T" + std::to_string(tariff);
  if (device > 0) item.Name += "_D" + std::to_string(device);
  const bool withUnit = HasUnitItem(item.Unit);
  const std::string name = UniqueName(row, item.Name, withUnit);
  row.Add(name, ApplyFactor(std::move(value), item.Factor));
  if (withUnit)
    row.Add(name + "_UNIT", OleVariant(std::u16string_view(plat::Utf8ToWide(item.Unit))));
  return name;
}

void DecodeFrameData(const TMbusApi& api, mbus_handle* handle, TkorMbusDataRows& rows,
                     mbus_frame_data& data, const TRequestParameters& params) {
  if (data.type == MBUS_DATA_TYPE_FIXED) {
    DecodeFixed(api, handle, rows, data.data_fix);
  } else if (data.type == MBUS_DATA_TYPE_VARIABLE) {
    TkorParamsList header;
    HeaderItems(api, data.data_var.header, header);
    DecodeRecords(api, handle, rows, data, params);
    MergeHeader(rows, header);
  }
}

bool DecodeReply(const TMbusApi& api, mbus_handle* handle, TkorMbusDataRows& rows,
                 mbus_frame& reply, const TRequestParameters& params, std::string* stopReason) {
  mbus_frame_data first;
  std::memset(&first, 0, sizeof first);
  TRecordsOwner firstRecords(api, first);
  if (api.mbus_frame_data_parse(handle, &reply, &first) == -1) return false;
  if (first.type != MBUS_DATA_TYPE_VARIABLE) {
    DecodeFrameData(api, handle, rows, first, params);
    return true;
  }
  TkorParamsList header;
  HeaderItems(api, first.data_var.header, header);
  DecodeRecords(api, handle, rows, first, params);
  for (mbus_frame* frame = reply.next; frame; frame = frame->next) {
    mbus_frame_data next;
    std::memset(&next, 0, sizeof next);
    TRecordsOwner nextRecords(api, next);
    if (api.mbus_frame_data_parse(handle, frame, &next) == -1) {
      if (stopReason) *stopReason = Text(api.mbus_error_str(handle));
      DropStoredRows(rows);
      break;
    }
    if (next.type == MBUS_DATA_TYPE_VARIABLE) DecodeRecords(api, handle, rows, next, params);
  }
  MergeHeader(rows, header);
  return true;
}
