// Error messages on a system without a desktop: one line on standard error.
#include "platform/Dialogs.h"

#include <cstdio>

namespace plat {

void ShowErrorMessage(std::string_view text) {
  std::fprintf(stderr, "error: %.*s\n", static_cast<int>(text.size()), text.data());
}

}  // namespace plat
