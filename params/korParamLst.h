// Parameter lists: ordered named VARIANT values with case-insensitive look-up
// and an optional division into rows by marker items. A TkorParamsList has no
// lock of its own (one thread at a time); share one through
// TkorThreadParamsList. The host reaches lists through the wrappers of
// params/korParamLstWrap.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/Classes.h"
#include "framework/Thread_Object.h"
#include "params/Variants.h"

struct IkorParamsListItemA;
struct IkorParamsListW;

inline constexpr std::int32_t kParamsListSignature = 0x0FDE2E4B;
inline constexpr std::int32_t kRowMarkerDataType = 0xFF01;
inline constexpr std::uint8_t kItemFlagHasValue = 2;
inline constexpr const char* kRowMarkerName = "$NEW_ROW$";

// "Parameter is not defined": a name that must exist is missing.
class EParamNotDefined : public Exception {
 public:
  EParamNotDefined() : Exception("Parameter is not defined") {}
};

// One named value. Key is the look-up key: Name lower-cased (locale rule)
// when the item was made; it does not follow later changes of Name.
class TkorParamsListItem : public TObject {
 public:
  TkorParamsListItem() = default;
  TkorParamsListItem(std::string_view name, const OleVariant& value);

  // Copies Name, Key, DataType and Flags; not Value.
  virtual void Assign(const TkorParamsListItem& source);

  // Stores a copy: text is OLE text, every number and Boolean keeps its exact
  // VARIANT type, Empty, Null and dates are stored as they are.
  void SetValue(const OleVariant& value) { Value = value; }
  bool IsRowMarker() const { return DataType == kRowMarkerDataType; }

  std::string Name;
  std::string Key;
  std::int32_t DataType = 0;
  std::uint8_t Flags = 0;
  OleVariant Value;
};

// Creates an item for TkorParamsList::Add/Insert (the list's item class).
using TkorParamsListItemClass = TkorParamsListItem* (*)();

struct TRowEnd {
  bool Found = false;
  std::int32_t Index = -1;
  bool IsMarker = false;
};

// An owning list of items. Ranges: from < 0 means 0; to < 0 or at or beyond
// the count means the last item; to == kCurrentRow also ends a failed
// IndexOf at the first row marker, so it searches the current row only.
class TkorParamsList : public TList {
 public:
  static constexpr std::int32_t kCurrentRow = -2;

  TkorParamsList();
  ~TkorParamsList() override;
  // A new empty list of the same class (the virtual constructor).
  virtual TkorParamsList* CreateNew() const { return new TkorParamsList(); }

  TkorParamsListItem* Items(std::int32_t index) const;  // nil outside the list

  // Raises EAssertionFailed when this list's Signature is broken.
  std::int32_t IndexOf(std::string_view name, std::int32_t from = 0, std::int32_t to = -1) const;
  TkorParamsListItem* FindItem(std::string_view name, std::int32_t from = 0,
                               std::int32_t to = -1) const;
  OleVariant GetValue(std::string_view name, std::int32_t from = 0, std::int32_t to = -1) const;
  OleVariant GetValueDef(std::string_view name, const OleVariant& def, std::int32_t from = 0,
                         std::int32_t to = -1) const;
  // Raises EParamNotDefined when there is no such item.
  OleVariant ValueOf(std::string_view name) const;

  // A name blank after trimming characters up to 0x20 adds nothing: nil.
  TkorParamsListItem* Add(std::string_view name, const OleVariant& value);
  // Raises EListError for an index outside 0..Count.
  TkorParamsListItem* Insert(std::int32_t index, std::string_view name, const OleVariant& value);
  void Delete(std::int32_t index);  // nothing outside the list
  void Clear() override;

  TkorParamsListItem* SetValue(std::string_view name, const OleVariant& value,
                               bool addIfMissing = false);
  // Converts value to the item's DataType unless it is Empty or Null;
  // raises EParamNotDefined or EVariantError.
  TkorParamsListItem* SetValueStrict(std::string_view name, const OleVariant& value);

  virtual TkorParamsListItem* AddItem(const TkorParamsListItem* item);
  virtual TkorParamsListItem* AddItemIntf(IkorParamsListItemA* item);

  bool AddList(const TkorParamsList* source);
  bool AddListRange(const TkorParamsList* source, std::int32_t from, std::int32_t to);
  bool AddFromIntf(IkorParamsListW* source, std::int32_t from = 0, std::int32_t to = -1);

  TRowEnd FindRowEnd(std::int32_t from) const;
  void EndRow();
  void AppendRows(const TkorParamsList* source);

  std::int32_t Signature;
  std::int32_t Tag = 0;
  TkorParamsListItemClass ItemClass;

 protected:
  void Notify(void* item, TListNotification action) override;

 private:
  TkorParamsListItem* NewItem(std::string_view name, const OleVariant& value) const;
};

// Byte offset of Signature from the object's address: 16 in the 32-bit
// build (table pointer, item array, count, capacity), 24 in 64-bit builds.
inline constexpr std::size_t kParamsListSignatureOffset = 2 * sizeof(void*) + 8;

// The boundary rule: a raw pointer is a list object of this layout when it
// is non-nil, readable and its Signature reads right; nil otherwise.
TkorParamsList* AsParamsListObject(const void* pointer);

struct IkorParamsListItemW;

// The value of a host item interface, through GetValue (A) or GetValueW (W);
// raises when the interface reports a failure.
OleVariant HostItemValue(IkorParamsListItemA& item);
OleVariant HostItemValue(IkorParamsListItemW& item);

// Locale lower-case of a name, the form Key holds.
std::string ParamKey(std::string_view name);

// Owns one list and guards it with the read/write lock of TThreadObject.
class TkorThreadParamsList : public TThreadObject {
 public:
  TkorThreadParamsList();
  ~TkorThreadParamsList() override;
  TkorParamsList* LockRead();
  TkorParamsList* LockWrite();

 private:
  TkorParamsList* FList;
};
