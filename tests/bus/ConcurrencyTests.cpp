// The segment and the hooks across threads: a host that pumps the segment's
// bytes while a worker writes, and a cancel from another thread that stops a
// running scan.
#include <atomic>
#include <thread>

#include "BusFixture.h"

namespace bustest {
namespace {

TEST(SegmentConcurrency, PumpingThreadReceivesEveryReplyByte) {
  bus::BusSegment segment(bus::BusTiming{true, 38400});
  bus::SlaveConfig config = Meter(5, Address(0x12345678));
  config.reply_delay_ms = 0.5;
  const std::size_t reply = config.telegrams[0].size();
  segment.AddSlave(config);
  constexpr int kRequests = 20;
  std::atomic<std::size_t> received{0};
  std::thread pump([&] {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (received < kRequests * reply && std::chrono::steady_clock::now() < end) {
      received += segment.TakeAvailable().size();
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  for (int i = 0; i < kRequests; ++i) {
    const bus::Bytes request = {0x10, static_cast<std::uint8_t>(i % 2 ? 0x5B : 0x7B), 5, 0, 0x16};
    bus::Bytes frame = request;
    frame[3] = static_cast<std::uint8_t>(frame[1] + frame[2]);
    segment.Write(frame.data(), frame.size());
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  pump.join();
  EXPECT_EQ(received.load(), kRequests * reply);
  EXPECT_EQ(segment.Stats().requests, kRequests);
}

std::atomic<int> progress_calls{0};
void MBUS_CALL CountProgress(mbus_handle*, const char*) {
  ++progress_calls;
}

TEST(ScanConcurrency, CancelFromAnotherThreadStopsTheScan) {
  bus::BusSegment segment(bus::BusTiming{true, 38400});
  for (std::uint32_t i = 0; i < 30; ++i) {
    const std::uint32_t bcd = (i / 10) << 4 | (i % 10);
    bus::SlaveConfig config = Meter(-1, Address(0x10000000 + bcd * 0x10001));
    config.reply_delay_ms = 0.5;
    segment.AddSlave(config);
  }
  bus::BusHooks hooks(segment, std::chrono::milliseconds(20));
  mbus_handle* handle = mbus_context_serial("COM1");
  hooks.Install(handle);
  handle->max_search_retry = 0;
  handle->scan_progress = &CountProgress;
  ASSERT_EQ(mbus_connect(handle), 0);
  progress_calls = 0;
  std::atomic<int> result{1};
  std::thread scan([&] { result = mbus_scan_2nd_address_range(handle, 0, "FFFFFFFFFFFFFFFF"); });
  while (progress_calls < 5 && result == 1) std::this_thread::yield();
  hooks.cancel = true;
  scan.join();
  EXPECT_EQ(result.load(), -1);
  const int after = progress_calls;
  EXPECT_LT(after, 60);  // a full scan of this segment probes far more masks
  mbus_mem_free(handle);
}

}  // namespace
}  // namespace bustest
