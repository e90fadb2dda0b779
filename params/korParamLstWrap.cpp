#include "params/korParamLstWrap.h"

#include <cstddef>
#include <cstring>
#include <utility>

#include "platform/Diagnostics.h"
#include "platform/Dialogs.h"
#include "platform/Text.h"

namespace {

using plat::Bool8;
using plat::HResult;
using plat::TVarData;

// Runs body; any exception becomes kEUnexpected.
template <class F>
HResult Guarded(F&& body) noexcept {
  try {
    body();
    return plat::kSOk;
  } catch (...) {
    return plat::kEUnexpected;
  }
}

// Runs body for a function without result code: failures are swallowed, as
// nothing may leave an interface call.
template <class F>
void Quietly(F&& body) noexcept {
  try {
    body();
  } catch (...) {
  }
}

template <class T>
void ClearOut(T** out) {
  if (out) *out = nullptr;
}

void ClearOut(TVarData* out) {
  if (out) std::memset(static_cast<void*>(out), 0, sizeof *out);
}

template <class T>
T& Need(T* pointer) {
  if (!pointer) throw Exception("nil argument");
  return *pointer;
}

std::string NameA(const char* name) {
  return name ? std::string(name) : std::string();
}

std::string NameW(const char16_t* name) {
  return name ? plat::WideToAnsi(std::u16string_view(name, plat::WideLength(name))) : std::string();
}

void GiveValue(const OleVariant& value, TVarData* out) {
  OleVariant copy(value);
  *out = copy.Detach();
}

std::atomic<TkorParamsListWrap::TWarningHandler> gWarningHandler{nullptr};

void ShowWarning(const char* text) {
  TkorParamsListWrap::TWarningHandler handler = gWarningHandler.load();
  if (handler)
    handler(text);
  else
    plat::ShowErrorMessage(text);
}

std::string ExportedKey(std::u16string_view name) {
  std::string key = plat::WideToUtf8(name);
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return key;
}

}  // namespace

// ---- item wrapper --------------------------------------------------------

TkorParamsListItemWrap::TkorParamsListItemWrap(TkorParamsListItem* item) : FItem(item) {
  UpdateNames();
}

template <class T>
T* TkorParamsListItemWrap::Hand(TkorParamsListItem* item) {
  if (!item) return nullptr;
  auto* wrap = new TkorParamsListItemWrap(item);
  wrap->AddRef();
  return wrap;
}
template IkorParamsListItemA* TkorParamsListItemWrap::Hand<IkorParamsListItemA>(
    TkorParamsListItem*);
template IkorParamsListItemW* TkorParamsListItemWrap::Hand<IkorParamsListItemW>(
    TkorParamsListItem*);

void TkorParamsListItemWrap::UpdateNames() {
  FNameA = FItem->Name;
  FNameW = plat::AnsiToWide(FNameA);
  FKey = ExportedKey(FNameW);
}

HResult KOR_STDCALL TkorParamsListItemWrap::QueryInterface(const plat::TGUID& iid, void** obj) {
  if (!obj) return plat::kEPointer;
  *obj = nullptr;
  if (iid == kIID_IkorParamsListItemW || iid == kIID_IkorParamsListItemA ||
      iid == plat::kIID_IUnknown) {
    *obj = static_cast<IkorParamsListItemW*>(this);
    AddRef();
    return plat::kSOk;
  }
  return plat::kENoInterface;
}

std::uint32_t KOR_STDCALL TkorParamsListItemWrap::AddRef() {
  return static_cast<std::uint32_t>(FRefCount.fetch_add(1, std::memory_order_relaxed) + 1);
}

std::uint32_t KOR_STDCALL TkorParamsListItemWrap::Release() {
  std::int32_t count = FRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (count == 0) delete this;
  return static_cast<std::uint32_t>(count);
}

void KOR_STDCALL TkorParamsListItemWrap::SetKey(const char* key) {
  Quietly([&] { FKey = key ? key : ""; });
}

void KOR_STDCALL TkorParamsListItemWrap::SetDataType(std::int32_t dataType) {
  FItem->DataType = dataType;
}

