// A second module linking its own copy of the platform library, standing in
// for the plug-in: its windows live on the caller's thread and are pumped by
// the test program's loop.
#include <atomic>
#include <cstdint>

#include "platform/Messages.h"

// Exported from the library (the project builds with hidden visibility).
#if defined(_WIN32)
#define PEER_API __declspec(dllexport)
#else
#define PEER_API __attribute__((visibility("default")))
#endif

namespace {

std::atomic<int> gSeen{0};
std::atomic<int> gTimers{0};

std::intptr_t PeerProc(void*, std::uint32_t message, std::uintptr_t, std::intptr_t lParam) {
  if (message == plat::kTimerMessage)
    ++gTimers;
  else
    ++gSeen;
  return lParam + 1;
}

}  // namespace

extern "C" {

PEER_API plat::WindowHandle PeerCreateWindow() {
  return plat::CreateMessageWindow(&PeerProc, nullptr);
}

PEER_API void PeerDestroyWindow(plat::WindowHandle window) {
  plat::DestroyMessageWindow(window);
}

PEER_API bool PeerSetTimer(plat::WindowHandle window, unsigned ms) {
  return plat::SetWindowTimer(window, 1, ms);
}

PEER_API bool PeerPost(plat::WindowHandle target, std::uint32_t message) {
  return plat::PostWindowMessage(target, message, 0, 0);
}

PEER_API bool PeerProcessPending() {
  return plat::ProcessPendingMessages();
}

PEER_API int PeerSeen() {
  return gSeen.load();
}

PEER_API int PeerTimers() {
  return gTimers.load();
}
}
