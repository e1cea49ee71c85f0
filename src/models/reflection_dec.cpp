#include "models/reflection_dec.h"

#include <cmath>

#include "core/tensor_inversion.h"
#include "crystal/lattice.h"
#include "models/fibre_average.h"

namespace polydec::models {

using core::CijklVector;
using core::Real;
using core::Tensor1;
using core::Tensor4;

std::string ModelName(ModelCode code) {
  switch (code) {
    case kVoigt:
      return "Voigt";
    case kMVoigt:
      return "MVoigt";
    case kReuss:
      return "Reuss";
    case kKroener:
      return "Kroener";
    case kInverseKroener:
      return "inverse Kroener";
    case kHill:
      return "Hill";
    case kVookWitt:
      return "Vook-Witt";
    default:
      return "model code " + std::to_string(code);
  }
}

namespace {

struct ModelOption {
  std::string_view name;
  ModelCode code;
};

constexpr ModelOption kModelOptions[] = {{"voigt", kVoigt},     {"mvoigt", kMVoigt},
                                         {"reuss", kReuss},     {"hill", kHill},
                                         {"kroener", kKroener}, {"inverse-kroener", kInverseKroener}};

}  // namespace

std::optional<ModelCode> ModelFromOptionName(std::string_view name) {
  for (const ModelOption& m : kModelOptions)
    if (m.name == name) return m.code;
  return std::nullopt;
}

std::string ModelOptionNames() {
  std::string names;
  for (const ModelOption& m : kModelOptions) {
    if (!names.empty()) names += ", ";
    names += m.name;
  }
  return names;
}

std::string_view ModelOptionName(ModelCode code) {
  for (const ModelOption& m : kModelOptions)
    if (m.code == code) return m.name;
  return {};
}

bool ReflectionModelAvailable(ModelCode code) {
  return code == kVoigt || code == kMVoigt || code == kReuss || code == kKroener ||
         code == kInverseKroener || code == kHill;
}

void IsotropicAverage(Tensor4& T) {
  const Real A = T(1, 1, 1, 1) + T(2, 2, 2, 2) + T(3, 3, 3, 3);
  const Real B = T(1, 1, 2, 2) + T(1, 1, 3, 3) + T(2, 2, 3, 3);
  const Real G = T(1, 2, 1, 2) + T(1, 3, 1, 3) + T(2, 3, 2, 3);
  const Real c11 = (2 * (A + 2 * G) + (A + 2 * B)) / 15;
  const Real c12 = (2 * (A + 2 * B) - (A + 2 * G)) / 15;
  const Real c44 = (c11 - c12) / 2;
  CijklVector v{};
  v[1] = v[16] = v[21] = c11;
  v[4] = v[6] = v[18] = c12;
  v[7] = v[12] = v[19] = c44;
  core::CijklToTensor(v, T);
}

void DecInvariants(const Tensor4& T, const Tensor1& n, Real& s1, Real& halfS2) {
  // s1 = 1/2 ni nj (dkl - nk nl) Tijkl and 1/2 s2 = 1/2 ni nj (3 nk nl - dkl) Tijkl, formed from
  // the strain along n per unit uniaxial stress along n, A = ni nj Tijkl nk nl, and per unit
  // hydrostatic stress, B = ni nj Tijkk: s1 = (B - A)/2, 1/2 s2 = (3A - B)/2.
  Real N[3][3] = {};
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) {
      const Real w = n(i) * n(j);
      for (int k = 1; k <= 3; ++k)
        for (int l = 1; l <= 3; ++l) N[k - 1][l - 1] += w * T(i, j, k, l);
    }
  Real A = 0;
  for (int k = 1; k <= 3; ++k)
    for (int l = 1; l <= 3; ++l) A += N[k - 1][l - 1] * n(k) * n(l);
  const Real B = N[0][0] + N[1][1] + N[2][2];
  s1 = (B - A) / 2;
  halfS2 = (3 * A - B) / 2;
}

Tensor4 VoigtCompliance(const Tensor4& C) {
  Tensor4 t = C;
  IsotropicAverage(t);
  core::InvertTensor(t, 0);
  return t;
}

