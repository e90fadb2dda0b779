// The runner of the benchmark interface subset (benchmark/benchmark.h).
#include "benchmark/benchmark.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <regex>

#if defined(_WIN32)
#include <windows.h>
#else
#include <time.h>
#endif

namespace benchmark {

namespace {

constexpr double kMinSeconds = 0.5;
constexpr IterationCount kMaxIterations = 1000000000;

std::vector<std::unique_ptr<internal::Benchmark>>& Registry() {
  static std::vector<std::unique_ptr<internal::Benchmark>> registry;
  return registry;
}

std::string gFilter = ".";

#if defined(_WIN32)
double Seconds(const FILETIME& kernel, const FILETIME& user) {
  auto ticks = [](const FILETIME& t) {
    return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return static_cast<double>(ticks(kernel) + ticks(user)) * 1e-7;
}
#else
double Seconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}
#endif

// A figure with an SI suffix, as the reports print counters.
std::string Human(double value) {
  const char* suffixes[] = {"", "k", "M", "G", "T"};
  int i = 0;
  double v = value < 0 ? -value : value;
  while (v >= 1000.0 && i < 4) {
    v /= 1000.0;
    value /= 1000.0;
    ++i;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.4g%s", value, suffixes[i]);
  return text;
}

const char* UnitName(TimeUnit unit) {
  switch (unit) {
    case kSecond:
      return "s";
    case kMillisecond:
      return "ms";
    case kMicrosecond:
      return "us";
    default:
      return "ns";
  }
}

double UnitPerSecond(TimeUnit unit) {
  switch (unit) {
    case kSecond:
      return 1.0;
    case kMillisecond:
      return 1e3;
    case kMicrosecond:
      return 1e6;
    default:
      return 1e9;
  }
}

}  // namespace

namespace internal {

double ThreadCpuSeconds() {
#if defined(_WIN32)
  FILETIME creation, exit, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &creation, &exit, &kernel, &user)) return 0;
  return Seconds(kernel, user);
#else
  return Seconds(CLOCK_THREAD_CPUTIME_ID);
#endif
}

double ProcessCpuSeconds() {
#if defined(_WIN32)
  FILETIME creation, exit, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user)) return 0;
  return Seconds(kernel, user);
#else
  return Seconds(CLOCK_PROCESS_CPUTIME_ID);
#endif
}

Benchmark* Register(Benchmark* benchmark) {
  Registry().emplace_back(benchmark);
  return benchmark;
}

std::string Benchmark::RunName(const std::vector<std::int64_t>& args) const {
  std::string name = FName;
  for (std::size_t i = 0; i < args.size(); ++i) {
    name += '/';
    if (i < FArgNames.size() && !FArgNames[i].empty()) name += FArgNames[i] + ':';
    name += std::to_string(args[i]);
  }
  if (FIterations > 0) name += "/iterations:" + std::to_string(FIterations);
  if (FProcessCpu) name += "/process_time";
  if (FRealTime) name += "/real_time";
  return name;
}

