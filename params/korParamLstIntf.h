// The parameter-list interfaces the host calls: fixed tables of stdcall
// functions, slot for slot (slots 0 to 2 are QueryInterface, AddRef and
// Release). Interfaces carry no virtual destructor, so a slot's index is its
// declaration order. Rules for every implementation:
// - HRESULT functions return kSOk, or kEUnexpected when anything fails inside;
//   interface out-parameters are set to nil and VARIANT out-parameters zeroed
//   before anything else happens; integer and bool8 out-parameters are
//   written only on success. A nil out-parameter is a failure.
// - Other functions return their value directly.
// - VARIANT in-parameters come by reference; names are NUL-terminated.
// Reference counts may change on any thread.
#pragma once

#include <cstdint>

#include "platform/Defs.h"
#include "platform/Ole.h"

class TkorParamsList;
class TkorParamsListWrap;

inline constexpr plat::TGUID kIID_IkorParamsListA = {
    0x33316D29, 0x0F86, 0x41C4, {0x8D, 0xB4, 0x3F, 0xE9, 0x75, 0x61, 0x58, 0xB1}};
inline constexpr plat::TGUID kIID_IkorParamsListW = {
    0x33316D29, 0x0F86, 0x41C4, {0x8D, 0xB4, 0x3F, 0xE9, 0x75, 0x61, 0x58, 0xB2}};
inline constexpr plat::TGUID kIID_IkorParamsListItemA = {
    0x33316D29, 0x0F86, 0x41C4, {0x8D, 0xB4, 0x3F, 0xE9, 0x75, 0x61, 0x58, 0xB4}};
inline constexpr plat::TGUID kIID_IkorParamsListItemW = {
    0x33316D29, 0x0F86, 0x41C4, {0x8D, 0xB4, 0x3F, 0xE9, 0x75, 0x61, 0x58, 0xB6}};

// One item: the name in ANSI (A) or UTF-16 (W), a value, a type tag, flags
// and the exported key (UTF-8, only A to Z lower-cased).
struct IkorParamsListItemA : plat::IUnknownLike {
  virtual void KOR_STDCALL SetKey(const char* key) = 0;                         // 3
  virtual void KOR_STDCALL SetDataType(std::int32_t dataType) = 0;              // 4
  virtual void KOR_STDCALL SetFlags(std::uint8_t flags) = 0;                    // 5
  virtual const char* KOR_STDCALL GetKey() = 0;                                 // 6
  virtual std::int32_t KOR_STDCALL GetDataType() = 0;                           // 7
  virtual std::uint8_t KOR_STDCALL GetFlags() = 0;                              // 8
  virtual plat::HResult KOR_STDCALL SetValue(const plat::TVarData* value) = 0;  // 9
  virtual plat::HResult KOR_STDCALL GetValue(plat::TVarData* value) = 0;        // 10
  virtual void KOR_STDCALL SetName(const char* name) = 0;                       // 11
  virtual const char* KOR_STDCALL GetName() = 0;                                // 12
  virtual plat::Bool8 KOR_STDCALL IsRowMarker() = 0;                            // 13
};

// The W slots are new functions of their own, not overrides of the A ones.
// NOLINTBEGIN(bugprone-virtual-near-miss)
struct IkorParamsListItemW : IkorParamsListItemA {
  virtual void KOR_STDCALL SetNameW(const char16_t* name) = 0;                   // 14
  virtual const char16_t* KOR_STDCALL GetNameW() = 0;                            // 15
  virtual plat::HResult KOR_STDCALL SetValueW(const plat::TVarData* value) = 0;  // 16
  virtual plat::HResult KOR_STDCALL GetValueW(plat::TVarData* value) = 0;        // 17
};
// NOLINTEND(bugprone-virtual-near-miss)

// The slots both list interfaces share.
struct IkorParamsList_ : plat::IUnknownLike {
  virtual std::int32_t KOR_STDCALL GetCount() = 0;          // 3
  virtual std::int32_t KOR_STDCALL GetSignature() = 0;      // 4
  virtual std::int32_t KOR_STDCALL GetTag() = 0;            // 5
  virtual void KOR_STDCALL SetTag(std::int32_t tag) = 0;    // 6
  virtual void KOR_STDCALL Clear() = 0;                     // 7
  virtual void KOR_STDCALL Delete(std::int32_t index) = 0;  // 8
  virtual plat::Bool8 KOR_STDCALL FindRowEnd(std::int32_t from, std::int32_t* index,
                                             plat::Bool8* isMarker) = 0;  // 9
  virtual void KOR_STDCALL EndRow() = 0;                                  // 10
  virtual void KOR_STDCALL AppendRows(TkorParamsListWrap* source) = 0;    // 11
};

