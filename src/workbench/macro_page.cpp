// Commands of the macroscopic elastic constants: the stiffness of a textured polycrystal ("Calc
// Cij (ODF)"), the isotropic aggregate of the "Isotropic" page and of the stiffness grid, and
// the clicks into the multiphase grid.
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "core/stiffness_check.h"
#include "core/tensor_inversion.h"
#include "core/text_fields.h"
#include "core/voigt.h"
#include "models/aggregate.h"
#include "models/eshelby.h"
#include "models/macro_operation.h"
#include "models/macro_stiffness.h"
#include "models/stress_factors.h"
#include "models/symmetry_projection.h"
#include "texture/odf_readers.h"
#include "texture/random_grains.h"
#include "workbench/main_form.h"
#include "workbench/main_form_parts.h"

namespace polydec::workbench {

using core::CijklVector;
using core::OrientationsRec;
using core::Real;
using core::Tensor4;
using core::FormatFixed;
using core::FormatPadded;
using core::GetWord;
using core::ParseNumber;
using parts::FiniteOrEmpty;

namespace {

constexpr const char* kWtsErrorStatus = "Error reading WTS file.";
constexpr const char* kNoWeightMessage =
    "The grains hold no weight (the ODF is 0 at every grain): no average can be formed.";
constexpr const char* kKeptMatrix = " The matrix stiffness is left unchanged.";

// Where the stiffness grid shows the engineering constants of the matrix stiffness: Young's
// moduli in row 14, shear moduli in row 15, Poisson ratios in rows 16 and 17.
struct EngineeringCell {
  Real polydec::EngineeringConstants::*field;
  int col, row, decimals;
};
using E = polydec::EngineeringConstants;
constexpr EngineeringCell kEngineeringCells[] = {
    {&E::E1, 1, 14, 2},   {&E::E2, 2, 14, 2},   {&E::E3, 3, 14, 2},   {&E::G1, 1, 15, 2},
    {&E::G2, 2, 15, 2},   {&E::G3, 3, 15, 2},   {&E::nu12, 1, 16, 4}, {&E::nu13, 2, 16, 4},
    {&E::nu23, 3, 16, 4}, {&E::nu21, 1, 17, 4}, {&E::nu31, 2, 17, 4}, {&E::nu32, 3, 17, 4}};

CijklVector ToVector(const Tensor4& T) {
  CijklVector v{};
  core::TensorToCijkl(T, v);
  return v;
}

std::string IsotropicResultProblem(const models::IsotropicAggregateResult& r) {
  if (r.failed)
    return "The self-consistent constants could not be found: the iteration met a singular "
           "tensor.";
  if (!r.converged)
    return "The self-consistent constants did not settle within " +
           std::to_string(models::kIsotropicRounds) +
           " rounds; the values shown are the last "
           "reached.";
  return "";
}

// The self-consistent rounds take about the cube of the interval count, times the share of the
// 21 components the sample symmetry leaves independent.
std::string ProjectedKroenerTime(int symmetry, int intervals) {
  const int n = core::SymmetryComponents[symmetry >= 0 && symmetry <= 10 ? symmetry : 10][0];
  const Real tenths = static_cast<Real>(intervals) / 10;
  const Real t = tenths * tenths * tenths * n / 21 * 10;
  return "Projected loop time using Kroener needed: " + FormatFixed(t, 4, 1) + " sec.";
}

std::string SelfConsistentProblem(const models::MacroStiffnessResult& result) {
  switch (result.status) {
    case models::MacroStatus::kOutsideBounds:
      return "The self-consistent stiffness lies " + FormatFixed(result.boundsExcess, 15, 1) +
             " GPa outside the Voigt and Reuss averages of the same texture, which every "
             "estimate lies between: the integration over Euler space is too coarse for this "
             "texture. Raise the integration intervals.";
    case models::MacroStatus::kDivergence:
      return "The self-consistent iteration diverges: the step sum grew in " +
             std::to_string(models::SelfConsistentWatch::kMaxGrowing) + " rounds in a row.";
    case models::MacroStatus::kNoConvergence:
      return "The self-consistent iteration does not converge: the step sum stayed "
             "above 1e-6 for " +
             std::to_string(models::SelfConsistentWatch::kMaxRoundsAbove) + " rounds.";
    case models::MacroStatus::kStopped:
      return "Stopped (Escape) in round " + std::to_string(result.rounds + 1) + ".";
    default:
      return "The self-consistent iteration stopped: its residual could not be evaluated or its "
             "Jacobian is singular.";
  }
}

// The grain set of the calculation: a grains file the user picks, or the shipped random set of
// the chosen size weighted by the ODF. False (after saying why) when it cannot be read.
bool ReadMacroGrains(MainForm& w, OrientationsRec& phase) {
  Form& form = w.form;
  if (form.Checked("ReadWtsBox")) {
    FileDialog& d = form.openDialog;
    d.title = texture::kGrainsFileTitle;
    if (!w.services.ExecuteOpen(d)) return false;
    const texture::ODFReadResult read = texture::readwtsfile(d.fileName, phase);
    if (!read.ok()) {
      w.services.Inform(read.Describe());
      return false;
    }
    // The reader skips blank lines, so the grain count is the number of entries itself.
    form.statusPanels[0] = std::to_string(phase.GOrient.phi1.size()) + " orientations read.";
  } else if (form.Checked("MaConstUseGrains")) {
    const core::ParsedInteger grains = core::ReadInteger(form.Text("OrtDistBox"));
    const std::string file = texture::RandomOrientationFile(w.programDir, grains.value);
    const texture::ODFReadResult read =
        texture::WeightRandomGrains(phase, file, grains.ok() ? grains.value : 0);
    if (!read.ok()) {
      w.services.Inform(read.Describe());
      return false;
    }
  }
  return true;
}

}  // namespace

void MainForm::RegisterMacroCommands() {
  Register("CalcMaConstBtnClick", [this] { CalcMaConstBtnClick(); });
  Register("CalcMaConstButtonClick", [this] { CalcMaConstButtonClick(); });
  Register("IsoTensorClick", [this] { IsoTensorClick(); });
  Register("MultiphaseGridMouseDown", [this] { MultiphaseGridMouseDown(); });
}

void MainForm::CalcMaConstBtnClick() {
  OrientationsRec& ctx = CurrentContext;
  const auto endWith = [this](const std::string& status) {
    form.statusPanels[0] = status;
    services.Repaint();
  };
  form.statusPanels[0] = "Initializing Eshelby tensors. This will take a few seconds.";
  services.Repaint();
  BusyScope busy(services);

  // "auto" (or nothing): the count that makes the average converge for the sample symmetry and
  // the model, found once both are known.
  const std::string intervalsText = form.Text("ODFIntegIntervals");
  const std::string firstWord = core::GetWord(intervalsText, 1);
  const bool autoIntervals = firstWord.empty() || (firstWord == kAutoIntervals &&
                                                   core::GetWord(intervalsText, 2).empty());
  const core::ParsedInteger intervals = core::ReadInteger(intervalsText);
  ctx.IIntervls = intervals.ok() ? intervals.value : 20;
  const core::ParsedInteger iter = core::ReadInteger(form.Text("IterNumEdit"));
  ctx.Iter = iter.ok() ? iter.value : 1;
  if (!iter.ok()) services.Inform("Not a valid input for the number of iterations!");

  // A refused input ends the command: the status no longer says that it is working.
  if (!CalcInit()) return endWith(" ");
  ctx.UseGrains = form.Checked("MaConstUseGrains");
  OrientationsRec phase;
  SetSSFromList();
  if (autoIntervals)
    ctx.IIntervls = models::DefaultEulerIntervals(
        static_cast<polydec::SampleSymmetry>(ctx.SYMMETRY), static_cast<polydec::ModelCode>(FCode()));
  CopyContextWithODF(ctx, phase);
  if (!ReadMacroGrains(*this, phase)) return endWith(kWtsErrorStatus);
  form.statusPanels[0] = "Projected loop time is about 4 sec.";
  services.Repaint();

  const int model = FCode();
  if (model == models::kKroener || model == models::kInverseKroener) {
    form.statusPanels[0] = ProjectedKroenerTime(ctx.SYMMETRY, ctx.IIntervls);
    services.Repaint();
  }
  const CijklVector start = ToVector(phase.L);
  // The grid shows each trial stiffness; the user decides whether another round is worth it.
  const auto askAfterRound = [this](const models::MacroRound& round) {
    InitRotationGrid(ToVector(round.L), 8);
    services.Repaint();
    return services.Message(MessageKind::kConfirmation,
                            "Chisq=" + FormatFixed(round.stepSum, 7, 2) + ". Continue?",
                            Buttons::kYesNo) == Answer::kYes;
  };
  // A round integrates Euler space (unknowns + 1) times per Newton trial, minutes at many
  // intervals: each integration is shown, and Escape stops at the next one.
  const auto onEvaluation = [&](int round, int evaluation, int evaluations) {
    form.statusPanels[0] = "Round " + std::to_string(round) +
                           ": integration " + std::to_string(evaluation) + " of " +
                           std::to_string(evaluations) + " (Escape stops)";
    services.Repaint();
    return !services.CancelRequested();
  };
  const models::MacroStiffnessResult r = models::CalcMacroStiffness(
      phase, models::MacroTexture::kOrientations, static_cast<polydec::ModelCode>(model),
      askAfterRound, onEvaluation);
  if (r.status != models::MacroStatus::kOk) {
    if (r.status == models::MacroStatus::kNoWeight) {
      services.Inform(kNoWeightMessage);
    } else {
      // The grid showed the trial stiffnesses; it goes back to the matrix the rounds began with.
      InitRotationGrid(start, 8);
      services.Inform(SelfConsistentProblem(r) + kKeptMatrix);
    }
    return endWith(" ");
  }
  CopyContext(phase, ctx);
  ctx.a = ToVector(ctx.L);
  InitRotationGrid(ToVector(ctx.Lr), 1);
  InitRotationGrid(ctx.a, 8);
  CalcBulkConst();
  endWith(" ");
}

void MainForm::CalcMaConstButtonClick() {
  OrientationsRec& ctx = CurrentContext;
  CijklVector a{};
  if (!ReadCij(a)) return;
  ctx.AxisLength = {1, 1, 1};
  ctx.SYMMETRY = polydec::kIsotropicSample;
  core::CijklToTensor(a, ctx.Lr);
  OrientationsRec crystal;
  crystal.Lr = ctx.Lr;
  crystal.Cryst.SYS = static_cast<polydec::CrystalClass>(CrystalClass());
  const models::MacroStiffnessResult r =
      models::CalcMacroStiffness(crystal, models::MacroTexture::kUntextured,
                                 static_cast<polydec::ModelCode>(FCode()), nullptr);
  ctx.L = crystal.L;
  const models::IsotropicConstants c = models::EngineeringConstants(ToVector(ctx.L));
  const auto show = [this](const char* box, Real x, int width, int decimals) {
    form.SetText(box, std::isfinite(x) ? FormatPadded(x, width, decimals) : "");
  };
  show("BulkEdit", c.K, 9, 5);
  show("YoungEdit", c.E, 9, 5);
  show("ShearEdit", c.G, 9, 5);
  show("PoissonEdit", c.nu, 8, 6);
  services.Repaint();
  const std::string problem = IsotropicResultProblem(r.isotropic);
  if (!problem.empty()) services.Inform(problem);
}

void MainForm::IsoTensorClick() {
  OrientationsRec& ctx = CurrentContext;
  CijklVector a{};
  ReadRotationGrid(a, 1);
  if (const auto bad =
          core::StiffnessProblem(a, "the single-crystal constants of the stiffness grid")) {
    services.Inform(*bad);
    return;
  }
  // The constants of the grid are the single crystal's from now on, as after a calculation.
  core::CijklToTensor(a, ctx.Lr);
  OrientationsRec crystal;
  crystal.Lr = ctx.Lr;
  crystal.Cryst.SYS = ctx.Cryst.SYS;
  const models::MacroStiffnessResult r =
      models::CalcMacroStiffness(crystal, models::MacroTexture::kUntextured,
                                 static_cast<polydec::ModelCode>(FCode()), nullptr);
  ctx.L = crystal.L;
  ctx.a = ToVector(ctx.L);
  InitRotationGrid(ctx.a, 8);
  CalcBulkConst();
  InitRotationGrid(ToVector(ctx.Lr), 1);
  const std::string problem = IsotropicResultProblem(r.isotropic);
  if (!problem.empty()) services.Inform(problem);
}

void MainForm::MultiphaseGridMouseDown() {
  Grid& g = form.GridOf("MultiphaseGrid");
  const int c = g.col, r = g.row;
  if (!g.Contains(c, r) || r < 1) return;
  if (c == 1 && (r == 1 || !g.Cell(2, r - 1).empty())) {
    // The load command reports success in the status bar; a cancelled or failed load does not.
    const std::string before = form.statusPanels[0];
    form.statusPanels[0].clear();
    Run("LoadBtnClick");
    const std::string loaded = texture::kODFLoadedStatus;
    const std::string& status = form.statusPanels[0];
    if (status.compare(0, loaded.size(), loaded) == 0) {
      g.SetCell(1, r, std::filesystem::path(status.substr(loaded.size())).filename().string());
    } else if (status.empty()) {
      form.statusPanels[0] = before;
    }
  } else if (c == 0) {
    Control& names = form["CompoundNameBox"];
    names.parent = "MultiPhaseBox";
    g.SetCell(0, r, names.text);
  }
}

void MainForm::CalcBulkConst() {
  CijklVector c{};
  ReadRotationGrid(c, 8);
  Tensor4 C;
  core::CijklToTensor(c, C);
  const models::EngineeringConstantsRec e = models::MacroEngineeringConstants(
      C, static_cast<polydec::SampleSymmetry>(CurrentContext.SYMMETRY));

  Grid& g = form.GridOf("RotationGrid");
  for (const EngineeringCell& at : kEngineeringCells) {
    const Real x = e.*at.field;
    g.SetCell(at.col, at.row, FiniteOrEmpty(x, FormatPadded(x, 6, at.decimals), " "));
  }
}

void MainForm::ReCalcMacroConst() {
  CijklVector c{};
  ReadRotationGrid(c, 8);
  const Grid& g = form.GridOf("RotationGrid");
  const auto cell = [&g](int col, int row) {
    return ParseNumber(GetWord(g.Cell(col, row), 1)).value;
  };
  models::EngineeringConstantsRec e;
  for (const EngineeringCell& at : kEngineeringCells) e.*at.field = cell(at.col, at.row);
  // Constants that admit no stiffness leave the stiffness rows as they were instead of filling
  // them with infinities.
  const std::optional<CijklVector> stiffness = models::OrthotropicStiffness(e, c);
  if (!stiffness) return;
  c = *stiffness;
  InitRotationGrid(c, 8);
}

}  // namespace polydec::workbench