void KOR_STDCALL TkorParamsListItemWrap::SetFlags(std::uint8_t flags) {
  FItem->Flags = flags;
}

const char* KOR_STDCALL TkorParamsListItemWrap::GetKey() {
  return FKey.empty() ? nullptr : FKey.c_str();
}

std::int32_t KOR_STDCALL TkorParamsListItemWrap::GetDataType() {
  return FItem->DataType;
}

std::uint8_t KOR_STDCALL TkorParamsListItemWrap::GetFlags() {
  return FItem->Flags;
}

HResult TkorParamsListItemWrap::StoreValue(const TVarData* value, THostText text) {
  return Guarded([&] { FItem->SetValue(OleVariant::FromHost(Need(value), text)); });
}

HResult KOR_STDCALL TkorParamsListItemWrap::SetValue(const TVarData* value) {
  return StoreValue(value, THostText::Ansi);
}

HResult KOR_STDCALL TkorParamsListItemWrap::SetValueW(const TVarData* value) {
  return StoreValue(value, THostText::Wide);
}

HResult KOR_STDCALL TkorParamsListItemWrap::GetValue(TVarData* value) {
  ClearOut(value);
  return Guarded([&] { GiveValue(FItem->Value, &Need(value)); });
}

HResult KOR_STDCALL TkorParamsListItemWrap::GetValueW(TVarData* value) {
  return GetValue(value);
}

void KOR_STDCALL TkorParamsListItemWrap::SetName(const char* name) {
  Quietly([&] {
    FItem->Name = NameA(name);
    UpdateNames();
  });
}

void KOR_STDCALL TkorParamsListItemWrap::SetNameW(const char16_t* name) {
  Quietly([&] {
    FItem->Name = NameW(name);
    UpdateNames();
  });
}

const char* KOR_STDCALL TkorParamsListItemWrap::GetName() {
  return FNameA.empty() ? nullptr : FNameA.c_str();
}

const char16_t* KOR_STDCALL TkorParamsListItemWrap::GetNameW() {
  return FNameW.empty() ? nullptr : FNameW.c_str();
}

Bool8 KOR_STDCALL TkorParamsListItemWrap::IsRowMarker() {
  return FItem->IsRowMarker() ? 1 : 0;
}

// ---- list wrapper ----------------------------------------------------------

TkorParamsListWrap::TkorParamsListWrap() : TkorParamsListWrap(nullptr, false) {}

TkorParamsListWrap::TkorParamsListWrap(TkorParamsList* list, bool borrowed)
    : FBorrowed(list ? borrowed : false), FList(list ? list : new TkorParamsList()) {}

TkorParamsListWrap::~TkorParamsListWrap() {
  FSignature = 0;
  if (!FBorrowed) delete FList;
}

IkorParamsListA** TkorParamsListWrap::PinA() {
  if (!FPin) {
    FSelfRef = static_cast<IkorParamsListA*>(this);
    AddRef();
    FPin = &FSelfRef;
  }
  return FPin;
}

void TkorParamsListWrap::Free() {
  if (FPin) {
    FSelfRef = nullptr;
    FRefCount.fetch_sub(1, std::memory_order_acq_rel);
  }
  if (FRefCount.load(std::memory_order_acquire) > 0) ShowWarning(kDestroyWarning);
  delete this;
}

void TkorParamsListWrap::SetDestroyWarningHandler(TWarningHandler handler) {
  gWarningHandler.store(handler);
}

TkorParamsListWrap* TkorParamsListWrap::FromObject(const void* pointer) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
  static_assert(offsetof(TkorParamsListWrap, FSignature) == 2 * sizeof(void*),
                "the signature sits right after the two table pointers");
#pragma GCC diagnostic pop
  if (!pointer) return nullptr;
  std::int32_t signature = 0;
  const auto* field = static_cast<const unsigned char*>(pointer) + 2 * sizeof(void*);
  if (!plat::ReadMemory(field, &signature, sizeof signature) || signature != kWrapSignature)
    return nullptr;
  return static_cast<TkorParamsListWrap*>(
      static_cast<IkorParamsListW*>(const_cast<void*>(pointer)));
}

