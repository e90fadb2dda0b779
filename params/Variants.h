// OleVariant: an owning VARIANT value, and the system's conversions between
// VARIANT types on top of the platform's change-type. Text inside a value is
// always an OLE wide string (BSTR); the host's 8-bit (0x100) and UTF-16
// (0x102) string types are turned into one when a value is taken over.
// Not thread-safe: one thread at a time per value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "framework/SysUtils.h"
#include "platform/Ole.h"

// A conversion between VARIANT types failed (type mismatch or overflow).
class EVariantError : public Exception {
 public:
  EVariantError(const std::string& message, plat::HResult code) : Exception(message), Code(code) {}
  plat::HResult Code;
};

// How the payload of a host string VARIANT is read.
enum class THostText {
  Ansi,  // 0x100 as 8-bit text, 0x102 as UTF-16 (the A interfaces)
  Wide,  // both as UTF-16 (the W interfaces)
};

class OleVariant {
 public:
  OleVariant() noexcept { plat::VariantInit(FData); }
  OleVariant(const OleVariant& other);
  OleVariant(OleVariant&& other) noexcept;
  OleVariant& operator=(const OleVariant& other);
  OleVariant& operator=(OleVariant&& other) noexcept;
  ~OleVariant() { plat::VariantClear(FData); }

  explicit OleVariant(std::int32_t value);
  explicit OleVariant(std::int16_t value);
  explicit OleVariant(std::int8_t value);
  explicit OleVariant(std::uint8_t value);
  explicit OleVariant(std::uint16_t value);
  explicit OleVariant(std::uint32_t value);
  explicit OleVariant(std::int64_t value);
  explicit OleVariant(std::uint64_t value);
  explicit OleVariant(float value);
  explicit OleVariant(double value);
  explicit OleVariant(bool value);
  // 8-bit text in the system code page, stored as OLE text.
  explicit OleVariant(std::string_view ansi);
  explicit OleVariant(const char* ansi) : OleVariant(std::string_view(ansi ? ansi : "")) {}
  explicit OleVariant(std::u16string_view wide);

  static OleVariant Null();
  static OleVariant Currency(std::int64_t scaledBy10000);
  static OleVariant Date(double oleDate);
  // Takes a copy of a VARIANT that someone else owns; host string types are
  // read as `text` says and stored as OLE text (a nil payload as empty text).
  static OleVariant FromHost(const plat::TVarData& value, THostText text);

  plat::VarType VType() const { return static_cast<plat::VarType>(FData.VType); }
  bool IsEmpty() const { return FData.VType == plat::varEmpty; }
  bool IsNull() const { return FData.VType == plat::varNull; }
  const plat::TVarData& Data() const { return FData; }

  // Gives the record to the caller, who must clear it; this value is Empty.
  plat::TVarData Detach() noexcept;
  void Clear() noexcept;

  // Conversions raise EVariantError when the platform refuses them.
  OleVariant ChangedType(std::uint16_t vt) const;
  std::string AsAnsiString() const;
  std::u16string AsWideString() const;
  std::int32_t AsInteger() const;
  std::int64_t AsInt64() const;
  double AsDouble() const;
  bool AsBoolean() const;

 private:
  template <class M>
  void Set(std::uint16_t vt, M plat::TVarData::*field, M value) {
    FData.VType = vt;
    FData.*field = value;
  }

  plat::TVarData FData;
};

bool operator==(const OleVariant& a, const OleVariant& b);

// Text of a VARIANT type for messages ("Integer", "OleStr", ...).
std::string VarTypeName(std::uint16_t vt);
