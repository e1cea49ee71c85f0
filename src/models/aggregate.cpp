#include "models/aggregate.h"

#include <cmath>
#include <memory>
#include <vector>

#include "core/tensor_inversion.h"
#include "models/eshelby.h"
#include "models/reflection_dec.h"

namespace polydec::models {

using core::CijklVector;
using core::Real;
using core::Tensor4;

IsotropicConstants EngineeringConstants(const CijklVector& iso) {
  constexpr Real kThird = 0.33333333333333333334L;
  IsotropicConstants c;
  c.K = (2 * iso[4] + iso[1]) * kThird;
  c.G = iso[7];
  c.E = 9 * c.K * c.G / (3 * c.K + c.G);
  c.nu = (3 * c.K - 2 * c.G) / 2 / (3 * c.K + c.G);
  return c;
}

CijklVector VoigtAggregate(const CijklVector& c) {
  Tensor4 T;
  core::CijklToTensor(c, T);
  IsotropicAverage(T);
  CijklVector out{};
  core::TensorToCijkl(T, out);
  return out;
}

CijklVector ReussAggregate(const CijklVector& c) {
  Tensor4 T;
  core::CijklToTensor(c, T);
  // The general inversion holds for constants of any class, also ones typed off their form.
  core::InvertTensor(T, 10);
  IsotropicAverage(T);
  core::InvertTensor(T, 0);
  CijklVector out{};
  core::TensorToCijkl(T, out);
  return out;
}

CijklVector HillAggregate(const CijklVector& c) {
  const CijklVector v = VoigtAggregate(c);
  const CijklVector r = ReussAggregate(c);
  CijklVector out{};
  for (int n = 1; n <= 21; ++n) out[n] = (v[n] + r[n]) / 2;
  return out;
}

Tensor4 IsotropicKroenerResidual(const Tensor4& L, const Tensor4& SE, const Tensor4& W,
                                 const core::ORTN_Array& list) {
  Tensor4 LW, X;
  core::ContractTensors(L, W, LW);
  core::AddTensors(list[0]->Lr, LW, X, 1);
  core::AddTensors(X, L, X, -1);
  core::InvertTensor(X, 10);
  IsotropicAverage(X);
  core::InvertTensor(X, 0);
  Tensor4 XS, R;
  core::ContractTensors(X, SE, XS);
  core::AddTensors(L, XS, R, -1);
  return R;
}

IsotropicAggregateResult SelfConsistentAggregate(CijklVector& a, CrystalClass crystalClass) {
  core::ORTN_Array list;
  list.push_back(std::make_unique<core::OrientationsRec>());
  core::OrientationsRec& phase = *list[0];
  core::CijklToTensor(a, phase.Lr);
  phase.Cryst.SYS = crystalClass;
  phase.AxisLength = {1, 1, 1};
  phase.SYMMETRY = polydec::kIsotropicSample;
  phase.Iter = 2;

  IsotropicAggregateResult result;
  result.converged = false;
  const std::vector<int> unknowns = {1, 4};
  for (int round = 1; round <= kIsotropicRounds; ++round) {
    core::CijklToTensor(a, phase.L);
    IsotropicAverage(phase.L);
    UpdateEshelby(phase);
    const ResidualFunction residual = [&list, &phase](const Tensor4& L, Tensor4& R) {
      R = IsotropicKroenerResidual(L, phase.S, phase.W, list);
      return true;
    };
    // The Eshelby tensor is held for the round, so a small last step only says that Newton has
    // settled for it; the constants have settled when the whole round hardly moves them.
    const CijklVector before = a;
    const NewtonResult r =
        NewtonTrials(a, unknowns, static_cast<polydec::SampleSymmetry>(0), phase.Iter, residual);
    result.rounds = round;
    if (r.failed) {
      result.failed = true;
      return result;
    }
    Real moved = 0;
    for (int p = 1; p <= 21; ++p) moved += std::abs(a[p] - before[p]);
    if (moved < kAcceptedStepSum) {
      result.converged = true;
      break;
    }
  }
  return result;
}

IsotropicAggregateResult CalcIsoMaConst(CijklVector& a, CrystalClass crystalClass,
                                        ModelCode model) {
  switch (model) {
    case 0:
    case 1:
      a = VoigtAggregate(a);
      return {};
    case 2:
      a = ReussAggregate(a);
      return {};
    case 6:
      a = HillAggregate(a);
      return {};
    default:
      return SelfConsistentAggregate(a, crystalClass);
  }
}

}  // namespace polydec::models
