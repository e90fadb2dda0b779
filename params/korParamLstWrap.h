// The host's view of parameter lists: reference-counted wrappers that
// implement the interfaces of params/korParamLstIntf.h over native lists.
// Any thread may AddRef/Release; the other calls follow the wrapped list's
// rule (one thread at a time).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "params/korParamLst.h"
#include "params/korParamLstIntf.h"

// Wraps one item for the host (a new wrapper for every item handed out). It
// never owns the item, which must outlive it. Frees itself when its count
// drops to 0.
class TkorParamsListItemWrap final : public IkorParamsListItemW {
 public:
  explicit TkorParamsListItemWrap(TkorParamsListItem* item);

  plat::HResult KOR_STDCALL QueryInterface(const plat::TGUID& iid, void** obj) override;
  std::uint32_t KOR_STDCALL AddRef() override;
  std::uint32_t KOR_STDCALL Release() override;

  void KOR_STDCALL SetKey(const char* key) override;
  void KOR_STDCALL SetDataType(std::int32_t dataType) override;
  void KOR_STDCALL SetFlags(std::uint8_t flags) override;
  const char* KOR_STDCALL GetKey() override;
  std::int32_t KOR_STDCALL GetDataType() override;
  std::uint8_t KOR_STDCALL GetFlags() override;
  plat::HResult KOR_STDCALL SetValue(const plat::TVarData* value) override;
  plat::HResult KOR_STDCALL GetValue(plat::TVarData* value) override;
  void KOR_STDCALL SetName(const char* name) override;
  const char* KOR_STDCALL GetName() override;
  plat::Bool8 KOR_STDCALL IsRowMarker() override;
  void KOR_STDCALL SetNameW(const char16_t* name) override;
  const char16_t* KOR_STDCALL GetNameW() override;
  plat::HResult KOR_STDCALL SetValueW(const plat::TVarData* value) override;
  plat::HResult KOR_STDCALL GetValueW(plat::TVarData* value) override;

  TkorParamsListItem* Item() const { return FItem; }

  // A new counted wrapper of item as interface T, or nil for a nil item.
  template <class T>
  static T* Hand(TkorParamsListItem* item);

 private:
  ~TkorParamsListItemWrap() = default;
  void UpdateNames();
  plat::HResult StoreValue(const plat::TVarData* value, THostText text);

  std::u16string FNameW;
  std::string FNameA;
  std::string FKey;  // UTF-8, A to Z lower-cased
  TkorParamsListItem* FItem;
  std::atomic<std::int32_t> FRefCount{0};
};

// Wraps a list for the host with both list interfaces (W first, so the
// object's address is its IkorParamsListW). With the borrowed flag the list
// is not freed with the wrapper. An unpinned wrapper frees itself when its
// count drops to 0; a pinned one (PinA) is freed by its maker with Free().
class TkorParamsListWrap final : public IkorParamsListW, public IkorParamsListA {
 public:
  static constexpr std::int32_t kWrapSignature = 0x0FDE2E57;

  TkorParamsListWrap();  // creates and owns a new list
  // Wraps list (a new owned one when nil); borrowed: not freed with this.
  TkorParamsListWrap(TkorParamsList* list, bool borrowed);

  TkorParamsList* List() const { return FList; }
  bool Borrowed() const { return FBorrowed; }

  // Stores a counted IkorParamsListA reference to this wrapper and returns
  // the address of that reference, the same on every call.
  IkorParamsListA** PinA();
  bool Pinned() const { return FPin != nullptr; }
  // Drops the self-reference and destroys the wrapper; warns first when
  // the host still holds references.
  void Free();

  // Where the warning of Free goes (default: an error message box).
  using TWarningHandler = void (*)(const char* text);
  static void SetDestroyWarningHandler(TWarningHandler handler);
  static constexpr const char* kDestroyWarning =
      "TkorParamsListWrap.Destroy. Reference counter should be zero!";

  // A wrapper object of this layout, or nil when the pointer is not one.
  static TkorParamsListWrap* FromObject(const void* pointer);

  plat::HResult KOR_STDCALL QueryInterface(const plat::TGUID& iid, void** obj) override;
  std::uint32_t KOR_STDCALL AddRef() override;
  std::uint32_t KOR_STDCALL Release() override;

