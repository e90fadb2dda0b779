// The plug-in's primary scan, built on ping and receive, against the
// simulated segment (the secondary scan's tests are in tests/libmbus).
#include <vector>

#include "BusFixture.h"

namespace bustest {
namespace {

// The plug-in's primary scan: ping each address, a lone acknowledgement with
// nothing after it is a device.
class PrimaryScan : public BusFixture {
 protected:
  std::vector<int> Scan(int first, int last) {
    std::vector<int> found;
    for (int address = first; address <= last; ++address) {
      auto frame = NewFrame();
      EXPECT_EQ(mbus_send_ping_frame(handle, address, 0), 0);
      const int result = mbus_recv_frame(handle, frame.get());
      if (result == -2) mbus_purge_frames(handle);
      if (result == 0 && mbus_frame_type(frame.get()) == MBUS_FRAME_TYPE_ACK &&
          mbus_purge_frames(handle) < 1)
        found.push_back(address);
    }
    return found;
  }
};

TEST_F(PrimaryScan, FindsEveryAnsweringAddressAndSkipsCollisions) {
  segment.AddSlave(Meter(0, Address(0x10000000)));
  segment.AddSlave(Meter(3, Address(0x10000003)));
  segment.AddSlave(Meter(250, Address(0x10000250)));
  segment.AddSlave(Meter(7, Address(0x10000007)));
  segment.AddSlave(Meter(7, Address(0x20000007)));  // two at one address
  bus::SlaveConfig quiet = Meter(9, Address(0x10000009));
  quiet.silent = true;
  segment.AddSlave(quiet);
  EXPECT_EQ(Scan(0, 250), (std::vector<int>{0, 3, 250}));
  EXPECT_EQ(segment.Stats().pings, 251);
}

}  // namespace
}  // namespace bustest
