// The part of the Google Benchmark interface the benchmarks use, for builds
// that have no Google Benchmark (the Windows cross builds, whose programs
// run under wine). Same names and meaning: a benchmark function runs its
// `for (auto _ : state)` loop for a fixed or a grown number of iterations
// (until it took half a second), and one line per run reports real time,
// CPU time (the thread's, or the process's with MeasureProcessCPUTime),
// iterations and the user counters (rates per CPU second, or per real second
// with UseRealTime). No statistics, repetitions, complexity fits or output
// formats; the only flag is --benchmark_filter=REGEX.
//
// Threads: benchmarks register during static initialisation and run one
// after another on the thread that calls RunSpecifiedBenchmarks.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace benchmark {

using IterationCount = std::int64_t;

enum TimeUnit { kNanosecond, kMicrosecond, kMillisecond, kSecond };
enum BigO { oNone, o1, oN, oNSquared, oNCubed, oLogN, oNLogN, oAuto, oLambda };

class Counter {
 public:
  enum Flags : unsigned {
    kDefaults = 0,
    kIsRate = 1u << 0,         // divided by the run's seconds
    kAvgThreads = 1u << 1,     // one thread: unchanged
    kAvgIterations = 1u << 3,  // divided by the iterations
  };
  Counter(double value = 0.0, unsigned flags = kDefaults) : value(value), flags(flags) {}
  operator double() const { return value; }
  Counter& operator=(double v) {
    value = v;
    return *this;
  }
  double value;
  unsigned flags;
};

using UserCounters = std::map<std::string, Counter>;

class State;

namespace internal {

// The clock a run measures: real (steady), the thread's CPU or the process's CPU.
double ThreadCpuSeconds();
double ProcessCpuSeconds();

class Benchmark;
Benchmark* Register(Benchmark* benchmark);

}  // namespace internal

class State {
 public:
  // What the loop variable holds: nothing (a user-provided destructor keeps
  // an unused `_` from being warned about).
  struct Value {
    ~Value() {}
  };
  struct StateIterator {
    State* parent;
    IterationCount left;
    bool operator!=(const StateIterator& other) const {
      if (left != other.left) return true;
      parent->FinishKeepRunning();
      return false;
    }
    StateIterator& operator++() {
      --left;
      return *this;
    }
    Value operator*() const { return {}; }
  };
  StateIterator begin();
  StateIterator end() { return {this, 0}; }

  std::int64_t range(std::size_t index = 0) const { return FArgs.at(index); }
  IterationCount iterations() const { return FIterations; }
  IterationCount max_iterations;

  void PauseTiming();
  void ResumeTiming();
  void SkipWithError(const std::string& message);
  bool error_occurred() const { return FError; }
  void SetItemsProcessed(std::int64_t items) { FItems = items; }
  void SetBytesProcessed(std::int64_t bytes) { FBytes = bytes; }
  void SetLabel(const std::string& label) { FLabel = label; }
  void SetComplexityN(std::int64_t) {}

  UserCounters counters;

  // Used by the runner.
  State(IterationCount iterations, std::vector<std::int64_t> args, bool processCpu);
  double RealSeconds() const { return FReal; }
  double CpuSeconds() const { return FCpu; }
  std::int64_t Items() const { return FItems; }
  std::int64_t Bytes() const { return FBytes; }
  const std::string& Label() const { return FLabel; }
  const std::string& ErrorMessage() const { return FErrorMessage; }

 private:
  void StartKeepRunning();
  void FinishKeepRunning();
  double CpuNow() const;

  std::vector<std::int64_t> FArgs;
  bool FProcessCpu;
  bool FRunning = false;
  bool FError = false;
  std::string FErrorMessage;
  std::string FLabel;
  IterationCount FIterations = 0;
  std::int64_t FItems = 0;
  std::int64_t FBytes = 0;
  std::chrono::steady_clock::time_point FRealStart;
  double FCpuStart = 0;
  double FReal = 0;
  double FCpu = 0;
};

namespace internal {

// One registered benchmark with its argument sets and options.
class Benchmark {
 public:
  Benchmark(std::string name, std::function<void(State&)> function)
      : FName(std::move(name)), FFunction(std::move(function)) {}

  Benchmark* Arg(std::int64_t x) { return Args({x}); }
  Benchmark* Args(const std::vector<std::int64_t>& args) {
    FArgSets.push_back(args);
    return this;
  }
  Benchmark* DenseRange(std::int64_t start, std::int64_t limit, int step = 1) {
    for (std::int64_t x = start; x <= limit; x += step) Arg(x);
    return this;
  }
  Benchmark* ArgName(const std::string& name) {
    FArgNames = {name};
    return this;
  }
  Benchmark* ArgNames(const std::vector<std::string>& names) {
    FArgNames = names;
    return this;
  }
  Benchmark* Iterations(IterationCount n) {
    FIterations = n;
    return this;
  }
  Benchmark* UseRealTime() {
    FRealTime = true;
    return this;
  }
  Benchmark* MeasureProcessCPUTime() {
    FProcessCpu = true;
    return this;
  }
  Benchmark* Unit(TimeUnit unit) {
    FUnit = unit;
    return this;
  }
  Benchmark* Complexity(BigO = oAuto) { return this; }

  // Runs every argument set; false when one reported an error.
  bool Run(const std::string& filter) const;

 private:
  std::string RunName(const std::vector<std::int64_t>& args) const;
  bool RunOne(const std::vector<std::int64_t>& args) const;

  std::string FName;
  std::function<void(State&)> FFunction;
  std::vector<std::vector<std::int64_t>> FArgSets;
  std::vector<std::string> FArgNames;
  IterationCount FIterations = 0;  // 0: grown until the run takes long enough
  bool FRealTime = false;
  bool FProcessCpu = false;
  TimeUnit FUnit = kNanosecond;
};

}  // namespace internal

template <class T>
inline void DoNotOptimize(T const& value) {
  asm volatile("" : : "r,m"(value) : "memory");
}
template <class T>
inline void DoNotOptimize(T& value) {
  asm volatile("" : "+r,m"(value) : : "memory");
}
inline void ClobberMemory() {
  asm volatile("" : : : "memory");
}

template <class Fn, class... A>
internal::Benchmark* RegisterBenchmark(const std::string& name, Fn&& fn, A&&... args) {
  return internal::Register(
      new internal::Benchmark(name, [=](State& state) mutable { fn(state, args...); }));
}

void Initialize(int* argc, char** argv);
bool ReportUnrecognizedArguments(int argc, char** argv);
std::size_t RunSpecifiedBenchmarks();
void Shutdown();

}  // namespace benchmark

#define KOR_BENCHMARK_CONCAT2(a, b) a##b
#define KOR_BENCHMARK_CONCAT(a, b) KOR_BENCHMARK_CONCAT2(a, b)
#define BENCHMARK(function)                                                                  \
  static ::benchmark::internal::Benchmark* KOR_BENCHMARK_CONCAT(kor_benchmark_,              \
                                                                __LINE__) [[maybe_unused]] = \
      ::benchmark::internal::Register(new ::benchmark::internal::Benchmark(#function, function))
#define BENCHMARK_MAIN()                   \
  int main(int argc, char** argv) {        \
    ::benchmark::Initialize(&argc, argv);  \
    ::benchmark::RunSpecifiedBenchmarks(); \
    ::benchmark::Shutdown();               \
    return 0;                              \
  }
