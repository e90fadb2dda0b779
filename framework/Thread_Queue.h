// A first-in-first-out queue of owned objects whose event wakes its consumer.
// Any thread may call it; one thread at a time is inside (FCs, an innermost
// lock). The queue owns what is pushed; a popped object belongs to the taker.
#pragma once

#include <cstdint>

#include "framework/Classes.h"
#include "framework/SyncObjs.h"
#include "framework/WaitableEvent.h"

class TThreadSafeQueue : public TObject {
 public:
  // Taken slots are left empty at the front until more than this many built up.
  static constexpr std::uint32_t CompactLimit = 0x3FFF;

  TThreadSafeQueue() = default;
  ~TThreadSafeQueue() override;

  // Appends item (none is ignored) and signals Event.
  void Push(TObject* item);
  // The oldest item not yet taken, or none; the caller owns it. Resets Event
  // when the queue is found empty or its last item is taken.
  TObject* Pop();
  // Frees every object still queued, from the last to the first, and resets
  // Event. Never throws: destructors of the system's objects do not.
  void Clear() noexcept;

  // Enter/leave FCs; Lock returns the slot list (slots before Head are none).
  TList* Lock();
  void Unlock();

  // Manual-reset; signalled while there may be items to take.
  TWaitableEvent& Event() { return FEvent; }

  // Items not yet taken; and, for checks, the first untaken slot and the
  // number of slots (taken ones included).
  std::int32_t Count();
  std::uint32_t Head();
  std::int32_t SlotCount();

 private:
  void CompactLocked();

  TCriticalSection FCs;  // guards FHead and FItems
  std::uint32_t FHead = 0;
  TList FItems;
  TWaitableEvent FEvent{true, false};
};
