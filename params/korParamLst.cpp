#include "params/korParamLst.h"

#include <cstddef>
#include <cstring>

#include "params/korParamLstIntf.h"
#include "platform/Diagnostics.h"
#include "platform/Text.h"

namespace {

TkorParamsListItem* NewBaseItem() {
  return new TkorParamsListItem();
}

bool IsBlankName(std::string_view name) {
  for (char c : name)
    if (static_cast<unsigned char>(c) > 0x20) return false;
  return true;
}

bool HasValue(const OleVariant& value) {
  return !value.IsEmpty() && !value.IsNull();
}

std::int32_t LastIndex(std::int32_t to, std::int32_t count) {
  return (to < 0 || to >= count) ? count - 1 : to;
}

void CheckHost(plat::HResult hr) {
  if (!plat::Succeeded(hr)) throw Exception("Parameter list interface call failed");
}

// The exported key is UTF-8 with only A to Z lower-cased; Key holds the
// locale lower-case ANSI form, or look-ups of names with other capitals fail.
std::string KeyFromExported(const char* key) {
  return key ? ParamKey(plat::WideToAnsi(plat::Utf8ToWide(key))) : std::string();
}

// Takes an owned VARIANT an interface filled, zeroed beforehand.
template <class Fill>
OleVariant TakeHostValue(Fill fill, THostText text) {
  plat::TVarData raw;
  std::memset(static_cast<void*>(&raw), 0, sizeof raw);
  CheckHost(fill(&raw));
  OleVariant value = OleVariant::FromHost(raw, text);
  plat::VariantClear(raw);
  return value;
}

}  // namespace

OleVariant HostItemValue(IkorParamsListItemA& item) {
  return TakeHostValue([&](plat::TVarData* raw) { return item.GetValue(raw); }, THostText::Ansi);
}

OleVariant HostItemValue(IkorParamsListItemW& item) {
  return TakeHostValue([&](plat::TVarData* raw) { return item.GetValueW(raw); }, THostText::Wide);
}

std::string ParamKey(std::string_view name) {
  return plat::AnsiLowerCase(name);
}

TkorParamsListItem::TkorParamsListItem(std::string_view name, const OleVariant& value)
    : Name(name),
      Key(ParamKey(name)),
      Flags(HasValue(value) ? kItemFlagHasValue : 0),
      Value(value) {}

void TkorParamsListItem::Assign(const TkorParamsListItem& source) {
  Name = source.Name;
  Key = source.Key;
  DataType = source.DataType;
  Flags = source.Flags;
}

TkorParamsList::TkorParamsList() : Signature(kParamsListSignature), ItemClass(NewBaseItem) {}

TkorParamsList::~TkorParamsList() {
  Signature = 0;
  TkorParamsList::Clear();
}

void TkorParamsList::Notify(void* item, TListNotification action) {
  if (action == TListNotification::Deleted) delete static_cast<TkorParamsListItem*>(item);
}

TkorParamsListItem* TkorParamsList::Items(std::int32_t index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return static_cast<TkorParamsListItem*>(Get(index));
}

std::int32_t TkorParamsList::IndexOf(std::string_view name, std::int32_t from,
                                     std::int32_t to) const {
  KorAssert(Signature == kParamsListSignature);
  if (Count() == 0) return -1;
  const std::string key = ParamKey(name);
  const std::int32_t last = LastIndex(to, Count());
  for (std::int32_t i = from < 0 ? 0 : from; i <= last; ++i) {
    const TkorParamsListItem* item = Items(i);
    if (item->Key == key) return i;
    if (to == kCurrentRow && item->IsRowMarker()) break;
  }
  return -1;
}

TkorParamsListItem* TkorParamsList::FindItem(std::string_view name, std::int32_t from,
                                             std::int32_t to) const {
  if (Count() == 0) return nullptr;
  return Items(IndexOf(name, from, to));
}

OleVariant TkorParamsList::GetValue(std::string_view name, std::int32_t from,
                                    std::int32_t to) const {
  const TkorParamsListItem* item = FindItem(name, from, to);
  return item ? item->Value : OleVariant();
}

OleVariant TkorParamsList::GetValueDef(std::string_view name, const OleVariant& def,
                                       std::int32_t from, std::int32_t to) const {
  const TkorParamsListItem* item = FindItem(name, from, to);
  return item ? item->Value : def;
}

OleVariant TkorParamsList::ValueOf(std::string_view name) const {
  const TkorParamsListItem* item = FindItem(name);
  if (!item) throw EParamNotDefined();
  return item->Value;
}

TkorParamsListItem* TkorParamsList::NewItem(std::string_view name, const OleVariant& value) const {
  TkorParamsListItem* item = ItemClass();
  try {
    item->Name = name;
    item->Key = ParamKey(name);
    item->SetValue(value);
  } catch (...) {
    delete item;
    throw;
  }
  item->Flags = kItemFlagHasValue;
  return item;
}

TkorParamsListItem* TkorParamsList::Add(std::string_view name, const OleVariant& value) {
  return Insert(Count(), name, value);
}

TkorParamsListItem* TkorParamsList::Insert(std::int32_t index, std::string_view name,
                                           const OleVariant& value) {
  if (IsBlankName(name)) return nullptr;
  if (index < 0 || index > Count()) IndexError(index);
  TkorParamsListItem* item = NewItem(name, value);
  try {
    TList::Insert(index, item);
  } catch (...) {
    delete item;
    throw;
  }
  return item;
}

