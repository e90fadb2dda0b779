// Normalisation of data records (Normalize.cpp).
#pragma once

#include <memory>

#include "mbus/mbus-protocol.h"

namespace mbus {

// Unit, quantity and multiplier of a record; the texts are table constants.
struct NormUnit {
  const char* unit;
  const char* quantity;
  double multiplier;
};

// false for a value information code without a table row.
bool NormaliseUnit(const mbus_data_record& r, NormUnit& out);
// A new normalised record (mbus_record_free); throws when there is none.
mbus_record* NormaliseVariable(const mbus_data_record& r);
mbus_record* NormaliseFixed(unsigned status, unsigned type, const unsigned char* data);

}  // namespace mbus
