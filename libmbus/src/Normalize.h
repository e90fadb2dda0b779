// Normalisation of data records (Normalize.cpp).
#pragma once

#include <memory>
#include <string>

#include "mbus/mbus-protocol.h"

namespace mbus {

// Unit, quantity and multiplier of a record's value information code, before
// its combinable VIFEs; the texts are table constants or the record's own.
struct NormUnit {
  const char* unit;
  const char* quantity;
  double multiplier;
};

// A record's normalised form. Kept by callers that normalise many records in
// a row (the XML writer), so its strings keep their capacity. `unit` and
// `quantity` point to table texts, the record's own text or the *_text
// strings here: valid while the record and this object stay unchanged.
struct Normalised {
  const char* unit = "";
  const char* quantity = "";
  bool numeric = false;
  double number = 0;
  std::string text;  // a text value: no character below 0x20 left
  std::string unit_text;
  std::string quantity_text;
};

// false for a value information code without a table row.
bool NormaliseUnit(const mbus_data_record& r, NormUnit& out);
// Fills `out`; nullptr, or why the record has no normalised form.
const char* Normalise(const mbus_data_record& r, Normalised& out);
// A new normalised record (mbus_record_free); throws when there is none.
mbus_record* NormaliseVariable(const mbus_data_record& r);
mbus_record* NormaliseFixed(unsigned status, unsigned type, const unsigned char* data);

// Replaces every character below 0x20 by a space: such bytes of a meter's
// text are no text, and XML 1.0 cannot hold most of them.
void BlankControls(std::string& text);

}  // namespace mbus
