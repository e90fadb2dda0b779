// Windows messages service: message-only windows of a class registered by
// this module, the thread's own message queue, SetTimer and
// MsgWaitForMultipleObjectsEx.
#include "platform/Messages.h"

#include <windows.h>

#include <algorithm>
#include <mutex>

#include "platform/MessagesMain.h"

namespace {

// What a window calls; freed when the window is gone (WM_NCDESTROY).
struct WindowData {
  plat::MessageProc proc;
  void* context;
};

const wchar_t kClassName[] = L"korMessageWindow";

HINSTANCE OwnModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(&OwnModule)), &module);
  return module;
}

WindowData* DataOf(HWND hwnd) {
  return reinterpret_cast<WindowData*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

bool IsOurs(UINT message) {
  return message == WM_TIMER || message >= WM_USER;
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  } else if (message == WM_NCDESTROY) {
    delete DataOf(hwnd);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  } else if (IsOurs(message)) {
    if (WindowData* data = DataOf(hwnd)) return data->proc(data->context, message, wParam, lParam);
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// Registers the class once per module; a class of the same name registered
// by another module is a different class.
bool RegisterOnce() {
  static const bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &WindowProc;
    wc.hInstance = OwnModule();
    wc.lpszClassName = kClassName;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

HWND AsHwnd(plat::WindowHandle window) {
  return reinterpret_cast<HWND>(window);
}

void Dispatch(MSG& msg) {
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

}  // namespace

namespace plat {

WindowHandle CreateMessageWindow(MessageProc proc, void* context) {
  if (proc == nullptr || !RegisterOnce()) return 0;
  auto* data = new WindowData{proc, context};
  HWND hwnd =
      CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, OwnModule(), data);
  if (hwnd == nullptr) {
    delete data;
    return 0;
  }
  return reinterpret_cast<WindowHandle>(hwnd);
}

void DestroyMessageWindow(WindowHandle window) {
  if (IsOwnWindow(window)) DestroyWindow(AsHwnd(window));
}

bool IsMessageWindow(WindowHandle window) {
  return window != 0 && IsWindow(AsHwnd(window));
}

bool IsOwnWindow(WindowHandle window) {
  return IsMessageWindow(window) &&
         GetWindowThreadProcessId(AsHwnd(window), nullptr) == GetCurrentThreadId();
}

bool PostWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
  if (!IsMessageWindow(window)) return false;
  return PostMessageW(AsHwnd(window), message, wParam, lParam) != 0;
}

bool SendWindowMessageTimeout(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam, unsigned timeoutMs, std::intptr_t* result) {
  if (result) *result = 0;
  if (!IsMessageWindow(window)) return false;
  if (IsOwnWindow(window)) {
    LRESULT r = SendMessageW(AsHwnd(window), message, wParam, lParam);
    if (result) *result = r;
    return true;
  }
  DWORD_PTR answer = 0;
  if (SendMessageTimeoutW(AsHwnd(window), message, wParam, lParam, SMTO_NORMAL, timeoutMs,
                          &answer) == 0)
    return false;
  if (result) *result = static_cast<std::intptr_t>(answer);
  return true;
}

bool SetWindowTimer(WindowHandle window, std::uintptr_t id, unsigned intervalMs) {
  if (!IsOwnWindow(window)) return false;
  return SetTimer(AsHwnd(window), id, std::max(intervalMs, 1u), nullptr) != 0;
}

void KillWindowTimer(WindowHandle window, std::uintptr_t id) {
  if (IsOwnWindow(window)) KillTimer(AsHwnd(window), id);
}

bool ProcessPendingMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) return false;
    Dispatch(msg);
  }
  return true;
}

bool WaitAndProcessMessages(unsigned timeoutMs) {
  MsgWaitForMultipleObjectsEx(0, nullptr, timeoutMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  return ProcessPendingMessages();
}

void PostQuitToThread() {
  PostQuitMessage(0);
}

void EnsureMessageQueue() {
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
}

PumpOutcome PumpOneMessage() {
  MSG msg;
  if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return PumpOutcome::Empty;
  if (msg.message == WM_QUIT) {
    PostQuitMessage(static_cast<int>(msg.wParam));
    return PumpOutcome::Quit;
  }
  Dispatch(msg);
  return PumpOutcome::Handled;
}

// A waker is an auto-reset event.
ThreadWaker CreateThreadWaker() {
  return reinterpret_cast<ThreadWaker>(CreateEventW(nullptr, FALSE, FALSE, nullptr));
}

void FreeThreadWaker(ThreadWaker waker) {
  if (waker != 0) CloseHandle(reinterpret_cast<HANDLE>(waker));
}

void WakeThread(ThreadWaker waker) {
  if (waker != 0) SetEvent(reinterpret_cast<HANDLE>(waker));
}

WaitOutcome WaitForInputOrWake(ThreadWaker waker, unsigned timeoutMs, std::uint32_t wakeMask) {
  HANDLE event = reinterpret_cast<HANDLE>(waker);
  DWORD count = event ? 1 : 0;
  DWORD r = MsgWaitForMultipleObjectsEx(count, &event, timeoutMs, wakeMask, MWMO_INPUTAVAILABLE);
  if (count == 1 && r == WAIT_OBJECT_0) return WaitOutcome::Woken;
  if (r == WAIT_OBJECT_0 + count) return WaitOutcome::Input;
  return WaitOutcome::TimedOut;
}

void MakeCallingThreadMain() {
  detail::MakeCallingThreadMainImpl();
}

bool IsMainThread() {
  return detail::IsMainThreadImpl();
}

bool RunOnMainThread(std::function<void()> fn, unsigned timeoutMs) {
  return detail::RunOnMainThreadImpl(std::move(fn), timeoutMs);
}

}  // namespace plat
