// Commands of the macroscopic elastic constants: the stiffness of a textured polycrystal ("Calc
// Cij (ODF)"), the isotropic aggregate of the "Isotropic" page and of the stiffness grid, and
// the clicks into the multiphase grid.
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "core/tensor_inversion.h"
#include "core/voigt.h"
#include "core/text_fields.h"
#include "models/aggregate.h"
#include "models/eshelby.h"
#include "models/macro_stiffness.h"
#include "models/symmetry_projection.h"
#include "texture/odf_readers.h"
#include "texture/random_grains.h"
#include "workbench/main_form.h"

namespace polydec::workbench {

using core::CijklVector;
using core::OrientationsRec;
using core::Real;
using core::Tensor4;
using core::FormatFixed;
using core::FormatPadded;

namespace {

constexpr const char* kWtsErrorStatus = "Error reading WTS file.";
constexpr const char* kNoWeightMessage =
    "The grains hold no weight (the ODF is 0 at every grain): no average can be formed.";
constexpr const char* kKeptMatrix = " The matrix stiffness is left unchanged.";

CijklVector ToVector(const Tensor4& T) {
  CijklVector v{};
  core::TensorToCijkl(T, v);
  return v;
}

bool FiniteTensor(const Tensor4& T) {
  for (Real x : T.e)
    if (!std::isfinite(x)) return false;
  return true;
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

}  // namespace

void MainForm::RegisterMacroCommands() {
  Register("CalcMaConstBtnClick", [this] { CalcMaConstBtnClick(); });
  Register("CalcMaConstButtonClick", [this] { CalcMaConstButtonClick(); });
  Register("IsoTensorClick", [this] { IsoTensorClick(); });
  Register("MultiphaseGridMouseDown", [this] { MultiphaseGridMouseDown(); });
}

void MainForm::CalcMaConstBtnClick() {
  OrientationsRec& ctx = CurrentContext;
  form.statusPanels[0] = "Initializing Eshelby tensors. This will take a few seconds.";
  services.Repaint();
  BusyScope busy(services);

  const core::ParsedInteger grains = core::ReadInteger(form.Text("OrtDistBox"));
  const core::ParsedInteger intervals = core::ReadInteger(form.Text("IntegIntervals"));
  ctx.IIntervls = intervals.ok() ? intervals.value : 20;
  const core::ParsedInteger iter = core::ReadInteger(form.Text("IterNumEdit"));
  ctx.Iter = iter.ok() ? iter.value : 1;
  if (!iter.ok()) services.Inform("Not a valid input for the number of iterations!");

  CalcInit();
  ctx.UseGrains = form.Checked("MaConstUseGrains");

  core::ORTN_Array list;
  list.push_back(std::make_unique<OrientationsRec>());
  OrientationsRec& phase = *list[0];
  SetSSFromList();
  CopyContextWithODF(ctx, phase);

  const auto endWith = [this](const std::string& status) {
    form.statusPanels[0] = status;
    services.Repaint();
  };
  if (form.Checked("ReadWtsBox")) {
    FileDialog& d = form.openDialog;
    d.title = texture::kGrainsFileTitle;
    if (!services.ExecuteOpen(d)) return endWith(kWtsErrorStatus);
    const texture::ODFReadResult read = texture::readwtsfile(d.fileName, phase);
    if (!read.ok()) {
      services.Inform(read.Describe());
      return endWith(kWtsErrorStatus);
    }
    // The reader skips blank lines, so the grain count is the number of entries itself.
    form.statusPanels[0] = std::to_string(phase.GOrient.phi1.size()) + " orientations read.";
  } else if (form.Checked("MaConstUseGrains")) {
    const std::string file = texture::RandomOrientationFile(programDir, grains.value);
    const texture::ODFReadResult read =
        texture::WeightRandomGrains(phase, file, grains.ok() ? grains.value : 0);
    if (!read.ok()) {
      services.Inform(read.Describe());
      return endWith(kWtsErrorStatus);
    }
  }
  form.statusPanels[0] = "Projected loop time is about 4 sec.";
  services.Repaint();

  const int model = FCode();
  const int symmetry = ctx.SYMMETRY;
  const bool grainRoute = ctx.UseGrains;
  const auto noWeight = [&] {
    services.Inform(kNoWeightMessage);
    endWith(" ");
  };
  if (model == 0 || model == 1) {
    if (grainRoute) {
      if (!models::GrainAverageStiffness(phase.L, list)) return noWeight();
      CopyContext(phase, ctx);
    } else {
      models::ODFAverage(ctx.L, ctx, ctx.IIntervls, models::kStiffnessAverage);
    }
  } else if (model == 2 || model == 6) {
    Tensor4 reuss, voigt;
    if (grainRoute) {
      if (!models::GrainAverageCompliance(phase.L, list)) return noWeight();
      reuss = phase.L;
      if (model == 6) {
        models::GrainAverageStiffness(phase.L, list);
        voigt = phase.L;
      }
      CopyContext(phase, ctx);
    } else {
      Tensor4 compliance = ctx.M;
      models::ODFAverage(compliance, ctx, ctx.IIntervls, models::kComplianceAverage);
      ctx.M = compliance;
      reuss = compliance;
      core::InvertTensor(reuss, symmetry);
      if (model == 6) {
        voigt = ctx.L;
        models::ODFAverage(voigt, ctx, ctx.IIntervls, models::kStiffnessAverage);
      }
    }
    if (model == 2) {
      ctx.L = reuss;
    } else {
      core::AddTensors(reuss, voigt, ctx.L, 1);
      core::ScaleTensor(ctx.L, 0.5L);
    }
  } else if (model == 3 || model == 4) {
    const int n = core::SymmetryComponents[symmetry >= 0 && symmetry <= 10 ? symmetry : 10][0];
    const Real tenths = static_cast<Real>(ctx.IIntervls) / 10;
    const Real t = tenths * tenths * tenths * n / 21 * 10;
    form.statusPanels[0] =
        "Projected loop time using Kroener needed: " + FormatFixed(t, 4, 1) + " sec.";
    services.Repaint();
    const Tensor4 start = phase.L;
    Tensor4 T = start;
    models::SelfConsistentWatch watch;
    const auto giveUp = [&](const std::string& why) {
      // The grid showed the trial stiffnesses; it goes back to the matrix the rounds began with.
      InitRotationGrid(ToVector(start), 8);
      services.Inform(why + kKeptMatrix);
      endWith(" ");
    };
    for (;;) {
      const models::NewtonResult r = models::SolveSelfConsistent(T, list, 1, FCode());
      if (r.failed || !FiniteTensor(T))
        return giveUp(
            "The self-consistent iteration stopped: its residual could not be evaluated or its "
            "Jacobian is singular.");
      models::CompleteBySymmetry(T, symmetry);
      InitRotationGrid(ToVector(T), 8);
      services.Repaint();
      const models::SelfConsistentWatch::Verdict verdict = watch.Next(r.stepSum);
      if (verdict == models::SelfConsistentWatch::Verdict::kDivergence)
        return giveUp("The self-consistent iteration diverges: the step sum grew in " +
                      std::to_string(models::SelfConsistentWatch::kMaxGrowing) +
                      " rounds in a row.");
      if (verdict == models::SelfConsistentWatch::Verdict::kNoConvergence)
        return giveUp(
            "The self-consistent iteration does not converge: the step sum stayed "
            "above 1e-6 for " +
            std::to_string(models::SelfConsistentWatch::kMaxRoundsAbove) + " rounds.");
      const Answer answer = services.Message(
          MessageKind::kConfirmation, "Chisq=" + FormatFixed(r.stepSum, 7, 2) + ". Continue?",
          Buttons::kYesNo);
      if (answer != Answer::kYes) break;
    }
    phase.L = T;
    CopyContext(phase, ctx);
  }

  models::CompleteBySymmetry(ctx.L, symmetry);
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
  ctx.SYMMETRY = 0;
  core::CijklToTensor(a, ctx.Lr);
  const models::IsotropicAggregateResult r = models::CalcIsoMaConst(a, CrystalClass(), FCode());
  core::CijklToTensor(a, ctx.L);
  const models::IsotropicConstants c = models::EngineeringConstants(a);
  const auto show = [this](const char* box, Real x, int width, int decimals) {
    form.SetText(box, std::isfinite(x) ? FormatPadded(x, width, decimals) : "");
  };
  show("BulkEdit", c.K, 9, 5);
  show("YoungEdit", c.E, 9, 5);
  show("ShearEdit", c.G, 9, 5);
  show("PoissonEdit", c.nu, 8, 6);
  services.Repaint();
  const std::string problem = IsotropicResultProblem(r);
  if (!problem.empty()) services.Inform(problem);
}

void MainForm::IsoTensorClick() {
  OrientationsRec& ctx = CurrentContext;
  CijklVector a{};
  ReadRotationGrid(a, 1);
  // The constants of the grid are the single crystal's from now on, as after a calculation.
  core::CijklToTensor(a, ctx.Lr);
  const models::IsotropicAggregateResult r = models::CalcIsoMaConst(a, ctx.Cryst.SYS, FCode());
  core::CijklToTensor(a, ctx.L);
  ctx.a = a;
  InitRotationGrid(a, 8);
  CalcBulkConst();
  InitRotationGrid(ToVector(ctx.Lr), 1);
  const std::string problem = IsotropicResultProblem(r);
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

}  // namespace polydec::workbench
