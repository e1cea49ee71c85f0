// Slip-system runs: the rate-sensitive Taylor factor of one orientation (the contraction ratio
// searched), one pass at a fixed ratio, and the whole 19 x 19 x 19 Taylor run on two threads.
#include <benchmark/benchmark.h>

#include "special/orientation_runs.h"
#include "special/slip_systems.h"
#include "texture/orientation.h"

namespace {

using namespace polydec;
using core::Real;

void BM_TaylorFactorSearched(benchmark::State& state) {
  for (auto _ : state) {
    const special::TaylorResult r = special::TaylorFactorOfOrientation(20, 35, 50);
    benchmark::DoNotOptimize(r.factor);
  }
}
BENCHMARK(BM_TaylorFactorSearched)->Unit(benchmark::kMillisecond);

void BM_TaylorFactorOnePass(benchmark::State& state) {
  for (auto _ : state) {
    const special::TaylorResult r = special::TaylorFactorOfOrientation(20, 35, 50, 0.5L);
    benchmark::DoNotOptimize(r.factor);
  }
}
BENCHMARK(BM_TaylorFactorOnePass)->Unit(benchmark::kMillisecond);

// Wall-clock time of the window's "Calc Taylor Factor" without the file: 6859 orientations on
// two threads.
void BM_TaylorRunTwoThreads(benchmark::State& state) {
  for (auto _ : state) {
    special::RunControl control;
    control.threads = 2;
    const special::RunResult r = special::TaylorFactorRun(control);
    benchmark::DoNotOptimize(r.lines.data());
  }
}
BENCHMARK(BM_TaylorRunTwoThreads)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace
