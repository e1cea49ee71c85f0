// Fourth-rank tensor arithmetic that the orientation averages repeat thousands of times.
#include <benchmark/benchmark.h>

#include "core/voigt.h"

namespace {

using namespace polydec::core;

void BM_ContractTensors(benchmark::State& state) {
  CijklVector v{};
  for (int n = 1; n <= 21; ++n) v[n] = n;
  Tensor4 a, r;
  CijklToTensor(v, a);
  for (auto _ : state) {
    ContractTensors(a, a, r);
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_ContractTensors);

}  // namespace
