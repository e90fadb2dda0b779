// Normalised records: a record's value with its multiplier applied, with the
// unit and quantity texts of the normalisation tables.
#include "Normalize.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "Combinable.h"
#include "Guard.h"
#include "Internal.h"
#include "Tables.h"
#include "Values.h"

namespace mbus {
namespace {

const NormRow* VibRow(const mbus_value_information_block& vib) {
  if (vib.vif == 0xFD || vib.vif == 0xFB) {
    if (vib.nvife == 0) return nullptr;
    const NormTable table = vib.vif == 0xFD ? NormTable::kExtensionFD : NormTable::kExtensionFB;
    return FindNormRow(table, vib.vife[0] & MBUS_DIB_VIF_WITHOUT_EXTENSION);
  }
  const unsigned code = (vib.vif == 0xFE || vib.vif == 0xFF) ? vib.vif : vib.vif & 0x7Fu;
  return FindNormRow(NormTable::kPrimary, code);
}

char* Copy(const char* text, size_t size) {
  char* copy = static_cast<char*>(std::malloc(size + 1));
  if (!copy) throw Error("out of memory");
  std::memcpy(copy, text, size);
  copy[size] = 0;
  return copy;
}
char* Copy(const std::string& text) {
  return Copy(text.data(), text.size());
}
char* Copy(const char* text) {
  return Copy(text, std::strlen(text));
}

struct RecordDeleter {
  void operator()(mbus_record* record) const { mbus_record_free(record); }
};
using RecordPtr = std::unique_ptr<mbus_record, RecordDeleter>;

RecordPtr NewRecord() {
  RecordPtr record(mbus_record_new());
  if (!record) throw Error("out of memory");
  return record;
}

void SetText(mbus_record& out, const std::string& text) {
  out.is_numeric = 0;
  out.value.str_val.value = Copy(text);
  out.value.str_val.size = static_cast<int>(text.size());
}

// The value as the VIFE chain reads it: a date for the date codes (type G
// for a 16-bit field, F or the 6-byte form for 32 and 48 bits).
Value ValueOfKind(const mbus_data_record& r, VifeMeaning::Kind kind) {
  if (kind != VifeMeaning::kDate) return RawValue(r);
  const unsigned field = r.dib.dif & MBUS_DATA_RECORD_DIF_MASK_DATA;
  if (field == 0x02) return DateValue(r, DateKind::kDate);
  if (field == 0x04 || field == 0x06) return DateValue(r, DateKind::kDateTime);
  return Value{};
}

bool HasControls(const char* text) {
  for (; *text; ++text)
    if (static_cast<unsigned char>(*text) < 0x20) return true;
  return false;
}

// Unit and quantity of the value: the table's, qualified by the chain.
void QualifiedTexts(const NormUnit& base, const VifeMeaning& m, Normalised& out) {
  out.quantity = base.quantity;
  if (!m.qualifier.empty() || HasControls(base.quantity)) {
    out.quantity_text = base.quantity;
    if (!m.qualifier.empty()) {
      if (!out.quantity_text.empty()) out.quantity_text += ' ';
      out.quantity_text += m.qualifier;
    }
    BlankControls(out.quantity_text);
    out.quantity = out.quantity_text.c_str();
  }
  switch (m.kind) {
    case VifeMeaning::kReading:
      out.unit = base.unit;
      break;
    case VifeMeaning::kRate:
      out.unit_text = (*base.unit && std::strcmp(base.unit, "-") != 0) ? base.unit : "1";
      out.unit_text += m.unit_suffix;
      out.unit = out.unit_text.c_str();
      break;
    case VifeMeaning::kCount:
      out.unit = "";
      break;
    case VifeMeaning::kDuration:
      out.unit = "s";
      break;
    case VifeMeaning::kDate:
      out.unit = "-";
      break;
  }
}

// raw x multiplier x 10^corrections, plus the additive constants in units of
// the VIF. A count and a duration do not take the VIF's multiplier.
double Scaled(double raw, double multiplier, const VifeMeaning& m) {
  if (m.kind == VifeMeaning::kCount) multiplier = 1;
  if (m.kind == VifeMeaning::kDuration) multiplier = m.duration_unit;
  const double factor = m.corrected ? multiplier * std::pow(10.0, m.exponent) : multiplier;
  double value = raw * factor;
  if (m.offset != 0) value += m.offset * multiplier;
  return value;
}

}  // namespace

bool NormaliseUnit(const mbus_data_record& r, NormUnit& out) {
  if (IsManufacturerRecord(r)) {
    out = NormUnit{"", "", 1.0};
    return true;
  }
  if ((r.vib.vif & MBUS_DIB_VIF_WITHOUT_EXTENSION) == 0x7C) {
    out = NormUnit{"-", reinterpret_cast<const char*>(r.vib.custom_vif), 1.0};
    return true;
  }
  const NormRow* row = VibRow(r.vib);
  if (!row) return false;
  out = NormUnit{row->unit, row->quantity, row->multiplier};
  return true;
}

void BlankControls(std::string& text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
}

const char* Normalise(const mbus_data_record& r, Normalised& out) {
  NormUnit base;
  if (!NormaliseUnit(r, base)) return "unknown value information code";
  const VifeMeaning meaning = IsManufacturerRecord(r) ? VifeMeaning{} : ReadCombinable(r.vib);
  if (!meaning.known) return "value information extension without a single reading";
  Value value = ValueOfKind(r, meaning.kind);
  if (value.kind == Value::kNone && value.date == DateKind::kNone) return "record has no value";
  QualifiedTexts(base, meaning, out);
  if (value.date != DateKind::kNone || value.kind == Value::kText) {
    out.numeric = false;
    out.number = 0;
    if (value.date != DateKind::kNone)
      out.text = NormalisedDateText(value);
    else
      out.text = std::move(value.text);
    BlankControls(out.text);
  } else {
    out.numeric = true;
    out.number = Scaled(value.number, base.multiplier, meaning);
    out.text.clear();
  }
  return nullptr;
}

mbus_record* NormaliseVariable(const mbus_data_record& r) {
  Normalised n;
  if (const char* reason = Normalise(r, n)) throw Error(reason);
  RecordPtr out = NewRecord();
  if (n.numeric) {
    out->is_numeric = 1;
    out->value.real_val = n.number;
  } else {
    SetText(*out, n.text);
  }
  out->unit = Copy(n.unit);
  out->quantity = Copy(n.quantity);
  out->function_medium = Copy(FunctionText(r));
  out->storage_number = StorageNumber(r);
  out->tariff = Tariff(r);
  out->device = Device(r);
  return out.release();
}

// A fixed-structure counter: BCD, or binary when status bit 7 is set.
mbus_record* NormaliseFixed(unsigned status, unsigned type, const unsigned char* data) {
  const NormRow* row = FindNormRow(NormTable::kFixed, type & 0x3F);
  if (!row) throw Error("unknown fixed-structure unit");
  const long long raw = (status & 0x80) ? IntDecode(data, 4) : BcdDecode(data, 4);
  RecordPtr out = NewRecord();
  out->is_numeric = 1;
  out->value.real_val = static_cast<double>(raw) * row->multiplier;
  out->unit = Copy(row->unit);
  out->quantity = Copy(row->quantity);
  out->function_medium = Copy(mbus_data_fixed_function(static_cast<int>(status)));
  return out.release();
}

}  // namespace mbus

