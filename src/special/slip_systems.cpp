#include "special/slip_systems.h"

#include <cmath>

#include "core/linalg.h"
#include "core/tensor_inversion.h"
#include "core/voigt.h"
#include "models/fibre_average.h"
#include "texture/orientation.h"

namespace polydec::special {

using core::Tensor4;

namespace {

constexpr Real kSqrt3 = 1.7320508075688772935274463415058723669L;
constexpr Real kSqrt2 = 1.4142135623730950488016887242096980786L;

SlipSystemRow Row(Real b1, Real b2, Real b3, Real n1, Real n2, Real n3) {
  SlipSystemRow r;
  r.b = Tensor1{{b1 / kSqrt3, b2 / kSqrt3, b3 / kSqrt3}};
  r.n = Tensor1{{n1 / kSqrt2, n2 / kSqrt2, n3 / kSqrt2}};
  return r;
}

// Gaussian elimination with partial pivoting on the 5 x 5 system; false on a zero pivot.
bool Solve5(Matrix5 a, Vector5& b) {
  for (int k = 0; k < 5; ++k) {
    int p = k;
    for (int i = k + 1; i < 5; ++i)
      if (std::fabs(a[i][k]) > std::fabs(a[p][k])) p = i;
    if (a[p][k] == 0) return false;
    std::swap(a[p], a[k]);
    std::swap(b[p], b[k]);
    for (int i = k + 1; i < 5; ++i) {
      const Real f = a[i][k] / a[k][k];
      for (int j = k; j < 5; ++j) a[i][j] -= f * a[k][j];
      b[i] -= f * b[k];
    }
  }
  for (int i = 4; i >= 0; --i) {
    Real s = b[i];
    for (int j = i + 1; j < 5; ++j) s -= a[i][j] * b[j];
    b[i] = s / a[i][i];
  }
  return true;
}

// tau_s of the five-number stress: (P11 - P33) s1 + (P22 - P33) s2 + P23 s3 + P13 s4 + P12 s5.
Real FiveNumberShear(const Tensor2& P, const Vector5& s) {
  return (P(1, 1) - P(3, 3)) * s[0] + (P(2, 2) - P(3, 3)) * s[1] + P(2, 3) * s[2] + P(1, 3) * s[3] +
         P(1, 2) * s[4];
}

Tensor2 FiveNumberStress(const Vector5& s) {
  Tensor2 t;
  t(1, 1) = s[0];
  t(2, 2) = s[1];
  t(3, 3) = -s[0] - s[1];
  t(2, 3) = t(3, 2) = s[2] / 2;
  t(1, 3) = t(3, 1) = s[3] / 2;
  t(1, 2) = t(2, 1) = s[4] / 2;
  return t;
}

}  // namespace

const std::array<SlipSystemRow, 12>& BCCSlipSystems() {
  static const std::array<SlipSystemRow, 12> table = {
      Row(1, 1, 1, 0, -1, 1),   Row(-1, 1, 1, 0, -1, 1), Row(1, 1, 1, 1, 0, -1),
      Row(-1, 1, -1, 1, 0, -1), Row(1, 1, 1, -1, 1, 0),  Row(-1, -1, 1, -1, 1, 0),
      Row(-1, 1, 1, 1, 0, 1),   Row(-1, -1, 1, 1, 0, 1), Row(-1, 1, -1, 1, 1, 0),
      Row(-1, 1, 1, 1, 1, 0),   Row(-1, -1, 1, 0, 1, 1), Row(-1, 1, -1, 0, 1, 1)};
  return table;
}

SlipSystemSet BCCSlipSystemSet() {
  SlipSystemSet set;
  set.RateExponent = 65;
  set.RateConstant = 1;
  set.CriticalShearStress.fill(1);
  set.StrainRateScale = 1;
  set.SystemCount = 12;
  const auto& rows = BCCSlipSystems();
  for (int s = 1; s <= 12; ++s) {
    set.SchmidTensors[s] = SchmidTensor(rows[s - 1].b, rows[s - 1].n);
    set.RotationTensors[s] = SlipRotationTensor(rows[s - 1].b, rows[s - 1].n);
  }
  return set;
}

Tensor2 SchmidTensor(const Tensor1& b, const Tensor1& n) {
  Tensor2 P;
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) P(i, j) = (b(i) * n(j) + n(i) * b(j)) / 2;
  return P;
}

Tensor2 SlipRotationTensor(const Tensor1& b, const Tensor1& n) {
  Tensor2 W;
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) W(i, j) = (b(i) * n(j) - n(i) * b(j)) / 2;
  return W;
}

std::array<Real, 49> ResolvedShearStresses(const std::array<Tensor2, 49>& tensors, int count,
                                           const Tensor2& sigma) {
  std::array<Real, 49> tau{};
  for (int s = 1; s <= count && s <= 48; ++s) {
    Tensor2 h;
    core::HadamardProduct3x3(sigma, tensors[s], h);
    tau[s] = core::SumOfEntries3x3(h);
  }
  return tau;
}

