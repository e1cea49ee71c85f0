// The nested adaptive sphere integral that every Eshelby tensor component runs.
#include <benchmark/benchmark.h>

#include <cmath>

#include "core/integration.h"

namespace {

using polydec::core::Real;

void BM_SphereIntegral(benchmark::State& state) {
  auto g = [](Real phi, Real theta) {
    const Real c = std::cos(phi);
    return std::sin(theta) * c * c;
  };
  for (auto _ : state) {
    int outerCount = 0;
    benchmark::DoNotOptimize(polydec::core::SphereIntegral(g, 1e-5L, 50, outerCount));
  }
}
BENCHMARK(BM_SphereIntegral);

}  // namespace
