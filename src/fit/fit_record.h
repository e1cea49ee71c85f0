// The record of a single-crystal constant fit: parameters, the fitted subset, the
// Levenberg-Marquardt work matrices and the measured data.
#pragma once

#include <array>
#include <string>

#include "core/types.h"

namespace polydec::fit {

// Number of parameters: 21 single-crystal stiffness components and 21 of the matrix.
inline constexpr int kFitParameters = 42;
// The record holds at most this many measured stress factors.
inline constexpr int kMaxFitPoints = 20;
// Upper bound of the steps per cycle (MAXITER), so that every cycle ends in reasonable time.
inline constexpr int kMaxStepsPerCycle = 10000;

using FitPointArray = std::array<core::Real, kMaxFitPoints + 1>;  // entries 1..ndata

struct FitRecord {
  // a1..a21: single-crystal stiffness, a22..a42: matrix stiffness, both in the 21-component
  // order and in GPa.
  core::FloatVec a{};
  core::FloatVec beta{};  // gradient of chi-square (times -1/2), fit order
  // ia[1..mfit]: the fitted parameter numbers in fit order; a cycle completes the list with the
  // fixed ones up to ma.
  core::IntVec ia{};
  core::IntVec save_ia{};
  core::Int ma = kFitParameters;
  core::Int mfit = 0;
  core::Int save_mfit = 0;
  core::Real h = 0.001L;  // relative step of the numerical derivatives
  // covar: work matrix, after the closing step the covariance by parameter number (GPa^2);
  // alpha: curvature matrix, fit order; crl: correlation matrix, fit order.
  core::FloatMat covar{}, alpha{}, crl{};
  core::Real chisq = 0;
  core::Real alamda = 0;
  core::Real MinChi = 0;
  core::Int MAXITER = 0;
  core::Int RefineSingleParameter = 0;

  // Measured data points 1..ndata: z and sig in GPa^-1, phi and psi in radians, the polar
  // angles of the reflection normal in the crystal frame, the calculated value.
  core::Int ndata = 0;
  FitPointArray z{}, sig{}, phi{}, psi{}, crystphi{}, crystpsi{}, calc{};
  std::array<core::Tensor1, kMaxFitPoints + 1> hkl{};

  // State of the method kept between steps: chi-square of the accepted parameters, the trial
  // step and the trial parameters.
  core::Real ochisq = 0;
  core::FloatVec da{}, atry{};
  // Trial steps made since the fit started.
  core::Int Steps = 0;
  // The fit input file the record was loaded from.
  std::string InputFile;
};

}  // namespace polydec::fit