Tensor2 SumSlipTensors(const std::array<Tensor2, 49>& tensors, int count,
                       const std::array<Real, 49>& gamma) {
  Tensor2 sum;
  for (int s = 1; s <= count && s <= 48; ++s)
    for (int k = 0; k < 9; ++k) sum.e[k] += gamma[s] * tensors[s].e[k];
  return sum;
}

LargestShear LargestResolvedShear(const std::array<Real, 49>& tau, int count) {
  LargestShear best;
  for (int s = 1; s <= count && s <= 48; ++s) {
    if (std::fabs(tau[s]) > best.value * (1 + 1e-12L)) {
      best.value = std::fabs(tau[s]);
      best.system = s;
    }
  }
  return best;
}

bool GrainStress(const core::OrientationsRec& ctx, int mode, const Tensor2& sigma, Tensor2& out,
                 Real phi1, Real Phi, Real phi2) {
  if (mode == 2) {
    core::RotateTensor2(texture::EulerToMatrix(phi1, Phi, phi2), sigma, out);
    return true;
  }
  if (mode != 3 && mode != 4) return false;
  constexpr int kGeneral = 11;  // invert without assuming a symmetry
  Tensor4 Cp;
  models::RotateTensor4(ctx.Lr, texture::EulerToInverseMatrix(phi1, Phi, phi2), Cp);
  Tensor4 LW, B, X, A, T;
  core::ContractTensors(ctx.L, ctx.W, LW);
  core::AddTensors(Cp, ctx.L, B, -1);
  core::AddTensors(B, LW, X, 1);
  core::InvertTensor(X, kGeneral);
  core::ContractTensors(X, B, A);
  if (mode == 3) {
    // Kroener: grain compliance M - (C'-L+L:W)^-1 : (C'-L) : M.
    Tensor4 AM;
    core::ContractTensors(A, ctx.M, AM);
    core::AddTensors(ctx.M, AM, T, -1);
  } else {
    // Inverse Kroener: (C' - C' : (C'-L+L:W)^-1 : (C'-L))^-1.
    Tensor4 Y;
    core::ContractTensors(Cp, A, Y);
    core::AddTensors(Cp, Y, T, -1);
    core::InvertTensor(T, kGeneral);
  }
  Tensor4 CT;
  core::ContractTensors(Cp, T, CT);
  core::ContractTensor2(CT, sigma, out);
  return true;
}

Tensor2 UniaxialStrainRate(Real x, Real D0) {
  Tensor2 D;
  D(1, 1) = D0;
  D(2, 2) = -x * D0;
  D(3, 3) = -(1 - x) * D0;
  return D;
}

Matrix5 ViscoplasticMatrix(const SlipSystemSet& set, const std::array<Real, 49>& tau, Real n) {
  constexpr int r[5] = {1, 2, 4, 5, 6};
  Real M[7][7] = {};
  for (int s = 1; s <= set.SystemCount; ++s) {
    const Tensor2& P = set.SchmidTensors[s];
    const Real q[7] = {0, P(1, 1), P(2, 2), P(3, 3), P(2, 3), P(1, 3), P(1, 2)};
    const Real tc = set.CriticalShearStress[s];
    const Real w =
        set.RateConstant * core::Power(std::fabs(tau[s] / tc), n - 1) / core::Power(tc, n);
    for (int i = 1; i <= 6; ++i)
      for (int j = 1; j <= 6; ++j) M[i][j] += w * q[i] * q[j];
  }
  Matrix5 A{};
  for (int a = 0; a < 5; ++a) {
    A[a][0] = M[r[a]][1] - M[r[a]][3];
    A[a][1] = M[r[a]][2] - M[r[a]][3];
    for (int b = 2; b < 5; ++b) A[a][b] = M[r[a]][r[b]];
  }
  return A;
}

Real TaylorFactorOfStress(const SlipSystemSet& set, const Tensor2& g, const Tensor2& sigmaS) {
  Tensor2 gT;
  core::Transpose3x3(g, gT);
  Real sum = 0;
  for (int s = 1; s <= set.SystemCount; ++s) {
    Tensor2 Ps;
    core::RotateTensor2(gT, set.SchmidTensors[s], Ps);
    Real tau = 0;
    for (int k = 0; k < 9; ++k) tau += sigmaS.e[k] * Ps.e[k];
    sum += core::Power(std::fabs(tau / set.CriticalShearStress[s]), set.RateExponent);
  }
  return sum / set.StrainRateScale;
}

