// Internal interfaces of the protocol core, shared between its units. All of
// them throw mbus::Error on bad input; the exports translate that.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>

#include "mbus/mbus-protocol.h"

namespace mbus {

// Frames (Frame.cpp).
void InitFrame(mbus_frame& frame, int type);
unsigned char FrameChecksum(const mbus_frame& frame);
void FillLengthAndChecksum(mbus_frame& frame);
// 0: whole frame read; n > 0: n more bytes needed; throws on invalid bytes.
int ParseFrame(mbus_frame& frame, const unsigned char* data, size_t size);
void VerifyFrame(const mbus_frame& frame);
size_t PackFrame(mbus_frame& frame, unsigned char* out, size_t capacity);
// The time stamp of a frame or record just read: seconds since 1970 as
// time() gives them, from the system clock (the Windows C library's time()
// costs more than the decoding of a record).
std::time_t ReadingTime();

// Application data of a reply frame (Records.cpp); the records belong to
// the caller (mbus_data_record_free).
void ParseFrameDataInto(const mbus_frame& frame, mbus_frame_data& out);

// Printing of frames read while debugging is switched on (Print.cpp).
void DebugPrintFrame(const mbus_frame& frame);

// Value coding (Coding.cpp).
long long BcdDecode(const unsigned char* bytes, size_t count);
unsigned long long BcdDecodeHex(const unsigned char* bytes, size_t count);
long long IntDecode(const unsigned char* bytes, size_t count);
std::string ManufacturerText(unsigned char low, unsigned char high);
std::string HexText(const unsigned char* bytes, size_t count, bool reverse);
// Type G (2 bytes), F (4) or the 6-byte date-time; other lengths: all zero.
void DecodeTime(struct tm& t, const unsigned char* bytes, size_t count);
size_t HexToBin(unsigned char* dst, size_t dst_len, const unsigned char* src, size_t src_len);

}  // namespace mbus
