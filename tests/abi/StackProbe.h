// Calls through a function pointer of the caller's declared type and
// measures how far the stack pointer moved over the calls. A callee whose
// calling convention differs from the declared one (callee-pops stdcall
// called as cdecl, or the other way round) moves it by its argument bytes
// on every call; the program may run on with a corrupted stack for a while,
// which is why the 32-bit build needs this check and x86-64, with a single
// convention, never moves it.
//
// The probe keeps its frame pointer and a pad of stack below its locals and
// keeps its readings in globals, so a moved stack pointer is reported
// instead of crashing the probe itself. The calls run on the calling thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

namespace callprobe {

// The stack pointer where this is expanded.
[[gnu::always_inline]] inline std::uintptr_t StackPointer() {
  std::uintptr_t sp = 0;
#if defined(__i386__)
  asm volatile("movl %%esp, %0" : "=r"(sp));
#elif defined(__x86_64__)
  asm volatile("movq %%rsp, %0" : "=r"(sp));
#elif defined(__aarch64__)
  asm volatile("mov %0, sp" : "=r"(sp));
#else
#error "no stack pointer reading for this processor"
#endif
  return sp;
}

// How far the stack pointer moved between the first call and the last
// (0: the conventions match), and every call's result.
template <class R>
struct TProbe {
  std::ptrdiff_t Drift = 0;
  std::vector<R> Results;
  R Result{};  // the last one
};
template <>
struct TProbe<void> {
  std::ptrdiff_t Drift = 0;
};

inline volatile std::uintptr_t gFirstReading = 0;
inline volatile std::uintptr_t gLastReading = 0;

// Calls fn(args...) times times, at least twice. The stack pointer is read
// right after each call, by the same instruction every time (the compiler's
// own view of the depth there is the same on every pass; a reading before
// the first call could sit in a copy of the loop head at another depth), so
// the drift is that of all calls but the first.
template <class Fn, class... A>
[[gnu::noinline, gnu::optimize("no-omit-frame-pointer")]] auto Call(int times, Fn fn, A... args) {
  using R = decltype(fn(args...));
  TProbe<R> probe;
  const int calls = times < 2 ? 2 : times;
  if constexpr (!std::is_void_v<R>) probe.Results.resize(static_cast<std::size_t>(calls));
  // Locals now live at the frame pointer, and a stack pointer that moves
  // up lands in this pad.
  volatile char* pad = static_cast<volatile char*>(__builtin_alloca(8192));
  pad[0] = 0;
  for (int i = 0; i < calls; ++i) {
    if constexpr (std::is_void_v<R>) {
      fn(args...);
    } else {
      probe.Results[static_cast<std::size_t>(i)] = fn(args...);
    }
    const std::uintptr_t now = StackPointer();
    if (i == 0) gFirstReading = now;
    gLastReading = now;
  }
  probe.Drift = static_cast<std::ptrdiff_t>(gLastReading - gFirstReading);
  if constexpr (!std::is_void_v<R>) probe.Result = probe.Results.back();
  return probe;
}

// The drift only.
template <class Fn, class... A>
std::ptrdiff_t Drift(int times, Fn fn, A... args) {
  return Call(times, fn, args...).Drift;
}

}  // namespace callprobe
