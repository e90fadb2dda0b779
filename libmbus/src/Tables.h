// Lookup tables of the application layer. All rows are constants; the
// lookups return pointers into them (or into texts built once on first use
// and kept for the life of the process), so callers never free them.
#pragma once

#include <cstddef>
#include <string>

namespace mbus {

// One code of a normalisation table: value = raw * multiplier.
struct NormRow {
  unsigned code;
  double multiplier;
  const char* unit;
  const char* quantity;
};

enum class NormTable { kPrimary, kExtensionFD, kExtensionFB, kFixed };

struct MediumRow {
  unsigned code;
  const char* text;
};

// nullptr when the table has no row for the code.
const NormRow* FindNormRow(NormTable table, unsigned code);
// Text of a variable-structure medium code; nullptr for an unlisted code.
const char* FindMedium(unsigned code);

// Unit texts of the frame-data XML ("Energy (100 Wh)"): never nullptr.
const char* PlainPrimaryText(unsigned code);
const char* PlainExtensionText(NormTable table, unsigned code);
const char* PlainFixedUnitText(unsigned code);
const char* UnitPrefix(int exponent);
const char* FixedMediumText(unsigned code);
const char* VariableMediumText(unsigned code);
const char* ErrorText(int error);
const char* ProductName(unsigned manufacturer_id, unsigned version, unsigned medium);

}  // namespace mbus
