// Unit texts of the frame-data XML. Families of codes that differ only by a
// power of ten share a row: the text is the format with the prefix of
// (code - first + exponent) filled in. The per-code texts are built once.
#include <array>
#include <cstdio>
#include <string>

#include "Tables.h"

namespace mbus {
namespace {

struct PlainRow {
  unsigned first;
  unsigned last;
  const char* format;  // "%s" takes the prefix (or, for time rows, nothing)
  int exponent;        // exponent of `first`
};

// Rows of the time units (seconds, minutes, hours, days) use "%s" for the
// unit name instead of a prefix.
constexpr int kTimeUnits = 100;
constexpr int kTimeUnitsLong = 101;  // hours, days, months, years

constexpr PlainRow kPrimaryRows[] = {
    {0x00, 0x07, "Energy (%sWh)", -3},
    {0x08, 0x0F, "Energy (%sJ)", 0},
    {0x10, 0x17, "Volume (%s m^3)", -6},
    {0x18, 0x1F, "Mass (%skg)", -3},
    {0x20, 0x23, "On time (%s)", kTimeUnits},
    {0x24, 0x27, "Operating time (%s)", kTimeUnits},
    {0x28, 0x2F, "Power (%sW)", -3},
    {0x30, 0x37, "Power (%sJ/h)", 0},
    {0x38, 0x3F, "Volume flow (%s m^3/h)", -6},
    {0x40, 0x47, "Volume flow (%s m^3/min)", -7},
    {0x48, 0x4F, "Volume flow (%s m^3/s)", -9},
    {0x50, 0x57, "Mass flow (%s kg/h)", -3},
    {0x58, 0x5B, "Flow temperature (%sdeg C)", -3},
    {0x5C, 0x5F, "Return temperature (%sdeg C)", -3},
    {0x60, 0x63, "Temperature Difference (%s deg C)", -3},
    {0x64, 0x67, "External temperature (%s deg C)", -3},
    {0x68, 0x6B, "Pressure (%s bar)", -3},
    {0x6C, 0x6C, "Time Point (date)", 0},
    {0x6D, 0x6D, "Time Point (time & date)", 0},
    {0x6E, 0x6E, "Units for H.C.A.", 0},
    {0x6F, 0x6F, "Reserved", 0},
    {0x70, 0x73, "Averaging Duration (%s)", kTimeUnits},
    {0x74, 0x77, "Actuality Duration (%s)", kTimeUnits},
    {0x78, 0x78, "Fabrication number", 0},
    {0x7A, 0x7A, "Bus Address", 0},
    {0x7E, 0x7E, "Any VIF", 0},
    {0x7F, 0x7F, "Manufacturer specific", 0},
};

constexpr PlainRow kExtensionFDRows[] = {
    {0x00, 0x03, "Credit of %scurrency units", -3},
    {0x04, 0x07, "Debit of %scurrency units", -3},
    {0x08, 0x08, "Access Number (transmission count)", 0},
    {0x09, 0x09, "Medium (as in fixed header)", 0},
    {0x0A, 0x0A, "Manufacturer (as in fixed header)", 0},
    {0x0B, 0x0B, "Parameter set identification", 0},
    {0x0C, 0x0C, "Model / Version", 0},
    {0x0D, 0x0D, "Hardware version", 0},
    {0x0E, 0x0E, "Firmware version", 0},
    {0x0F, 0x0F, "Software version", 0},
    {0x10, 0x10, "Customer location", 0},
    {0x11, 0x11, "Customer", 0},
    {0x12, 0x12, "Access Code User", 0},
    {0x13, 0x13, "Access Code Operator", 0},
    {0x14, 0x14, "Access Code System Operator", 0},
    {0x15, 0x15, "Access Code Developer", 0},
    {0x16, 0x16, "Password", 0},
    {0x17, 0x17, "Error flags", 0},
    {0x18, 0x18, "Error mask", 0},
    {0x1A, 0x1A, "Digital output (binary)", 0},
    {0x1B, 0x1B, "Digital input (binary)", 0},
    {0x1C, 0x1C, "Baud rate", 0},
    {0x1D, 0x1D, "Response delay time", 0},
    {0x1E, 0x1E, "Retry", 0},
    {0x20, 0x20, "First storage # for cyclic storage", 0},
    {0x21, 0x21, "Last storage # for cyclic storage", 0},
    {0x22, 0x22, "Size of storage block", 0},
    {0x24, 0x27, "Storage interval (%s)", kTimeUnits},
    {0x28, 0x28, "Storage interval (months)", 0},
    {0x29, 0x29, "Storage interval (years)", 0},
    {0x2C, 0x2F, "Duration since last readout (%s)", kTimeUnits},
    {0x30, 0x30, "Start of tariff (date & time)", 0},
    {0x31, 0x31, "Duration of tariff (minutes)", 0},
    {0x32, 0x32, "Duration of tariff (hours)", 0},
    {0x33, 0x33, "Duration of tariff (days)", 0},
    {0x34, 0x37, "Period of tariff (%s)", kTimeUnits},
    {0x38, 0x38, "Period of tariff (months)", 0},
    {0x39, 0x39, "Period of tariff (years)", 0},
    {0x3A, 0x3A, "dimensionless / no VIF", 0},
    {0x40, 0x4F, "%s V", -9},
    {0x50, 0x5F, "%s A", -12},
    {0x60, 0x60, "Reset counter", 0},
    {0x61, 0x61, "Cumulation counter", 0},
    {0x62, 0x62, "Control signal", 0},
    {0x63, 0x63, "Day of week", 0},
    {0x64, 0x64, "Week number", 0},
    {0x65, 0x65, "Time point of day change", 0},
    {0x66, 0x66, "State of parameter activation", 0},
    {0x67, 0x67, "Special supplier information", 0},
    {0x68, 0x6B, "Duration since last cumulation (%s)", kTimeUnitsLong},
    {0x6C, 0x6F, "Operating time battery (%s)", kTimeUnitsLong},
    {0x70, 0x70, "Date and time of battery change", 0},
};

constexpr PlainRow kExtensionFBRows[] = {
    {0x00, 0x01, "Energy (%sWh)", 5},
    {0x08, 0x09, "Energy (%sJ)", 8},
    {0x10, 0x11, "Volume (%s m^3)", 2},
    {0x18, 0x19, "Mass (%skg)", 5},
    {0x21, 0x21, "Volume (0.1 feet^3)", 0},
    {0x22, 0x22, "Volume (0.1 american gallon)", 0},
    {0x23, 0x23, "Volume (american gallon)", 0},
    {0x24, 0x24, "Volume flow (0.001 american gallon/min)", 0},
    {0x25, 0x25, "Volume flow (american gallon/min)", 0},
    {0x26, 0x26, "Volume flow (american gallon/h)", 0},
    {0x28, 0x29, "Power (%sW)", 5},
    {0x30, 0x31, "Power (%sJ/h)", 8},
    {0x58, 0x5B, "Flow temperature (%s deg F)", -3},
    {0x5C, 0x5F, "Return temperature (%s deg F)", -3},
    {0x60, 0x63, "Temperature Difference (%s deg F)", -3},
    {0x64, 0x67, "External temperature (%s deg F)", -3},
    {0x70, 0x73, "Cold / Warm Temperature Limit (%s deg F)", -3},
    {0x74, 0x77, "Cold / Warm Temperature Limit (%s deg C)", -3},
    {0x78, 0x7F, "Cumul count max power (%s W)", -3},
};

// Fixed-structure unit codes, one text per code.
constexpr const char* kFixedUnits[64] = {
    "h,m,s",         "D,M,Y",     "Wh",
    "10 Wh",         "100 Wh",    "kWh",
    "10 kWh",        "100 kWh",   "MWh",
    "10 MWh",        "100 MWh",   "kJ",
    "10 kJ",         "100 kJ",    "MJ",
    "10 MJ",         "100 MJ",    "GJ",
    "10 GJ",         "100 GJ",    "W",
    "10 W",          "100 W",     "kW",
    "10 kW",         "100 kW",    "MW",
    "10 MW",         "100 MW",    "kJ/h",
    "10 kJ/h",       "100 kJ/h",  "MJ/h",
    "10 MJ/h",       "100 MJ/h",  "GJ/h",
    "10 GJ/h",       "100 GJ/h",  "ml",
    "10 ml",         "100 ml",    "l",
    "10 l",          "100 l",     "m^3",
    "10 m^3",        "100 m^3",   "ml/h",
    "10 ml/h",       "100 ml/h",  "l/h",
    "10 l/h",        "100 l/h",   "m^3/h",
    "10 m^3/h",      "100 m^3/h", "1e-3 \302\260C",
    "units for HCA", "reserved",  "reserved",
    "reserved",      "reserved",  "reserved but historic",
    "without units",
};

constexpr const char* kFixedMedia[16] = {
    "Other",
    "Oil",
    "Electricity",
    "Gas",
    "Heat",
    "Steam",
    "Hot Water",
    "Water",
    "H.C.A.",
    "Reserved",
    "Gas Mode 2",
    "Heat Mode 2",
    "Hot Water Mode 2",
    "Water Mode 2",
    "H.C.A. Mode 2",
    "Reserved",
};

constexpr const char* kErrors[] = {
    "Unspecified error",
    "Unimplemented CI-Field",
    "Buffer too long, truncated",
    "Too many records",
    "Premature end of record",
    "More than 10 DIFE\302\264s",
    "More than 10 VIFE\302\264s",
    "Reserved",
    "Application busy",
    "Too many readouts",
};

std::string TimeUnit(int family, unsigned index) {
  static const char* const kShort[] = {"seconds", "minutes", "hours", "days"};
  static const char* const kLong[] = {"hours", "days", "months", "years"};
  return (family == kTimeUnits ? kShort : kLong)[index & 3];
}

std::string Format(const char* format, const std::string& argument) {
  char text[128];
  std::snprintf(text, sizeof text, format, argument.c_str());
  return text;
}

template <size_t N>
std::array<std::string, 128> BuildTexts(const PlainRow (&rows)[N]) {
  std::array<std::string, 128> texts;
  for (const PlainRow& row : rows) {
    for (unsigned code = row.first; code <= row.last; ++code) {
      const unsigned step = code - row.first;
      if (row.exponent >= kTimeUnits)
        texts[code] = Format(row.format, TimeUnit(row.exponent, step));
      else
        texts[code] = Format(row.format, UnitPrefix(row.exponent + static_cast<int>(step)));
    }
  }
  return texts;
}

std::array<std::string, 128> BuildPrimary() {
  auto texts = BuildTexts(kPrimaryRows);
  for (unsigned code = 0; code < 128; ++code) {
    if (texts[code].empty()) {
      char text[32];
      std::snprintf(text, sizeof text, "Unknown (VIF=0x%02X)", code);
      texts[code] = text;
    }
  }
  return texts;
}

template <size_t N>
std::array<std::string, 128> BuildExtension(const PlainRow (&rows)[N]) {
  auto texts = BuildTexts(rows);
  for (std::string& text : texts)
    if (text.empty()) text = "Reserved";
  return texts;
}

std::array<std::string, 256> BuildMedia() {
  std::array<std::string, 256> texts;
  for (unsigned code = 0; code < 256; ++code) {
    if (const char* known = FindMedium(code)) {
      texts[code] = known;
    } else {
      char text[32];
      std::snprintf(text, sizeof text, "Unknown medium (0x%02x)", code);
      texts[code] = text;
    }
  }
  for (unsigned code : {0x22u, 0x23u, 0x24u, 0x26u, 0x27u}) texts[code] = "Reserved";
  for (unsigned code = 0x2A; code <= 0x2F; ++code) texts[code] = "Reserved";
  for (unsigned code = 0x31; code <= 0x34; ++code) texts[code] = "Reserved";
  for (unsigned code = 0x38; code <= 0x3F; ++code) texts[code] = "Reserved";
  return texts;
}

}  // namespace

const char* UnitPrefix(int exponent) {
  static const std::array<std::string, 25> prefixes = [] {
    std::array<std::string, 25> texts;
    for (int e = -12; e <= 12; ++e) {
      char text[16];
      std::snprintf(text, sizeof text, "1e%d ", e);
      texts[e + 12] = text;
    }
    const std::pair<int, const char*> named[] = {
        {0, ""},     {1, "10 "},   {2, "100 "}, {3, "k"},  {4, "10 k"}, {5, "100 k"}, {6, "M"},
        {7, "10 M"}, {8, "100 M"}, {9, "G"},    {-3, "m"}, {-6, "my"},  {-9, "n"},    {-12, "p"}};
    for (const auto& [e, text] : named) texts[e + 12] = text;
    return texts;
  }();
  if (exponent < -12 || exponent > 12) return "";
  return prefixes[exponent + 12].c_str();
}

const char* PlainPrimaryText(unsigned code) {
  static const auto texts = BuildPrimary();
  return texts[code & 0x7F].c_str();
}

const char* PlainExtensionText(NormTable table, unsigned code) {
  static const auto fd = BuildExtension(kExtensionFDRows);
  static const auto fb = BuildExtension(kExtensionFBRows);
  return (table == NormTable::kExtensionFB ? fb : fd)[code & 0x7F].c_str();
}

const char* PlainFixedUnitText(unsigned code) {
  return kFixedUnits[code & 0x3F];
}

const char* FixedMediumText(unsigned code) {
  return kFixedMedia[code & 0x0F];
}

const char* VariableMediumText(unsigned code) {
  static const auto texts = BuildMedia();
  return texts[code & 0xFF].c_str();
}

const char* ErrorText(int error) {
  if (error < 0 || error >= static_cast<int>(sizeof kErrors / sizeof kErrors[0]))
    return "Unknown error";
  return kErrors[error];
}

}  // namespace mbus
