// Tensor inversion as the orientation averages call it: the cubic closed form, the 6x6
// general path, and the rare 81x81 pseudo-inverse of a singular tensor.
#include <benchmark/benchmark.h>

#include "core/tensor_inversion.h"
#include "core/voigt.h"

namespace {

using namespace polydec::core;

Tensor4 CubicStiffness() {
  CijklVector v{};
  v[1] = v[16] = v[21] = 237;
  v[4] = v[6] = v[18] = 141;
  v[7] = v[12] = v[19] = 116;
  Tensor4 t;
  CijklToTensor(v, t);
  return t;
}

Tensor4 TriclinicStiffness() {
  CijklVector v{};
  for (int n = 1; n <= 21; ++n) v[n] = 3 + 1.37L * n - 0.11L * n * n;
  for (int I = 1; I <= 6; ++I) v[VoigtToPosition(I, I)] = 150 + 10 * I;
  Tensor4 t;
  CijklToTensor(v, t);
  return t;
}

void BM_InvertTensorCubicClosedForm(benchmark::State& state) {
  const Tensor4 c = CubicStiffness();
  for (auto _ : state) {
    Tensor4 t = c;
    InvertTensor(t, 1);
    benchmark::DoNotOptimize(t);
  }
}
BENCHMARK(BM_InvertTensorCubicClosedForm);

void BM_InvertTensorGeneralPath(benchmark::State& state) {
  const Tensor4 c = TriclinicStiffness();
  for (auto _ : state) {
    Tensor4 t = c;
    InvertTensor(t, 11);
    benchmark::DoNotOptimize(t);
  }
}
BENCHMARK(BM_InvertTensorGeneralPath);

void BM_PseudoInvertTensor(benchmark::State& state) {
  CijklVector v{};
  v[1] = v[4] = v[16] = 150;  // singular normal block
  v[7] = v[12] = v[19] = 80;
  Tensor4 c;
  CijklToTensor(v, c);
  for (auto _ : state) {
    Tensor4 t = c;
    InvertTensor(t, 11);
    benchmark::DoNotOptimize(t);
  }
}
BENCHMARK(BM_PseudoInvertTensor)->Unit(benchmark::kMicrosecond);

}  // namespace
