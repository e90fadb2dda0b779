// Exported lookups of record meaning and table texts. Every text returned is
// a library constant or lives in the record it describes.
#include <cstdlib>
#include <cstring>

#include "Guard.h"
#include "Internal.h"
#include "Tables.h"
#include "Values.h"

using namespace mbus;

namespace {

// The unit text of a record as a constant: a plain-text VIF answers its own
// text (kept in the record).
const char* ConstantUnit(const mbus_value_information_block& vib) {
  if ((vib.vif & MBUS_DIB_VIF_WITHOUT_EXTENSION) == 0x7C)
    return reinterpret_cast<const char*>(vib.custom_vif);
  if (vib.vif == 0xFD || vib.vif == 0xFB) {
    if (vib.nvife == 0) return "Reserved";
    return PlainExtensionText(vib.vif == 0xFD ? NormTable::kExtensionFD : NormTable::kExtensionFB,
                              vib.vife[0]);
  }
  return PlainPrimaryText(vib.vif);
}

}  // namespace

extern "C" {

const char* mbus_data_record_function(mbus_data_record* record) {
  return record ? FunctionText(*record) : nullptr;
}

const char* mbus_data_fixed_function(int status) {
  return (status & 0x40) ? "Stored value" : "Actual value";
}

long mbus_data_record_storage_number(mbus_data_record* record) {
  return record ? StorageNumber(*record) : -1;
}

long mbus_data_record_tariff(mbus_data_record* record) {
  return record ? Tariff(*record) : -1;
}

int mbus_data_record_device(mbus_data_record* record) {
  return record ? Device(*record) : -1;
}

const char* mbus_data_record_unit(mbus_data_record* record) {
  if (!record || IsManufacturerRecord(*record)) return nullptr;
  return ConstantUnit(record->vib);
}

char* mbus_data_record_value(mbus_data_record* record) {
  return Guarded(nullptr, static_cast<char*>(nullptr), [&]() -> char* {
    if (!record) throw Error("no data record");
    const std::string text = PlainValueText(*record);
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy) std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
  });
}

const char* mbus_data_fixed_medium(mbus_data_fixed* data) {
  if (!data) return nullptr;
  return FixedMediumText((data->cnt1_type >> 6) | ((data->cnt2_type >> 6) << 2));
}

const char* mbus_data_fixed_unit(int medium_unit_byte) {
  return PlainFixedUnitText(static_cast<unsigned>(medium_unit_byte));
}

const char* mbus_data_variable_medium_lookup(unsigned char medium) {
  return VariableMediumText(medium);
}

const char* mbus_unit_prefix(int exp) {
  return UnitPrefix(exp);
}

const char* mbus_data_error_lookup(int error) {
  return ErrorText(error);
}

const char* mbus_vib_unit_lookup(mbus_value_information_block* vib) {
  return vib ? ConstantUnit(*vib) : nullptr;
}

const char* mbus_vif_unit_lookup(unsigned char vif) {
  return PlainPrimaryText(vif);
}

const char* mbus_data_product_name(mbus_data_variable_header* header) {
  if (!header) return "";
  const unsigned id = static_cast<unsigned>(header->manufacturer[1]) << 8 | header->manufacturer[0];
  return ProductName(id, header->version, header->medium);
}

}  // extern "C"
