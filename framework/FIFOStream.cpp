#include "framework/FIFOStream.h"

#include <algorithm>
#include <cstring>

#include "framework/LockGuards.h"

TFIFOStream::TFIFOStream(std::uint32_t size, std::uint32_t dropChunk, bool overwrite)
    : FSize(std::max<std::uint32_t>(size, 1)),
      FDropChunk(dropChunk),
      FOverwrite(overwrite),
      FBuffer(new std::uint8_t[FSize]()) {}

std::uint32_t TFIFOStream::Available() {
  TReadLock lock(*this);
  return FCount;
}

std::uint32_t TFIFOStream::FreeSpace() {
  TReadLock lock(*this);
  return FSize - FCount;
}

std::uint32_t TFIFOStream::ReadPos() {
  TReadLock lock(*this);
  return FReadPos;
}

std::uint32_t TFIFOStream::WritePos() {
  TReadLock lock(*this);
  return FWritePos;
}

void TFIFOStream::Write(const void* source, std::uint32_t count) {
  if (count == 0) return;
  TWriteLock lock(*this);
  const auto* bytes = static_cast<const std::uint8_t*>(source);
  std::uint32_t room = FSize - FCount;
  if (count > room) {
    if (!FOverwrite) throw EFIFOStream("Buffer over-run.");
    if (count >= FSize) {
      // Nothing old survives; only the newest Size bytes of this write fit.
      bytes += count - FSize;
      count = FSize;
      FReadPos = FWritePos = FCount = 0;
    } else {
      DropOldest(std::min(std::max(count - room, FDropChunk), FCount));
    }
  }
  CopyIn(bytes, count);
}

void TFIFOStream::Read(void* dest, std::uint32_t count) {
  TWriteLock lock(*this);
  if (count > FCount) throw EFIFOStream("Buffer under-run.");
  if (count == 0) return;
  CopyOut(static_cast<std::uint8_t*>(dest), count);
}

void TFIFOStream::Clear() {
  TWriteLock lock(*this);
  FReadPos = FWritePos = FCount = 0;
}

// The kept bytes move to the start of the buffer, in order.
void TFIFOStream::DropOldest(std::uint32_t count) {
  std::uint32_t kept = FCount - count;
  std::uint32_t first = (FReadPos + count) % FSize;
  std::rotate(FBuffer.get(), FBuffer.get() + first, FBuffer.get() + FSize);
  FReadPos = 0;
  FCount = kept;
  FWritePos = kept % FSize;
}

void TFIFOStream::CopyIn(const std::uint8_t* source, std::uint32_t count) {
  std::uint32_t first = std::min(count, FSize - FWritePos);
  std::memcpy(FBuffer.get() + FWritePos, source, first);
  std::memcpy(FBuffer.get(), source + first, count - first);
  FWritePos = (FWritePos + count) % FSize;
  FCount += count;
}

void TFIFOStream::CopyOut(std::uint8_t* dest, std::uint32_t count) {
  std::uint32_t first = std::min(count, FSize - FReadPos);
  std::memcpy(dest, FBuffer.get() + FReadPos, first);
  std::memcpy(dest + first, FBuffer.get(), count - first);
  FReadPos = (FReadPos + count) % FSize;
  FCount -= count;
}
