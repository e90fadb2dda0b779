// The link layer over a handle's line: frames out, frames in, and the
// request/response exchanges built from them. Runs in the handle owner's
// thread; throws LineError when the line fails, Error on bad arguments.
#pragma once

#include <cstddef>

#include "HandleState.h"

namespace mbus::io {

void SendFrame(mbus_handle* handle, mbus_frame& frame);
void SendShortFrame(mbus_handle* handle, unsigned char control, int address);
void SendLongFrame(mbus_handle* handle, unsigned char control, int address, unsigned char ci,
                   const unsigned char* data, std::size_t size);

// Reads one frame, asking the line for exactly the bytes it still needs:
// 0 with `frame` filled, -2 for invalid bytes (also a frame cut short), -3
// when nothing arrived. frame.next is left as it was.
int ReceiveFrame(mbus_handle* handle, mbus_frame& frame);
// Drops what still arrives; true when anything did.
bool PurgeLine(mbus_handle* handle);

// SND_NKE; resets the frame count bit of the address.
void SendPing(mbus_handle* handle, int address);
// REQ_UD2 with the address's frame count bit and its reply; silence is retried
// handle->max_data_retry times with the same bit, and the bit advances once a
// frame came back. A primary slave whose link is unknown (new handle, or the
// last exchange failed) gets SND_NKE first and must acknowledge it. Returns
// the result of the last receive.
int RequestData(mbus_handle* handle, int address, mbus_frame& reply);
// Waits for the acknowledgement of a command just sent: 0 for E5, else the
// receive result (or -2 for another frame).
int ReceiveAck(mbus_handle* handle);

void CheckAddress(int address);

}  // namespace mbus::io