bool CalcReflectionDEC(core::OrientationsRec& ctx, CijklVector& T21, ModelCode code) {
  core::TensorToCijkl(ctx.Mr, T21);
  ctx.AxisLength = {1, 1, 1};
  ctx.SamplePolAngles = {0, 0};
  if (!ReflectionModelAvailable(code)) return false;

  if (code == kMVoigt) {
    // The modified Voigt model needs the grains of the fibre: the averaged stiffness along the
    // fibre for the measurement direction z, inverted, read as stress factors F11 = s1 and
    // F33 - F11 = 1/2 s2.
    ctx.CrystPolAngles = crystal::HKLToPolarAngles(ctx.Cryst, ctx.hkl(1), ctx.hkl(2), ctx.hkl(3));
    Tensor4 T;
    core::CijklToTensor(T21, T);
    if (!AverageAlongFiber(ctx, T, kMVoigt)) return false;
    core::TensorToCijkl(T, T21);
    const core::Tensor2 F = StressFactorMatrix(T, 0, 0);
    ctx.s1 = F(1, 1);
    ctx.s2 = F(3, 3) - F(1, 1);
    return true;
  }

  const Tensor4& C = ctx.Lr;
  const Tensor4& L = ctx.L;
  const Tensor4& M = ctx.M;
  Tensor4 A, B, T;
  switch (code) {
    case kVoigt:
      T = VoigtCompliance(C);
      break;
    case kReuss:
      T = ctx.Mr;
      break;
    case kHill:
      core::AddTensors(VoigtCompliance(C), ctx.Mr, T, 1);
      core::ScaleTensor(T, 0.5L);
      break;
    case kKroener: {
      // Self-consistent grain in the matrix L (Kroener 1958):
      // T = M - [(C - L) + L:W]^-1 : (C - L) : M.
      core::ContractTensors(L, ctx.W, A);
      core::AddTensors(C, L, B, -1);
      Tensor4 X;
      core::AddTensors(B, A, X, 1);
      core::InvertTensor(X, 11);
      core::ContractTensors(X, B, A);
      core::ContractTensors(A, M, B);
      core::AddTensors(M, B, T, -1);
      break;
    }
    case kInverseKroener: {
      // The same interaction written for stresses: T = [C - C : X^-1 : (C - L)]^-1.
      core::AddTensors(C, L, B, -1);
      core::ContractTensors(L, ctx.W, A);
      Tensor4 X;
      core::AddTensors(B, A, X, 1);
      core::InvertTensor(X, 11);
      core::ContractTensors(X, B, A);
      Tensor4 Y;
      core::ContractTensors(C, A, Y);
      core::AddTensors(C, Y, T, -1);
      core::InvertTensor(T, 11);
      break;
    }
    default:
      return false;
  }
  core::TensorToCijkl(T, T21);

  ctx.CrystPolAngles = crystal::HKLToPolarAngles(ctx.Cryst, ctx.hkl(1), ctx.hkl(2), ctx.hkl(3));
  const Real phic = ctx.CrystPolAngles.phi, psic = ctx.CrystPolAngles.psi;
  Tensor1 n;
  n(1) = std::cos(phic) * std::sin(psic);
  n(2) = std::sin(phic) * std::sin(psic);
  n(3) = std::cos(psic);
  DecInvariants(T, n, ctx.s1, ctx.s2);
  return true;
}

bool DecDependsOnDirection(ModelCode code, const core::EllipsoidAxisLength& axes) {
  const bool embedded = code == kKroener || code == kInverseKroener;
  return embedded && !(axes.a == axes.b && axes.b == axes.c);
}

bool CalcDirectionalDEC(core::OrientationsRec& ctx, ModelCode code, Real phi, Real psi, Real& s1,
                        Real& halfS2) {
  if (!ReflectionModelAvailable(code)) return false;
  ctx.CrystPolAngles = crystal::HKLToPolarAngles(ctx.Cryst, ctx.hkl(1), ctx.hkl(2), ctx.hkl(3));
  ctx.SamplePolAngles = {phi, psi};
  Tensor4 T;
  if (code == kHill) {
    // Hill's estimate: the mean of the Voigt and Reuss grain compliances.
    Tensor4 reuss;
    if (!AverageAlongFiber(ctx, reuss, kReuss)) return false;
    core::AddTensors(VoigtCompliance(ctx.Lr), reuss, T, 1);
    core::ScaleTensor(T, 0.5L);
  } else if (!AverageAlongFiber(ctx, T, code)) {
    return false;
  }
  Tensor1 m;
  m(1) = std::cos(phi) * std::sin(psi);
  m(2) = std::sin(phi) * std::sin(psi);
  m(3) = std::cos(psi);
  DecInvariants(T, m, s1, halfS2);
  return true;
}

}  // namespace polydec::models
