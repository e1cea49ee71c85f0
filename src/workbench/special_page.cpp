// The special functions of the window: the single-crystal tensor in a chosen frame ("DEC/Stress/
// Strain" page), the twin-fraction table and the three slip-system runs of the "Settings" page.
// Each handler reads the controls, calls the engine operation and shows its result or refusal.
#include <functional>
#include <string>

#include "core/text_fields.h"
#include "core/voigt.h"
#include "crystal/lattice.h"
#include "special/orientation_runs.h"
#include "special/sc_tensor.h"
#include "special/twin_fraction.h"
#include "workbench/main_form.h"

namespace polydec::workbench {

using core::OrientationsRec;
using core::ParseNumber;
using core::Real;

namespace {

void RunSlipFile(MainForm& m, const std::string& title, const std::string& file,
                 const std::function<special::RunResult(const special::RunControl&)>& run) {
  Form& form = m.form;
  BusyScope busy(m.services);
  special::RunControl control;
  control.progress = [&](int done, int total) {
    form.statusPanels[0] = title + ": " + std::to_string(done) + " of " + std::to_string(total) +
                           " orientations (Esc stops)";
    m.services.Repaint();
  };
  control.cancelled = [&] { return m.services.CancelRequested(); };
  const special::RunResult r = run(control);
  const special::WriteOutcome w = special::WriteRunOutput(file, r);
  if (w.error) {
    form.statusPanels[0] = title + ": the file could not be written";
    m.services.Message(MessageKind::kError, "Could not write " + *w.error, Buttons::kOk);
    return;
  }
  if (r.complete) {
    form.statusPanels[0] =
        title + ": " + std::to_string(r.total) + " orientations written to " + w.file;
  } else {
    form.statusPanels[0] = title + ": stopped";
    m.services.Inform(title + (r.error.empty() ? "" : " failed at " + r.error + ";") +
                      " stopped after " + std::to_string(r.lines.size()) + " of " +
                      std::to_string(r.total) + " orientations; the lines computed are in " +
                      w.file + ", " + file + " is unchanged.");
  }
  m.services.Repaint();
}

}  // namespace

void MainForm::RegisterSpecialCommands() {
  Register("CalcSCTensorBtnClick", [this] { CalcSCTensorBtnClick(); });
  Register("CalcTwinFracBtnClick", [this] { CalcTwinFracBtnClick(); });
  Register("TaylorFactorBtnClick", [this] { TaylorFactorBtnClick(); });
  Register("SchmidtFactorBtnClick", [this] { SchmidtFactorBtnClick(); });
  Register("Button5Click", [this] { Button5Click(); });
}

void MainForm::CalcSCTensorBtnClick() {
  const Grid& g = form.GridOf("RotationGrid");
  core::CijklVector v{};
  for (int I = 1; I <= 6; ++I)
    for (int J = I; J <= 6; ++J) {
      const core::ParsedNumber x = ParseNumber(g.Cell(J, I));
      if (!x.ok()) {
        services.Inform("The single-crystal constant C" + std::to_string(I) + std::to_string(J) +
                        " (row " + std::to_string(I) + ", column " + std::to_string(J) +
                        " of the stiffness table) is not a number.");
        return;
      }
      v[core::VoigtToPosition(I, J)] = x.value;
    }
  OrientationsRec& ctx = CurrentContext;
  core::CijklToTensor(v, ctx.Lr);

  Real turn = 0, x[3], z[3];
  if (!ReadNumberWords("cphi", "rotation about z-axis", 1, &turn)) return;
  if (!ReadNumberWords("xhkl", "<uvw> || x-axis", 3, x)) return;
  if (!ReadNumberWords("zhkl", "<hkl> || z-axis", 3, z)) return;
  InitCrystalData();
  if (const std::string bad = crystal::CheckCell(ctx.Cryst); !bad.empty()) {
    services.Inform("Calc SC Tensor: " + bad);
    return;
  }

  special::SCTensorInputs in;
  in.Lr = ctx.Lr;
  in.cell = ctx.Cryst;
  in.turnDegrees = turn;
  in.xDirection = core::Tensor1{{x[0], x[1], x[2]}};
  in.zDirection = core::Tensor1{{z[0], z[1], z[2]}};
  in.transverselyIsotropic = form.Checked("MakeTransIso");
  const special::SCTensorResult r = special::SingleCrystalTensorInFrame(in);
  if (!r.error.empty()) {
    services.Inform("Calc SC Tensor: " + r.error + ".");
    return;
  }
  ctx.SYMMETRY = polydec::kTriclinicSample;
  SetListIndexfromSS();
  core::TensorToCijkl(r.C, v);
  InitRotationGrid(v, 8);
  CalcBulkConst();
}

void MainForm::CalcTwinFracBtnClick() {
  BusyScope busy(services);
  InitCrystalData();
  OrientationsRec& ctx = CurrentContext;
  Grid& t = form.GridOf("TwinFractionGrid");
  const bool odf = special::HasODF(ctx);
  for (int r = 1; r <= 9 && r < t.rows; ++r) {
    const std::string c1 = t.Cell(1, r), c2 = t.Cell(2, r), c3 = t.Cell(3, r);
    // The first row without a task ends the table.
    if (core::GetWord(c1, 1).empty() && core::GetWord(c2, 1).empty() &&
        core::GetWord(c3, 1).empty())
      break;
    const special::TwinTaskRead read = special::ReadTwinTask(c1, c2, c3, r);
    if (!read.task) {
      core::InputError e = read.error;
      services.Inform("Twin fraction table, row " + std::to_string(e.line) + ", column " +
                      std::to_string(e.column) + " (" + e.field + "): " + e.message + ".");
      return;
    }
    ctx.hkl = read.task->hkl;
    const special::TwinFractionResult res = special::TwinFractions(ctx, *read.task);
    t.SetCell(4, r, core::FormatFixed(res.twinAngle, 5, 3));
    t.SetCell(5, r, res.hasFractions ? core::FormatFixed(res.fraction, 5, 3) : "");
    t.SetCell(6, r, res.hasFractions ? core::FormatFixed(res.twinFraction, 5, 3) : "");
    services.Repaint();
  }
  if (!odf)
    services.Inform(
        "The twin fractions need an ODF: load one with \"Load ODF\" and check \"Use ODF for "
        "calculations\". Only the twin angles were computed.");
}

void MainForm::TaylorFactorBtnClick() {
  RunSlipFile(*this, "Taylor factors", special::kTaylorFileName,
              [](const special::RunControl& c) { return special::TaylorFactorRun(c); });
}

void MainForm::SchmidtFactorBtnClick() {
  if (!CalcInit()) return;
  const OrientationsRec ctx = [this] {
    OrientationsRec copy;
    CopyContext(CurrentContext, copy);
    return copy;
  }();
  RunSlipFile(*this, "Schmid factors", special::kSchmidFileName,
              [&ctx](const special::RunControl& c) { return special::SchmidFactorRun(ctx, c); });
}

void MainForm::Button5Click() {
  RunSlipFile(*this, "Grain elongation", special::kElongationFileName,
              [](const special::RunControl& c) { return special::GrainElongationRun(c); });
}

}  // namespace polydec::workbench