using namespace mbus;

extern "C" {

mbus_record* mbus_record_new(void) {
  return static_cast<mbus_record*>(std::calloc(1, sizeof(mbus_record)));
}

void mbus_record_free(mbus_record* rec) {
  if (!rec) return;
  if (!rec->is_numeric) std::free(rec->value.str_val.value);
  std::free(rec->unit);
  std::free(rec->function_medium);
  std::free(rec->quantity);
  std::free(rec);
}

mbus_record* mbus_parse_variable_record(mbus_handle* handle, mbus_data_record* record) {
  return Guarded(handle, static_cast<mbus_record*>(nullptr), [&] {
    if (!record) throw Error("no data record");
    return NormaliseVariable(*record);
  });
}

mbus_record* mbus_parse_fixed_record(mbus_handle* handle, char statusByte, char medium_unit_byte,
                                     unsigned char* data) {
  return Guarded(handle, static_cast<mbus_record*>(nullptr), [&] {
    if (!data) throw Error("no counter data");
    return NormaliseFixed(static_cast<unsigned char>(statusByte),
                          static_cast<unsigned char>(medium_unit_byte), data);
  });
}

int mbus_variable_value_decode(mbus_data_record* record, double* value_out_real,
                               char** value_out_str, int* value_out_str_size) {
  return Guarded(nullptr, -1, [&] {
    if (!record || !value_out_real || !value_out_str || !value_out_str_size)
      throw Error("missing argument");
    const Value value = RawValue(*record);
    *value_out_str = nullptr;
    *value_out_str_size = 0;
    if (value.date != DateKind::kNone || value.kind == Value::kText) {
      const std::string text =
          value.date != DateKind::kNone ? NormalisedDateText(value) : value.text;
      *value_out_str = Copy(text);
      *value_out_str_size = static_cast<int>(text.size());
      return 0;
    }
    if (value.kind == Value::kNone) throw Error("record has no value");
    *value_out_real = value.number;
    return 0;
  });
}

int mbus_vib_unit_normalize(mbus_value_information_block* vib, double value, char** unit_out,
                            double* value_out, char** quantity_out) {
  return Guarded(nullptr, -1, [&] {
    if (!vib || !unit_out || !value_out || !quantity_out) throw Error("missing argument");
    mbus_data_record record{};
    record.vib = *vib;
    NormUnit unit;
    if (!NormaliseUnit(record, unit)) throw Error("unknown value information code");
    const VifeMeaning meaning = ReadCombinable(*vib);
    if (!meaning.known || meaning.kind != VifeMeaning::kReading || !meaning.qualifier.empty())
      throw Error("the extensions make the value other than a reading of the unit");
    *unit_out = const_cast<char*>(unit.unit);
    *quantity_out = const_cast<char*>(unit.quantity);
    *value_out = Scaled(value, unit.multiplier, meaning);
    return 0;
  });
}

int mbus_vif_unit_normalize(int vif, double value, char** unit_out, double* value_out,
                            char** quantity_out) {
  mbus_value_information_block vib{};
  vib.vif = static_cast<unsigned char>(vif);
  if ((vib.vif & MBUS_DIB_VIF_WITHOUT_EXTENSION) == 0x7C) return -1;  // needs its text
  return mbus_vib_unit_normalize(&vib, value, unit_out, value_out, quantity_out);
}

}  // extern "C"
