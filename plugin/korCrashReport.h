// Crash reporting, to the extent the plug-in needs it: what each thread is
// doing (a stack of named scopes, the "stack text" of error reports), the
// report text of a caught error, the tracing export's behaviour, and the
// library shutdown hook. No dialog, no sending: reports go to the instance's
// log and the debugger channel. Any thread; each thread sees its own stack.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace crash {

// Marks what the calling thread is doing for the lifetime of the scope.
class TTraceScope {
 public:
  explicit TTraceScope(std::string_view name);
  ~TTraceScope();
  TTraceScope(const TTraceScope&) = delete;
  TTraceScope& operator=(const TTraceScope&) = delete;
};

// The calling thread's scopes, outermost first, joined by " > "; "" when none.
std::string CurrentStackText();

// The message of any caught error ("Unknown error" for a non-standard one).
std::string ErrorMessage(const std::exception_ptr& error);

// The text an error report carries: "{command} " when a command is given,
// "[stack] " when the thread has scopes, then the error's message.
std::string ReportText(std::string_view command, const std::string& message);

// Behind the tracing export: writes the calling thread's scope stack to the
// debugger channel as "trace: <stack>" and returns the number of scopes. It
// never raises and has no other effect.
std::int32_t TraceProcess() noexcept;

// Reports recorded since start-up (counted, for diagnostics and tests).
std::int32_t ReportCount() noexcept;
// Counts one report and writes it to the debugger channel.
void Record(const std::string& report) noexcept;

// The unload procedure of this subsystem: stops the watchdog. Idempotent.
void Shutdown() noexcept;
// Stops watching for hung calls (there is no watchdog thread: a no-op kept
// so the unload order reads as designed). Idempotent.
void StopWatchdog() noexcept;

}  // namespace crash