HResult KOR_STDCALL TkorParamsListWrap::QueryInterface(const plat::TGUID& iid, void** obj) {
  if (!obj) return plat::kEPointer;
  *obj = nullptr;
  if (iid == kIID_IkorParamsListW || iid == plat::kIID_IUnknown)
    *obj = static_cast<IkorParamsListW*>(this);
  else if (iid == kIID_IkorParamsListA)
    *obj = static_cast<IkorParamsListA*>(this);
  else
    return plat::kENoInterface;
  AddRef();
  return plat::kSOk;
}

std::uint32_t KOR_STDCALL TkorParamsListWrap::AddRef() {
  return static_cast<std::uint32_t>(FRefCount.fetch_add(1, std::memory_order_relaxed) + 1);
}

std::uint32_t KOR_STDCALL TkorParamsListWrap::Release() {
  std::int32_t count = FRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (count == 0 && !FPin) delete this;
  return static_cast<std::uint32_t>(count < 0 ? 0 : count);
}

std::int32_t KOR_STDCALL TkorParamsListWrap::GetCount() {
  return FList->Count();
}

std::int32_t KOR_STDCALL TkorParamsListWrap::GetSignature() {
  return FList->Signature;
}

std::int32_t KOR_STDCALL TkorParamsListWrap::GetTag() {
  return FList->Tag;
}

void KOR_STDCALL TkorParamsListWrap::SetTag(std::int32_t tag) {
  FList->Tag = tag;
}

void KOR_STDCALL TkorParamsListWrap::Clear() {
  FList->Clear();
}

void KOR_STDCALL TkorParamsListWrap::Delete(std::int32_t index) {
  FList->Delete(index);
}

Bool8 KOR_STDCALL TkorParamsListWrap::FindRowEnd(std::int32_t from, std::int32_t* index,
                                                 Bool8* isMarker) {
  TRowEnd end = FList->FindRowEnd(from);
  if (end.Found) {
    if (index) *index = end.Index;
    if (isMarker) *isMarker = end.IsMarker ? 1 : 0;
  }
  return end.Found ? 1 : 0;
}

void KOR_STDCALL TkorParamsListWrap::EndRow() {
  Quietly([&] { FList->EndRow(); });
}

// A pointer that is not a wrapper object of ours changes nothing.
void KOR_STDCALL TkorParamsListWrap::AppendRows(TkorParamsListWrap* source) {
  Quietly([&] {
    if (!source) return FList->AppendRows(nullptr);
    TkorParamsListWrap* wrap = FromObject(source);
    if (wrap) FList->AppendRows(wrap->FList);
  });
}

namespace {

// The list a wrapper object argument stands for: nil for nil; raises when
// the pointer is not a wrapper of this layout.
const TkorParamsList* WrappedList(TkorParamsListWrap* source) {
  if (!source) return nullptr;
  TkorParamsListWrap* wrap = TkorParamsListWrap::FromObject(source);
  KorAssert(wrap != nullptr);
  return wrap->List();
}

const TkorParamsList* RawList(TkorParamsList* source) {
  if (!source) return nullptr;
  const TkorParamsList* list = AsParamsListObject(source);
  KorAssert(list != nullptr);
  return list;
}

// The W and A forms share one body each; they differ in how names and host
// strings are read and which item interface they hand out.
struct TAnsiForm {
  using Name = const char*;
  using Item = IkorParamsListItemA;
  static constexpr THostText kText = THostText::Ansi;
  static std::string NameOf(Name name) { return NameA(name); }
  static std::string ItemName(Item& item) { return NameA(item.GetName()); }
};

struct TWideForm {
  using Name = const char16_t*;
  using Item = IkorParamsListItemW;
  static constexpr THostText kText = THostText::Wide;
  static std::string NameOf(Name name) { return NameW(name); }
  static std::string ItemName(Item& item) { return NameW(item.GetNameW()); }
};

template <class Form>
struct TListForms {
  using Item = typename Form::Item;

