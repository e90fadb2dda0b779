#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "framework/FIFOStream.h"
#include "tests/framework/TestThreads.h"

namespace {

std::vector<std::uint8_t> Bytes(std::uint8_t from, std::size_t count) {
  std::vector<std::uint8_t> v(count);
  std::iota(v.begin(), v.end(), from);
  return v;
}

std::vector<std::uint8_t> ReadAll(TFIFOStream& fifo) {
  std::vector<std::uint8_t> v(fifo.Available());
  fifo.Read(v.data(), static_cast<std::uint32_t>(v.size()));
  return v;
}

void WriteBytes(TFIFOStream& fifo, const std::vector<std::uint8_t>& v) {
  fifo.Write(v.data(), static_cast<std::uint32_t>(v.size()));
}

TEST(FIFOStream, FullRingReportsExactCounts) {
  TFIFOStream fifo(16, 4, false);
  EXPECT_EQ(fifo.Available(), 0u);
  EXPECT_EQ(fifo.FreeSpace(), 16u);
  WriteBytes(fifo, Bytes(0, 16));
  EXPECT_EQ(fifo.Available(), 16u);
  EXPECT_EQ(fifo.FreeSpace(), 0u);
  EXPECT_EQ(fifo.WritePos(), fifo.ReadPos());  // full, told apart from empty
  EXPECT_EQ(ReadAll(fifo), Bytes(0, 16));
  EXPECT_EQ(fifo.Available(), 0u);
}

TEST(FIFOStream, ReadAndWriteAcrossTheEndOfTheRing) {
  TFIFOStream fifo(10, 2, false);
  WriteBytes(fifo, Bytes(0, 7));
  std::vector<std::uint8_t> head(5);
  fifo.Read(head.data(), 5);
  EXPECT_EQ(head, Bytes(0, 5));
  WriteBytes(fifo, Bytes(7, 6));  // positions 7..9 then 0..2
  EXPECT_EQ(fifo.WritePos(), 3u);
  EXPECT_EQ(fifo.Available(), 8u);
  EXPECT_EQ(ReadAll(fifo), Bytes(5, 8));
  EXPECT_EQ(fifo.ReadPos(), 3u);
}

TEST(FIFOStream, OverRunWithoutOverwriteWritesNothing) {
  TFIFOStream fifo(8, 2, false);
  WriteBytes(fifo, Bytes(0, 6));
  std::vector<std::uint8_t> more = Bytes(6, 3);
  try {
    fifo.Write(more.data(), 3);
    FAIL() << "no over-run";
  } catch (const EFIFOStream& e) {
    EXPECT_STREQ(e.what(), "Buffer over-run.");
  }
  EXPECT_EQ(ReadAll(fifo), Bytes(0, 6));
}

TEST(FIFOStream, UnderRunReadsNothing) {
  TFIFOStream fifo(8, 2, false);
  WriteBytes(fifo, Bytes(0, 3));
  std::vector<std::uint8_t> out(4, 0xEE);
  try {
    fifo.Read(out.data(), 4);
    FAIL() << "no under-run";
  } catch (const EFIFOStream& e) {
    EXPECT_STREQ(e.what(), "Buffer under-run.");
  }
  EXPECT_EQ(out, std::vector<std::uint8_t>(4, 0xEE));
  EXPECT_EQ(fifo.Available(), 3u);
}

TEST(FIFOStream, OverwriteDropsAtLeastTheChunkOfTheOldest) {
  TFIFOStream fifo(100, 64, true);
  WriteBytes(fifo, Bytes(0, 90));
  WriteBytes(fifo, Bytes(90, 20));  // needs 10 more: drops 64
  EXPECT_EQ(fifo.Available(), 46u);
  EXPECT_EQ(fifo.ReadPos(), 0u);  // kept bytes moved to the start
  EXPECT_EQ(ReadAll(fifo), Bytes(64, 46));
}

TEST(FIFOStream, OverwriteDropsMoreThanTheChunkWhenNeeded) {
  TFIFOStream fifo(100, 4, true);
  WriteBytes(fifo, Bytes(0, 80));
  std::vector<std::uint8_t> skip(30);
  fifo.Read(skip.data(), 30);        // read position inside the ring
  WriteBytes(fifo, Bytes(80, 45));   // wraps; 95 stored, 5 free
  WriteBytes(fifo, Bytes(125, 70));  // needs 65: drops 65 of the oldest
  EXPECT_EQ(fifo.Available(), 100u);
  EXPECT_EQ(ReadAll(fifo), Bytes(95, 100));
}

TEST(FIFOStream, OverwriteNeverDropsMoreThanIsStored) {
  TFIFOStream fifo(16, 64, true);
  WriteBytes(fifo, Bytes(0, 10));
  WriteBytes(fifo, Bytes(10, 12));  // chunk larger than the content: all old bytes go
  EXPECT_EQ(ReadAll(fifo), Bytes(10, 12));
}

TEST(FIFOStream, WriteLongerThanTheRingKeepsItsNewestBytes) {
  TFIFOStream fifo(8, 2, true);
  WriteBytes(fifo, Bytes(0, 3));
  WriteBytes(fifo, Bytes(100, 20));
  EXPECT_EQ(fifo.Available(), 8u);
  EXPECT_EQ(ReadAll(fifo), Bytes(112, 8));
}

TEST(FIFOStream, ClearForgetsEverything) {
  TFIFOStream fifo(8, 2, false);
  WriteBytes(fifo, Bytes(0, 5));
  fifo.Clear();
  EXPECT_EQ(fifo.Available(), 0u);
  EXPECT_EQ(fifo.FreeSpace(), 8u);
  EXPECT_EQ(fifo.ReadPos(), 0u);
  WriteBytes(fifo, Bytes(9, 2));
  EXPECT_EQ(ReadAll(fifo), Bytes(9, 2));
}

TEST(FIFOStream, EmptyTransfersDoNothing) {
  TFIFOStream fifo(8, 2, false);
  fifo.Write(nullptr, 0);
  fifo.Read(nullptr, 0);
  EXPECT_EQ(fifo.Available(), 0u);
}

TEST(FIFOStreamConcurrency, WriterAndReaderKeepTheByteStream) {
  TFIFOStream fifo(4096, 64, false);
  constexpr int kTotal = 200000;
  kortest::TTestThreads threads;
  threads.Start([&] {
    std::uint8_t next = 0;
    int written = 0;
    while (written < kTotal) {
      std::uint8_t chunk[37];
      std::uint32_t n = std::min<std::uint32_t>(37, fifo.FreeSpace());
      n = std::min<std::uint32_t>(n, kTotal - written);
      for (std::uint32_t i = 0; i < n; ++i) chunk[i] = next++;
      if (n > 0) fifo.Write(chunk, n);
      written += static_cast<int>(n);
    }
  });
  int readCount = 0;
  bool inOrder = true;
  threads.Start([&] {
    std::uint8_t expected = 0;
    auto deadline = std::chrono::steady_clock::now() + kortest::kHangLimit;
    while (readCount < kTotal && std::chrono::steady_clock::now() < deadline) {
      std::uint8_t chunk[53];
      std::uint32_t n = std::min<std::uint32_t>(53, fifo.Available());
      if (n > 0) fifo.Read(chunk, n);
      for (std::uint32_t i = 0; i < n; ++i) inOrder = inOrder && chunk[i] == expected++;
      readCount += static_cast<int>(n);
    }
  });
  threads.JoinAll();
  EXPECT_EQ(readCount, kTotal);
  EXPECT_TRUE(inOrder);
}

}  // namespace
