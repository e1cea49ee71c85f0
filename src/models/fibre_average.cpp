#include "models/fibre_average.h"

#include <cmath>
#include <algorithm>
#include <cstddef>
#include <vector>

#include "core/linalg.h"
#include "core/tensor_inversion.h"
#include "models/eshelby.h"
#include "models/reflection_dec.h"
#include "texture/odf_fiber.h"
#include "texture/odf_grid.h"
#include "texture/orientation.h"

namespace polydec::models {

using core::CijklVector;
using core::Real;
using core::Tensor2;
using core::Tensor4;

void RotateTensor4(const Tensor4& X, const Tensor2& A, Tensor4& out) {
  // Four successive one-index rotations: 4 x 243 products instead of 6561 x 4 for the literal
  // eightfold sum, with the same result to rounding.
  Tensor4 a = X, b;
  for (int i = 1; i <= 3; ++i)
    for (int q = 1; q <= 3; ++q)
      for (int r = 1; r <= 3; ++r)
        for (int s = 1; s <= 3; ++s)
          b(i, q, r, s) =
              A(i, 1) * a(1, q, r, s) + A(i, 2) * a(2, q, r, s) + A(i, 3) * a(3, q, r, s);
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j)
      for (int r = 1; r <= 3; ++r)
        for (int s = 1; s <= 3; ++s)
          a(i, j, r, s) =
              A(j, 1) * b(i, 1, r, s) + A(j, 2) * b(i, 2, r, s) + A(j, 3) * b(i, 3, r, s);
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j)
      for (int k = 1; k <= 3; ++k)
        for (int s = 1; s <= 3; ++s)
          b(i, j, k, s) =
              A(k, 1) * a(i, j, 1, s) + A(k, 2) * a(i, j, 2, s) + A(k, 3) * a(i, j, 3, s);
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j)
      for (int k = 1; k <= 3; ++k)
        for (int l = 1; l <= 3; ++l)
          a(i, j, k, l) =
              A(l, 1) * b(i, j, k, 1) + A(l, 2) * b(i, j, k, 2) + A(l, 3) * b(i, j, k, 3);
  out = a;
}

constexpr Real kHalfPi = 1.5707963267948966193L;
// FibreRotation and the fibre path of the ODF lookup (texture::FiberPath, which
// AverageAlongFiber also uses) build the same matrices only if their quarter turns agree to
// the last bit.
static_assert(kHalfPi == core::kPi / 2);

Tensor2 FibreRotation(const core::OrientationsRec& ctx, Real lamda) {
  // The sample frame is turned so that m becomes its z axis, the crystal frame so that the
  // plane normal does; lamda turns the crystal about that common axis.
  const Tensor2 Rs =
      texture::EulerToMatrix(ctx.SamplePolAngles.phi + kHalfPi, ctx.SamplePolAngles.psi, 0);
  const Tensor2 Rc =
      texture::EulerToMatrix(lamda, ctx.CrystPolAngles.psi, kHalfPi - ctx.CrystPolAngles.phi);
  Tensor2 g;
  core::MatMul3x3(Rc, Rs, g);
  Tensor2 G;
  core::Transpose3x3(g, G);  // a rotation: the inverse is the transpose; Invert3x3 as fallback
  core::Invert3x3(g, G);
  return G;
}

bool FibreModelAvailable(ModelCode code) {
  switch (code) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 6:
    case 7:
    case 8:
    case 9:
      return true;
    default:
      return false;
  }
}

