// MINIMAL STAND-IN for the worker's tests, to be replaced by the full
// decoding unit: header items, one item per record named after its
// quantity, STORAGE for stored rows, TIME_POINT from date-time records. No
// filters, fixed decoding only roughly, no multi-telegram merge rules.
#include "mbus/MbusDecode.h"

#include <cctype>
#include <cstdio>
#include <ctime>

#include "framework/DateUtils.h"
#include "framework/SysUtils.h"
#include "mbus/mbus_api.h"

TkorMbusDataRow& TkorMbusDataRows::Row(std::int32_t index) const {
  return *static_cast<TkorMbusDataRow*>(Items(index));
}

TkorMbusDataRow& FindRow(TkorMbusDataRows& rows, std::int32_t tariff, std::int32_t storage) {
  tariff = tariff < 0 ? 0 : tariff;
  storage = storage < 0 ? 0 : storage;
  for (std::int32_t i = 0; i < rows.Count(); ++i)
    if (rows.Row(i).Tariff == tariff && rows.Row(i).Storage == storage) return rows.Row(i);
  auto* row = new TkorMbusDataRow();
  row->Tariff = tariff;
  row->Storage = storage;
  rows.Add(row);
  return *row;
}

std::string MediumName(std::uint8_t code) {
  return code == 7 ? "Water" : code == 4 ? "Heat out" : "???";
}

namespace {

std::string NameOf(const std::string& quantity) {
  std::string name;
  bool skip = false;
  for (char c : quantity) {
    if (c == '(') skip = true;
    if (!skip)
      name += c == ' ' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (c == ')') skip = false;
  }
  while (!name.empty() && name.back() == '_') name.pop_back();
  return name.empty() ? "VALUE" : name;
}

void AddHeader(const TMbusApi& api, TkorParamsList& header, mbus_data_variable_header& h) {
  char id[16];
  std::snprintf(id, sizeof id, "%08llX",
                static_cast<unsigned long long>(api.mbus_data_bcd_decode_hex(h.id_bcd, 4)));
  header.Add("DEVICE_ID", OleVariant(std::string_view(id)));
  char text[16] = {};
  if (const char* man = api.mbus_decode_manufacturer(h.manufacturer[0], h.manufacturer[1], text))
    header.Add("MANUFACTURER", OleVariant(std::string_view(man)));
  header.Add("MEDIUM", OleVariant(std::string_view(MediumName(h.medium))));
  header.Add("VERSION", OleVariant(static_cast<std::int32_t>(h.version)));
  header.Add("STATUS", OleVariant(static_cast<std::int32_t>(h.status)));
}

void DecodeRecords(const TMbusApi& api, mbus_handle* handle, TkorMbusDataRows& rows,
                   mbus_data_record* record) {
  for (; record != nullptr; record = record->next) {
    const unsigned char field = record->dib.dif & 0x0F;
    if (record->dib.dif == 0x1F || field == 0 || field == 0x0F) continue;
    mbus_record* norm = api.mbus_parse_variable_record(handle, record);
    if (norm == nullptr) continue;
    TkorMbusDataRow& row = FindRow(rows, static_cast<std::int32_t>(norm->tariff),
                                   static_cast<std::int32_t>(norm->storage_number));
    if (row.Count() == 0 && row.Storage > 0) row.Add("STORAGE", OleVariant(row.Storage));
    OleVariant value = norm->is_numeric
                           ? OleVariant(norm->value.real_val)
                           : OleVariant(std::string_view(
                                 norm->value.str_val.value ? norm->value.str_val.value : ""));
    if ((record->vib.vif & 0x7F) == 0x6D && field == 4) {
      std::tm t{};
      api.mbus_data_tm_decode(&t, record->data, 4);
      TDateParts parts{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
      bool ok = false;
      const TDateTime date = EncodeDateTimeSafe(parts, ok);
      if (ok) value = OleVariant::Date(date);
    }
    row.Add(NameOf(norm->quantity ? norm->quantity : ""), value);
    api.mbus_record_free(norm);
  }
}

void Merge(TkorMbusDataRows& rows, const TkorParamsList& header) {
  for (std::int32_t i = rows.Count() - 1; i >= 0; --i) {
    TkorMbusDataRow& row = rows.Row(i);
    bool values = false;
    for (std::int32_t k = 0; k < row.Count(); ++k) {
      const std::string& name = row.Items(k)->Name;
      if (name != "TIME_POINT" && name != "STORAGE") values = true;
    }
    if (!values) {
      rows.Delete(i);
      continue;
    }
    for (std::int32_t k = header.Count() - 1; k >= 0; --k)
      row.Insert(0, header.Items(k)->Name, header.Items(k)->Value);
  }
}

}  // namespace

void DecodeFrameData(const TMbusApi& api, mbus_handle* handle, TkorMbusDataRows& rows,
                     mbus_frame_data& data, const TRequestParameters&) {
  if (data.type != 2) return;
  TkorParamsList header;
  AddHeader(api, header, data.data_var.header);
  DecodeRecords(api, handle, rows, data.data_var.record);
  Merge(rows, header);
}

bool DecodeReply(const TMbusApi& api, mbus_handle* handle, TkorMbusDataRows& rows,
                 mbus_frame& reply, const TRequestParameters& params) {
  TkorParamsList header;
  bool first = true;
  for (mbus_frame* frame = &reply; frame != nullptr; frame = frame->next) {
    mbus_frame_data data{};
    if (api.mbus_frame_data_parse(handle, frame, &data) == -1) return !first;
    if (data.type == 2) {
      if (first) AddHeader(api, header, data.data_var.header);
      DecodeRecords(api, handle, rows, data.data_var.record);
    }
    if (data.data_var.record != nullptr) api.mbus_data_record_free(data.data_var.record);
    first = false;
  }
  (void)params;
  Merge(rows, header);
  return true;
}
