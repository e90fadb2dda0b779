// The combinable VIFE table, one row per code or family of codes (the code
// without its extension bit). Corrections change the number; the other
// codes either leave the reading as it is (the texts the reference decodings
// show) or say that the value is something else than a plain reading of
// the VIF's quantity: then the quantity gets a qualifier, so that the value
// never lands under the item name of the plain reading.
#include "Combinable.h"

#include <cmath>

namespace mbus {
namespace {

enum class Action {
  kPlain,         // recognised, value and meaning unchanged
  kQualify,       // a reading of the VIF's unit with a qualified meaning
  kRate,          // per / multiplied by: the unit gets `suffix`
  kCount,         // a number of events
  kDuration,      // a duration, unit in the low two bits (s, min, h, d)
  kDate,          // a date or date-time
  kMultiply,      // x 10^(nnn-6), nnn in the low three bits
  kAdd,           // + 10^(nn-3) units of the VIF, nn in the low two bits
  kThousand,      // x 10^3
  kManufacturer,  // the rest of the chain is the maker's
  kNoReading,     // reserved, or data that is no single value (profiles)
};

struct CombinableRow {
  unsigned first;
  unsigned last;
  Action action;
  const char* qualifier;
  const char* suffix;
};

// E000 0000 is "no error"; the other record error codes mark a value the
// meter itself flags as faulty.
constexpr CombinableRow kRows[] = {
    {0x00, 0x00, Action::kPlain, "", ""},                          // E000 0000 no error
    {0x01, 0x0F, Action::kQualify, "record error", ""},            // E000 xxxx error codes
    {0x10, 0x11, Action::kNoReading, "", ""},                      // reserved
    {0x12, 0x12, Action::kQualify, "average", ""},                 // E001 0010
    {0x13, 0x13, Action::kNoReading, "", ""},                      // inverse compact profile
    {0x14, 0x14, Action::kQualify, "relative deviation", ""},      // E001 0100
    {0x15, 0x1C, Action::kQualify, "record error", ""},            // E001 0101-1100 errors
    {0x1D, 0x1D, Action::kPlain, "", ""},                          // standard conform content
    {0x1E, 0x1F, Action::kNoReading, "", ""},                      // compact profiles
    {0x20, 0x20, Action::kRate, "per second", "/s"},               // E010 0000
    {0x21, 0x21, Action::kRate, "per minute", "/min"},             // E010 0001
    {0x22, 0x22, Action::kRate, "per hour", "/h"},                 // E010 0010
    {0x23, 0x23, Action::kRate, "per day", "/d"},                  // E010 0011
    {0x24, 0x24, Action::kRate, "per week", "/week"},              // E010 0100
    {0x25, 0x25, Action::kRate, "per month", "/month"},            // E010 0101
    {0x26, 0x26, Action::kRate, "per year", "/year"},              // E010 0110
    {0x27, 0x27, Action::kRate, "per revolution", "/revolution"},  // E010 0111
    {0x28, 0x2B, Action::kPlain, "", ""},                          // increment per pulse
    {0x2C, 0x2C, Action::kRate, "per litre", "/l"},                // E010 1100
    {0x2D, 0x2D, Action::kRate, "per m^3", "/m^3"},                // E010 1101
    {0x2E, 0x2E, Action::kRate, "per kg", "/kg"},                  // E010 1110
    {0x2F, 0x2F, Action::kRate, "per K", "/K"},                    // E010 1111
    {0x30, 0x30, Action::kRate, "per kWh", "/kWh"},                // E011 0000
    {0x31, 0x31, Action::kRate, "per GJ", "/GJ"},                  // E011 0001
    {0x32, 0x32, Action::kRate, "per kW", "/kW"},                  // E011 0010
    {0x33, 0x33, Action::kRate, "per K l", "/(K*l)"},              // E011 0011
    {0x34, 0x34, Action::kRate, "per V", "/V"},                    // E011 0100
    {0x35, 0x35, Action::kRate, "per A", "/A"},                    // E011 0101
    {0x36, 0x36, Action::kRate, "times s", "*s"},                  // E011 0110
    {0x37, 0x37, Action::kRate, "times s per V", "*s/V"},          // E011 0111
    {0x38, 0x38, Action::kRate, "times s per A", "*s/A"},          // E011 1000
    {0x39, 0x39, Action::kDate, "start date", ""},                 // E011 1001
    {0x3A, 0x3A, Action::kQualify, "uncorrected", ""},             // E011 1010
    {0x3B, 0x3B, Action::kPlain, "", ""},                          // only positive contributions
    {0x3C, 0x3C, Action::kQualify, "negative accumulation", ""},   // E011 1100
    {0x3D, 0x3F, Action::kNoReading, "", ""},                      // reserved
    {0x40, 0x40, Action::kQualify, "lower limit", ""},             // E100 u000
    {0x41, 0x41, Action::kCount, "lower limit exceeds", ""},       // E100 u001
    {0x42, 0x42, Action::kDate, "first lower limit exceed begin", ""},  // E100 uf1b
    {0x43, 0x43, Action::kDate, "first lower limit exceed end", ""},
    {0x44, 0x45, Action::kNoReading, "", ""},
    {0x46, 0x46, Action::kDate, "last lower limit exceed begin", ""},
    {0x47, 0x47, Action::kDate, "last lower limit exceed end", ""},
    {0x48, 0x48, Action::kQualify, "upper limit", ""},
    {0x49, 0x49, Action::kCount, "upper limit exceeds", ""},
    {0x4A, 0x4A, Action::kDate, "first upper limit exceed begin", ""},
    {0x4B, 0x4B, Action::kDate, "first upper limit exceed end", ""},
    {0x4C, 0x4D, Action::kNoReading, "", ""},
    {0x4E, 0x4E, Action::kDate, "last upper limit exceed begin", ""},
    {0x4F, 0x4F, Action::kDate, "last upper limit exceed end", ""},
    {0x50, 0x53, Action::kDuration, "first lower limit exceed duration", ""},  // E101 ufnn
    {0x54, 0x57, Action::kDuration, "last lower limit exceed duration", ""},
    {0x58, 0x5B, Action::kDuration, "first upper limit exceed duration", ""},
    {0x5C, 0x5F, Action::kDuration, "last upper limit exceed duration", ""},
    {0x60, 0x63, Action::kDuration, "first duration", ""},  // E110 0fnn
    {0x64, 0x67, Action::kDuration, "last duration", ""},
    {0x68, 0x68, Action::kQualify, "during lower limit exceed", ""},  // E110 1u00
    {0x69, 0x69, Action::kQualify, "leakage", ""},                    // E110 1x01
    {0x6A, 0x6A, Action::kDate, "first begin", ""},                   // E110 1f1b
    {0x6B, 0x6B, Action::kDate, "first end", ""},
    {0x6C, 0x6C, Action::kQualify, "during upper limit exceed", ""},
    {0x6D, 0x6D, Action::kQualify, "leakage", ""},
    {0x6E, 0x6E, Action::kDate, "last begin", ""},
    {0x6F, 0x6F, Action::kDate, "last end", ""},
    {0x70, 0x77, Action::kMultiply, "", ""},      // E111 0nnn
    {0x78, 0x7B, Action::kAdd, "", ""},           // E111 10nn
    {0x7C, 0x7C, Action::kNoReading, "", ""},     // reserved
    {0x7D, 0x7D, Action::kThousand, "", ""},      // E111 1101
    {0x7E, 0x7E, Action::kPlain, "", ""},         // future value
    {0x7F, 0x7F, Action::kManufacturer, "", ""},  // manufacturer-specific follows
};

const CombinableRow& RowOf(unsigned code) {
  for (const CombinableRow& row : kRows)
    if (code >= row.first && code <= row.last) return row;
  return kRows[0];  // unreachable: the rows cover 0x00-0x7F
}

// A second change of kind (a rate of a date, a count of a duration) is no
// meaning this decoder can name.
void SetKind(VifeMeaning& m, VifeMeaning::Kind kind) {
  if (m.kind != VifeMeaning::kReading && m.kind != kind) m.known = false;
  m.kind = kind;
}

void Qualify(VifeMeaning& m, const char* qualifier) {
  if (!m.qualifier.empty()) m.qualifier += ' ';
  m.qualifier += qualifier;
}

// Applies one code; false once the rest of the chain is the maker's.
bool Apply(VifeMeaning& m, unsigned code) {
  static constexpr double kTimeUnits[] = {1, 60, 3600, 86400};
  const CombinableRow& row = RowOf(code);
  switch (row.action) {
    case Action::kPlain:
      break;
    case Action::kQualify:
      Qualify(m, row.qualifier);
      break;
    case Action::kRate:
      SetKind(m, VifeMeaning::kRate);
      Qualify(m, row.qualifier);
      m.unit_suffix += row.suffix;
      break;
    case Action::kCount:
      SetKind(m, VifeMeaning::kCount);
      Qualify(m, row.qualifier);
      break;
    case Action::kDuration:
      SetKind(m, VifeMeaning::kDuration);
      Qualify(m, row.qualifier);
      m.duration_unit = kTimeUnits[code & 3];
      break;
    case Action::kDate:
      SetKind(m, VifeMeaning::kDate);
      Qualify(m, row.qualifier);
      break;
    case Action::kMultiply:
      m.exponent += static_cast<int>(code & 7) - 6;
      m.corrected = true;
      break;
    case Action::kAdd:
      m.offset += std::pow(10.0, static_cast<int>(code & 3) - 3);
      break;
    case Action::kThousand:
      m.exponent += 3;
      m.corrected = true;
      break;
    case Action::kManufacturer:
      return false;
    case Action::kNoReading:
      m.known = false;
      break;
  }
  return true;
}

bool IsManufacturerVif(unsigned vif) {
  return (vif & MBUS_DIB_VIF_WITHOUT_EXTENSION) == 0x7F;
}

}  // namespace

VifeMeaning ReadCombinable(const mbus_value_information_block& vib) {
  VifeMeaning m;
  if (IsManufacturerVif(vib.vif)) return m;
  const size_t first = (vib.vif == 0xFD || vib.vif == 0xFB) ? 1 : 0;
  const size_t count =
      vib.nvife < MBUS_VALUE_INFO_BLOCK_VIFE_SIZE ? vib.nvife : MBUS_VALUE_INFO_BLOCK_VIFE_SIZE;
  for (size_t i = first; i < count; ++i)
    if (!Apply(m, vib.vife[i] & MBUS_DIB_VIF_WITHOUT_EXTENSION)) break;
  return m;
}

}  // namespace mbus
