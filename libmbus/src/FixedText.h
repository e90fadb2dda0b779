// Decimal texts of the XML writers without the C library's formatter on the
// common values (FixedText.cpp).
#pragma once

#include <cstddef>

namespace mbus {

// Room FixedText needs: "%f" of the largest double with sign and NUL.
constexpr size_t kFixedTextSize = 320;

// `value` as "%f" writes it (six decimals, rounded as printf rounds) into
// `out`, which holds kFixedTextSize bytes; the length written (no NUL).
size_t FixedText(double value, char* out);

}  // namespace mbus