void TkorParamsList::Delete(std::int32_t index) {
  if (index >= 0 && index < Count()) TList::Delete(index);
}

void TkorParamsList::Clear() {
  TList::Clear();
}

TkorParamsListItem* TkorParamsList::SetValue(std::string_view name, const OleVariant& value,
                                             bool addIfMissing) {
  TkorParamsListItem* item = FindItem(name);
  if (!item && addIfMissing) item = Add(name, OleVariant::Null());
  if (item) item->SetValue(value);
  return item;
}

TkorParamsListItem* TkorParamsList::SetValueStrict(std::string_view name, const OleVariant& value) {
  TkorParamsListItem* item = FindItem(name);
  if (!item) throw EParamNotDefined();
  const std::uint16_t t = value.VType();
  if (t != item->DataType && t != plat::varEmpty && t != plat::varNull)
    item->SetValue(value.ChangedType(static_cast<std::uint16_t>(item->DataType)));
  else
    item->SetValue(value);
  return item;
}

TkorParamsListItem* TkorParamsList::AddItem(const TkorParamsListItem* item) {
  if (!item) return nullptr;
  TkorParamsListItem* added = Add(item->Name, item->Value);
  if (added) added->Assign(*item);
  return added;
}

TkorParamsListItem* TkorParamsList::AddItemIntf(IkorParamsListItemA* item) {
  if (!item) return nullptr;
  const OleVariant value = HostItemValue(*item);
  const char* name = item->GetName();
  auto* added = new TkorParamsListItem(name ? name : "", value);
  added->Key = KeyFromExported(item->GetKey());
  added->DataType = item->GetDataType();
  added->Flags = item->GetFlags();
  try {
    TList::Add(added);
  } catch (...) {
    delete added;
    throw;
  }
  return added;
}

bool TkorParamsList::AddList(const TkorParamsList* source) {
  if (!source || source->Count() == 0) return false;
  return AddListRange(source, 0, source->Count() - 1);
}

bool TkorParamsList::AddListRange(const TkorParamsList* source, std::int32_t from,
                                  std::int32_t to) {
  if (!source || source->Count() == 0) return false;
  KorAssert(source->Signature == kParamsListSignature);
  const std::int32_t last = LastIndex(to, source->Count());
  for (std::int32_t i = from < 0 ? 0 : from; i <= last; ++i) AddItem(source->Items(i));
  return true;
}

bool TkorParamsList::AddFromIntf(IkorParamsListW* source, std::int32_t from, std::int32_t to) {
  if (!source) return false;
  if (to < 0) to = source->GetCount() - 1;
  for (std::int32_t i = from < 0 ? 0 : from; i <= to; ++i) {
    TIntfRef<IkorParamsListItemW> item;
    CheckHost(source->GetItem(i, item.Put()));
    if (!item) continue;
    const char16_t* name = item->GetNameW();
    const OleVariant value = HostItemValue(*item.Get());
    TkorParamsListItem* added =
        Add(plat::WideToAnsi(name ? std::u16string_view(name) : std::u16string_view()), value);
    if (!added) continue;
    added->Key = KeyFromExported(item->GetKey());
    added->DataType = item->GetDataType();
    added->Flags = item->GetFlags();
  }
  return true;
}

TRowEnd TkorParamsList::FindRowEnd(std::int32_t from) const {
  if (from < 0) from = 0;
  if (from >= Count()) return {};
  for (std::int32_t i = from; i < Count(); ++i)
    if (Items(i)->IsRowMarker()) return {true, i, true};
  return {true, Count() - 1, false};
}

void TkorParamsList::EndRow() {
  if (Count() > 0 && Items(Count() - 1)->IsRowMarker()) return;
  TkorParamsListItem* marker = Add(kRowMarkerName, OleVariant::Null());
  marker->DataType = kRowMarkerDataType;
  marker->Flags = kItemFlagHasValue;
}

void TkorParamsList::AppendRows(const TkorParamsList* source) {
  AddList(source);
  if (!source || source->Count() == 0 || !source->Items(source->Count() - 1)->IsRowMarker())
    EndRow();
}

TkorParamsList* AsParamsListObject(const void* pointer) {
  if (!pointer) return nullptr;
  const auto* field = static_cast<const unsigned char*>(pointer) + kParamsListSignatureOffset;
  std::int32_t signature = 0;
  if (!plat::ReadMemory(field, &signature, sizeof signature)) return nullptr;
  if (signature != kParamsListSignature) return nullptr;
  return static_cast<TkorParamsList*>(const_cast<void*>(pointer));
}

TkorThreadParamsList::TkorThreadParamsList()
    : TThreadObject(new TkorParamsList()), FList(static_cast<TkorParamsList*>(Guarded())) {}

TkorThreadParamsList::~TkorThreadParamsList() {
  delete FList;
}

TkorParamsList* TkorThreadParamsList::LockRead() {
  return static_cast<TkorParamsList*>(TThreadObject::LockRead());
}

TkorParamsList* TkorThreadParamsList::LockWrite() {
  return static_cast<TkorParamsList*>(TThreadObject::LockWrite());
}

// The host reads Signature at a fixed offset; keep the layout in step.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(offsetof(TkorParamsList, Signature) == kParamsListSignatureOffset,
              "Signature must sit where other modules look for it");
#pragma GCC diagnostic pop
#if defined(_WIN32) && !defined(_WIN64)
static_assert(kParamsListSignatureOffset == 16, "the 32-bit layout puts Signature at 16");
#endif
