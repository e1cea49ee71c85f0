// Diffraction elastic constants of one reflection: the Kroener model runs once per reflection
// and per data point of the single-crystal constant fit.
#include <benchmark/benchmark.h>

#include "crystal/lattice.h"
#include "models/reflection_dec.h"
#include "models/untextured_context.h"

namespace {

using namespace polydec;

core::OrientationsRec IronContext() {
  models::UntexturedInputs in;
  core::CijklVector& v = in.cij;
  v[1] = v[16] = v[21] = 237;
  v[4] = v[6] = v[18] = 141;
  v[7] = v[12] = v[19] = 116;
  in.cell[0] = in.cell[1] = in.cell[2] = 2.866L;
  in.E = 212.6L;
  in.nu = 0.295L;
  core::OrientationsRec ctx;
  models::BuildUntexturedContext(in, ctx);
  return ctx;
}

void BM_CalcReflectionDEC(benchmark::State& state) {
  core::OrientationsRec ctx = IronContext();
  const int code = static_cast<int>(state.range(0));
  core::CijklVector t21{};
  for (auto _ : state) {
    models::CalcReflectionDEC(ctx, t21, static_cast<polydec::ModelCode>(code));
    benchmark::DoNotOptimize(ctx.s2);
  }
  state.SetLabel(models::ModelName(static_cast<polydec::ModelCode>(code)));
}
BENCHMARK(BM_CalcReflectionDEC)
    ->Arg(models::kKroener)
    ->Arg(models::kInverseKroener)
    ->Arg(models::kReuss);

void BM_DSpacing(benchmark::State& state) {
  core::CrystalData cell;
  cell.a = cell.b = 2.95L;
  cell.c = 4.68L;
  cell.gamma = 120 * core::kDegToRad;
  crystal::InitCrystal(cell);
  for (auto _ : state) benchmark::DoNotOptimize(crystal::DSpacing(cell, 1, 0, 2));
}
BENCHMARK(BM_DSpacing);

}  // namespace
