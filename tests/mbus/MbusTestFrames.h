// Telegrams for the M-Bus module's tests: built from hex text, parsed into
// frames and chains of frames the way the worker receives them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "mbus/mbus.h"

namespace mbus_test {

// Frees a frame and every frame chained behind it.
struct TFrameChainFree {
  void operator()(mbus_frame* frame) const { mbus_frame_free(frame); }
};
using TFrameChain = std::unique_ptr<mbus_frame, TFrameChainFree>;

// The bytes of hex pairs (blanks and other characters separate them).
std::vector<unsigned char> HexBytes(const std::string& hex);

// A long frame around body (C, A, CI and the data), with its length and
// checksum.
std::vector<unsigned char> LongFrame(const std::vector<unsigned char>& body);

// Identification 12345678, manufacturer bytes 24 40, version 1, medium 7
// (water), access number 0x55, status 0.
inline constexpr const char* kTestHeader = "78 56 34 12 24 40 01 07 55 00 00 00";

// A variable-structure reply (RSP_UD, CI 0x72) of `header` (12 bytes, hex)
// followed by `records` (hex).
std::vector<unsigned char> VariableReply(const std::string& records,
                                         const std::string& header = kTestHeader);

// Every frame of bytes, linked through `next`; empty when the bytes do not
// hold whole, valid frames.
TFrameChain ParseChain(const std::vector<unsigned char>& bytes);

}  // namespace mbus_test