namespace {

Tensor4 ReussCompliance(const core::OrientationsRec& ctx, const Tensor2& G) {
  Tensor4 s = ctx.Lr;
  core::InvertTensor(s, ctx.Cryst.SYS);
  Tensor4 out;
  RotateTensor4(s, G, out);
  return out;
}

// The self-consistent models need L:W, the same for every grain of the fibre.
bool NeedsLW(int code) { return code == 3 || code == 4 || code == 7 || code == 8; }

// The grain tensor of a model other than Voigt for the grain turned by G; LW is L:W when
// NeedsLW(code).
void GrainModelTensorAt(const core::OrientationsRec& ctx, Tensor4& out, int code, const Tensor2& G,
                        const Tensor4& LW) {
  const Tensor4& L = ctx.L;
  const Tensor4& M = ctx.M;
  const int kappa = ctx.InvSym;
  Tensor4 T;
  if (code == 2 || code == 6) {
    T = ReussCompliance(ctx, G);
    if (code == 6) {
      core::AddTensors(T, VoigtCompliance(ctx.Lr), T, 1);
      core::ScaleTensor(T, 0.5L);
    }
    out = T;
    return;
  }
  if (code == 9) {
    RotateTensor4(M, G, out);
    return;
  }
  Tensor4 Cp;
  RotateTensor4(ctx.Lr, G, Cp);
  if (code == 1) {
    // Modified Voigt: the stiffness of the grains on the fibre, averaged and then inverted.
    out = Cp;
    return;
  }
  Tensor4 A, B, X;
  if (code == 3 || code == 7) {
    core::AddTensors(Cp, L, B, -1);
    core::AddTensors(B, LW, X, 1);
    core::InvertTensor(X, kappa);
    core::ContractTensors(X, B, A);
    core::ContractTensors(A, M, B);
    if (code == 3) {
      core::AddTensors(M, B, T, -1);
    } else {
      core::InvertTensor(B, kappa);
      core::AddTensors(L, B, T, -1);
      core::InvertTensor(T, kappa);
    }
  } else {  // 4 and 8
    core::AddTensors(Cp, L, B, -1);
    core::AddTensors(B, LW, X, 1);
    core::InvertTensor(X, kappa);
    core::ContractTensors(X, B, A);
    Tensor4 Y;
    core::ContractTensors(Cp, A, Y);
    core::AddTensors(Cp, Y, T, -1);
    if (code == 4) {
      core::InvertTensor(T, kappa);
    } else {
      core::AddTensors(T, L, T, -1);
      core::InvertTensor(T, kappa);
      core::AddTensors(M, T, T, -1);
    }
  }
  out = T;
}

// Points of the ODF per fibre at least: 0.9 degrees apart, the points of the pole density.
constexpr int kFineOdfPoints = 2 * texture::kPoleDensityIntervals;

// ODF points per tensor point of the fibre average with N intervals: 1 from 2N = 400 on.
int FineOdfFactor(int N) { return std::max(1, (kFineOdfPoints + 2 * N - 1) / (2 * N)); }

// The ODF at point j of the rule with n intervals along the fibre: from the pole density's
// samples when they are of this fibre at this n, else looked up.
Real FibreOdf(const core::OrientationsRec& ctx, const texture::FiberPath& path,
              const texture::FiberStep& step, int j, const texture::FiberSamples* samples) {
  if (samples) return samples->values[static_cast<std::size_t>(j)];
  const texture::EulerAnglesDouble e = path.Angles(step.cosDouble, step.sinDouble);
  return texture::ODFValueOfDoubles(ctx, e.phi1, e.phi, e.phi2);
}

// The pole density's samples if they are of the fibre of ctx at n intervals, else null.
const texture::FiberSamples* SamplesOfThisFibre(const core::OrientationsRec& ctx,
                                                const texture::FiberSamples* samples, int n) {
  return samples && samples->Of(ctx.SamplePolAngles.psi, ctx.SamplePolAngles.phi,
                                ctx.CrystPolAngles.psi, ctx.CrystPolAngles.phi, n)
             ? samples
             : nullptr;
}

// The weights of the 2N tensor points lamda_i = i h of the fibre: w_i = integral of f(lamda)
// D(lamda - lamda_i) over the turn, D the cardinal trigonometric interpolant of the 2N points
// (sin(N x) cot(x / 2) / 2N), by the trapezoidal rule on K > 1 points per interval. A grain
// tensor that is a trigonometric polynomial of degree below N is integrated against the
// finely sampled ODF exactly; the weights sum to the fine rule's integral of f.
const std::vector<Real>& FibreWeights(const core::OrientationsRec& ctx,
                                      const texture::FiberPath& path, int N,
                                      const texture::FiberSamples* samples) {
  const int M = 2 * N;
  const int K = FineOdfFactor(N);
  const int MK = M * K;
  struct Kernel {
    int N = 0, K = 0;
    std::vector<double> d;
  };
  thread_local Kernel kernel;
  if (kernel.N != N || kernel.K != K) {
    kernel.N = N, kernel.K = K;
    kernel.d.assign(static_cast<std::size_t>(MK), 0);
    for (int r = 0; r < MK; ++r) {
      if (r % K == 0) {
        kernel.d[static_cast<std::size_t>(r)] = r == 0 ? 1 : 0;
        continue;
      }
      const Real x = 2 * core::kPi * r / MK;
      kernel.d[static_cast<std::size_t>(r)] =
          static_cast<double>(std::sin(N * x) / std::tan(x / 2) / M);
    }
  }
  thread_local std::vector<double> f;
  thread_local std::vector<Real> w;
  f.resize(static_cast<std::size_t>(2 * MK));
  const texture::FiberSamples* given = SamplesOfThisFibre(ctx, samples, N * K);
  texture::FiberSteps fine(N * K);
  for (int j = 0; j < MK; ++j)
    f[static_cast<std::size_t>(j)] = f[static_cast<std::size_t>(j + MK)] =
        static_cast<double>(FibreOdf(ctx, path, fine[j], j, given));
  const Real h = 2 * core::kPi / MK;
  w.assign(static_cast<std::size_t>(M), 0);
  for (int i = 0; i < M; ++i) {
    // In double (the ODF values are doubles), four partial sums to keep the pipeline busy.
    const double* fi = f.data() + static_cast<std::ptrdiff_t>(i) * K;
    const double* d = kernel.d.data();
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    int r = 0;
    for (; r + 4 <= MK; r += 4) {
      s0 += d[r] * fi[r];
      s1 += d[r + 1] * fi[r + 1];
      s2 += d[r + 2] * fi[r + 2];
      s3 += d[r + 3] * fi[r + 3];
    }
    for (; r < MK; ++r) s0 += d[r] * fi[r];
    const double s = (s0 + s1) + (s2 + s3);
    w[static_cast<std::size_t>(i)] = s * h;
  }
  return w;
}

}  // namespace

