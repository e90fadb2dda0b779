#include "framework/Classes.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "framework/SysUtils.h"

TList::~TList() {
  RemoveAll();
}

void TList::IndexError(std::int32_t index) {
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

void TList::SetCapacity(std::int32_t capacity) {
  if (capacity < FCount || capacity > kMaxCapacity)
    throw EListError("List capacity out of bounds (" + std::to_string(capacity) + ")");
  if (capacity == FCapacity) return;
  if (capacity > 0) return Reallocate(capacity);
  std::free(FList);
  FList = nullptr;
  FCapacity = 0;
}

void TList::Reallocate(std::int32_t capacity) {
  void* grown = std::realloc(FList, static_cast<std::size_t>(capacity) * sizeof(void*));
  if (!grown) throw std::bad_alloc();
  FList = static_cast<void**>(grown);
  FCapacity = capacity;
}

// Grows by a quarter beyond 64 entries, so appending stays amortised O(1).
void TList::Grow() {
  const std::int32_t delta = FCapacity > 64 ? FCapacity / 4 : (FCapacity > 8 ? 16 : 4);
  if (FCapacity > kMaxCapacity - delta) throw EListError("List capacity out of bounds");
  Reallocate(FCapacity + delta);
}

void* TList::Get(std::int32_t index) const {
  if (index < 0 || index >= FCount) IndexError(index);
  return FList[index];
}

void TList::Put(std::int32_t index, void* item) {
  if (index < 0 || index >= FCount) IndexError(index);
  void* old = FList[index];
  if (old == item) return;
  FList[index] = item;
  if (old) Notify(old, TListNotification::Deleted);
  if (item) Notify(item, TListNotification::Added);
}

std::int32_t TList::Add(void* item) {
  Insert(FCount, item);
  return FCount - 1;
}

void TList::Insert(std::int32_t index, void* item) {
  if (index < 0 || index > FCount) IndexError(index);
  if (FCount == FCapacity) Grow();
  if (index < FCount)
    std::memmove(FList + index + 1, FList + index,
                 static_cast<std::size_t>(FCount - index) * sizeof(void*));
  FList[index] = item;
  ++FCount;
  if (item) Notify(item, TListNotification::Added);
}

void TList::Delete(std::int32_t index) {
  if (index < 0 || index >= FCount) IndexError(index);
  void* item = FList[index];
  --FCount;
  if (index < FCount)
    std::memmove(FList + index, FList + index + 1,
                 static_cast<std::size_t>(FCount - index) * sizeof(void*));
  if (item) Notify(item, TListNotification::Deleted);
}

void TList::Exchange(std::int32_t index1, std::int32_t index2) {
  if (index1 < 0 || index1 >= FCount) IndexError(index1);
  if (index2 < 0 || index2 >= FCount) IndexError(index2);
  void* item = FList[index1];
  FList[index1] = FList[index2];
  FList[index2] = item;
}

void TList::Move(std::int32_t from, std::int32_t to) {
  if (from == to) return;
  if (to < 0 || to >= FCount) IndexError(to);
  void* item = Get(from);
  FList[from] = nullptr;
  Delete(from);
  Insert(to, nullptr);
  FList[to] = item;
}

std::int32_t TList::IndexOf(const void* item) const {
  for (std::int32_t i = 0; i < FCount; ++i)
    if (FList[i] == item) return i;
  return -1;
}

std::int32_t TList::Remove(const void* item) {
  std::int32_t index = IndexOf(item);
  if (index >= 0) Delete(index);
  return index;
}

void* TList::Extract(const void* item) {
  std::int32_t index = IndexOf(item);
  if (index < 0) return nullptr;
  void* found = FList[index];
  FList[index] = nullptr;
  Delete(index);
  Notify(found, TListNotification::Extracted);
  return found;
}

// Removes from the end, so a Notify that looks at the list sees it shrink
// consistently; then releases the storage.
void TList::Clear() {
  RemoveAll();
}

void TList::RemoveAll() noexcept {
  while (FCount > 0) {
    void* item = FList[--FCount];
    if (item) Notify(item, TListNotification::Deleted);
  }
  std::free(FList);
  FList = nullptr;
  FCapacity = 0;
}

TObjectList::~TObjectList() {
  RemoveAll();  // while Notify still frees owned objects
}

void TObjectList::Notify(void* item, TListNotification action) {
  if (FOwnsObjects && action == TListNotification::Deleted) delete static_cast<TObject*>(item);
}
