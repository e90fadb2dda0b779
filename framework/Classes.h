// The root object class and the pointer lists the system's containers build
// on. Not thread-safe: guard shared instances (framework/Thread_*.h).
#pragma once

#include <cstdint>

// Root of the system's class tree: a virtual destructor, so owning lists free
// any descendant.
class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

enum class TListNotification { Added, Extracted, Deleted };

// An ordered list of untyped pointers. The fields come first and in this
// order (after the object's table pointer), because fields that descendants
// add sit at a fixed offset that other modules read (see TkorParamsList).
class TList : public TObject {
 public:
  ~TList() override;

  std::int32_t Count() const { return FCount; }
  std::int32_t Capacity() const { return FCapacity; }
  void SetCapacity(std::int32_t capacity);

  // Raise EListError "List index out of bounds (N)" for an index outside.
  void* Get(std::int32_t index) const;
  void Put(std::int32_t index, void* item);
  void Delete(std::int32_t index);
  void Insert(std::int32_t index, void* item);  // index may equal Count
  void Exchange(std::int32_t index1, std::int32_t index2);
  void Move(std::int32_t from, std::int32_t to);

  std::int32_t Add(void* item);
  std::int32_t IndexOf(const void* item) const;  // -1 when absent
  std::int32_t Remove(const void* item);         // index it had, or -1
  void* Extract(const void* item);               // removed without Deleted notice
  void* First() const { return Get(0); }
  void* Last() const { return Get(FCount - 1); }
  virtual void Clear();

 protected:
  // Told of every pointer that enters or leaves the list.
  virtual void Notify(void* /*item*/, TListNotification /*action*/) {}
  [[noreturn]] static void IndexError(std::int32_t index);
  // Empties the list from the end, notifying each item, and frees the
  // storage; what Clear and the destructors use.
  void RemoveAll() noexcept;

 private:
  static constexpr std::int32_t kMaxCapacity = 0x7FFFFFFF / 8;
  void Grow();
  void Reallocate(std::int32_t capacity);  // capacity > 0

  void** FList = nullptr;
  std::int32_t FCount = 0;
  std::int32_t FCapacity = 0;
};

// A pointer list of objects that frees them on Delete, Clear, Remove and
// destruction when OwnsObjects is set.
class TObjectList : public TList {
 public:
  explicit TObjectList(bool ownsObjects = true) : FOwnsObjects(ownsObjects) {}
  ~TObjectList() override;

  TObject* Items(std::int32_t index) const { return static_cast<TObject*>(Get(index)); }
  std::int32_t Add(TObject* item) { return TList::Add(item); }
  bool OwnsObjects() const { return FOwnsObjects; }
  void SetOwnsObjects(bool owns) { FOwnsObjects = owns; }

 protected:
  void Notify(void* item, TListNotification action) override;

 private:
  bool FOwnsObjects;
};
