// Error messages as a modal Windows message box.
#include "platform/Dialogs.h"

#include <windows.h>

#include <string>

namespace plat {

void ShowErrorMessage(std::string_view text) {
  const std::string message(text);
  MessageBoxA(nullptr, message.c_str(), nullptr, MB_ICONERROR | MB_OK);
}

}  // namespace plat