bool GrainModelTensor(const core::OrientationsRec& ctx, Tensor4& out, ModelCode code, Real lamda) {
  if (!FibreModelAvailable(code)) return false;
  if (code == 0) {
    out = VoigtCompliance(ctx.Lr);
    return true;
  }
  Tensor4 LW;
  if (NeedsLW(code)) core::ContractTensors(ctx.L, ctx.W, LW);
  GrainModelTensorAt(ctx, out, code, FibreRotation(ctx, lamda), LW);
  return true;
}

bool AverageAlongFiber(core::OrientationsRec& ctx, Tensor4& out, ModelCode code,
                       const texture::FiberSamples* samples) {
  if (!FibreModelAvailable(code)) return false;
  if (code == 0) return GrainModelTensor(ctx, out, static_cast<polydec::ModelCode>(0), 0);
  if (ctx.AlwaysUpdateEshelby && !UpdateEshelby(ctx)) return false;
  const int N = ctx.IIntervls;
  if (N >= 1) {
    // The fibre's orientations as FibreRotation builds them, at the points of the pole-density
    // rule.
    const texture::FiberPath path(ctx.SamplePolAngles.psi, ctx.SamplePolAngles.phi,
                                  ctx.CrystPolAngles.psi, ctx.CrystPolAngles.phi);
    texture::FiberSteps steps(N);
    Tensor4 LW;
    if (NeedsLW(code)) core::ContractTensors(ctx.L, ctx.W, LW);
    const bool weighted = ctx.UseODF && ctx.ODFNUMP >= 1;
    const auto grain = [&](const texture::FiberStep& step, Tensor4& f) {
      const Tensor2 g = path.Matrix(step.cosLamda, step.sinLamda);
      Tensor2 G;
      core::Transpose3x3(g, G);  // a rotation: the inverse is the transpose; Invert3x3 as fallback
      core::Invert3x3(g, G);
      GrainModelTensorAt(ctx, f, code, G, LW);
    };
    if (weighted) {
      // The grain tensor is a smooth function of lamda, the ODF along the fibre is not (a sharp
      // texture, interpolated between the 5-degree nodes): the ODF is sampled finely and each
      // grain tensor point receives the integral of the ODF times its cardinal trigonometric
      // interpolant, so the 2N tensors integrate the finely sampled ODF.
      // From 400 tensor points on, the ODF is sampled at the tensor points themselves and
      // the weights are those of the trapezoidal rule, formed as the points come.
      const bool fine = FineOdfFactor(N) > 1;
      const std::vector<Real>* w = fine ? &FibreWeights(ctx, path, N, samples) : nullptr;
      const texture::FiberSamples* given = fine ? nullptr : SamplesOfThisFibre(ctx, samples, N);
      Real I = 0;
      Tensor4 sum, f;
      for (int k = 0; k < 2 * N; ++k) {
        // One copy of the point: past the tables, asking for it again would recount lamda.
        const texture::FiberStep step = steps[k];
        const Real wk =
            w ? (*w)[static_cast<std::size_t>(k)] : FibreOdf(ctx, path, step, k, given);
        I += wk;
        if (wk == 0) continue;
        grain(step, f);
        for (int n = 0; n < 81; ++n) sum.e[n] += f.e[n] * wk;
      }
      // The trapezoidal rule's common factor h cancels in the normalization.
      for (int n = 0; n < 81; ++n) out.e[n] = I > 0 ? sum.e[n] / I : 0;
    } else {
      const Real h = steps.Step();
      const int last = steps.Last();
      Tensor4 odd, even, f;
      for (int k = 1; k < last; ++k) {
        grain(steps[k], f);
        Tensor4& sum = (k % 2 == 1) ? odd : even;
        for (int n = 0; n < 81; ++n) sum.e[n] += f.e[n];
      }
      Tensor4 f0, f2pi;
      grain(steps[last], f2pi);
      grain(steps[0], f0);
      const Real I = 2 * core::kPi;
      for (int n = 0; n < 81; ++n)
        out.e[n] = (f0.e[n] + f2pi.e[n] + 2 * even.e[n] + 4 * odd.e[n]) * (h / I) / 3;
    }
  }
  if (code == 1) core::InvertTensor(out, 11);
  return true;
}

Tensor2 StressFactorMatrix(const Tensor4& T, Real phi, Real psi) {
  const Real m[4] = {0, std::cos(phi) * std::sin(psi), std::sin(phi) * std::sin(psi),
                     std::cos(psi)};
  Tensor2 F;
  for (int k = 1; k <= 3; ++k)
    for (int l = 1; l <= 3; ++l)
      for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) F(k, l) += T(i, j, k, l) * m[i] * m[j];
  return F;
}

}  // namespace polydec::models
