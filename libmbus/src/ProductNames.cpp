// Product names of known meters, by manufacturer code, version and medium of
// the variable-structure header. Unknown meters have no name ("").
#include "Tables.h"

namespace mbus {
namespace {

struct ProductRow {
  char manufacturer[4];
  unsigned version;
  unsigned medium;
  const char* name;
};

constexpr ProductRow kProducts[] = {
    {"ABB", 2, 2, "ABB Delta-Meter"},
    {"ACW", 9, 4, "Itron CF Echo 2"},
    {"ACW", 11, 12, "Itron CF 55"},
    {"ACW", 14, 22, "Itron BM +m"},
    {"ACW", 20, 3, "Itron CYBLE M-Bus 1.4"},
    {"ACW", 20, 7, "Itron CYBLE M-Bus 1.4"},
    {"AMT", 52, 4, "Aquametro AMTRON"},
    {"EFE", 0, 4, "Engelmann / Elster SensoStar 2"},
    {"EFE", 0, 6, "Engelmann WaterStar"},
    {"ELS", 10, 7, "Elster Falcon"},
    {"ELV", 21, 0, "Elvaco CMa10"},
    {"ELV", 22, 0, "Elvaco CMa10"},
    {"ELV", 50, 0, "Elvaco CMa11"},
    {"EMH", 0, 2, "EMH DIZ"},
    {"EMU", 16, 2, "EMU Professional 3/75 M-Bus"},
    {"GMC", 230, 2, "GMC-I A230 EMMOD 206"},
    {"HYD", 40, 4, "ABB F95 Typ US770"},
    {"KAM", 1, 2, "Kamstrup 382 (6850-005)"},
    {"KAM", 8, 4, "Kamstrup Multical 601"},
    {"LSE", 153, 6, "Siemens WFH21"},
    {"LUG", 2, 4, "Landis & Gyr Ultraheat 2WR5"},
    {"NZR", 1, 2, "NZR DHZ 5/63"},
    {"REL", 18, 0, "Relay PadPuls M4"},
    {"REL", 64, 8, "Relay PadPuls M2"},
    {"SBC", 22, 2, "Saia-Burgess ALE3"},
    {"SEN", 11, 4, "Sensus PolluTherm"},
    {"SEN", 14, 4, "Sensus PolluStat E"},
    {"SLB", 2, 4, "Allmess Megacontrol CF-50"},
    {"SPX", 49, 4, "Sensus PolluTherm"},
    {"SPX", 52, 4, "Sensus PolluTherm"},
    {"SVM", 9, 12, "Elster F4 / Kamstrup SVM F22"},
    {"TCH", 38, 4, "Techem m-bus S"},
    {"ZRM", 129, 4, "Minol Minocal C2"},
    {"ZRM", 130, 4, "Minol Minocal WR3"},
};

constexpr unsigned Code(const char (&m)[4]) {
  return (static_cast<unsigned>(m[0] - 64) << 10) | (static_cast<unsigned>(m[1] - 64) << 5) |
         static_cast<unsigned>(m[2] - 64);
}

}  // namespace

const char* ProductName(unsigned manufacturer_id, unsigned version, unsigned medium) {
  for (const ProductRow& row : kProducts)
    if (Code(row.manufacturer) == manufacturer_id && row.version == version && row.medium == medium)
      return row.name;
  return "";
}

}  // namespace mbus
