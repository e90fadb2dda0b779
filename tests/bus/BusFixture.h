// A libmbus handle wired to a simulated segment through the hooks, as the
// plug-in's worker wires it (timing model off so tests run at once).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/bus/BusHooks.h"
#include "host/bus/Segment.h"
#include "mbus/mbus.h"

namespace bustest {

inline bus::SecondaryAddress Address(std::uint32_t id, std::uint16_t man = 0x2C2D,
                                     std::uint8_t version = 1, std::uint8_t medium = 7) {
  return bus::SecondaryAddress{id, man, version, medium};
}

// A slave with one synthetic telegram (volume = its id's low digits).
inline bus::SlaveConfig Meter(int primary, const bus::SecondaryAddress& address) {
  bus::SlaveConfig config;
  config.primary = primary;
  config.telegrams = {bus::BuildTelegram(static_cast<std::uint8_t>(primary < 0 ? 0 : primary),
                                         address, address.id & 0xFFFF)};
  return config;
}

// A fresh frame the test owns (chained frames released with it).
struct FrameDeleter {
  void operator()(mbus_frame* f) const { mbus_frame_free(f); }
};
using FramePtr = std::unique_ptr<mbus_frame, FrameDeleter>;
inline FramePtr NewFrame() {
  return FramePtr(mbus_frame_new(MBUS_FRAME_TYPE_ANY));
}

inline std::string SecondaryOf(mbus_frame* frame) {
  char text[32] = {};
  const char* s = mbus_frame_get_secondary_address(nullptr, frame, text);
  return s ? s : "";
}

class BusFixture : public ::testing::Test {
 protected:
  BusFixture() : segment(bus::BusTiming{false, 2400}), hooks(segment) {}

  void SetUp() override {
    handle = mbus_context_serial("COM1");
    ASSERT_NE(handle, nullptr);
    hooks.Install(handle);
    handle->max_search_retry = 0;
    ASSERT_EQ(mbus_connect(handle), 0);
  }

  void TearDown() override {
    if (handle) mbus_mem_free(handle);
  }

  bus::BusSegment segment;
  bus::BusHooks hooks;
  mbus_handle* handle = nullptr;
};

}  // namespace bustest
