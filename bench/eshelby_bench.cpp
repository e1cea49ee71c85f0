// Eshelby tensors of ellipsoidal grains: the nested adaptive sphere integrals that every row of
// a grain-shape worksheet and every self-consistent residual of the grain route repeats.
#include <benchmark/benchmark.h>

#include "core/integration.h"
#include "core/voigt.h"
#include "models/eshelby.h"

namespace {

using namespace polydec::core;
using polydec::models::PolarizationIntegrand;
using polydec::models::UpdateEshelby;

Tensor4 IsotropicStiffness() {
  const Real E = 210, nu = 0.3L;
  const Real mu = E / (2 * (1 + nu));
  const Real lambda = E * nu / ((1 + nu) * (1 - 2 * nu));
  CijklVector v{};
  v[1] = v[16] = v[21] = lambda + 2 * mu;
  v[4] = v[6] = v[18] = lambda;
  v[7] = v[12] = v[19] = mu;
  Tensor4 L;
  CijklToTensor(v, L);
  return L;
}

Tensor4 OrthorhombicStiffness() {
  CijklVector v{};
  v[1] = 320;
  v[16] = 197;
  v[21] = 234;
  v[4] = 68;
  v[6] = 71;
  v[18] = 76;
  v[19] = 63.7L;
  v[12] = 77.6L;
  v[7] = 78.3L;
  Tensor4 L;
  CijklToTensor(v, L);
  return L;
}

void RunUpdate(benchmark::State& state, const Tensor4& L, EllipsoidAxisLength axes, int symmetry) {
  OrientationsRec ctx;
  ctx.L = L;
  ctx.Lr = L;
  ctx.SYMMETRY = static_cast<polydec::SampleSymmetry>(symmetry);
  ctx.AxisLength = axes;
  for (auto _ : state) {
    UpdateEshelby(ctx);
    benchmark::DoNotOptimize(ctx.S);
  }
}

// Budget: under 10 ms.
void BM_UpdateEshelby_Spheroid112(benchmark::State& state) {
  RunUpdate(state, IsotropicStiffness(), {1, 1, 2}, 0);
}
BENCHMARK(BM_UpdateEshelby_Spheroid112)->Unit(benchmark::kMillisecond);

// Budget: under 30 ms.
void BM_UpdateEshelby_Needle1110(benchmark::State& state) {
  RunUpdate(state, IsotropicStiffness(), {1, 1, 10}, 0);
}
BENCHMARK(BM_UpdateEshelby_Needle1110)->Unit(benchmark::kMillisecond);

void BM_UpdateEshelby_TriaxialOrthorhombic(benchmark::State& state) {
  RunUpdate(state, OrthorhombicStiffness(), {1, 2, 3}, 7);
}
BENCHMARK(BM_UpdateEshelby_TriaxialOrthorhombic)->Unit(benchmark::kMillisecond);

// A sphere under triclinic sample symmetry: all 21 components, twelve of which vanish and so
// meet the relative tolerance only by chance and run to the examination limit.
void BM_UpdateEshelby_SphereTriclinic(benchmark::State& state) {
  RunUpdate(state, OrthorhombicStiffness(), {1, 1, 1}, 10);
}
BENCHMARK(BM_UpdateEshelby_SphereTriclinic)->Unit(benchmark::kMillisecond);

// Each component integrated on its own with the plain integrand: the cost the shared
// evaluation avoids (for comparison only).
void RunComponentwise(benchmark::State& state, EllipsoidAxisLength axes) {
  const Tensor4 L = IsotropicStiffness();
  const auto& list = SymmetryComponents[7];
  for (auto _ : state) {
    for (int t = 1; t <= list[0]; ++t) {
      int i, j, k, l;
      CijklIndex(list[t], i, j, k, l);
      int outerCount = 0;
      Real p = SphereIntegral(
          [&](Real phi, Real theta) {
            return PolarizationIntegrand(axes, i, j, k, l, L, phi, theta);
          },
          1e-5L, 50, outerCount);
      benchmark::DoNotOptimize(p);
    }
  }
}

void BM_Componentwise_Spheroid112(benchmark::State& state) { RunComponentwise(state, {1, 1, 2}); }
BENCHMARK(BM_Componentwise_Spheroid112)->Unit(benchmark::kMillisecond);

void BM_Componentwise_Needle1110(benchmark::State& state) { RunComponentwise(state, {1, 1, 10}); }
BENCHMARK(BM_Componentwise_Needle1110)->Unit(benchmark::kMillisecond);

}  // namespace
