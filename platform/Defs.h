// Basic types and calling-convention macros shared by every layer.
#pragma once

#include <cstdint>

// The calling convention of the host's interface tables and exports:
// callee-pops, arguments right to left. x86-64 has a single convention, so
// the keyword only matters in the 32-bit Windows build.
#if defined(_WIN32)
#define KOR_STDCALL __stdcall
#else
#define KOR_STDCALL
#endif

namespace plat {

// COM-style result code: 0 success, negative failure.
using HResult = std::int32_t;

inline constexpr HResult kSOk = 0;
inline constexpr HResult kSFalse = 1;
inline constexpr HResult kENotImpl = static_cast<HResult>(0x80004001u);
inline constexpr HResult kENoInterface = static_cast<HResult>(0x80004002u);
inline constexpr HResult kEPointer = static_cast<HResult>(0x80004003u);
inline constexpr HResult kEFail = static_cast<HResult>(0x80004005u);
inline constexpr HResult kEUnexpected = static_cast<HResult>(0x8000FFFFu);
inline constexpr HResult kEOutOfMemory = static_cast<HResult>(0x8007000Eu);
inline constexpr HResult kEInvalidArg = static_cast<HResult>(0x80070057u);
inline constexpr HResult kDispETypeMismatch = static_cast<HResult>(0x80020005u);
inline constexpr HResult kDispEOverflow = static_cast<HResult>(0x8002000Au);
inline constexpr HResult kDispEBadVarType = static_cast<HResult>(0x80020008u);

inline constexpr bool Succeeded(HResult hr) {
  return hr >= 0;
}

// One-byte boolean of the host's interfaces: 0 or 1 on the way out; any
// non-zero value counts as true on the way in.
using Bool8 = std::uint8_t;

// The 16-byte interface identifier of the component model.
struct TGUID {
  std::uint32_t D1;
  std::uint16_t D2;
  std::uint16_t D3;
  std::uint8_t D4[8];
};

inline bool operator==(const TGUID& a, const TGUID& b) {
  if (a.D1 != b.D1 || a.D2 != b.D2 || a.D3 != b.D3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.D4[i] != b.D4[i]) return false;
  return true;
}

// The root interface of the component model: slots 0 to 2 of every
// interface table. No virtual destructor, so slots are declaration order.
struct IUnknownLike {
  virtual HResult KOR_STDCALL QueryInterface(const TGUID& iid, void** obj) = 0;
  virtual std::uint32_t KOR_STDCALL AddRef() = 0;
  virtual std::uint32_t KOR_STDCALL Release() = 0;
};

inline constexpr TGUID kIID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

}  // namespace plat
