// Levenberg-Marquardt refinement of single-crystal (and matrix) stiffness components against
// measured stress factors F11 (Marquardt 1963, in the formulation of Press et al., Numerical
// Recipes), with numerical derivatives through the grain-interaction models, the covariance
// and correlation of the fitted constants, and the fit report (*.res).
#pragma once

#include <string>

#include "core/records.h"
#include "fit/fit_record.h"
#include "polydec/types.h"

namespace polydec::fit {

// Error codes of LMStep.
enum LMError : int {
  kLMOk = 0,
  kLMImproperPermutation1 = 1,  // a parameter number occurs twice in the fitted list
  kLMImproperPermutation2 = 2,  // the completed list does not hold every parameter once
  kLMSingular = 3,              // the curvature matrix cannot be inverted
  kLMNotFinite = 4,             // chi-square of the starting constants is not a number
  kLMNothingToFit = 5,          // no fitted parameter (or more than there are)
};

struct LMStepResult {
  int error = kLMOk;
  std::string message;
};

// Checks that a fit can start: data loaded and sound, at least one and at most ndata fitted
// constants, a model the fit can evaluate, integration intervals for the fibre models. Empty
// when it can, else the reason for the user.
std::string CheckFitSetup(const core::OrientationsRec& ctx, const FitRecord& rec, ModelCode code);

// Calculated stress factor F11 of data point i for the parameters a under the model `code`, and
// its derivatives dyda[p] for the fitted parameters p. The crystal symmetry form is imposed on
// a1..a21 in place, the sample symmetry form on a copy of a22..a42. The context receives Lr, L
// and M of a (and the Eshelby tensors when AlwaysUpdateEshelby is set); the derivatives leave it
// as they found it.
core::Real EvaluateFitPoint(int i, core::OrientationsRec& ctx, const FitRecord& rec, ModelCode code,
                            core::FloatVec& a, core::FloatVec& dyda);

// Curvature matrix alpha (mfit x mfit), the vector beta and chi-square of the parameters v over
// all data points; rec.calc receives the calculated values. alpha and beta may be fields of rec.
void LMCoefficients(core::OrientationsRec& ctx, FitRecord& rec, ModelCode code, core::FloatVec& v,
                    core::FloatMat& alpha, core::FloatVec& beta, core::Real& chisq);

// One step of the method. alamda < 0 starts a cycle (completes the parameter list, evaluates
// the starting point, damping 0.001); alamda = 0 closes the fit, leaving in covar the
// covariance of the fitted constants by parameter number. Otherwise a trial step is taken and
// kept only when it lowers chi-square. An error leaves the parameters as they were.
LMStepResult LMStep(core::OrientationsRec& ctx, FitRecord& rec, ModelCode code);

// Spreads the mfit x mfit covariance (fit order) over the parameter numbers 1..ma.
void SortCovariance(core::FloatMat& covar, int ma, const core::IntVec& ia, int mfit);

// Correlation of the fitted constants, crl[i][j] for the fit positions i, j = 1..mfit, from
// the covariance left by the closing step.
void CorrelationMatrix(FitRecord& rec);

// Standard uncertainty of parameter p (GPa) after the closing step; 0 for a fixed parameter.
core::Real ParameterError(const FitRecord& rec, int p);
bool IsFitted(const FitRecord& rec, int p);

// The text of one fit report (CR LF line ends); fills rec.crl. When a value of the report is
// not finite, notFinite (if given) receives its name and the text must not be written;
// else it is emptied.
std::string FitReportText(const core::OrientationsRec& ctx, FitRecord& rec,
                          std::string* notFinite = nullptr);

// Appends text to the report file (creating it when it does not exist) through a temporary file
// renamed over it, so an interrupted write never loses the earlier reports. False with a
// message when the file cannot be read or written.
bool AppendFitReport(const std::string& path, const std::string& text, std::string& error);

}  // namespace polydec::fit
