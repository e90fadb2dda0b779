// Selection of slaves by secondary address (mask nibbles 'F' are wildcards).
#pragma once

#include <string>

#include "HandleState.h"

namespace mbus::io {

// Sends the selection for mask and reads the answer, retrying silence
// handle->max_search_retry times: 0 nobody, 1 one slave selected, 2 several.
int Select(mbus_handle* handle, const std::string& mask);
// Select, then a data request to the selected slave: 1 with `reply` and the
// slave's address when exactly one answered, else 0 or 2 as for Select.
int Probe(mbus_handle* handle, const std::string& mask, mbus_frame& reply, std::string& address);
void CheckMask(const char* mask);

}  // namespace mbus::io
