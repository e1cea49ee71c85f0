#include "polydec/fit.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>

#include "core/text_fields.h"
#include "core/voigt.h"
#include "crystal/lattice.h"
#include "crystal/symmetry_classes.h"
#include "fit/constant_fit.h"
#include "fit/fit_input.h"
#include "fit/lm_fit.h"
#include "models/symmetry_projection.h"

namespace polydec {

namespace {

// A cycle that lowers chi-square by less than this part of it (or of 1, for a chi-square near
// zero) changes nothing a user could see: the fit has converged.
constexpr Real kConvergence = 1e-9L;

// The window starts a fit from the constants its stiffness grid shows, to 0.1 GPa.
Real AsShownInTheGrid(Real x) { return core::ParseNumber(core::FormatPadded(x, 6, 1)).value; }

InputError Refused(const std::string& file, std::string message, int line = 0) {
  InputError e;
  e.file = file;
  e.line = line;
  e.message = std::move(message);
  return e;
}

// The fitted parameter that stands for the constant at position offset + q: the symmetry rules
// tie a class constant to a group of components, and a step of any member moves it. 0 when
// none of the fitted parameters moves it.
int FittedParameterFor(const fit::FitRecord& rec, int q, int cls, int offset) {
  core::CijklVector base{};
  for (int n = 1; n <= 21; ++n) base[n] = rec.a[offset + n];
  for (int j = 1; j <= rec.mfit; ++j) {
    const int p = rec.ia[j] - offset;
    if (p < 1 || p > 21) continue;
    core::CijklVector c = base;
    c[p] += std::max<Real>(1, std::fabs(c[p]));
    for (int k : {p, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21})
      models::ProjectOnSymmetry(c, k, cls);
    if (c[q] != base[q]) return rec.ia[j];
  }
  return 0;
}

// The class's free constants, each with its value and the uncertainty of the fitted parameter
// behind it.
std::vector<FittedConstant> ShownConstants(int cls, const fit::FitRecord& rec, int offset) {
  std::vector<FittedConstant> shown;
  for (const std::string& name : crystal::FreeConstantNames(static_cast<CrystalClass>(cls))) {
    const int q = core::VoigtToPosition(name[1] - '0', name[2] - '0');
    FittedConstant c;
    c.name = name;
    c.value = rec.a[offset + q];
    if (const int p = FittedParameterFor(rec, q, cls, offset); p != 0)
      c.error = fit::ParameterError(rec, p);
    shown.push_back(c);
  }
  return shown;
}

// What the file reader checks, for a record made in memory.
Status CheckInput(const SingleCrystalFitInput& in) {
  const auto refuse = [&](const std::string& m) -> Status { return Refused(in.file, m); };
  if (in.measurements.empty() || in.measurements.size() > fit::kMaxFitPoints)
    return refuse("a fit takes 1 to " + std::to_string(fit::kMaxFitPoints) + " measurements, not " +
                  std::to_string(in.measurements.size()));
  std::set<int> seen;
  for (int p : in.fitted) {
    if (p < 1 || p > fit::kFitParameters)
      return refuse("fitted parameter " + std::to_string(p) + " is not one of 1..42");
    if (!seen.insert(p).second)
      return refuse("fitted parameter " + std::to_string(p) + " is named twice");
  }
  for (int p = 1; p <= fit::kFitParameters; ++p)
    if (!std::isfinite(in.start[static_cast<std::size_t>(p)]))
      return refuse("the start value of " + fit::ParameterName(p) + " is not a finite number");
  if (in.stepsPerCycle < 1 || in.stepsPerCycle > fit::kMaxStepsPerCycle)
    return refuse("steps per cycle must lie in 1.." + std::to_string(fit::kMaxStepsPerCycle));
  for (std::size_t i = 0; i < in.measurements.size(); ++i) {
    const FitMeasurement& m = in.measurements[i];
    const std::string which = "measurement " + std::to_string(i + 1);
    if (m.hkl[0] == 0 && m.hkl[1] == 0 && m.hkl[2] == 0) return refuse(which + ": reflection 0 0 0");
    for (Real x : {m.hkl[0], m.hkl[1], m.hkl[2], m.phi, m.psi, m.value, m.sigma})
      if (!std::isfinite(x)) return refuse(which + ": a value is not a finite number");
    if (!(m.sigma > 0)) return refuse(which + ": the uncertainty must be positive");
  }
  return Ok();
}

fit::FitInput EngineInput(const SingleCrystalFitInput& in) {
  fit::FitInput e;
  e.name = in.name;
  for (int p = 1; p <= fit::kFitParameters; ++p) e.a[p] = in.start[static_cast<std::size_t>(p)];
  e.mfit = static_cast<core::Int>(in.fitted.size());
  for (std::size_t j = 0; j < in.fitted.size(); ++j)
    e.position[in.fitted[j]] = static_cast<core::Int>(j + 1);
  e.cell[0] = in.cell.a;
  e.cell[1] = in.cell.b;
  e.cell[2] = in.cell.c;
  e.cell[3] = in.cell.alpha;
  e.cell[4] = in.cell.beta;
  e.cell[5] = in.cell.gamma;
  e.SYMMETRY = in.sampleSymmetry;
  e.SYS = in.crystalClass;
  e.MAXITER = in.stepsPerCycle;
  e.EshelbyFlag = in.updateEshelby ? (*in.updateEshelby ? 1 : 0) : 2;
  for (const FitMeasurement& m : in.measurements) {
    fit::FitDataPoint d;
    d.h = m.hkl[0];
    d.k = m.hkl[1];
    d.l = m.hkl[2];
    d.phi = m.phi;
    d.psi = m.psi;
    // The values themselves are set in the fit record (Run): the file's convention of units by
    // magnitude would take a value near zero for one in 1/MPa.
    e.points.push_back(d);
  }
  return e;
}

std::vector<Real> Calculated(const fit::FitRecord& rec) {
  std::vector<Real> out;
  for (int i = 1; i <= rec.ndata; ++i) out.push_back(rec.calc[i] * 1000);
  return out;
}

// The fit input file as the engine reads it; a refusal names the file and line.
Result<fit::FitInput> ReadEngineInput(const std::string& path) {
  core::InputError error;
  std::optional<fit::FitInput> in = fit::ReadFitInputFile(path, error);
  if (!in) {
    InputError e = error;
    e.file = path;
    return e;
  }
  return std::move(*in);
}

}  // namespace

Result<SingleCrystalFitInput> ReadFitInput(const std::string& path) {
  Result<fit::FitInput> in = ReadEngineInput(path);
  if (!in) return in.error();
  SingleCrystalFitInput out;
  out.name = in->name;
  out.file = path;
  for (int p = 1; p <= fit::kFitParameters; ++p) out.start[static_cast<std::size_t>(p)] = in->a[p];
  out.fitted.assign(static_cast<std::size_t>(in->mfit), 0);
  for (int p = 1; p <= fit::kFitParameters; ++p)
    if (in->position[p] > 0) out.fitted[static_cast<std::size_t>(in->position[p] - 1)] = p;
  out.cell = {in->cell[0], in->cell[1], in->cell[2], in->cell[3], in->cell[4], in->cell[5]};
  out.crystalClass = static_cast<CrystalClass>(in->SYS);
  out.sampleSymmetry = static_cast<SampleSymmetry>(in->SYMMETRY);
  out.stepsPerCycle = static_cast<int>(in->MAXITER);
  if (in->EshelbyFlag == 0 || in->EshelbyFlag == 1) out.updateEshelby = in->EshelbyFlag == 1;
  for (const fit::FitDataPoint& d : in->points) {
    FitMeasurement m;
    m.hkl = {d.h, d.k, d.l};
    m.phi = d.phi;
    m.psi = d.psi;
    // One unit for every value, whichever the file used.
    m.value = fit::MeasuredValueInGPa(d.z) * 1000;
    m.sigma = d.sig * 1e6L;
    out.measurements.push_back(m);
  }
  return out;
}

namespace {

// The fit of an engine input; measured, when given, replaces the values of its points (in
// 1e-6/MPa, exactly as given).
Result<SingleCrystalFit> Run(const fit::FitInput& in, const std::vector<FitMeasurement>* measured,
                             const std::string& file, const SingleCrystalFitOptions& options) {
  // What ends a fit is no place in the input file: its refusals name no file.
  core::OrientationsRec ctx;
  fit::FitRecord rec;
  fit::ApplyFitInput(in, file, ctx, rec);
  if (measured)
    for (int i = 1; i <= rec.ndata; ++i) {
      const FitMeasurement& m = (*measured)[static_cast<std::size_t>(i - 1)];
      rec.z[i] = m.value / 1000;
      rec.sig[i] = m.sigma / 1000;
    }
  if (const std::string fault = crystal::CheckCell(ctx.Cryst); !fault.empty())
    return Refused({}, "cell: " + fault);
  ctx.IIntervls = options.intervals;
  if (const std::string why = fit::CheckFitSetup(ctx, rec, options.model); !why.empty())
    return Refused({}, why);
  if (options.startAsShown)
    for (int p = 1; p <= fit::kFitParameters; ++p) rec.a[p] = AsShownInTheGrid(rec.a[p]);

  bool converged = false;
  bool stopped = false;
  Real previous = -1;
  fit::FitCallbacks callbacks;
  callbacks.onCycle = [&](int cycles, const fit::FitRecord& r) {
    if (stopped) return false;
    converged = previous >= 0 && previous - r.chisq <= kConvergence * std::max<Real>(previous, 1);
    previous = r.chisq;
    if (options.onCycle) return options.onCycle(cycles, r.chisq);
    return !converged && cycles < options.maxCycles;
  };
  if (options.onStep || options.stop)
    callbacks.onStep = [&](const fit::FitProgress& p) {
      if (options.stop && !stopped) stopped = options.stop();
      if (!options.onStep) return;
      FitStep s;
      s.cycle = p.cycle;
      s.step = p.step;
      s.stepsPerCycle = static_cast<int>(p.rec.MAXITER);
      s.chisq = p.rec.chisq;
      s.alamda = p.rec.alamda;
      for (int q = 1; q <= fit::kFitParameters; ++q) s.a[static_cast<std::size_t>(q)] = p.rec.a[q];
      s.calc = Calculated(p.rec);
      options.onStep(s);
    };
  const fit::FitOutcome outcome = fit::FitSingleCrystalConstants(ctx, rec, options.model, callbacks);
  if (stopped)
    return Refused({}, "the fit was stopped after " + std::to_string(outcome.cycles) +
                           (outcome.cycles == 1 ? " cycle" : " cycles"));
  if (outcome.status == fit::FitStatus::kShapeRefused) return Refused({}, outcome.message);
  if (outcome.status == fit::FitStatus::kStopped)
    return Refused({},
                   "The fit of the single-crystal constants stopped:\n" + outcome.message);

  SingleCrystalFit out;
  std::string notFinite;
  out.report = fit::FitReportText(ctx, rec, &notFinite);
  if (!notFinite.empty())
    return Refused({}, notFinite + " is not a finite number for these constants");
  for (int j = 1; j <= rec.mfit; ++j) {
    const int p = rec.ia[j];
    if (!std::isfinite(rec.a[p]) || !std::isfinite(fit::ParameterError(rec, p)))
      return Refused({}, fit::ParameterName(p) +
                                     " or its error is not a finite number for these data");
  }
  if (!std::isfinite(rec.chisq))
    return Refused({}, "chi-square is not a finite number for these data");
  out.name = ctx.Name;
  out.crystalClass = static_cast<CrystalClass>(ctx.Cryst.SYS);
  out.model = options.model;
  out.constants = ShownConstants(static_cast<int>(ctx.Cryst.SYS), rec, 0);
  for (int j = 1; j <= rec.mfit; ++j) out.matrixFitted = out.matrixFitted || rec.ia[j] > 21;
  out.matrix = ShownConstants(static_cast<int>(ctx.SYMMETRY), rec, 21);
  for (int p = 1; p <= fit::kFitParameters; ++p) {
    out.a[static_cast<std::size_t>(p)] = rec.a[p];
    out.errors[static_cast<std::size_t>(p)] = fit::ParameterError(rec, p);
  }
  out.chisq = rec.chisq;
  out.dataPoints = static_cast<int>(rec.ndata);
  out.fittedCount = static_cast<int>(rec.mfit);
  const int dof = out.dataPoints - out.fittedCount;
  out.reducedChisq = dof > 0 ? rec.chisq / dof : 0;
  out.steps = static_cast<int>(rec.Steps);
  out.cycles = outcome.cycles;
  out.converged = converged;
  out.calc = Calculated(rec);
  return out;
}

}  // namespace

Result<SingleCrystalFit> FitSingleCrystal(const SingleCrystalFitInput& input,
                                          const SingleCrystalFitOptions& options) {
  if (Status s = CheckInput(input); !s) return s.error();
  return Run(EngineInput(input), &input.measurements, input.file, options);
}

Result<SingleCrystalFit> FitSingleCrystalFile(const std::string& path,
                                              const SingleCrystalFitOptions& options) {
  const Result<fit::FitInput> in = ReadEngineInput(path);
  if (!in) return in.error();
  return Run(*in, nullptr, path, options);
}

Status AppendFitReport(const SingleCrystalFit& fit, const std::string& reportPath,
                       const std::string& inputPath) {
  if (!inputPath.empty()) {
    // Appending the report to the fit input would turn it into a file no fit can read.
    std::error_code ec;
    if (std::filesystem::equivalent(reportPath, inputPath, ec))
      return Refused(reportPath, "the report file is the fit input itself; choose another");
  }
  std::string error;
  if (!fit::AppendFitReport(reportPath, fit.report, error))
    return Refused(reportPath, "The fit report was not written:\n" + error);
  return Ok();
}

}  // namespace polydec