struct IkorParamsListA : IkorParamsList_ {
  virtual plat::HResult KOR_STDCALL GetItem(std::int32_t index,
                                            IkorParamsListItemA** item) = 0;                 // 12
  virtual plat::HResult KOR_STDCALL AddList(TkorParamsList* source, plat::Bool8* done) = 0;  // 13
  virtual plat::HResult KOR_STDCALL AddListRange(TkorParamsList* source, std::int32_t from,
                                                 std::int32_t to, plat::Bool8* done) = 0;  // 14
  virtual plat::HResult KOR_STDCALL FindItem(const char* name, std::int32_t from, std::int32_t to,
                                             IkorParamsListItemA** item) = 0;  // 15
  virtual plat::HResult KOR_STDCALL IndexOf(const char* name, std::int32_t from, std::int32_t to,
                                            std::int32_t* index) = 0;  // 16
  virtual plat::HResult KOR_STDCALL GetValue(const char* name, std::int32_t from, std::int32_t to,
                                             plat::TVarData* value) = 0;  // 17
  virtual plat::HResult KOR_STDCALL GetValueDef(const char* name, const plat::TVarData* def,
                                                std::int32_t from, std::int32_t to,
                                                plat::TVarData* value) = 0;  // 18
  virtual plat::HResult KOR_STDCALL Add(const char* name, const plat::TVarData* value,
                                        IkorParamsListItemA** item) = 0;  // 19
  virtual plat::HResult KOR_STDCALL Insert(std::int32_t index, const char* name,
                                           const plat::TVarData* value,
                                           IkorParamsListItemA** item) = 0;  // 20
  virtual plat::HResult KOR_STDCALL SetValue(const char* name, const plat::TVarData* value,
                                             plat::Bool8 addIfMissing,
                                             IkorParamsListItemA** item) = 0;  // 21
  virtual plat::HResult KOR_STDCALL AddItem(IkorParamsListItemA* source,
                                            IkorParamsListItemA** item) = 0;  // 22
};

struct IkorParamsListW : IkorParamsList_ {
  virtual plat::HResult KOR_STDCALL GetItem(std::int32_t index,
                                            IkorParamsListItemW** item) = 0;  // 12
  virtual plat::HResult KOR_STDCALL AddList(TkorParamsListWrap* source,
                                            plat::Bool8* done) = 0;  // 13
  virtual plat::HResult KOR_STDCALL AddListRange(TkorParamsListWrap* source, std::int32_t from,
                                                 std::int32_t to, plat::Bool8* done) = 0;  // 14
  virtual plat::HResult KOR_STDCALL FindItem(const char16_t* name, std::int32_t from,
                                             std::int32_t to,
                                             IkorParamsListItemW** item) = 0;  // 15
  virtual plat::HResult KOR_STDCALL IndexOf(const char16_t* name, std::int32_t from,
                                            std::int32_t to, std::int32_t* index) = 0;  // 16
  virtual plat::HResult KOR_STDCALL GetValue(const char16_t* name, std::int32_t from,
                                             std::int32_t to, plat::TVarData* value) = 0;  // 17
  virtual plat::HResult KOR_STDCALL GetValueDef(const char16_t* name, const plat::TVarData* def,
                                                std::int32_t from, std::int32_t to,
                                                plat::TVarData* value) = 0;  // 18
  virtual plat::HResult KOR_STDCALL Add(const char16_t* name, const plat::TVarData* value,
                                        IkorParamsListItemW** item) = 0;  // 19
  virtual plat::HResult KOR_STDCALL Insert(std::int32_t index, const char16_t* name,
                                           const plat::TVarData* value,
                                           IkorParamsListItemW** item) = 0;  // 20
  virtual plat::HResult KOR_STDCALL SetValue(const char16_t* name, const plat::TVarData* value,
                                             plat::Bool8 addIfMissing,
                                             IkorParamsListItemW** item) = 0;  // 21
  virtual plat::HResult KOR_STDCALL AddItem(IkorParamsListItemW* source,
                                            IkorParamsListItemW** item) = 0;  // 22
};

// Holds one counted reference to an interface and releases it at the end.
template <class T>
class TIntfRef {
 public:
  TIntfRef() = default;
  // Takes over a reference the caller already counted (an out-parameter).
  static TIntfRef Adopt(T* intf) {
    TIntfRef ref;
    ref.FIntf = intf;
    return ref;
  }
  TIntfRef(const TIntfRef& other) : FIntf(other.FIntf) {
    if (FIntf) FIntf->AddRef();
  }
  TIntfRef(TIntfRef&& other) noexcept : FIntf(other.FIntf) { other.FIntf = nullptr; }
  TIntfRef& operator=(TIntfRef other) noexcept {
    T* old = FIntf;
    FIntf = other.FIntf;
    other.FIntf = old;
    return *this;
  }
  ~TIntfRef() {
    if (FIntf) FIntf->Release();
  }
  T* operator->() const { return FIntf; }
  T* Get() const { return FIntf; }
  explicit operator bool() const { return FIntf != nullptr; }
  // The address of the slot for an out-parameter; releases what it held.
  T** Put() {
    *this = TIntfRef();
    return &FIntf;
  }

 private:
  T* FIntf = nullptr;
};