  std::int32_t KOR_STDCALL GetCount() override;
  std::int32_t KOR_STDCALL GetSignature() override;
  std::int32_t KOR_STDCALL GetTag() override;
  void KOR_STDCALL SetTag(std::int32_t tag) override;
  void KOR_STDCALL Clear() override;
  void KOR_STDCALL Delete(std::int32_t index) override;
  plat::Bool8 KOR_STDCALL FindRowEnd(std::int32_t from, std::int32_t* index,
                                     plat::Bool8* isMarker) override;
  void KOR_STDCALL EndRow() override;
  void KOR_STDCALL AppendRows(TkorParamsListWrap* source) override;

  // IkorParamsListW
  plat::HResult KOR_STDCALL GetItem(std::int32_t index, IkorParamsListItemW** item) override;
  plat::HResult KOR_STDCALL AddList(TkorParamsListWrap* source, plat::Bool8* done) override;
  plat::HResult KOR_STDCALL AddListRange(TkorParamsListWrap* source, std::int32_t from,
                                         std::int32_t to, plat::Bool8* done) override;
  plat::HResult KOR_STDCALL FindItem(const char16_t* name, std::int32_t from, std::int32_t to,
                                     IkorParamsListItemW** item) override;
  plat::HResult KOR_STDCALL IndexOf(const char16_t* name, std::int32_t from, std::int32_t to,
                                    std::int32_t* index) override;
  plat::HResult KOR_STDCALL GetValue(const char16_t* name, std::int32_t from, std::int32_t to,
                                     plat::TVarData* value) override;
  plat::HResult KOR_STDCALL GetValueDef(const char16_t* name, const plat::TVarData* def,
                                        std::int32_t from, std::int32_t to,
                                        plat::TVarData* value) override;
  plat::HResult KOR_STDCALL Add(const char16_t* name, const plat::TVarData* value,
                                IkorParamsListItemW** item) override;
  plat::HResult KOR_STDCALL Insert(std::int32_t index, const char16_t* name,
                                   const plat::TVarData* value,
                                   IkorParamsListItemW** item) override;
  plat::HResult KOR_STDCALL SetValue(const char16_t* name, const plat::TVarData* value,
                                     plat::Bool8 addIfMissing, IkorParamsListItemW** item) override;
  plat::HResult KOR_STDCALL AddItem(IkorParamsListItemW* source,
                                    IkorParamsListItemW** item) override;

  // IkorParamsListA
  plat::HResult KOR_STDCALL GetItem(std::int32_t index, IkorParamsListItemA** item) override;
  plat::HResult KOR_STDCALL AddList(TkorParamsList* source, plat::Bool8* done) override;
  plat::HResult KOR_STDCALL AddListRange(TkorParamsList* source, std::int32_t from, std::int32_t to,
                                         plat::Bool8* done) override;
  plat::HResult KOR_STDCALL FindItem(const char* name, std::int32_t from, std::int32_t to,
                                     IkorParamsListItemA** item) override;
  plat::HResult KOR_STDCALL IndexOf(const char* name, std::int32_t from, std::int32_t to,
                                    std::int32_t* index) override;
  plat::HResult KOR_STDCALL GetValue(const char* name, std::int32_t from, std::int32_t to,
                                     plat::TVarData* value) override;
  plat::HResult KOR_STDCALL GetValueDef(const char* name, const plat::TVarData* def,
                                        std::int32_t from, std::int32_t to,
                                        plat::TVarData* value) override;
  plat::HResult KOR_STDCALL Add(const char* name, const plat::TVarData* value,
                                IkorParamsListItemA** item) override;
  plat::HResult KOR_STDCALL Insert(std::int32_t index, const char* name,
                                   const plat::TVarData* value,
                                   IkorParamsListItemA** item) override;
  plat::HResult KOR_STDCALL SetValue(const char* name, const plat::TVarData* value,
                                     plat::Bool8 addIfMissing, IkorParamsListItemA** item) override;
  plat::HResult KOR_STDCALL AddItem(IkorParamsListItemA* source,
                                    IkorParamsListItemA** item) override;

 private:
  ~TkorParamsListWrap();

  // Field order after the two table pointers; FromObject reads FSignature.
  std::int32_t FSignature = kWrapSignature;
  IkorParamsListA* FSelfRef = nullptr;
  IkorParamsListA** FPin = nullptr;
  bool FBorrowed;
  TkorParamsList* FList;
  std::atomic<std::int32_t> FRefCount{0};
};
