#include "fit/lm_fit.h"

#include "core/atomic_file.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <system_error>

#include "core/atomic_file.h"
#include "core/linalg.h"
#include "core/tensor_inversion.h"
#include "core/voigt.h"
#include "crystal/lattice.h"
#include "fit/fit_input.h"
#include "core/text_fields.h"
#include "models/eshelby.h"
#include "models/fibre_average.h"
#include "models/reflection_dec.h"
#include "models/symmetry_projection.h"

namespace polydec::fit {

using core::CijklVector;
using core::FloatMat;
using core::FloatVec;
using core::OrientationsRec;
using core::Real;
using core::Tensor4;
using core::FormatPadded;

namespace {

// A pivot of the curvature matrix below this fraction of its diagonal entry means that the
// parameter is (to rounding) a combination of the ones before it.
constexpr Real kSingularPivot = 1e-13L;

// Imposes the class form on all 21 components, as every model evaluation sees the tensor.
void ProjectFully(CijklVector& v, int cls) {
  for (int p = 1; p <= 21; ++p) models::ProjectOnSymmetry(v, p, cls);
}

// Forward-difference step of a component: relative where the component has a value, else
// h GPa (a start at 0 would otherwise give a zero step).
Real DerivativeStep(Real value, Real h) { return value != 0 ? value * h : h; }

CijklVector MatrixPart(const FloatVec& a) {
  CijklVector m{};
  for (int n = 1; n <= 21; ++n) m[n] = a[21 + n];
  return m;
}

// The component vector after a change of component q by delta, in the class form the model
// evaluation gives it (the rule triggered by q, then the whole form).
CijklVector Perturbed(const CijklVector& base, int q, Real delta, int cls) {
  CijklVector c = base;
  c[q] += delta;
  models::ProjectOnSymmetry(c, q, cls);
  ProjectFully(c, cls);
  return c;
}

struct ContextTensors {
  Tensor4 Lr, Mr, L, M, W, S, P, Q;
};

ContextTensors Save(const OrientationsRec& ctx) {
  return {ctx.Lr, ctx.Mr, ctx.L, ctx.M, ctx.W, ctx.S, ctx.P, ctx.Q};
}

void Restore(OrientationsRec& ctx, const ContextTensors& t) {
  ctx.Lr = t.Lr;
  ctx.Mr = t.Mr;
  ctx.L = t.L;
  ctx.M = t.M;
  ctx.W = t.W;
  ctx.S = t.S;
  ctx.P = t.P;
  ctx.Q = t.Q;
}

bool IsIsotropic(const Tensor4& T) {
  Tensor4 average = T;
  models::IsotropicAverage(average);
  Real largest = 0, deviation = 0;
  for (std::size_t n = 0; n < T.e.size(); ++n) {
    largest = std::max(largest, std::fabs(T.e[n]));
    deviation = std::max(deviation, std::fabs(T.e[n] - average.e[n]));
  }
  // Rounding of the closed forms and of the sphere integrals stays near 1e-19.
  return std::isfinite(largest) && deviation <= 1e-15L * largest;
}

// In an untextured sample whose matrix and grain shape are isotropic, the Reuss, Hill and
// Kroener grain tensors of the fibre orientations are one crystal-frame tensor rotated. Its
// average about the measurement direction m is then the transversely isotropic part,
// F = s1 I + 1/2 s2 m m, with the s1 and 1/2 s2 of the reflection: F11 of a fibre orientation is
// a trigonometric polynomial of degree 2 in the fibre angle, which Simpson's rule with N >= 3
// integrates exactly. The reflection gives the same F11 to rounding with one tensor instead of
// 2N + 1.
bool FibreAverageIsIsotropicPart(const OrientationsRec& ctx, int code) {
  if (ctx.UseODF || ctx.IIntervls < 3) return false;
  if (code == models::kReuss || code == models::kHill) return true;
  if (code != models::kKroener && code != models::kInverseKroener) return false;
  return IsIsotropic(ctx.L) && IsIsotropic(ctx.M) && IsIsotropic(ctx.W);
}

// F11 of data point i with the tensors the context holds.
Real ModelValue(int i, OrientationsRec& ctx, const FitRecord& rec, int code) {
  const core::Tensor1& hkl = rec.hkl[i];
  ctx.hkl = hkl;
  ctx.CrystPolAngles = crystal::HKLToPolarAngles(ctx.Cryst, hkl(1), hkl(2), hkl(3));
  const Real phi = rec.phi[i];
  const Real psi = rec.psi[i];
  ctx.SamplePolAngles = {phi, psi};
  if (code >= 1 && FibreAverageIsIsotropicPart(ctx, code)) {
    const core::EllipsoidAxisLength axes = ctx.AxisLength;
    // The reflection's Reuss tensor is the context's single-crystal compliance.
    ctx.Mr = ctx.Lr;
    core::InvertTensor(ctx.Mr, ctx.Cryst.SYS);
    CijklVector t21{};
    models::CalcReflectionDEC(ctx, t21, static_cast<polydec::ModelCode>(code));
    ctx.AxisLength = axes;
    ctx.SamplePolAngles = {phi, psi};
    const Real m1 = std::cos(phi) * std::sin(psi);
    return ctx.s1 + ctx.s2 * m1 * m1;
  }
  Tensor4 T;
  if (code < 1) {
    CijklVector t21{};
    if (!models::CalcReflectionDEC(ctx, t21, static_cast<polydec::ModelCode>(code)))
      return std::numeric_limits<Real>::quiet_NaN();
    core::CijklToTensor(t21, T);
  } else if (!models::AverageAlongFiber(ctx, T, static_cast<polydec::ModelCode>(code))) {
    return std::numeric_limits<Real>::quiet_NaN();
  }
  // The stress factors belong to the direction the grains were averaged for.
  return models::StressFactorMatrix(T, phi, psi)(1, 1);
}

void SetTensorsFrom(OrientationsRec& ctx, const FloatVec& a) {
  core::CijklToTensor(a, ctx.Lr);
  core::CijklToTensor(MatrixPart(a), ctx.L);
  ctx.M = ctx.L;
  core::InvertTensor(ctx.M, ctx.SYMMETRY);
}

// Index (fit order) of the first pivot at which the symmetric matrix stops being positive
// definite, 0 when it is: a Cholesky factorisation of a copy.
int FirstSingularPivot(const FloatMat& m, int n) {
  FloatMat c = m;
  for (int j = 1; j <= n; ++j) {
    const Real diagonal = m[j][j];
    Real d = c[j][j];
    for (int k = 1; k < j; ++k) {
      const Real l = c[j][k];
      d -= l * l;
    }
    if (!std::isfinite(d) || !(diagonal > 0) || !(d > kSingularPivot * diagonal)) return j;
    const Real root = std::sqrt(d);
    c[j][j] = root;
    for (int i = j + 1; i <= n; ++i) {
      Real s = c[i][j];
      for (int k = 1; k < j; ++k) s -= c[i][k] * c[j][k];
      c[i][j] = s / root;
    }
  }
  return 0;
}

std::string SingularMessage(const FitRecord& rec, const FloatMat& curvature, int j) {
  const std::string name = ParameterName(rec.ia[j]);
  if (!(curvature[j][j] > 0))
    return "Singular curvature matrix: the calculated stress factors do not depend on " + name +
           " (a constant the symmetry class derives or sets to zero, or one the model does not "
           "use). Fix it in the fit input.";
  return "Singular curvature matrix: the measured values do not determine " + name +
         " independently of the other fitted constants (for example two constants the "
         "symmetry class ties together). Fix one of them in the fit input.";
}

// The symmetry rules turn a step of a fitted component into a smaller change of the constant
// it stands for (a cubic C1111 step moves the mean of C1111, C2222 and C3333 by a third). The
// covariance of the method belongs to the step variables; this rescales it to the constants.
void ScaleCovarianceToConstants(const OrientationsRec& ctx, FitRecord& rec) {
  CijklVector crystalBase{};
  for (int n = 1; n <= 21; ++n) crystalBase[n] = rec.a[n];
  ProjectFully(crystalBase, ctx.Cryst.SYS);
  CijklVector matrixBase = MatrixPart(rec.a);
  ProjectFully(matrixBase, ctx.SYMMETRY);

  FloatVec scale{};
  for (int j = 1; j <= rec.mfit; ++j) {
    const int p = rec.ia[j];
    const bool crystalPart = p <= 21;
    const int q = crystalPart ? p : p - 21;
    const CijklVector& base = crystalPart ? crystalBase : matrixBase;
    const Real delta = DerivativeStep(base[q], rec.h);
    const int cls =
        crystalPart ? static_cast<int>(ctx.Cryst.SYS) : static_cast<int>(ctx.SYMMETRY);
    const CijklVector c = Perturbed(base, q, delta, cls);
    scale[p] = (c[q] - base[q]) / delta;
  }
  for (int i = 1; i <= rec.mfit; ++i)
    for (int j = 1; j <= rec.mfit; ++j) {
      const int p = rec.ia[i], q = rec.ia[j];
      rec.covar[p][q] *= scale[p] * scale[q];
    }
}

}  // namespace

std::string CheckFitSetup(const OrientationsRec& ctx, const FitRecord& rec, ModelCode code) {
  if (rec.ndata < 1)
    return "No fit input is loaded: load a *.dec file with \"Load SC Constants Fit Input\" "
           "first.";
  if (rec.ndata > kMaxFitPoints)
    return std::to_string(rec.ndata) + " data points: the fit takes at most " +
           std::to_string(kMaxFitPoints) + ".";
  if (rec.mfit < 1)
    return "All constants are fixed (no non-zero flag in lines 4 and 6 of the fit input): "
           "there is nothing to fit.";
  if (rec.mfit > rec.ma || rec.ma != kFitParameters)
    return "The list of fitted constants is longer than the " + std::to_string(kFitParameters) +
           " parameters.";
  if (rec.mfit > rec.ndata)
    return std::to_string(rec.mfit) + " constants cannot be fitted to " +
           std::to_string(rec.ndata) + " measured values: fix some constants or add data points.";
  const bool available =
      code < 1 ? models::ReflectionModelAvailable(code) : models::FibreModelAvailable(code);
  if (!available)
    return "The " + models::ModelName(code) +
           " model is not available for the fit of single-crystal constants.";
  if (code >= 1 && ctx.IIntervls < 1)
    return "The number of integration intervals must be at least 1 for the " +
           models::ModelName(code) + " model.";
  for (int i = 1; i <= rec.ndata; ++i) {
    const Real s = rec.sig[i];
    if (!(s > 0) || !std::isfinite(s))
      return "Data point " + std::to_string(i) + " has no positive uncertainty.";
  }
  return "";
}

Real EvaluateFitPoint(int i, OrientationsRec& ctx, const FitRecord& rec, ModelCode code,
                      FloatVec& a, FloatVec& dyda) {
  ctx.InvSym = 10;
  const int crystalClass = ctx.Cryst.SYS, sampleClass = ctx.SYMMETRY;
  ProjectFully(a, crystalClass);
  CijklVector m = MatrixPart(a);
  ProjectFully(m, sampleClass);
  core::CijklToTensor(a, ctx.Lr);
  core::Tensor4 L;
  core::CijklToTensor(m, L);
  // The grain's Eshelby tensor belongs to the matrix it sits in: a matrix changed by a fit step
  // needs it anew, as its derivatives do, or value and derivatives would disagree.
  const bool matrixChanged = !(L == ctx.L);
  ctx.L = L;
  ctx.M = ctx.L;
  core::InvertTensor(ctx.M, sampleClass);
  if (ctx.AlwaysUpdateEshelby || matrixChanged) models::UpdateEshelby(ctx);
  const Real y = ModelValue(i, ctx, rec, code);

  const ContextTensors unperturbed = Save(ctx);
  for (int j = 1; j <= rec.mfit; ++j) {
    const int p = rec.ia[j];
    Real delta = 0;
    if (p <= 21) {
      CijklVector c{};
      for (int n = 1; n <= 21; ++n) c[n] = a[n];
      delta = DerivativeStep(c[p], rec.h);
      core::CijklToTensor(Perturbed(c, p, delta, crystalClass), ctx.Lr);
    } else {
      const int q = p - 21;
      delta = DerivativeStep(m[q], rec.h);
      core::CijklToTensor(Perturbed(m, q, delta, sampleClass), ctx.L);
      // The matrix enters through its compliance and the grain's Eshelby tensor.
      models::UpdateEshelby(ctx);
      ctx.M = ctx.L;
      core::InvertTensor(ctx.M, sampleClass);
    }
    dyda[p] = (ModelValue(i, ctx, rec, code) - y) / delta;
    Restore(ctx, unperturbed);
  }
  return y;
}

void LMCoefficients(OrientationsRec& ctx, FitRecord& rec, ModelCode code, FloatVec& v,
                    FloatMat& alpha, FloatVec& beta, Real& chisq) {
  const int mfit = rec.mfit;
  for (int j = 1; j <= mfit; ++j) {
    for (int k = 1; k <= mfit; ++k) alpha[j][k] = 0;
    beta[j] = 0;
  }
  chisq = 0;
  FloatVec dyda{};
  for (int i = 1; i <= rec.ndata; ++i) {
    const Real y = EvaluateFitPoint(i, ctx, rec, code, v, dyda);
    rec.calc[i] = y;
    const Real w = 1 / (rec.sig[i] * rec.sig[i]);
    const Real dy = rec.z[i] - y;
    for (int j = 1; j <= mfit; ++j) {
      const Real wt = dyda[rec.ia[j]] * w;
      for (int k = 1; k <= j; ++k) alpha[j][k] += wt * dyda[rec.ia[k]];
      beta[j] += dy * wt;
    }
    chisq += dy * dy * w;
  }
  for (int j = 2; j <= mfit; ++j)
    for (int k = 1; k < j; ++k) alpha[k][j] = alpha[j][k];
}

LMStepResult LMStep(OrientationsRec& ctx, FitRecord& rec, ModelCode code) {
  LMStepResult result;
  const int mfit = rec.mfit, ma = rec.ma;
  if (mfit < 1 || ma > kFitParameters || mfit > ma) {
    result.error = kLMNothingToFit;
    result.message = "No constant is to be fitted.";
    return result;
  }
  if (rec.alamda < 0) {
    int kk = mfit + 1;
    for (int j = 1; j <= ma; ++j) {
      int count = 0;
      for (int k = 1; k <= mfit; ++k)
        if (rec.ia[k] == j) ++count;
      if (count == 0) {
        // Places beyond ma are counted but never written: the list has room for ma entries.
        if (kk <= ma) rec.ia[kk] = j;
        ++kk;
      } else if (count > 1) {
        result.error = kLMImproperPermutation1;
        result.message = "Improper permutation in ia (1).";
      }
    }
    if (kk != ma + 1) {
      result.error = kLMImproperPermutation2;
      result.message = "Improper permutation in ia (2).";
    }
    // A list that does not name each parameter once cannot be fitted: stop before any change.
    if (result.error != kLMOk) return result;

    rec.alamda = 0.001L;
    LMCoefficients(ctx, rec, code, rec.a, rec.alpha, rec.beta, rec.chisq);
    rec.ochisq = rec.chisq;
    rec.atry = rec.a;
    if (!std::isfinite(rec.chisq)) {
      result.error = kLMNotFinite;
      result.message =
          "Chi-square is not a finite number for the starting constants: the model gives no "
          "stress factor for them.";
      return result;
    }
  }

  if (const int j = FirstSingularPivot(rec.alpha, mfit); j != 0) {
    result.error = kLMSingular;
    result.message = SingularMessage(rec, rec.alpha, j);
    return result;
  }
  for (int j = 1; j <= mfit; ++j) {
    for (int k = 1; k <= mfit; ++k) rec.covar[j][k] = rec.alpha[j][k];
    rec.covar[j][j] = rec.alpha[j][j] * (1 + rec.alamda);
    rec.da[j] = rec.beta[j];
  }
  if (!core::GaussJordan(rec.covar, mfit, rec.da)) {
    result.error = kLMSingular;
    result.message = "Singular curvature matrix: the step cannot be solved.";
    return result;
  }
  if (rec.alamda == 0) {
    SortCovariance(rec.covar, ma, rec.ia, mfit);
    ScaleCovarianceToConstants(ctx, rec);
    return result;
  }

  ++rec.Steps;
  for (int j = 1; j <= mfit; ++j) rec.atry[rec.ia[j]] = rec.a[rec.ia[j]] + rec.da[j];
  CijklVector c = MatrixPart(rec.atry);
  for (int j = 1; j <= mfit; ++j) {
    const int p = rec.ia[j];
    if (p <= 21)
      models::ProjectOnSymmetry(rec.atry, p, ctx.Cryst.SYS);
    else
      models::ProjectOnSymmetry(c, p - 21, ctx.SYMMETRY);
  }
  ProjectFully(rec.atry, ctx.Cryst.SYS);
  ProjectFully(c, ctx.SYMMETRY);
  for (int n = 1; n <= 21; ++n) rec.atry[21 + n] = c[n];

  // The calculated values shown are those of the accepted parameters.
  const FitPointArray accepted = rec.calc;
  LMCoefficients(ctx, rec, code, rec.atry, rec.covar, rec.da, rec.chisq);
  if (rec.chisq < rec.ochisq) {
    rec.alamda *= 0.1L;
    rec.ochisq = rec.chisq;
    for (int j = 1; j <= mfit; ++j) {
      for (int k = 1; k <= mfit; ++k) rec.alpha[j][k] = rec.covar[j][k];
      rec.beta[j] = rec.da[j];
    }
    rec.a = rec.atry;
  } else {
    rec.alamda *= 10;
    rec.chisq = rec.ochisq;
    rec.calc = accepted;
  }
  SetTensorsFrom(ctx, rec.a);
  return result;
}

void SortCovariance(FloatMat& covar, int ma, const core::IntVec& ia, int mfit) {
  for (int j = 1; j < ma; ++j)
    for (int i = j + 1; i <= ma; ++i) covar[i][j] = 0;
  for (int i = 1; i < mfit; ++i)
    for (int j = i + 1; j <= mfit; ++j) {
      if (ia[j] > ia[i])
        covar[ia[j]][ia[i]] = covar[i][j];
      else
        covar[ia[i]][ia[j]] = covar[i][j];
    }
  const Real swap = covar[1][1];
  for (int j = 1; j <= ma; ++j) {
    covar[1][j] = covar[j][j];
    covar[j][j] = 0;
  }
  covar[ia[1]][ia[1]] = swap;
  for (int j = 2; j <= mfit; ++j) covar[ia[j]][ia[j]] = covar[1][j];
  for (int j = 2; j <= ma; ++j)
    for (int i = 1; i < j; ++i) covar[i][j] = covar[j][i];
}

void CorrelationMatrix(FitRecord& rec) {
  for (int i = 1; i <= rec.mfit; ++i)
    for (int j = 1; j <= rec.mfit; ++j) {
      const int p = rec.ia[i], q = rec.ia[j];
      const Real c = rec.covar[p][q];
      rec.crl[i][j] = c == 0 ? 0 : c / std::sqrt(std::fabs(rec.covar[p][p] * rec.covar[q][q]));
    }
}

bool IsFitted(const FitRecord& rec, int p) {
  for (int j = 1; j <= rec.mfit; ++j)
    if (rec.ia[j] == p) return true;
  return false;
}

Real ParameterError(const FitRecord& rec, int p) {
  if (p < 1 || p > kFitParameters || !IsFitted(rec, p)) return 0;
  return std::sqrt(std::max(Real{0}, rec.covar[p][p]));
}

std::string FitReportText(const OrientationsRec& ctx, FitRecord& rec, std::string* notFinite) {
  std::ostringstream out;
  // A value that is not finite is never written as "INF" or "NAN": the caller refuses the
  // report, naming the first such value.
  std::string firstNotFinite;
  const auto check = [&firstNotFinite](Real x, const std::string& what) {
    if (firstNotFinite.empty() && !std::isfinite(static_cast<double>(x))) firstNotFinite = what;
    return x;
  };
  const char* eol = "\r\n";
  out << ctx.Name << eol;
  for (int n = 1; n <= 21; ++n) out << core::CijklNames[n] << '\t';
  out << eol;
  for (int n = 1; n <= 21; ++n)
    out << FormatPadded(check(rec.a[n], ParameterName(n)), 5, 1) << '\t';
  out << eol;
  // An error of 7 characters or more would run into the one before it: a blank keeps them apart.
  const auto apart = [](std::string text) { return text.front() == ' ' ? text : " " + text; };
  for (int p = 1; p <= 21; ++p)
    out << (IsFitted(rec, p)
                ? apart(FormatPadded(
                      check(ParameterError(rec, p), "the error of " + ParameterName(p)), 7, 1))
                : " 0.0   ");
  out << eol;

  out << "Calculated and measured values (in GPa^-1)" << eol;
  out << " h k l      phi    psi        calc     meas    uncertainty " << eol;
  for (int i = 1; i <= rec.ndata; ++i) {
    const core::Tensor1& hkl = rec.hkl[i];
    out << FormatPadded(hkl(1), 2, 0) << '\t' << FormatPadded(hkl(2), 2, 0) << '\t'
        << FormatPadded(hkl(3), 2, 0) << "\t\t" << FormatPadded(rec.phi[i] * core::kRadToDeg, 5, 1)
        << '\t' << FormatPadded(rec.psi[i] * core::kRadToDeg, 4, 1) << '\t'
        << FormatPadded(check(rec.calc[i] * 1000, "a calculated value"), 6, 3) << '\t'
        << FormatPadded(rec.z[i] * 1000, 6, 3) << '\t' << FormatPadded(rec.sig[i] * 1000, 6, 3)
        << '\t' << eol;
  }
  // Scientific notation in 23 characters: sign or blank, d.dddddddddddddd, E, sign, 4 digits.
  out << "Chisq : " << (std::signbit(rec.chisq) ? "" : " ")
      << core::FormatExponent(check(rec.chisq, "Chisq"), 15, 4) << eol;
  out << "Reduced Chisq : ";
  if (rec.ndata > rec.mfit)
    out << FormatPadded(rec.chisq / (rec.ndata - rec.mfit), 4, 2);
  else
    out << 0;
  out << eol;

  out << "Macro-Constants : " << eol;
  for (int n = 1; n <= 21; ++n) out << core::CijklNames[n] << '\t';
  out << eol;
  CijklVector l{};
  core::TensorToCijkl(ctx.L, l);
  for (int n = 1; n <= 21; ++n)
    out << FormatPadded(check(l[n], "the macroscopic " + ParameterName(n)), 5, 1) << '\t';
  out << eol;
  for (int p = 22; p <= kFitParameters; ++p)
    out << (IsFitted(rec, p)
                ? apart(FormatPadded(
                      check(ParameterError(rec, p), "the error of " + ParameterName(p)), 7, 1))
                : "   0.0 ");
  out << eol;
  Tensor4 S = ctx.L;
  core::InvertTensor(S, ctx.SYMMETRY);
  out << "En = " << FormatPadded(check(1 / S(3, 3, 3, 3), "En"), 5, 1)
      << "   Ep = " << FormatPadded(check(1 / S(1, 1, 1, 1), "Ep"), 5, 1) << eol;
  out << "nu1 = " << FormatPadded(check(-S(1, 1, 2, 2) / S(3, 3, 3, 3), "nu1"), 6, 4)
      << "    nu2 = " << FormatPadded(check(-S(1, 1, 2, 2) / S(1, 1, 1, 1), "nu2"), 6, 4)
      << "    nu3 = " << FormatPadded(check(-S(1, 1, 3, 3) / S(1, 1, 1, 1), "nu3"), 6, 4) << eol;

  CorrelationMatrix(rec);
  out << "Correlation-Matrix:" << eol;
  for (int i = 1; i <= rec.mfit; ++i) {
    for (int j = 1; j <= rec.mfit; ++j)
      out << FormatPadded(check(rec.crl[i][j], "a correlation"), 5, 2) << ' ';
    out << eol;
  }
  out << "Covariance-Matrix (GPa^2):";
  for (int j = 1; j <= rec.mfit; ++j) out << ' ' << ParameterName(rec.ia[j]);
  out << eol;
  for (int i = 1; i <= rec.mfit; ++i) {
    for (int j = 1; j <= rec.mfit; ++j) {
      const Real c = rec.covar[rec.ia[i]][rec.ia[j]];
      out << (std::signbit(c) ? "" : " ") << core::FormatExponent(check(c, "a covariance"), 6, 2)
          << ' ';
    }
    out << eol;
  }
  if (notFinite) *notFinite = firstNotFinite;
  return out.str();
}

bool AppendFitReport(const std::string& path, const std::string& text, std::string& error) {
  if (auto why = core::AppendFileAtomically(path, text)) {
    error = path + ": the report was not written (" + *why + ").";
    return false;
  }
  return true;
}

}  // namespace polydec::fit
