// Single-crystal elastic constants (and those of the surrounding matrix) fitted by
// Levenberg-Marquardt to measured stress factors F11 of reflections along sample directions.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "polydec/dec.h"
#include "polydec/error.h"
#include "polydec/phase.h"
#include "polydec/types.h"

namespace polydec {

// Parameters of a fit, numbered 1..42: 1..21 the crystal's stiffness components, 22..42 the
// matrix's, both in the 21-component order C1111, C1122, C1133, C1123, C1113, C1112, C2222, ...
// (GPa). Index 0 is unused.
using FitParameters = std::array<Real, 43>;

// One measured stress factor F11 of a reflection along (phi, psi) in degrees, with its standard
// uncertainty; both in 1e-6/MPa (= 1/TPa).
struct FitMeasurement {
  Miller hkl{};
  Real phi = 0, psi = 0;
  Real value = 0, sigma = 0;
};

// Everything a fit starts from, as a fit input file (*.dec) states it.
struct SingleCrystalFitInput {
  std::string name;
  std::string file;  // the file it was read from, for the report; may be empty
  FitParameters start{};
  std::vector<int> fitted;  // parameter numbers in fit order, each once
  Cell cell;
  CrystalClass crystalClass = kCubic;
  SampleSymmetry sampleSymmetry = kIsotropicSample;
  int stepsPerCycle = 10;
  // Recompute the Eshelby tensors at every evaluation (true), never (false), or leave the
  // default (empty).
  std::optional<bool> updateEshelby;
  std::vector<FitMeasurement> measurements;  // 1..20
};

// Reads a fit input file; a refusal names the line.
Result<SingleCrystalFitInput> ReadFitInput(const std::string& path);

// A step of the fit, for progress displays.
struct FitStep {
  int cycle = 0;           // from 1
  int step = 0;            // within the cycle, from 0
  int stepsPerCycle = 0;
  Real chisq = 0, alamda = 0;
  FitParameters a{};       // the constants reached
  std::vector<Real> calc;  // calculated F11 of each measurement, 1e-6/MPa
};

struct SingleCrystalFitOptions {
  ModelCode model = kKroener;
  int intervals = kDefaultFibreIntervals;
  int maxCycles = 20;
  // Start from the constants as the window's stiffness grid shows them (to 0.1 GPa), so that the
  // window, the command line and a script start the same fit.
  bool startAsShown = true;
  std::function<void(const FitStep&)> onStep;  // after each step (may be empty)
  // After each cycle: true runs another. Empty: go on while chi-square falls by more than a
  // part in 1e9 and fewer than maxCycles cycles ran.
  std::function<bool(int cycles, Real chisq)> onCycle;
  // Asked after each step: true stops the fit at the end of the running cycle, and the call
  // is refused as stopped.
  std::function<bool()> stop;
};

// A constant of the class shown with its uncertainty (empty when held fixed).
struct FittedConstant {
  std::string name;  // "C11", ...
  Real value = 0;    // GPa
  std::optional<Real> error;
};

struct SingleCrystalFit {
  std::string name;
  CrystalClass crystalClass = kCubic;
  ModelCode model = kKroener;
  std::vector<FittedConstant> constants;  // the class's free constants
  std::vector<FittedConstant> matrix;     // the matrix's, for its sample symmetry
  bool matrixFitted = false;
  FitParameters a{};       // all 42 parameters at the end
  FitParameters errors{};  // their standard uncertainties, 0 for fixed ones (GPa)
  Real chisq = 0, reducedChisq = 0;
  int dataPoints = 0, fittedCount = 0, steps = 0, cycles = 0;
  bool converged = false;  // chi-square stopped falling (with the default onCycle)
  std::vector<Real> calc;  // calculated F11 of each measurement, 1e-6/MPa
  std::string report;      // the text a report file receives (CR LF line ends)
};

// Runs the fit. A setup that cannot be fitted, a grain shape without Eshelby tensor, a fit that
// stopped (a failed step, or data that do not determine the fitted constants) and results that
// are no finite numbers are refusals saying why.
Result<SingleCrystalFit> FitSingleCrystal(const SingleCrystalFitInput& input,
                                          const SingleCrystalFitOptions& options = {});

// ReadFitInput and FitSingleCrystal in one, with the file's values exactly as it states them.
Result<SingleCrystalFit> FitSingleCrystalFile(const std::string& path,
                                              const SingleCrystalFitOptions& options = {});

// Appends the fit's report to a report file (created when missing) without ever losing the
// reports it holds. The input file itself is refused as a report file.
Status AppendFitReport(const SingleCrystalFit& fit, const std::string& reportPath,
                       const std::string& inputPath = {});

}  // namespace polydec
