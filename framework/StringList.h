// The runtime's string list: 8-bit strings, each with an optional object.
// Not thread-safe: share it through TThreadStringList.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Classes.h"

// What a sorted list does with a string it already holds.
enum class TDuplicates { dupIgnore, dupAccept, dupError };

// Strings compare case-insensitively (ANSI lower-casing of the system code
// page) unless CaseSensitive is set, then byte by byte. Sorted lists keep
// that order, insert by binary search and apply Duplicates; unsorted lists
// accept any string. Objects are owned only when OwnsObjects is set.
class TStringList : public TObject {
 public:
  explicit TStringList(bool ownsObjects = false) : FOwnsObjects(ownsObjects) {}
  ~TStringList() override;

  std::int32_t Count() const { return static_cast<std::int32_t>(FItems.size()); }
  std::int32_t Capacity() const { return static_cast<std::int32_t>(FItems.capacity()); }
  void SetCapacity(std::int32_t capacity);

  // Index of the new (or, ignored as duplicate, the existing) string.
  std::int32_t Add(const std::string& s) { return AddObject(s, nullptr); }
  std::int32_t AddObject(const std::string& s, TObject* object);
  // Not on a sorted list; index may equal Count.
  void Insert(std::int32_t index, const std::string& s) { InsertObject(index, s, nullptr); }
  void InsertObject(std::int32_t index, const std::string& s, TObject* object);
  void Delete(std::int32_t index);
  void Clear();
  void Exchange(std::int32_t index1, std::int32_t index2);  // not on a sorted list

  const std::string& Strings(std::int32_t index) const { return Item(index).Text; }
  void SetString(std::int32_t index, const std::string& s);  // not on a sorted list
  TObject* Objects(std::int32_t index) const { return Item(index).Object; }
  // Replaces the object without freeing the old one.
  void SetObject(std::int32_t index, TObject* object) { Item(index).Object = object; }

  std::int32_t IndexOf(std::string_view s) const;  // -1 when absent
  std::int32_t IndexOfObject(const TObject* object) const;
  // Sorted lists only: true when s is there; index is its first place, or
  // where it would go.
  bool Find(std::string_view s, std::int32_t& index) const;

  bool Sorted() const { return FSorted; }
  void SetSorted(bool sorted);
  void Sort();
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates duplicates) { FDuplicates = duplicates; }
  bool CaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool caseSensitive);
  bool OwnsObjects() const { return FOwnsObjects; }
  void SetOwnsObjects(bool owns) { FOwnsObjects = owns; }

  // Name=value lines. A line without '=' has an empty name.
  std::string Names(std::int32_t index) const;
  std::string ValueFromIndex(std::int32_t index) const;
  std::int32_t IndexOfName(std::string_view name) const;
  std::string Values(std::string_view name) const;  // empty when absent
  // Replaces or adds name=value; an empty value deletes the line.
  void SetValue(std::string_view name, const std::string& value);

  // Every line followed by CR LF, so Text and SetText round-trip exactly;
  // the setter splits on CR, LF or CR LF, and a final line break does not
  // make an empty last line.
  std::string Text() const;
  void SetText(std::string_view text);

  // <0, 0, >0 under the list's case rule.
  int CompareStrings(std::string_view a, std::string_view b) const;

 private:
  struct TItem {
    std::string Text;
    TObject* Object;
  };

  const TItem& Item(std::int32_t index) const;
  TItem& Item(std::int32_t index);
  void CheckUnsorted() const;
  void FreeObject(TObject* object) const;

  std::vector<TItem> FItems;
  bool FSorted = false;
  bool FCaseSensitive = false;
  bool FOwnsObjects;
  TDuplicates FDuplicates = TDuplicates::dupIgnore;
};