  // The out-parameter is checked first: a refused call changes nothing.
  static void Give(TkorParamsListItem* found, Item** item) {
    Item*& out = Need(item);
    out = TkorParamsListItemWrap::Hand<Item>(found);
  }

  static HResult GetItem(TkorParamsList& list, std::int32_t index, Item** item) {
    ClearOut(item);
    return Guarded([&] { Give(list.Items(index), item); });
  }

  static HResult AddList(TkorParamsList& list, const TkorParamsList* source, std::int32_t from,
                         std::int32_t to, Bool8* done) {
    Bool8& out = Need(done);
    out = list.AddListRange(source, from, to) ? 1 : 0;
    return plat::kSOk;
  }

  static HResult FindItem(TkorParamsList& list, typename Form::Name name, std::int32_t from,
                          std::int32_t to, Item** item) {
    ClearOut(item);
    return Guarded([&] { Give(list.FindItem(Form::NameOf(name), from, to), item); });
  }

  static HResult IndexOf(TkorParamsList& list, typename Form::Name name, std::int32_t from,
                         std::int32_t to, std::int32_t* index) {
    return Guarded([&] {
      std::int32_t found = list.IndexOf(Form::NameOf(name), from, to);
      Need(index) = found;
    });
  }

  static HResult GetValueDef(TkorParamsList& list, typename Form::Name name, const TVarData* def,
                             std::int32_t from, std::int32_t to, TVarData* value) {
    ClearOut(value);
    return Guarded([&] {
      Need(value);
      const TkorParamsListItem* item = list.FindItem(Form::NameOf(name), from, to);
      if (item)
        GiveValue(item->Value, value);
      else if (def)
        GiveValue(OleVariant::FromHost(*def, Form::kText), value);
    });
  }

  static HResult Insert(TkorParamsList& list, std::int32_t index, typename Form::Name name,
                        const TVarData* value, Item** item) {
    ClearOut(item);
    return Guarded([&] {
      Need(item);
      OleVariant stored = OleVariant::FromHost(Need(value), Form::kText);
      Give(list.Insert(index, Form::NameOf(name), stored), item);
    });
  }

  static HResult SetValue(TkorParamsList& list, typename Form::Name name, const TVarData* value,
                          Bool8 addIfMissing, Item** item) {
    ClearOut(item);
    return Guarded([&] {
      Need(item);
      OleVariant stored = OleVariant::FromHost(Need(value), Form::kText);
      Give(list.SetValue(Form::NameOf(name), stored, addIfMissing != 0), item);
    });
  }

  static HResult AddItem(TkorParamsList& list, Item* source, Item** item) {
    ClearOut(item);
    return Guarded([&] {
      Need(item);
      if (!source) return;
      Give(list.Add(Form::ItemName(*source), HostItemValue(*source)), item);
    });
  }
};

using TW = TListForms<TWideForm>;
using TA = TListForms<TAnsiForm>;

}  // namespace

HResult KOR_STDCALL TkorParamsListWrap::GetItem(std::int32_t index, IkorParamsListItemW** item) {
  return TW::GetItem(*FList, index, item);
}
HResult KOR_STDCALL TkorParamsListWrap::GetItem(std::int32_t index, IkorParamsListItemA** item) {
  return TA::GetItem(*FList, index, item);
}

HResult KOR_STDCALL TkorParamsListWrap::AddList(TkorParamsListWrap* source, Bool8* done) {
  return Guarded([&] { TW::AddList(*FList, WrappedList(source), 0, -1, done); });
}
HResult KOR_STDCALL TkorParamsListWrap::AddList(TkorParamsList* source, Bool8* done) {
  return Guarded([&] { TA::AddList(*FList, RawList(source), 0, -1, done); });
}

HResult KOR_STDCALL TkorParamsListWrap::AddListRange(TkorParamsListWrap* source, std::int32_t from,
                                                     std::int32_t to, Bool8* done) {
  return Guarded([&] { TW::AddList(*FList, WrappedList(source), from, to, done); });
}
HResult KOR_STDCALL TkorParamsListWrap::AddListRange(TkorParamsList* source, std::int32_t from,
                                                     std::int32_t to, Bool8* done) {
  return Guarded([&] { TA::AddList(*FList, RawList(source), from, to, done); });
}

