// OLE Automation values: BSTR text and VARIANTs in the published layout and
// type codes. Win32: the real OLE Automation functions. Posix: the project's
// own implementation with the same results for the types the system stores
// (Empty, Null, the integer types, Single, Double, Currency, Date, BSTR,
// Boolean); other types are copied bitwise or refused with
// kDispEBadVarType. All functions are thread-safe.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/Defs.h"

namespace plat {

using OleChar = char16_t;
using BStr = OleChar*;  // length-prefixed UTF-16 text; nil is the empty text

// VARIANT type codes (the OLE set, and two string types of the host).
enum VarType : std::uint16_t {
  varEmpty = 0,
  varNull = 1,
  varSmallint = 2,
  varInteger = 3,
  varSingle = 4,
  varDouble = 5,
  varCurrency = 6,
  varDate = 7,
  varOleStr = 8,
  varDispatch = 9,
  varError = 10,
  varBoolean = 11,
  varVariant = 12,
  varUnknown = 13,
  varShortInt = 16,
  varByte = 17,
  varWord = 18,
  varLongWord = 19,
  varInt64 = 20,
  varUInt64 = 21,
  varString = 0x100,   // 8-bit text, payload a NUL-terminated ANSI string
  varUString = 0x102,  // UTF-16 text outside the OLE set, NUL-terminated
  varTypeMask = 0x0FFF,
  varArray = 0x2000,
  varByRef = 0x4000,
};

inline constexpr std::int16_t kVariantTrue = -1;
inline constexpr std::int16_t kVariantFalse = 0;

// VariantChangeType flags used by the system.
inline constexpr std::uint16_t kVariantNoValueProp = 0x01;
inline constexpr std::uint16_t kVariantAlphaBool = 0x02;

// The VARIANT record: 16 bytes in 32-bit builds, 24 in 64-bit ones (the
// record form holds two pointers).
struct TVarData {
  std::uint16_t VType;
  std::uint16_t Reserved1;
  std::uint16_t Reserved2;
  std::uint16_t Reserved3;
  union {
    std::int16_t VSmallInt;
    std::int32_t VInteger;
    float VSingle;
    double VDouble;
    std::int64_t VCurrency;  // value times 10000
    double VDate;            // days since 1899-12-30, time as fraction
    BStr VOleStr;
    IUnknownLike* VDispatch;
    std::int32_t VError;
    std::int16_t VBoolean;  // kVariantTrue or kVariantFalse
    IUnknownLike* VUnknown;
    std::int8_t VShortInt;
    std::uint8_t VByte;
    std::uint16_t VWord;
    std::uint32_t VLongWord;
    std::int64_t VInt64;
    std::uint64_t VUInt64;
    const char* VString;       // varString payload, owned by whoever made it
    const char16_t* VUString;  // varUString payload, likewise
    void* VPointer;
    struct {
      void* VRecord;
      void* VRecInfo;
    } VRecordPair;
  };
};

static_assert(sizeof(TVarData) == (sizeof(void*) == 4 ? 16 : 24), "VARIANT layout");

BStr SysAllocStringLen(const OleChar* text, std::uint32_t length);
BStr SysAllocString(std::u16string_view text);
void SysFreeString(BStr text);
std::uint32_t SysStringLen(BStr text);

void VariantInit(TVarData& value);
HResult VariantClear(TVarData& value);
// dest is cleared first; dest and source may be the same record.
HResult VariantCopy(TVarData& dest, const TVarData& source);
// Converts source to type vt into dest (the user's default locale, which the
// posix implementation takes as US English). dest and source may be the same;
// on failure dest is unchanged. Posix reads dates as M/D/Y (two-digit years
// 1950-2049) or Y-M-D with an optional H:MM[:SS] [AM|PM], or a time alone; a
// date without a year is refused, as is a source outside the set above
// (kDispEBadVarType) or a target outside it (kDispETypeMismatch).
HResult VariantChangeType(TVarData& dest, const TVarData& source, std::uint16_t flags,
                          std::uint16_t vt);

}  // namespace plat
