// Messages shown to the person at the machine.
#pragma once

#include <string_view>

namespace plat {

// A modal error message box without owner window or caption (posix: one line
// on standard error). Blocks until dismissed.
void ShowErrorMessage(std::string_view text);

}  // namespace plat
