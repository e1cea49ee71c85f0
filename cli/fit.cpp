// polydec fit: single-crystal constants fitted to measured stress factors. Runs the window's
// own commands on a headless workbench ("Load SC Constants Fit Input", then "Fit SC
// constants"), answering the question after each cycle with "go on" until chi-square stops
// falling or the cycle limit is reached.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "common.h"
#include "core/voigt.h"
#include "crystal/symmetry_classes.h"
#include "fit/fit_input.h"
#include "fit/lm_fit.h"
#include "material_options.h"
#include "core/text_fields.h"
#include "models/reflection_dec.h"
#include "models/symmetry_projection.h"
#include "workbench/main_form.h"

namespace polydec::cli {

namespace {

using core::Real;

struct FitOptions {
  std::string file;
  std::string output;
  std::string model = "kroener";
  int cycles = 20;
  int intervals = 10;
  bool json = false;
};

struct ModelChoice {
  const char* name;
  int code;
  const char* button;
};

constexpr ModelChoice kModels[] = {{"voigt", models::kVoigt, "VoigtBttn"},
                                   {"mvoigt", models::kMVoigt, "MVoigtBtn"},
                                   {"reuss", models::kReuss, "ReussBtn"},
                                   {"hill", models::kHill, "HillBtn"},
                                   {"kroener", models::kKroener, "KroenerBtn"},
                                   {"inverse-kroener", models::kInverseKroener, "InvKroener"}};

// A cycle that lowers chi-square by less than this part of it (or of 1, for a chi-square near
// zero) changes nothing a user could see: the fit has converged.
constexpr Real kConvergence = 1e-9L;

// Answers the window's "Continue?" after each cycle: go on while chi-square still falls and
// the cycle limit is not reached. Other questions get the cautious answer.
class FitServices : public workbench::HeadlessServices {
 public:
  const workbench::MainForm* window = nullptr;
  int maxCycles = 20;
  int cycles = 0;
  bool converged = false;

  workbench::Answer Message(workbench::MessageKind kind, const std::string& text,
                            workbench::Buttons buttons) override {
    if (window == nullptr || text != "Continue?" || buttons != workbench::Buttons::kYesNo)
      return HeadlessServices::Message(kind, text, buttons);
    ++cycles;
    const Real chisq = window->FitRecord.chisq;
    converged = previous_ >= 0 && previous_ - chisq <= kConvergence * std::max<Real>(previous_, 1);
    previous_ = chisq;
    return converged || cycles >= maxCycles ? workbench::Answer::kNo : workbench::Answer::kYes;
  }

  void Repaint() override {
    HeadlessServices::Repaint();
    if (window == nullptr || !isatty(STDERR_FILENO)) return;
    const std::string& step = window->form.statusPanels[1];
    if (step.rfind("Iteration ", 0) != 0) return;
    std::cerr << "\rcycle " << cycles + 1 << ", " << step
              << ", chisq = " << core::FormatGeneral(window->FitRecord.chisq) << "     "
              << std::flush;
    progressShown = true;
  }

  bool progressShown = false;

 private:
  Real previous_ = -1;
};

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
  for (const std::string& name : crystal::FreeConstantNames(cls)) {
    const int q = core::VoigtToPosition(name[1] - '0', name[2] - '0');
    shown.push_back({name, offset + q, FittedParameterFor(rec, q, cls, offset)});
  }
  return shown;
}

void RunFit(const FitOptions& o) {
  const ModelChoice* model = nullptr;
  for (const ModelChoice& m : kModels)
    if (o.model == m.name) model = &m;
  if (model == nullptr)
    throw InputError("--model: unknown model \"" + o.model +
                     "\" (voigt, mvoigt, reuss, hill, kroener, inverse-kroener)");
  // The fit input is checked on its own first, so its faults are reported with file and line
  // before the workbench starts.
  core::InputError inputError;
  if (!fit::ReadFitInputFile(o.file, inputError))
    throw InputError(fit::FitInputErrorText(o.file, inputError));

  FitServices services;
  services.maxCycles = o.cycles;
  const std::string programDir =
      std::filesystem::path(DefaultDatabasePath()).parent_path().string();
  auto window = std::make_unique<workbench::MainForm>(services, programDir);
  services.window = window.get();
  workbench::Form& form = window->form;
  form.SetChecked(model->button, true);
  form.SetText("IntegIntervals", std::to_string(o.intervals));

  const std::size_t before = services.messages.size();
  services.files.emplace_back(o.file);
  window->Run("Button2Click");
  if (window->FitRecord.ndata < 1 || window->FitRecord.InputFile != o.file) {
    const std::string why =
        services.messages.size() > before ? services.messages.back().text : "not loaded";
    throw InputError(o.file + ": " + why);
  }
  if (!o.output.empty()) window->FitReportFile = o.output;
  const std::string report = o.output.empty() ? o.file + ".res" : o.output;

  const std::size_t loaded = services.messages.size();
  window->Run("FitSCConstantsBtnClick");
  if (services.progressShown) std::cerr << "\n";
  for (std::size_t k = loaded; k < services.messages.size(); ++k) {
    const workbench::HeadlessServices::Shown& m = services.messages[k];
    if (m.kind != workbench::MessageKind::kConfirmation) throw InputError(m.text);
  }

  const fit::FitRecord& rec = window->FitRecord;
  const core::OrientationsRec& ctx = window->CurrentContext;
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
                                {"cycles", services.cycles},
                                {"converged", services.converged},
                                {"report", report}};
    std::cout << out.dump(2) << "\n";
    return;
  }

  std::cout << "Material: " << ctx.Name << " (" << crystal::CrystalClassNames[ctx.Cryst.SYS]
            << ")\nModel: " << models::ModelName(model->code) << ", " << rec.ndata
            << " data points, " << rec.mfit << " fitted constants\n"
            << "Fit: " << services.cycles << (services.cycles == 1 ? " cycle, " : " cycles, ")
            << rec.Steps << " steps, "
            << (services.converged
                    ? "converged"
                    : "stopped at the cycle limit (" + std::to_string(o.cycles) + ")")
            << "\nchisq = " << core::FormatFixed(rec.chisq, 15, 4)
            << ", reduced chisq = " << core::FormatPadded(reduced, 4, 2) << "\n\n"
            << "constant        value [GPa]   error [GPa]\n";
  const auto row = [&rec](const std::string& prefix, const ShownConstant& c) {
    std::string line = prefix + c.name;
    line.resize(std::max<std::size_t>(line.size(), 14), ' ');
    line += core::FormatPadded(rec.a[c.position], 12, 2);
    line += c.fitted != 0 ? core::FormatPadded(fit::ParameterError(rec, c.fitted), 14, 2)
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
