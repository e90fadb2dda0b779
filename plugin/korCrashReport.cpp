#include "plugin/korCrashReport.h"

#include <atomic>
#include <vector>

#include "plugin/korPluginEnv.h"

namespace crash {
namespace {

// The calling thread's scopes, created by its outermost scope and freed when
// that ends. A plain pointer on purpose: a thread_local with a destructor
// makes the Windows C++ runtime register thread-exit clean-up, which pins
// the library after the host frees it and can hang the host's exit in the
// runtime's key lock (docs/framework-runtime.md).
thread_local std::vector<std::string>* tScopes = nullptr;
std::atomic<std::int32_t> gReports{0};
std::atomic<bool> gWatchdogStopped{false};

}  // namespace

TTraceScope::TTraceScope(std::string_view name) {
  if (!tScopes) tScopes = new std::vector<std::string>;
  tScopes->emplace_back(name);
}

TTraceScope::~TTraceScope() {
  if (!tScopes) return;
  if (!tScopes->empty()) tScopes->pop_back();
  if (tScopes->empty()) {
    delete tScopes;
    tScopes = nullptr;
  }
}

std::string CurrentStackText() {
  std::string text;
  if (!tScopes) return text;
  for (const std::string& scope : *tScopes) {
    if (!text.empty()) text += " > ";
    text += scope;
  }
  return text;
}

std::string ErrorMessage(const std::exception_ptr& error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
  }
  return "Unknown error";
}

std::string ReportText(std::string_view command, const std::string& message) {
  std::string text;
  if (!command.empty()) text = "{" + std::string(command) + "} ";
  std::string stack = CurrentStackText();
  if (!stack.empty()) text += "[" + stack + "] ";
  return text + message;
}

std::int32_t TraceProcess() noexcept {
  try {
    PluginEnv().DebugOutput("trace: " + CurrentStackText());
    return tScopes ? static_cast<std::int32_t>(tScopes->size()) : 0;
  } catch (...) {
    return 0;
  }
}

std::int32_t ReportCount() noexcept {
  return gReports.load();
}

void Record(const std::string& report) noexcept {
  gReports.fetch_add(1);
  try {
    PluginEnv().DebugOutput(report);
  } catch (...) {
  }
}

void StopWatchdog() noexcept {
  gWatchdogStopped.store(true);
}

void Shutdown() noexcept {
  StopWatchdog();
}

}  // namespace crash
