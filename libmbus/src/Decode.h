// Decoding of telegrams given as hex text: the work of mbus-decode, kept in
// the library so that tests and benchmarks run exactly that path.
#pragma once

#include <string>
#include <vector>

namespace mbus {

// The bytes of hex pairs separated by blanks (other characters separate too).
std::vector<unsigned char> HexTextBytes(const std::string& text);

// The frame-data XML (or, with `normalised`, the normalised XML) of the
// telegrams in `bytes`; several telegrams form one multi-telegram reply.
// Throws mbus::Error with a one-line reason when the bytes are no reply.
std::string DecodeTelegrams(const std::vector<unsigned char>& bytes, bool normalised);

}  // namespace mbus
