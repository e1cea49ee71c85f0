// polydec fit: single-crystal constants fitted to measured stress factors, cycle after cycle
// until chi-square stops falling or the cycle limit is reached.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "common.h"
#include "core/text_fields.h"
#include "crystal/symmetry_classes.h"
#include "polydec/fit.h"

namespace polydec::cli {

namespace {

using core::Real;

struct FitOptions {
  std::string file;
  std::string output;
  std::string model = "kroener";
  int cycles = 20;
  int intervals = polydec::kDefaultFibreIntervals;
  bool json = false;
};

void RunFit(const FitOptions& o) {
  polydec::SingleCrystalFitOptions options;
  options.model = Take(polydec::ParseModel(o.model), "--model");
  options.intervals = o.intervals;
  options.maxCycles = o.cycles;
  const std::string report = o.output.empty() ? o.file + ".res" : o.output;
  {
    // Appending the report to the fit input would turn it into a file no fit can read.
    std::error_code ec;
    if (std::filesystem::equivalent(report, o.file, ec))
      throw Failure("-o " + report + " is the fit input itself; choose another report file");
  }
  bool progressShown = false;
  if (isatty(STDERR_FILENO))
    options.onStep = [&progressShown](const polydec::FitStep& p) {
      std::cerr << "\rcycle " << p.cycle << ", Iteration " << p.step << " of " << p.stepsPerCycle
                << ", chisq = " << core::FormatGeneral(p.chisq) << "     " << std::flush;
      progressShown = true;
    };
  polydec::Result<polydec::SingleCrystalFit> result =
      polydec::FitSingleCrystalFile(o.file, options);
  if (progressShown) std::cerr << "\n";
  const polydec::SingleCrystalFit& fit = Take(std::move(result), "");
  if (const polydec::Status written = polydec::AppendFitReport(fit, report, o.file); !written)
    throw Failure(written.error().message);

  if (o.json) {
    nlohmann::json constants = nlohmann::json::object(), errors = nlohmann::json::object(),
                   matrix = nlohmann::json::object();
    for (const polydec::FittedConstant& c : fit.constants) {
      constants[c.name] = JsonNumber(c.value);
      if (c.error) errors[c.name] = JsonNumber(*c.error);
    }
    for (const polydec::FittedConstant& c : fit.matrix) {
      matrix[c.name] = JsonNumber(c.value);
      if (c.error) errors["matrix_" + c.name] = JsonNumber(*c.error);
    }
    const nlohmann::json out = {{"material", fit.name},
                                {"model", o.model},
                                {"unit", "GPa"},
                                {"constants", constants},
                                {"errors", errors},
                                {"matrix", matrix},
                                {"chisq", JsonNumber(fit.chisq)},
                                {"reduced_chisq", JsonNumber(fit.reducedChisq)},
                                {"data_points", fit.dataPoints},
                                {"iterations", fit.steps},
                                {"cycles", fit.cycles},
                                {"converged", fit.converged},
                                {"report", report}};
    std::cout << JsonOutput(out);
    return;
  }

  std::cout << "Material: " << fit.name << " (" << crystal::CrystalClassNames[fit.crystalClass]
            << ")\nModel: " << polydec::ModelName(fit.model) << ", " << fit.dataPoints
            << " data points, " << fit.fittedCount << " fitted constants\n"
            << "Fit: " << fit.cycles << (fit.cycles == 1 ? " cycle, " : " cycles, ")
            << fit.steps << " steps, "
            << (fit.converged
                    ? "converged"
                    : "stopped at the cycle limit (" + std::to_string(o.cycles) + ")")
            << "\nchisq = " << core::FormatFixed(fit.chisq, 15, 4)
            << ", reduced chisq = " << core::FormatPadded(fit.reducedChisq, 4, 2) << "\n\n"
            << "constant        value [GPa]   error [GPa]\n";
  // A value wider than its column still stands apart from its neighbour.
  const auto padded = [](Real x, int width) {
    const std::string text = core::FormatPadded(x, width, 2);
    return text.front() == ' ' ? text : " " + text;
  };
  const auto row = [&padded](const std::string& prefix, const polydec::FittedConstant& c) {
    std::string line = prefix + c.name;
    line.resize(std::max<std::size_t>(line.size(), 14), ' ');
    line += padded(c.value, 12);
    line += c.error ? padded(*c.error, 14) : std::string("         fixed");
    std::cout << line << "\n";
  };
  for (const polydec::FittedConstant& c : fit.constants) row("", c);
  if (fit.matrixFitted)
    for (const polydec::FittedConstant& c : fit.matrix) row("matrix ", c);
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