TaylorResult TaylorFactorAtRatio(const SlipSystemSet& set, const Tensor2& g, Real x, Real dn) {
  TaylorResult result;
  result.ratio = x;
  Tensor2 Dc;
  core::RotateTensor2(g, UniaxialStrainRate(x, set.StrainRateScale), Dc);
  const Vector5 d = {Dc(1, 1), Dc(2, 2), Dc(2, 3), Dc(1, 3), Dc(1, 2)};

  std::array<Real, 49> tau{};
  tau.fill(1);
  Vector5 s = d;
  if (!Solve5(ViscoplasticMatrix(set, tau, 1), s)) return result;

  // Continuation in the exponent: the stress of one exponent starts the next, which keeps the
  // fixed-point iteration of the strongly non-linear law (n = 65) within its reach.
  const int steps = dn > 0 ? static_cast<int>(std::ceil((set.RateExponent - 1) / dn - 1e-9L)) : 0;
  for (int k = 1; k <= steps; ++k) {
    const Real n = std::min(1 + k * dn, set.RateExponent);
    for (int it = 0; it < 400; ++it) {
      for (int t = 1; t <= set.SystemCount; ++t) tau[t] = FiveNumberShear(set.SchmidTensors[t], s);
      Vector5 next = d;
      if (!Solve5(ViscoplasticMatrix(set, tau, n), next)) return result;
      // Relaxation by 1/n: a stress off by a common factor (1 + e) gives next off by about
      // -(n - 1) e, so this step removes the error of that scale at once.
      Real largest = 0;
      for (int i = 0; i < 5; ++i) {
        const Real delta = (next[i] - s[i]) / n;
        s[i] += delta;
        largest = std::max(largest, std::fabs(delta));
      }
      if (!std::isfinite(largest)) return result;
      if (largest < 1e-10L) break;
    }
  }
  Tensor2 G, sigmaS;
  core::Invert3x3(g, G);
  core::RotateTensor2(G, FiveNumberStress(s), sigmaS);
  result.factor = TaylorFactorOfStress(set, g, sigmaS);
  result.ok = std::isfinite(result.factor);
  return result;
}

TaylorResult RateSensitiveTaylorFactor(const SlipSystemSet& set, const Tensor2& g, Real dn) {
  TaylorResult best;
  for (int k = 1; k <= 20; ++k) {
    const TaylorResult r = TaylorFactorAtRatio(set, g, 0.05L * k, dn);
    if (!r.ok) return r;
    if (k > 1 && r.factor > best.factor) break;
    best = r;
  }
  return best;
}

Tensor2 ExponentialOfSpin(const Tensor2& w) {
  const Real a1 = w(3, 2), a2 = w(1, 3), a3 = w(2, 1);
  const Real theta = std::sqrt(a1 * a1 + a2 * a2 + a3 * a3);
  Tensor2 R;
  R(1, 1) = R(2, 2) = R(3, 3) = 1;
  if (theta == 0) return R;
  const Real f1 = std::sin(theta) / theta;
  const Real f2 = (1 - std::cos(theta)) / (theta * theta);
  Tensor2 w2;
  core::MatMul3x3(w, w, w2);
  for (int k = 0; k < 9; ++k) R.e[k] += f1 * w.e[k] + f2 * w2.e[k];
  return R;
}

void SingleSlipStep(const Tensor2& sigma, SlipSystemSet& set, const Tensor2& g, Tensor2& gNext,
                    Tensor2& E, Real gamma0, Real c) {
  Tensor2 sigmaC;
  core::RotateTensor2(g, sigma, sigmaC);
  std::array<Real, 49> tau = ResolvedShearStresses(set.SchmidTensors, set.SystemCount, sigmaC);
  Real tauMax = 0;
  for (int s = 1; s <= set.SystemCount; ++s) tauMax = std::max(tauMax, std::fabs(tau[s]));
  for (int s = 1; s <= set.SystemCount; ++s) {
    if (std::fabs(tau[s]) < tauMax) tau[s] = 0;
    set.ShearIncrement[s] = tau[s] > 0 ? gamma0 : tau[s] < 0 ? -gamma0 : 0;
  }
  const Tensor2 epsC = SumSlipTensors(set.SchmidTensors, set.SystemCount, set.ShearIncrement);
  const Tensor2 omegaC = SumSlipTensors(set.RotationTensors, set.SystemCount, set.ShearIncrement);
  Tensor2 G, epsS, omegaS;
  core::Invert3x3(g, G);
  core::RotateTensor2(G, epsC, epsS);
  core::RotateTensor2(G, omegaC, omegaS);
  for (int k = 0; k < 9; ++k) E.e[k] = c * epsS.e[k];
  if (E(1, 1) < 0)
    for (int i = 1; i <= 3; ++i) E(i, i) = -E(i, i);
  // The lattice turns against the plastic spin (no imposed rotation): its axes, the rows of g
  // in sample axes, become rows of g exp(omega).
  core::MatMul3x3(g, ExponentialOfSpin(omegaS), gNext);
}

}  // namespace polydec::special
