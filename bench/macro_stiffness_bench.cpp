// Macroscopic stiffness of a textured polycrystal: the ODF-weighted Voigt average, one round of
// the self-consistent (Kroener) solution on the ODF route, and the untextured self-consistent
// aggregate that every material change recomputes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "core/voigt.h"
#include "models/aggregate.h"
#include "models/eshelby.h"
#include "models/macro_stiffness.h"
#include "models/reflection_dec.h"
#include "models/stress_factors.h"
#include "models/untextured_context.h"
#include "texture/odf_grid.h"
#include "texture/orientation.h"

namespace {

using namespace polydec;
using core::CijklVector;
using core::OrientationsRec;
using core::Real;
using core::Tensor4;

CijklVector Iron() {
  CijklVector v{};
  v[1] = v[16] = v[21] = 237;
  v[4] = v[6] = v[18] = 141;
  v[7] = v[12] = v[19] = 116;
  return v;
}

// <100> of cubic crystals preferred along sample x over y: cubic crystal and orthorhombic
// sample symmetry.
Real XCubeTexture(const core::Tensor2& g) {
  Real x = 0, y = 0;
  for (int i = 1; i <= 3; ++i) {
    x += std::pow(g(i, 1), 4);
    y += std::pow(g(i, 2), 4);
  }
  return 1 + 1.4L * (x - y);
}

// Iron in an isotropic matrix (E = 200 GPa, nu = 0.3), spherical grains, the texture above on
// the full grid, sample symmetry `symmetry`.
core::ORTN_Array TexturedIron(int symmetry) {
  auto phase = std::make_unique<OrientationsRec>();
  core::CijklToTensor(Iron(), phase->Lr);
  core::CijklToTensor(models::IsotropicStiffness(200, 0.3L), phase->L);
  phase->Cryst.SYS = polydec::kCubic;
  phase->SYMMETRY = static_cast<polydec::SampleSymmetry>(symmetry);
  phase->Iter = 1;
  phase->IIntervls = models::kDefaultEulerIntervals;
  models::UpdateEshelby(*phase);
  texture::SizeODFArrays(*phase);
  texture::SetODFGridAngles(*phase);
  for (int n = 0; n < texture::kODFNodeCount; ++n)
    phase->ODF[n] = XCubeTexture(texture::EulerToMatrix(phase->phi1[n] * core::kDegToRad,
                                                        phase->phi[n] * core::kDegToRad,
                                                        phase->phi2[n] * core::kDegToRad));
  phase->ODFNUMP = texture::kODFNodeCount;
  phase->UseODF = true;
  phase->maxphi1 = 360, phase->maxphi = 180, phase->maxphi2 = 360;
  core::ORTN_Array list;
  list.push_back(std::move(phase));
  return list;
}

// Budget: under 50 ms at the default N = 12 (24 Simpson intervals per axis, over one period of
// phi1 and phi2), orthorhombic sample.
void BM_ODFAverageVoigt(benchmark::State& state) {
  const int symmetry = static_cast<int>(state.range(0));
  const core::ORTN_Array list = TexturedIron(symmetry);
  Tensor4 out;
  for (auto _ : state) {
    models::ODFAverage(out, *list[0], models::kDefaultEulerIntervals, models::kStiffnessAverage);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_ODFAverageVoigt)->Arg(7)->Arg(10)->Unit(benchmark::kMillisecond);

// Budget: under 1 s. One round (Iter = 1: one Newton trial with its finite-difference Jacobian
// over the nine orthotropic unknowns), ODF route with the default IIntervls = 12 (the residual
// integrates with N = 6), started each time from the
// same isotropic matrix.
void BM_KroenerRoundOrthorhombic(benchmark::State& state) {
  core::ORTN_Array list = TexturedIron(7);
  const Tensor4 start = list[0]->L;
  const auto startA = list[0]->a;
  for (auto _ : state) {
    state.PauseTiming();
    list[0]->L = start;
    list[0]->a = startA;
    models::UpdateEshelby(*list[0]);
    Tensor4 L = start;
    state.ResumeTiming();
    const models::NewtonResult r = models::SolveSelfConsistent(L, list, 1, models::kKroener);
    if (r.failed) {
      state.SkipWithError("self-consistent round failed");
      break;
    }
    benchmark::DoNotOptimize(L);
  }
}
BENCHMARK(BM_KroenerRoundOrthorhombic)->Unit(benchmark::kMillisecond);

// Budget: under 5 ms.
void BM_CalcIsoMaConst(benchmark::State& state) {
  const CijklVector iron = Iron();
  for (auto _ : state) {
    CijklVector a = iron;
    const models::IsotropicAggregateResult r =
        models::CalcIsoMaConst(a, static_cast<polydec::CrystalClass>(1), models::kKroener);
    if (!r.converged || r.failed) {
      state.SkipWithError("self-consistent aggregate did not converge");
      break;
    }
    benchmark::DoNotOptimize(a);
  }
}
BENCHMARK(BM_CalcIsoMaConst)->Unit(benchmark::kMillisecond);

}  // namespace
