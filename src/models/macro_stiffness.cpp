#include "models/macro_stiffness.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

#include "core/linalg.h"
#include "core/tensor_inversion.h"
#include "models/eshelby.h"
#include "models/fibre_average.h"
#include "models/symmetry_projection.h"
#include "texture/odf_grid.h"
#include "texture/orientation.h"

namespace polydec::models {

using core::CijklVector;
using core::OrientationsRec;
using core::Real;
using core::Tensor4;

namespace {

// Class codes outside the table act as triclinic: every component is independent.
int ComponentClass(int symmetry) { return symmetry >= 0 && symmetry <= 10 ? symmetry : 10; }

std::vector<int> IndependentPositions(int symmetry) {
  const auto& row = core::SymmetryComponents[ComponentClass(symmetry)];
  return std::vector<int>(row.begin() + 1, row.begin() + 1 + row[0]);
}

// The residual averaged over the rotations of the sample symmetry: the self-consistency that a
// grain set (or an integration) without that exact symmetry can meet. Taking the components at
// the independent positions instead would solve a different equation whenever components that
// the symmetry ties together differ (for an isotropic sample: 1111, 2222 and 3333), and give a
// stiffness whose bulk modulus lies outside the Voigt and Reuss values. Classes whose
// independent components are a subset (orthorhombic, monoclinic, triclinic) need nothing.
void AverageOverSampleSymmetry(CijklVector& F, int cls) {
  const auto at = [&F](int i, int j, int k, int l) -> Real& {
    return F[core::CijklPosition(i, j, k, l)];
  };
  if (cls == 0) {
    const Real s1 = at(1, 1, 1, 1) + at(2, 2, 2, 2) + at(3, 3, 3, 3);
    const Real s2 = at(1, 1, 2, 2) + at(1, 1, 3, 3) + at(2, 2, 3, 3);
    const Real s3 = at(2, 3, 2, 3) + at(1, 3, 1, 3) + at(1, 2, 1, 2);
    // The projections on the volumetric and deviatoric isotropic tensors J and K.
    const Real a = (s1 + 2 * s2) / 3;
    const Real b = (s1 + 2 * s3 - a) / 5;
    F = CijklVector{};
    for (int i = 1; i <= 3; ++i) {
      at(i, i, i, i) = a / 3 + 2 * b / 3;
      for (int j = i + 1; j <= 3; ++j) {
        at(i, i, j, j) = a / 3 - b / 3;
        at(i, j, i, j) = b / 2;
      }
    }
  } else if (cls == 2) {
    // Rotations about the sample's 3 axis.
    const Real r11 = at(1, 1, 1, 1), r22 = at(2, 2, 2, 2), r12 = at(1, 1, 2, 2),
               r66 = at(1, 2, 1, 2), r13 = at(1, 1, 3, 3), r23 = at(2, 2, 3, 3),
               r44 = at(2, 3, 2, 3), r55 = at(1, 3, 1, 3), r33 = at(3, 3, 3, 3);
    const Real c11 = (3 * (r11 + r22) + 2 * r12 + 4 * r66) / 8;
    const Real c12 = (r11 + r22 + 6 * r12 - 4 * r66) / 8;
    F = CijklVector{};
    at(1, 1, 1, 1) = at(2, 2, 2, 2) = c11;
    at(1, 1, 2, 2) = c12;
    at(1, 2, 1, 2) = (c11 - c12) / 2;
    at(1, 1, 3, 3) = at(2, 2, 3, 3) = (r13 + r23) / 2;
    at(2, 3, 2, 3) = at(1, 3, 1, 3) = (r44 + r55) / 2;
    at(3, 3, 3, 3) = r33;
  }
}

bool AllFinite(const Tensor4& T) {
  return std::all_of(T.e.begin(), T.e.end(), [](Real x) { return std::isfinite(x); });
}

// Normalised grain weights of one phase; empty when the set holds no positive finite weight.
std::vector<Real> GrainWeights(const core::GrainOrientations& g) {
  const std::size_t n = std::min({g.phi1.size(), g.phi.size(), g.phi2.size(), g.weight.size()});
  Real sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum += g.weight[i];
  if (n == 0 || !(sum > 0) || !std::isfinite(sum)) return {};
  std::vector<Real> w(n);
  for (std::size_t i = 0; i < n; ++i) w[i] = g.weight[i] / sum;
  return w;
}

bool GrainAverage(Tensor4& out, const core::ORTN_Array& list, bool compliance) {
  if (list.empty() || !list[0]) return false;
  Tensor4 sum;
  for (const core::Orientations& phase : list) {
    if (!phase) return false;
    const core::GrainOrientations& g = phase->GOrient;
    const std::vector<Real> w = GrainWeights(g);
    if (w.empty()) return false;
    const Tensor4& X = compliance ? phase->Mr : phase->Lr;
    for (std::size_t i = 0; i < w.size(); ++i)
      core::AddTensors(sum, RotateToSample(X, g.phi1[i], g.phi[i], g.phi2[i]), sum, w[i]);
  }
  const int symmetry = list[0]->SYMMETRY;
  // A finite grain set has no exact sample symmetry: its average is averaged over the symmetry's
  // rotations, as the self-consistent residual is. The compliance is brought into the sample's
  // class form before it is inverted, so that the closed-form inversions of the isotropic and
  // hexagonal classes see a tensor of their form.
  CijklVector v{};
  core::TensorToCijkl(sum, v);
  AverageOverSampleSymmetry(v, ComponentClass(symmetry));
  core::CijklToTensor(v, sum);
  CompleteBySymmetry(sum, symmetry);
  if (compliance) {
    core::InvertTensor(sum, symmetry);
    CompleteBySymmetry(sum, symmetry);
  }
  out = sum;
  return true;
}

// Simpson weights h/3 (1, 4, 2, ..., 2, 4, 1) of 2N intervals on [0, length].
std::vector<Real> SimpsonWeights(Real length, int N) {
  const int intervals = 2 * N;
  const Real h = length / static_cast<Real>(intervals);
  std::vector<Real> w(static_cast<std::size_t>(intervals) + 1);
  for (int k = 0; k <= intervals; ++k) {
    const Real factor = (k == 0 || k == intervals) ? 1 : (k % 2 == 1 ? 4 : 2);
    w[static_cast<std::size_t>(k)] = factor * h / 3;
  }
  return w;
}

// The interaction tensor Y = (C' - L) + L:W of a grain in the matrix L, inverted; L:W is the
// inverse of Hill's polarization tensor P = S:M.
Tensor4 InverseInteraction(const Tensor4& D, const Tensor4& LW) {
  Tensor4 Y;
  core::AddTensors(D, LW, Y, 1);
  core::InvertTensor(Y, 10);
  return Y;
}

// Kroener: Y^-1 : D : M, the strain of the grain minus the macroscopic strain per unit
// macroscopic stress (up to sign). Inverse Kroener: D - C' : Y^-1 : D, the grain stress minus
// the macroscopic stress per unit macroscopic strain.
Tensor4 SelfConsistentTerm(const Tensor4& Cg, const Tensor4& L, const Tensor4& LW, const Tensor4& M,
                           bool inverse) {
  Tensor4 D;
  core::AddTensors(Cg, L, D, -1);
  const Tensor4 Yinv = InverseInteraction(D, LW);
  Tensor4 YD;
  core::ContractTensors(Yinv, D, YD);
  if (!inverse) {
    Tensor4 out;
    core::ContractTensors(YD, M, out);
    return out;
  }
  Tensor4 CYD;
  core::ContractTensors(Cg, YD, CYD);
  core::AddTensors(D, CYD, D, -1);
  return D;
}

bool SelfConsistentResidual(const Tensor4& L, core::ORTN_Array& list, Tensor4& R, bool inverse) {
  R = Tensor4{};
  if (list.empty() || !list[0]) return false;
  if (!list[0]->UseGrains) {
    // The Eshelby tensor belongs to the trial matrix: the self-consistent root is the L whose
    // own inclusion problem reproduces it, so W and M are refreshed for every trial.
    OrientationsRec& phase = *list[0];
    phase.L = L;
    if (!UpdateEshelby(phase)) return false;
    ODFAverage(R, phase, phase.IIntervls / 2,
               inverse ? kInverseKroenerIntegrand : kKroenerIntegrand);
    return true;
  }
  for (core::Orientations& phase : list) {
    if (!phase) return false;
    phase->L = L;
    if (!UpdateEshelby(*phase)) return false;
    const core::GrainOrientations& g = phase->GOrient;
    const std::vector<Real> w = GrainWeights(g);
    if (w.empty()) return false;
    Tensor4 LW;
    core::ContractTensors(phase->L, phase->W, LW);
    for (std::size_t i = 0; i < w.size(); ++i) {
      const Tensor4 Cg = RotateToSample(phase->Lr, g.phi1[i], g.phi[i], g.phi2[i]);
      core::AddTensors(R, SelfConsistentTerm(Cg, L, LW, phase->M, inverse), R, w[i]);
    }
  }
  return true;
}

Real SumOfMagnitudes(const core::FloatVec& v, int n) {
  Real s = 0;
  for (int i = 1; i <= n; ++i) s += std::fabs(v[i]);
  return s;
}

}  // namespace

// Whether the 1/n turn about z leaves X unchanged to 1e-12 of its largest component (n = 1:
// whether X is finite and not zero).
bool UnchangedByTurnAboutZ(const Tensor4& X, int n) {
  Real largest = 0;
  for (Real x : X.e) largest = std::max(largest, std::fabs(x));
  if (!(largest > 0) || !std::isfinite(largest)) return false;
  const Real angle = 2 * core::kPi / n;
  core::Tensor2 R;
  R(1, 1) = R(2, 2) = std::cos(angle);
  R(1, 2) = -std::sin(angle);
  R(2, 1) = std::sin(angle);
  R(3, 3) = 1;
  Tensor4 turned;
  RotateTensor4(X, R, turned);
  Real differs = 0;
  for (std::size_t k = 0; k < X.e.size(); ++k)
    differs = std::max(differs, std::fabs(turned.e[k] - X.e[k]));
  return differs <= 1e-12L * largest;
}

// Crystal rotations about the crystal z axis that leave X unchanged shift phi2 without changing
// the rotated tensor, and the sample's half turn about z shifts phi1 by pi without changing any
// component that has an even number of indices 1 or 2. A period of the integrand in phi1 and phi2
// is integrated once, with the ODF values of the whole period summed at each point: the same
// integral, with the points of the Simpson rule set that many times closer.
OrientationFolds EulerSpaceFolds(const Tensor4& X, SampleSymmetry symmetry) {
  OrientationFolds folds;
  bool evenInPlane = true;
  for (int p : IndependentPositions(symmetry)) {
    int q[4];
    core::CijklIndex(p, q[0], q[1], q[2], q[3]);
    int inPlane = 0;
    for (int i : q) inPlane += i != 3;
    evenInPlane = evenInPlane && inPlane % 2 == 0;
  }
  folds.sample = evenInPlane ? 2 : 1;
  if (!UnchangedByTurnAboutZ(X, 1)) return folds;  // not a finite, nonzero tensor
  for (int n : {6, 4, 3, 2}) {
    if (UnchangedByTurnAboutZ(X, n)) {
      folds.crystal = n;
      break;
    }
  }
  return folds;
}

Tensor4 RotateToSample(const Tensor4& X, Real phi1, Real Phi, Real phi2) {
  Tensor4 out;
  RotateTensor4(X, texture::EulerToInverseMatrix(phi1, Phi, phi2), out);
  return out;
}

bool GrainAverageStiffness(Tensor4& out, const core::ORTN_Array& list) {
  return GrainAverage(out, list, false);
}

bool GrainAverageCompliance(Tensor4& out, const core::ORTN_Array& list) {
  return GrainAverage(out, list, true);
}

void ODFAverage(Tensor4& out, const OrientationsRec& ctx, int N, int mode) {
  if (N < 1) return;
  const int symmetry = ComponentClass(ctx.SYMMETRY);
  // The isotropic and transversely isotropic forms tie components together: the nine components
  // their average over the sample symmetry reads (those of the orthorhombic class) are
  // integrated and then averaged, since an ODF need not have that symmetry.
  const bool averaged = symmetry == 0 || symmetry == 2;
  const std::vector<int> positions = IndependentPositions(averaged ? 7 : symmetry);
  std::vector<std::array<int, 4>> indices;
  for (int p : positions) {
    std::array<int, 4> q{};
    core::CijklIndex(p, q[0], q[1], q[2], q[3]);
    indices.push_back(q);
  }

  const bool compliance = mode == kComplianceAverage;
  const Tensor4& X = compliance ? ctx.Mr : ctx.Lr;
  OrientationFolds folds = EulerSpaceFolds(X, static_cast<polydec::SampleSymmetry>(symmetry));
  // The self-consistent integrands also hold the matrix and its Eshelby tensors, which a grain
  // ellipsoid turned away from the sample axes can leave without the sample's half turn.
  if (mode == kKroenerIntegrand || mode == kInverseKroenerIntegrand) {
    for (const Tensor4* T : {&ctx.L, &ctx.M, &ctx.W})
      if (!UnchangedByTurnAboutZ(*T, 2)) folds.sample = 1;
  }
  const Real range1 = 2 * core::kPi / folds.sample, range2 = 2 * core::kPi / folds.crystal;
  const std::vector<Real> w1 = SimpsonWeights(range1, N);
  const std::vector<Real> wP = SimpsonWeights(core::kPi, N);
  const std::vector<Real> w2 = SimpsonWeights(range2, N);
  const Real h1 = range1 / (2 * N), hP = core::kPi / (2 * N), h2 = range2 / (2 * N);

  Tensor4 LW;
  core::ContractTensors(ctx.L, ctx.W, LW);

  // The normalisation is the same rule applied to f alone, so that f = const gives X's mean.
  Real If = 0;
  std::vector<Real> sums(positions.size(), 0);
  for (std::size_t i1 = 0; i1 < w1.size(); ++i1) {
    const Real phi1 = static_cast<Real>(i1) * h1;
    for (std::size_t i = 0; i < wP.size(); ++i) {
      const Real Phi = static_cast<Real>(i) * hP;
      const Real sinPhi = std::sin(Phi);
      for (std::size_t i2 = 0; i2 < w2.size(); ++i2) {
        const Real phi2 = static_cast<Real>(i2) * h2;
        Real f = 0;
        for (int a = 0; a < folds.sample; ++a)
          for (int b = 0; b < folds.crystal; ++b)
            f += texture::ODFValue(ctx, phi1 + a * range1, Phi, phi2 + b * range2);
        const Real weight = w1[i1] * wP[i] * w2[i2] * sinPhi * f;
        If += weight;
        if (weight == 0) continue;
        Tensor4 value = RotateToSample(X, phi1, Phi, phi2);
        if (mode == kKroenerIntegrand || mode == kInverseKroenerIntegrand)
          value = SelfConsistentTerm(value, ctx.L, LW, ctx.M, mode == kInverseKroenerIntegrand);
        for (std::size_t k = 0; k < indices.size(); ++k) {
          const auto& q = indices[k];
          sums[k] += weight * value(q[0], q[1], q[2], q[3]);
        }
      }
    }
  }
  if (!(If != 0)) If = texture::ODFIntegral(ctx, N);

  CijklVector v{};
  for (std::size_t k = 0; k < positions.size(); ++k) v[positions[k]] = sums[k] / If;
  if (averaged) AverageOverSampleSymmetry(v, symmetry);
  // Components that are not independent follow from the class.
  if (symmetry == 0) {
    v[16] = v[21] = v[1];
    v[6] = v[18] = v[4];
    v[7] = v[12] = v[19] = (v[1] - v[4]) / 2;
  } else if (symmetry == 2) {
    v[16] = v[1];
    v[18] = v[6];
    v[19] = v[12];
    v[7] = (v[1] - v[4]) / 2;
  }
  core::CijklToTensor(v, out);
}

bool KroenerResidual(const Tensor4& L, core::ORTN_Array& list, Tensor4& R) {
  return SelfConsistentResidual(L, list, R, false);
}

bool InverseKroenerResidual(const Tensor4& L, core::ORTN_Array& list, Tensor4& R) {
  return SelfConsistentResidual(L, list, R, true);
}

NewtonResult NewtonTrials(CijklVector& x, const std::vector<int>& unknowns, SampleSymmetry symmetry,
                          int maxTrials, const ResidualFunction& residual) {
  NewtonResult result;
  const int cls = ComponentClass(symmetry);
  const int n = static_cast<int>(unknowns.size());
  for (int p = 1; p <= 21; ++p) ProjectOnSymmetry(x, p, cls);
  if (n == 0) return result;

  const auto J = std::make_unique<core::FloatMat>();
  core::FloatVec b{}, p{};
  core::IntVec indx{};
  const auto evaluate = [&](const CijklVector& at, CijklVector& F) {
    Tensor4 T, R;
    core::CijklToTensor(at, T);
    if (!residual(T, R) || !AllFinite(R)) return false;
    F = CijklVector{};
    core::TensorToCijkl(R, F);
    AverageOverSampleSymmetry(F, cls);
    return true;
  };

  for (int trial = 0; trial < std::max(maxTrials, 1); ++trial) {
    const CijklVector start = x;
    const auto fail = [&] {
      x = start;
      result.failed = true;
      return result;
    };
    CijklVector F0;
    if (!evaluate(x, F0)) return fail();
    for (int i = 1; i <= n; ++i) b[i] = -F0[unknowns[i - 1]];
    result.residualSum = SumOfMagnitudes(b, n);
    if (result.residualSum <= kNewtonTolerance) break;

    const Real h = std::fabs(0.001L * x[1]);
    if (!(h > 0) || !std::isfinite(h)) return fail();
    for (int i = 1; i <= n; ++i) {
      const int position = unknowns[i - 1];
      x[position] += h;
      ProjectOnSymmetry(x, position, cls);
      CijklVector F1;
      const bool ok = evaluate(x, F1);
      x = start;
      if (!ok) return fail();
      for (int j = 1; j <= n; ++j) (*J)[j][i] = (F1[unknowns[j - 1]] - F0[unknowns[j - 1]]) / h;
    }

    core::LUDecompose(*J, indx, n);
    for (int j = 1; j <= n; ++j)
      if ((*J)[j][j] == 0) return fail();
    p = b;
    core::LUSolve(*J, indx, p, n);
    for (int i = 1; i <= n; ++i)
      if (!std::isfinite(p[i])) return fail();

    for (int i = 1; i <= n; ++i) {
      x[unknowns[i - 1]] += p[i];
      ProjectOnSymmetry(x, unknowns[i - 1], cls);
    }
    ++result.trials;
    result.stepSum = SumOfMagnitudes(p, n);
    if (result.stepSum <= kNewtonTolerance) break;
  }
  return result;
}

NewtonResult SolveSelfConsistent(Tensor4& L, core::ORTN_Array& list, int rounds, ModelCode code,
                                 const EvaluationCallback& onEvaluation) {
  NewtonResult result;
  if (list.empty() || !list[0]) {
    result.failed = true;
    return result;
  }
  OrientationsRec& first = *list[0];
  const int symmetry = ComponentClass(first.SYMMETRY);
  const std::vector<int> unknowns = IndependentPositions(symmetry);
  const bool inverse = code == 4;
  const int evaluations = static_cast<int>(unknowns.size()) + 1;
  int evaluated = 0;
  bool stopped = false;
  const ResidualFunction residual = [&](const Tensor4& T, Tensor4& R) {
    if (onEvaluation && !onEvaluation(evaluated % evaluations + 1, evaluations)) {
      stopped = true;
      return false;
    }
    ++evaluated;
    return SelfConsistentResidual(T, list, R, inverse);
  };

  CijklVector x{};
  core::TensorToCijkl(L, x);
  first.a = x;
  for (int round = 0; round < rounds; ++round) {
    core::CijklToTensor(x, first.L);
    result = NewtonTrials(x, unknowns, static_cast<polydec::SampleSymmetry>(symmetry), first.Iter,
                          residual);
    // A trial ends early when its residual is small enough: the count starts again with it.
    evaluated = 0;
    result.stopped = stopped;
    if (result.failed || result.stepSum < kAcceptedStepSum) break;
  }
  first.a = x;
  core::CijklToTensor(x, L);
  return result;
}

EngineeringConstantsRec MacroEngineeringConstants(const Tensor4& C, SampleSymmetry symmetry) {
  Tensor4 S = C;
  core::InvertTensor(S, symmetry);
  Real strain[4][4] = {};
  for (int k = 1; k <= 3; ++k) {
    core::Tensor2 sigma, eps;
    sigma(k, k) = 1;
    core::ContractTensor2(S, sigma, eps);
    for (int j = 1; j <= 3; ++j) strain[k][j] = eps(j, j);
  }
  const auto nu = [&strain](int k, int j) { return -strain[k][j] / strain[k][k]; };
  EngineeringConstantsRec r;
  r.E1 = 1 / S(1, 1, 1, 1);
  r.E2 = 1 / S(2, 2, 2, 2);
  r.E3 = 1 / S(3, 3, 3, 3);
  r.G1 = C(1, 2, 1, 2);
  r.G2 = C(1, 3, 1, 3);
  r.G3 = C(2, 3, 2, 3);
  r.nu12 = nu(1, 2);
  r.nu13 = nu(1, 3);
  r.nu23 = nu(2, 3);
  r.nu21 = nu(2, 1);
  r.nu31 = nu(3, 1);
  r.nu32 = nu(3, 2);
  return r;
}

SelfConsistentWatch::Verdict SelfConsistentWatch::Next(Real stepSum) {
  if (!std::isfinite(stepSum)) return Verdict::kDivergence;
  if (stepSum < kAcceptedStepSum) {
    roundsAbove_ = 0;
    growing_ = 0;
    first_ = false;
    last_ = stepSum;
    return Verdict::kConverged;
  }
  ++roundsAbove_;
  growing_ = (!first_ && stepSum > last_) ? growing_ + 1 : 0;
  first_ = false;
  last_ = stepSum;
  if (growing_ >= kMaxGrowing) return Verdict::kDivergence;
  if (roundsAbove_ >= kMaxRoundsAbove) return Verdict::kNoConvergence;
  return Verdict::kGoOn;
}


std::optional<core::CijklVector> OrthotropicStiffness(const EngineeringConstantsRec& e,
                                                      core::CijklVector c) {
  const Real D = 1 / (1 - e.nu12 * e.nu21 - e.nu13 * e.nu31 - e.nu23 * e.nu32 -
                      2 * e.nu21 * e.nu32 * e.nu13);
  c[1] = (1 - e.nu23 * e.nu32) * e.E1 * D;
  c[16] = (1 - e.nu13 * e.nu31) * e.E2 * D;
  c[21] = (1 - e.nu12 * e.nu21) * e.E3 * D;
  c[4] = (e.nu31 * e.nu23 + e.nu21) * e.E1 * D;
  c[6] = (e.nu21 * e.nu32 + e.nu31) * e.E1 * D;
  c[18] = (e.nu12 * e.nu31 + e.nu32) * e.E2 * D;
  c[7] = e.G1;
  c[12] = e.G2;
  c[19] = e.G3;
  for (int n = 1; n <= 21; ++n)
    if (!std::isfinite(c[n])) return std::nullopt;
  return c;
}

}  // namespace polydec::models
