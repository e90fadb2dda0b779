// One meter row: 40 items added with Add, then every value read back by name.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "params/korParamLst.h"

namespace {

std::vector<std::string> RowNames() {
  std::vector<std::string> names;
  for (int i = 0; i < 40; ++i) names.push_back("Energy (Wh) tariff " + std::to_string(i));
  return names;
}

void BuildRow(benchmark::State& state) {
  const std::vector<std::string> names = RowNames();
  for (auto _ : state) {
    TkorParamsList row;
    for (int i = 0; i < 40; ++i) row.Add(names[i], OleVariant(static_cast<double>(i) * 1.5));
    row.EndRow();
    benchmark::DoNotOptimize(row.Count());
  }
  state.SetItemsProcessed(state.iterations() * 40);
}
BENCHMARK(BuildRow);

void ReadRowByName(benchmark::State& state) {
  const std::vector<std::string> names = RowNames();
  TkorParamsList row;
  for (int i = 0; i < 40; ++i) row.Add(names[i], OleVariant(static_cast<double>(i)));
  for (auto _ : state) {
    double sum = 0;
    for (const std::string& name : names) sum += row.GetValue(name).Data().VDouble;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * 40);
}
BENCHMARK(ReadRowByName);

void BuildAndReadRow(benchmark::State& state) {
  const std::vector<std::string> names = RowNames();
  for (auto _ : state) {
    TkorParamsList row;
    for (int i = 0; i < 40; ++i) row.Add(names[i], OleVariant(i));
    std::int64_t sum = 0;
    for (const std::string& name : names) sum += row.GetValue(name).Data().VInteger;
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BuildAndReadRow);

}  // namespace
