// polydec fit: single-crystal constants fitted to measured stress factors, cycle after cycle
// until chi-square stops falling or the cycle limit is reached.
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <nlohmann/json.hpp>

#include "common.h"
#include "core/voigt.h"
#include "crystal/symmetry_classes.h"
#include "fit/constant_fit.h"
#include "fit/fit_input.h"
#include "fit/lm_fit.h"
#include "material_options.h"
#include "core/text_fields.h"
#include "models/reflection_dec.h"
#include "models/stress_factors.h"
#include "models/symmetry_projection.h"

namespace polydec::cli {

namespace {

using core::Real;

struct FitOptions {
  std::string file;
  std::string output;
  std::string model = "kroener";
  int cycles = 20;
  int intervals = models::kDefaultFibreIntervals;
  bool json = false;
};

// A cycle that lowers chi-square by less than this part of it (or of 1, for a chi-square near
// zero) changes nothing a user could see: the fit has converged.
constexpr Real kConvergence = 1e-9L;

// The window starts a fit from the constants its stiffness grid shows, to 0.1 GPa; the command
// line starts from the same values so that both give the same fit.
Real AsShownInTheGrid(Real x) { return core::ParseNumber(core::FormatPadded(x, 6, 1)).value; }

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

struct ShownConstant {
  std::string name;  // Voigt name
  int position;      // parameter number of its value
  int fitted;        // the fitted parameter that stands for it, or 0
};

// The class's free constants, each with the fitted parameter behind it.
std::vector<ShownConstant> ShownConstants(int cls, const fit::FitRecord& rec, int offset) {
  std::vector<ShownConstant> shown;
  for (const std::string& name :
       crystal::FreeConstantNames(static_cast<polydec::CrystalClass>(cls))) {
    const int q = core::VoigtToPosition(name[1] - '0', name[2] - '0');
    shown.push_back({name, offset + q, FittedParameterFor(rec, q, cls, offset)});
  }
  return shown;
}

void RunFit(const FitOptions& o) {
  const std::optional<models::ModelCode> code = ParseModelOption(o.model);
  core::InputError inputError;
  const std::optional<fit::FitInput> input = fit::ReadFitInputFile(o.file, inputError);
  if (!input) throw Failure(fit::FitInputErrorText(o.file, inputError));
  core::OrientationsRec context;
  fit::FitRecord record;
  fit::ApplyFitInput(*input, o.file, context, record);
  context.IIntervls = o.intervals;
  if (const std::string why = fit::CheckFitSetup(context, record, *code); !why.empty())
    throw Failure(why);
  for (int p = 1; p <= fit::kFitParameters; ++p) record.a[p] = AsShownInTheGrid(record.a[p]);
  const std::string report = o.output.empty() ? o.file + ".res" : o.output;
  {
    // Appending the report to the fit input would turn it into a file no fit can read.
    std::error_code ec;
    if (std::filesystem::equivalent(report, o.file, ec))
      throw Failure("-o " + report + " is the fit input itself; choose another report file");
  }

  // Go on while chi-square still falls and the cycle limit is not reached.
  bool converged = false;
  Real previous = -1;
  fit::FitCallbacks callbacks;
  callbacks.onCycle = [&](int cycles, const fit::FitRecord& r) {
    converged = previous >= 0 && previous - r.chisq <= kConvergence * std::max<Real>(previous, 1);
    previous = r.chisq;
    return !converged && cycles < o.cycles;
  };
  bool progressShown = false;
  if (isatty(STDERR_FILENO))
    callbacks.onStep = [&progressShown](const fit::FitProgress& p) {
      std::cerr << "\rcycle " << p.cycle << ", Iteration " << p.step << " of " << p.rec.MAXITER
                << ", chisq = " << core::FormatGeneral(p.rec.chisq) << "     " << std::flush;
      progressShown = true;
    };
  const fit::FitOutcome outcome =
      fit::FitSingleCrystalConstants(context, record, *code, callbacks);
  if (progressShown) std::cerr << "\n";
  if (outcome.status == fit::FitStatus::kShapeRefused) throw Failure(outcome.message);
  if (outcome.status == fit::FitStatus::kStopped)
    throw Failure("The fit of the single-crystal constants stopped:\n" + outcome.message);
  std::string writeError;
  std::string notFinite;
  const std::string reportText = fit::FitReportText(context, record, &notFinite);
  if (!notFinite.empty())
    throw Failure("The fit report was not written: " + notFinite +
                     " is not a finite number for these constants");
  if (!fit::AppendFitReport(report, reportText, writeError))
    throw Failure("The fit report was not written:\n" + writeError);

  const fit::FitRecord& rec = record;
  const core::OrientationsRec& ctx = context;
  for (int j = 1; j <= rec.mfit; ++j) {
    RequireFinite(rec.a[rec.ia[j]], fit::ParameterName(rec.ia[j]));
    RequireFinite(fit::ParameterError(rec, rec.ia[j]),
                  "the error of " + fit::ParameterName(rec.ia[j]));
  }
  RequireFinite(rec.chisq, "chi-square");
  const int dof = rec.ndata - rec.mfit;
  const Real reduced = dof > 0 ? rec.chisq / dof : 0;

  const auto crystalShown = ShownConstants(ctx.Cryst.SYS, rec, 0);
  bool matrixFitted = false;
  for (int j = 1; j <= rec.mfit; ++j) matrixFitted = matrixFitted || rec.ia[j] > 21;
  const auto matrixShown = ShownConstants(ctx.SYMMETRY, rec, 21);

  if (o.json) {
    nlohmann::json constants = nlohmann::json::object(), errors = nlohmann::json::object(),
                   matrix = nlohmann::json::object();
    for (const ShownConstant& c : crystalShown) {
      constants[c.name] = JsonNumber(rec.a[c.position]);
      if (c.fitted != 0) errors[c.name] = JsonNumber(fit::ParameterError(rec, c.fitted));
    }
    for (const ShownConstant& c : matrixShown) {
      matrix[c.name] = JsonNumber(rec.a[c.position]);
      if (c.fitted != 0)
        errors["matrix_" + c.name] = JsonNumber(fit::ParameterError(rec, c.fitted));
    }
    const nlohmann::json out = {{"material", ctx.Name},
                                {"model", o.model},
                                {"unit", "GPa"},
                                {"constants", constants},
                                {"errors", errors},
                                {"matrix", matrix},
                                {"chisq", JsonNumber(rec.chisq)},
                                {"reduced_chisq", JsonNumber(reduced)},
                                {"data_points", rec.ndata},
                                {"iterations", rec.Steps},
                                {"cycles", outcome.cycles},
                                {"converged", converged},
                                {"report", report}};
    std::cout << JsonOutput(out);
    return;
  }

  std::cout << "Material: " << ctx.Name << " (" << crystal::CrystalClassNames[ctx.Cryst.SYS]
            << ")\nModel: " << models::ModelName(*code) << ", " << rec.ndata
            << " data points, " << rec.mfit << " fitted constants\n"
            << "Fit: " << outcome.cycles << (outcome.cycles == 1 ? " cycle, " : " cycles, ")
            << rec.Steps << " steps, "
            << (converged
                    ? "converged"
                    : "stopped at the cycle limit (" + std::to_string(o.cycles) + ")")
            << "\nchisq = " << core::FormatFixed(rec.chisq, 15, 4)
            << ", reduced chisq = " << core::FormatPadded(reduced, 4, 2) << "\n\n"
            << "constant        value [GPa]   error [GPa]\n";
  // A value wider than its column still stands apart from its neighbour.
  const auto padded = [](Real x, int width) {
    const std::string text = core::FormatPadded(x, width, 2);
    return text.front() == ' ' ? text : " " + text;
  };
  const auto row = [&rec, &padded](const std::string& prefix, const ShownConstant& c) {
    std::string line = prefix + c.name;
    line.resize(std::max<std::size_t>(line.size(), 14), ' ');
    line += padded(rec.a[c.position], 12);
    line += c.fitted != 0 ? padded(fit::ParameterError(rec, c.fitted), 14)
                          : std::string("         fixed");
    std::cout << line << "\n";
  };
  for (const ShownConstant& c : crystalShown) row("", c);
  if (matrixFitted)
    for (const ShownConstant& c : matrixShown) row("matrix ", c);
  std::cout << "\nReport: " << report << "\n";
}

}  // namespace

void AddFitCommand(CLI::App& app) {
  auto o = std::make_shared<FitOptions>();
  auto* cmd = app.add_subcommand(
      "fit", "Fit single-crystal constants to measured stress factors (a *.dec fit input)");
  cmd->add_option("FILE.dec", o->file, "Fit input file")->required();
  cmd->add_option("-o", o->output, "Report file (appended to if it exists); default FILE.dec.res");
  cmd->add_option("--model", o->model,
                  "Grain-interaction model: voigt, mvoigt, reuss, hill, kroener, "
                  "inverse-kroener")
      ->capture_default_str();
  cmd->add_option("--cycles", o->cycles,
                  "Most cycles of steps; the fit goes on while chi-square still falls")
      ->check(CLI::Range(1, 1000))
      ->capture_default_str();
  cmd->add_option("--intervals", o->intervals,
                  "Simpson half-intervals N of the fibre average (2N intervals)")
      ->check(CLI::Range(1, 10000))
      ->capture_default_str();
  cmd->add_flag("--json", o->json, "Print one JSON object");
  cmd->callback([o] { RunFit(*o); });
}

}  // namespace polydec::cli
