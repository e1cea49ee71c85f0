// The engine's side of the Python module's vectorised calls: the public API over 100,000
// directions or reflections, as the module hands them over. bench/python_binding_bench.py
// times the same calls through the module; the two per-item costs stand side by side in
// bench/README.md.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <vector>

#include "polydec/dec.h"
#include "polydec/phase.h"
#include "polydec/stress_factors.h"

namespace {

using namespace polydec;

constexpr int kItems = 100000;

Phase Iron() { return LoadMaterial("iron", POLYDEC_SOURCE_DIR "/data/pfcryst.dat").value(); }

// phi over the full turn, psi from 0 to 60 degrees.
std::vector<Direction> Directions() {
  std::vector<Direction> d(kItems);
  for (int k = 0; k < kItems; ++k)
    d[static_cast<std::size_t>(k)] = {360.0L * k / kItems, 60.0L * k / kItems};
  return d;
}

std::vector<Miller> Reflections() {
  const Miller cycle[] = {{1, 1, 0}, {2, 0, 0}, {2, 1, 1}, {2, 2, 0},
                          {3, 1, 0}, {2, 2, 2}, {3, 2, 1}, {4, 0, 0}};
  std::vector<Miller> r(kItems);
  for (int k = 0; k < kItems; ++k) r[static_cast<std::size_t>(k)] = cycle[k % 8];
  return r;
}

void PerItem(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * kItems);
  state.counters["per_item"] = benchmark::Counter(
      kItems, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Untextured Voigt stress factors of 100,000 directions; with the progress hook the module
// passes (it looks at a clock and a flag per direction).
void BM_StressFactorsVoigt100k(benchmark::State& state) {
  const Phase iron = Iron();
  const std::vector<Direction> directions = Directions();
  StressFactorOptions options;
  options.model = kVoigt;
  const bool hook = state.range(0) != 0;
  for (auto _ : state) {
    auto r = hook ? ComputeStressFactors(iron, {2, 1, 1}, directions, options, nullptr,
                                         [](std::size_t) { return true; })
                  : ComputeStressFactors(iron, {2, 1, 1}, directions, options);
    benchmark::DoNotOptimize(r);
  }
  PerItem(state);
}
BENCHMARK(BM_StressFactorsVoigt100k)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);

// Kroener DECs of 100,000 reflections in one call.
void BM_DecsKroener100k(benchmark::State& state) {
  const Phase iron = Iron();
  const std::vector<Miller> reflections = Reflections();
  DecOptions options;
  options.model = kKroener;
  for (auto _ : state) {
    auto r = ComputeDecs(iron, reflections, options);
    benchmark::DoNotOptimize(r);
  }
  PerItem(state);
}
BENCHMARK(BM_DecsKroener100k)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
