// A re-entrant multi-reader/single-writer lock. Any thread may call it; all
// state is guarded by the one internal mutex.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "framework/Classes.h"

// Any number of readers or one writer.
// - The writing thread may take the write lock again (nested) and may read.
// - A reading thread may read again at any time, even while a writer waits.
// - A reading thread may take the write lock (upgrade). While it waits, its
//   read hold does not keep other writers out, so two threads upgrading at
//   once cannot deadlock; one of them writes first, and BeginWrite tells the
//   other that data it read may have changed.
// - Waiting writers hold off new (non-nested) readers, so writers do not
//   starve.
// Every Begin must be paired with its End on the same thread.
class TMultiReadExclusiveWriteSynchronizer : public TObject {
 public:
  void BeginRead();
  void EndRead();
  // True when no other thread took the write lock between this call and
  // getting it (always true when nested); false when an upgrade or a plain
  // write had to let another writer in first.
  bool BeginWrite();
  void EndWrite();

  // State checks for assertions and tests.
  bool IsWriter() const;  // the calling thread holds the write lock
  std::int32_t WaitingWriters() const;
  std::int32_t WaitingReaders() const;

 private:
  // Entries kept for threads that no longer read; past this many, idle
  // entries are dropped when a new thread starts reading.
  static constexpr std::size_t kMaxIdleReaders = 32;

  void Notify(std::unique_lock<std::mutex>& lock);
  void DropIdleReaders();

  mutable std::mutex FMutex;  // guards every field below
  std::condition_variable FChanged;
  std::unordered_map<std::thread::id, std::int32_t> FReadDepth;  // read depth by thread (0: idle)
  std::int32_t FBlockingReaders = 0;  // read holders not waiting to upgrade
  std::thread::id FWriter;            // none when no thread writes
  std::int32_t FWriteDepth = 0;
  std::int32_t FWaitingWriters = 0;  // upgrades included
  std::int32_t FWaitingReaders = 0;
  std::uint32_t FWriteSerial = 0;  // counts write acquisitions (not nested ones)
};
