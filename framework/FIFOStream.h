// A ring buffer of bytes: the receive buffer of a data source. The host's
// calling thread writes, the worker thread reads. Concurrent readers of the
// counts and one writer or reader of bytes at a time (the base's lock, an
// innermost lock).
#pragma once

#include <cstdint>
#include <memory>

#include "framework/SysUtils.h"
#include "framework/Thread_Object.h"

class EFIFOStream : public Exception {
 public:
  using Exception::Exception;
};

class TFIFOStream : public TThreadObject {
 public:
  // size: capacity in bytes (at least 1); dropChunk: the least number of old
  // bytes an overwriting write drops when it needs room.
  TFIFOStream(std::uint32_t size, std::uint32_t dropChunk, bool overwrite);

  std::uint32_t Size() const { return FSize; }
  std::uint32_t DropChunk() const { return FDropChunk; }
  bool Overwrite() const { return FOverwrite; }

  // Bytes stored, and room left; exact.
  std::uint32_t Available();
  std::uint32_t FreeSpace();

  // Appends count bytes. When they do not fit: with Overwrite the oldest
  // bytes are dropped (at least DropChunk of them, at most all), and of a
  // write longer than the whole ring only its last Size bytes are kept;
  // without Overwrite it raises "Buffer over-run." and writes nothing.
  void Write(const void* source, std::uint32_t count);
  // Takes count bytes, oldest first; "Buffer under-run." (nothing read) when
  // fewer are stored.
  void Read(void* dest, std::uint32_t count);
  // Forgets every stored byte.
  void Clear();

  // Positions, for checks.
  std::uint32_t ReadPos();
  std::uint32_t WritePos();

 private:
  // Under the write lock.
  void DropOldest(std::uint32_t count);
  void CopyIn(const std::uint8_t* source, std::uint32_t count);
  void CopyOut(std::uint8_t* dest, std::uint32_t count);

  const std::uint32_t FSize;
  const std::uint32_t FDropChunk;
  const bool FOverwrite;
  std::unique_ptr<std::uint8_t[]> FBuffer;
  // Guarded by the base's lock. FCount tells a full ring from an empty one.
  std::uint32_t FWritePos = 0;
  std::uint32_t FReadPos = 0;
  std::uint32_t FCount = 0;
};