bool Benchmark::RunOne(const std::vector<std::int64_t>& args) const {
  const std::string name = RunName(args);
  if (!std::regex_search(name, std::regex(gFilter))) return true;
  IterationCount iterations = FIterations > 0 ? FIterations : 1;
  for (;;) {
    State state(iterations, args, FProcessCpu);
    FFunction(state);
    if (state.error_occurred()) {
      std::printf("%-50s ERROR OCCURRED: '%s'\n", name.c_str(), state.ErrorMessage().c_str());
      return false;
    }
    const double seconds = FRealTime ? state.RealSeconds() : state.CpuSeconds();
    if (FIterations == 0 && seconds < kMinSeconds && iterations < kMaxIterations) {
      // Grow towards the minimum time, as the library does (at most tenfold).
      double factor = seconds > 0 ? kMinSeconds * 1.4 / seconds : 10.0;
      if (factor > 10.0) factor = 10.0;
      if (factor < 2.0) factor = 2.0;
      iterations = static_cast<IterationCount>(static_cast<double>(iterations) * factor);
      continue;
    }
    const double n = static_cast<double>(state.iterations());
    const double perUnit = UnitPerSecond(FUnit);
    std::string line;
    char cell[160];
    std::snprintf(cell, sizeof cell, "%-50s %12.3f %-2s %12.3f %-2s %10lld", name.c_str(),
                  state.RealSeconds() / n * perUnit, UnitName(FUnit),
                  state.CpuSeconds() / n * perUnit, UnitName(FUnit),
                  static_cast<long long>(state.iterations()));
    line = cell;
    const double rateSeconds = FRealTime ? state.RealSeconds() : state.CpuSeconds();
    UserCounters counters = state.counters;
    if (state.Items() > 0) {
      counters["items_per_second"] = Counter(static_cast<double>(state.Items()), Counter::kIsRate);
    }
    if (state.Bytes() > 0) {
      counters["bytes_per_second"] = Counter(static_cast<double>(state.Bytes()), Counter::kIsRate);
    }
    for (const auto& [key, counter] : counters) {
      double value = counter.value;
      if ((counter.flags & Counter::kIsRate) != 0 && rateSeconds > 0) value /= rateSeconds;
      if ((counter.flags & Counter::kAvgIterations) != 0) value /= n;
      line +=
          ' ' + key + '=' + Human(value) + ((counter.flags & Counter::kIsRate) != 0 ? "/s" : "");
    }
    if (!state.Label().empty()) line += ' ' + state.Label();
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    return true;
  }
}

bool Benchmark::Run(const std::string&) const {
  if (FArgSets.empty()) return RunOne({});
  bool ok = true;
  for (const auto& args : FArgSets) ok = RunOne(args) && ok;
  return ok;
}

}  // namespace internal

State::State(IterationCount iterations, std::vector<std::int64_t> args, bool processCpu)
    : max_iterations(iterations), FArgs(std::move(args)), FProcessCpu(processCpu) {}

double State::CpuNow() const {
  return FProcessCpu ? internal::ProcessCpuSeconds() : internal::ThreadCpuSeconds();
}

State::StateIterator State::begin() {
  if (FError) return end();
  StartKeepRunning();
  return {this, max_iterations};
}

void State::StartKeepRunning() {
  FIterations = max_iterations;
  ResumeTiming();
}

void State::FinishKeepRunning() {
  if (FRunning) PauseTiming();
}

void State::PauseTiming() {
  if (!FRunning) return;
  FReal += std::chrono::duration<double>(std::chrono::steady_clock::now() - FRealStart).count();
  FCpu += CpuNow() - FCpuStart;
  FRunning = false;
}

void State::ResumeTiming() {
  if (FRunning) return;
  FRealStart = std::chrono::steady_clock::now();
  FCpuStart = CpuNow();
  FRunning = true;
}

void State::SkipWithError(const std::string& message) {
  FError = true;
  FErrorMessage = message;
  FinishKeepRunning();
}

void Initialize(int* argc, char** argv) {
  int kept = 1;
  for (int i = 1; i < *argc; ++i) {
    const char* flag = "--benchmark_filter=";
    if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0) {
      gFilter = argv[i] + std::strlen(flag);
    } else {
      argv[kept++] = argv[i];
    }
  }
  *argc = kept;
}

bool ReportUnrecognizedArguments(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) std::fprintf(stderr, "unrecognized argument: %s\n", argv[i]);
  return argc > 1;
}

std::size_t RunSpecifiedBenchmarks() {
  std::printf("%-50s %15s %15s %10s\n", "Benchmark", "Time", "CPU", "Iterations");
  std::printf("%s\n", std::string(93, '-').c_str());
  std::size_t count = 0;
  for (const auto& benchmark : Registry()) {
    benchmark->Run(gFilter);
    ++count;
  }
  return count;
}

void Shutdown() {}

}  // namespace benchmark