HResult KOR_STDCALL TkorParamsListWrap::FindItem(const char16_t* name, std::int32_t from,
                                                 std::int32_t to, IkorParamsListItemW** item) {
  return TW::FindItem(*FList, name, from, to, item);
}
HResult KOR_STDCALL TkorParamsListWrap::FindItem(const char* name, std::int32_t from,
                                                 std::int32_t to, IkorParamsListItemA** item) {
  return TA::FindItem(*FList, name, from, to, item);
}

HResult KOR_STDCALL TkorParamsListWrap::IndexOf(const char16_t* name, std::int32_t from,
                                                std::int32_t to, std::int32_t* index) {
  return TW::IndexOf(*FList, name, from, to, index);
}
HResult KOR_STDCALL TkorParamsListWrap::IndexOf(const char* name, std::int32_t from,
                                                std::int32_t to, std::int32_t* index) {
  return TA::IndexOf(*FList, name, from, to, index);
}

HResult KOR_STDCALL TkorParamsListWrap::GetValue(const char16_t* name, std::int32_t from,
                                                 std::int32_t to, TVarData* value) {
  return TW::GetValueDef(*FList, name, nullptr, from, to, value);
}
HResult KOR_STDCALL TkorParamsListWrap::GetValue(const char* name, std::int32_t from,
                                                 std::int32_t to, TVarData* value) {
  return TA::GetValueDef(*FList, name, nullptr, from, to, value);
}

HResult KOR_STDCALL TkorParamsListWrap::GetValueDef(const char16_t* name, const TVarData* def,
                                                    std::int32_t from, std::int32_t to,
                                                    TVarData* value) {
  if (!def) {
    ClearOut(value);
    return plat::kEUnexpected;
  }
  return TW::GetValueDef(*FList, name, def, from, to, value);
}
HResult KOR_STDCALL TkorParamsListWrap::GetValueDef(const char* name, const TVarData* def,
                                                    std::int32_t from, std::int32_t to,
                                                    TVarData* value) {
  if (!def) {
    ClearOut(value);
    return plat::kEUnexpected;
  }
  return TA::GetValueDef(*FList, name, def, from, to, value);
}

HResult KOR_STDCALL TkorParamsListWrap::Add(const char16_t* name, const TVarData* value,
                                            IkorParamsListItemW** item) {
  return TW::Insert(*FList, FList->Count(), name, value, item);
}
HResult KOR_STDCALL TkorParamsListWrap::Add(const char* name, const TVarData* value,
                                            IkorParamsListItemA** item) {
  return TA::Insert(*FList, FList->Count(), name, value, item);
}

HResult KOR_STDCALL TkorParamsListWrap::Insert(std::int32_t index, const char16_t* name,
                                               const TVarData* value, IkorParamsListItemW** item) {
  return TW::Insert(*FList, index, name, value, item);
}
HResult KOR_STDCALL TkorParamsListWrap::Insert(std::int32_t index, const char* name,
                                               const TVarData* value, IkorParamsListItemA** item) {
  return TA::Insert(*FList, index, name, value, item);
}

HResult KOR_STDCALL TkorParamsListWrap::SetValue(const char16_t* name, const TVarData* value,
                                                 Bool8 addIfMissing, IkorParamsListItemW** item) {
  return TW::SetValue(*FList, name, value, addIfMissing, item);
}
HResult KOR_STDCALL TkorParamsListWrap::SetValue(const char* name, const TVarData* value,
                                                 Bool8 addIfMissing, IkorParamsListItemA** item) {
  return TA::SetValue(*FList, name, value, addIfMissing, item);
}

HResult KOR_STDCALL TkorParamsListWrap::AddItem(IkorParamsListItemW* source,
                                                IkorParamsListItemW** item) {
  return TW::AddItem(*FList, source, item);
}
HResult KOR_STDCALL TkorParamsListWrap::AddItem(IkorParamsListItemA* source,
                                                IkorParamsListItemA** item) {
  return TA::AddItem(*FList, source, item);
}
