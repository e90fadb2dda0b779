#include "plugin/korCrashReport.h"

#include <atomic>
#include <vector>

#include "plugin/korPluginEnv.h"

namespace crash {
namespace {

thread_local std::vector<std::string> tScopes;
std::atomic<std::int32_t> gReports{0};
std::atomic<bool> gWatchdogStopped{false};

}  // namespace

TTraceScope::TTraceScope(std::string_view name) {
  tScopes.emplace_back(name);
}

TTraceScope::~TTraceScope() {
  if (!tScopes.empty()) tScopes.pop_back();
}

std::string CurrentStackText() {
  std::string text;
  for (const std::string& scope : tScopes) {
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
    return static_cast<std::int32_t>(tScopes.size());
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
