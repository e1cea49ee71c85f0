// One Levenberg-Marquardt step of the single-crystal constant fit: 20 measured stress factors,
// the three cubic constants free, Kroener model with spherical grains, 10 fibre intervals (the
// window's default). A step evaluates every point and its three derivatives: 80 model values.
// With an isotropic sample (argument 0) they come from the reflection's s1 and 1/2 s2; with a
// transversely isotropic matrix (argument 2, C3333 5 % above C1111, Eshelby tensor integrated)
// each is a fibre average of 21 grain tensors.
#include <benchmark/benchmark.h>

#include <memory>

#include "core/voigt.h"
#include "crystal/lattice.h"
#include "fit/lm_fit.h"
#include "models/eshelby.h"
#include "models/reflection_dec.h"
#include "models/untextured_context.h"

namespace {

using namespace polydec;
using core::Real;

void BM_LMStepCubicKroener(benchmark::State& state) {
  core::OrientationsRec ctx;
  core::CrystalData& c = ctx.Cryst;
  c.a = c.b = c.c = 2.8665L;
  c.SYS = polydec::kCubic;
  c.AxisSetting = 1;
  crystal::InitCrystal(c);
  ctx.SYMMETRY = static_cast<polydec::SampleSymmetry>(static_cast<int>(state.range(0)));
  ctx.IIntervls = 10;
  ctx.AxisLength = {1, 1, 1};
  core::CijklVector cij{};
  cij[1] = cij[16] = cij[21] = 231.4L;
  cij[4] = cij[6] = cij[18] = 134.7L;
  cij[7] = cij[12] = cij[19] = 116.4L;
  core::CijklToTensor(cij, ctx.Lr);
  core::CijklVector matrix = models::IsotropicStiffness(210, 0.29L);
  if (ctx.SYMMETRY == 2) matrix[21] *= 1.05L;
  core::CijklToTensor(matrix, ctx.L);
  models::UpdateEshelby(ctx);

  auto rec = std::make_unique<fit::FitRecord>();
  for (int n = 1; n <= 21; ++n) {
    rec->a[n] = cij[n];
    rec->a[21 + n] = matrix[n];
  }
  const Real reflections[5][3] = {{2, 0, 0}, {3, 1, 0}, {4, 2, 0}, {1, 1, 0}, {2, 2, 2}};
  const Real directions[4][2] = {{0, 0}, {0, 35}, {0, 55}, {30, 75}};
  for (const auto& hkl : reflections)
    for (const auto& dir : directions) {
      const int i = ++rec->ndata;
      rec->hkl[i] = core::Tensor1{{hkl[0], hkl[1], hkl[2]}};
      rec->phi[i] = dir[0] * core::kDegToRad;
      rec->psi[i] = dir[1] * core::kDegToRad;
      rec->sig[i] = 2e-5L;
    }
  core::FloatVec dyda{};
  for (int i = 1; i <= rec->ndata; ++i)
    rec->z[i] = fit::EvaluateFitPoint(i, ctx, *rec, models::kKroener, rec->a, dyda) +
                (i % 2 == 0 ? 1 : -1) * 2e-5L;
  rec->ia[1] = 1;
  rec->ia[2] = 4;
  rec->ia[3] = 7;
  rec->mfit = 3;
  rec->a[1] = rec->a[16] = rec->a[21] = 260;  // start 12 % off
  rec->alamda = -1;
  fit::LMStep(ctx, *rec, models::kKroener);

  for (auto _ : state) {
    rec->alamda = 0.001L;
    const fit::LMStepResult r = fit::LMStep(ctx, *rec, models::kKroener);
    benchmark::DoNotOptimize(r.error);
    benchmark::DoNotOptimize(rec->chisq);
  }
}
BENCHMARK(BM_LMStepCubicKroener)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace
