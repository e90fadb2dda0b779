// A TMbusApi bound to the statically linked protocol library (mbus_core),
// for tests of the M-Bus module that need the library's real behaviour
// without loading it. Link the test program with mbus_core.
#pragma once

#include "mbus/mbus.h"
#include "mbus/mbus_api.h"

namespace mbus_test {

inline TMbusApi LinkedMbusApi() {
  TMbusApi api;
#define KOR_MBUS_API_LINK(name) api.name = &::name;
  KOR_MBUS_API_NAMES(KOR_MBUS_API_LINK)
#undef KOR_MBUS_API_LINK
  return api;
}

}  // namespace mbus_test
