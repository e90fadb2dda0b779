// main() of benchmark_main: runs every registered benchmark.
#include "benchmark/benchmark.h"

BENCHMARK_MAIN();
