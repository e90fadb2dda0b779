// The combinable (orthogonal) VIFEs of a record: the codes that may follow a
// primary VIF, the first VIFE of an FD/FB extension or a plain-text VIF, and
// what they do to the record's value and meaning (Combinable.cpp).
#pragma once

#include <string>

#include "mbus/mbus-protocol.h"

namespace mbus {

// What the VIFE chain makes of a record.
struct VifeMeaning {
  // How the value relates to the VIF's quantity.
  enum Kind {
    kReading,   // a value in the VIF's unit (possibly qualified)
    kRate,      // the VIF's unit per (or times) something: unit gets a suffix
    kCount,     // a number of events, without unit or VIF multiplier
    kDuration,  // a duration: seconds times `duration_unit`
    kDate,      // a date or date-time (type G, F or the 6-byte form)
  };
  Kind kind = kReading;
  int exponent = 0;          // multiplicative corrections: value x 10^exponent
  bool corrected = false;    // a multiplicative correction was given
  double offset = 0;         // additive corrections, in units of the VIF
  double duration_unit = 1;  // seconds per unit of a kDuration value
  std::string qualifier;     // appended to the quantity; empty: the VIF's own
  std::string unit_suffix;   // appended to the unit of a kRate value
  bool known = true;         // false: a reserved or unreadable code (no reading)
};

// The meaning of the combinable VIFEs of `vib`. VIFEs after E111 1111 and
// the VIFEs of a manufacturer-specific VIF are the maker's and are left alone.
VifeMeaning ReadCombinable(const mbus_value_information_block& vib);

}  // namespace mbus
