// The commands of the single-crystal constant fit: loading a fit input (*.dec) into the fit
// record, the stiffness grid and the worksheet, and the Levenberg-Marquardt fit with its
// progress in the window, its question after every cycle and its report (*.res).
#include <string>

#include "core/stiffness_check.h"
#include "core/tensor_inversion.h"
#include "core/text_fields.h"
#include "core/voigt.h"
#include "crystal/lattice.h"
#include "fit/constant_fit.h"
#include "fit/fit_input.h"
#include "fit/lm_fit.h"
#include "models/eshelby.h"
#include "workbench/main_form.h"

namespace polydec::workbench {

using core::FloatVec;
using core::Real;
using core::FormatFixed;

namespace {

FloatVec CrystalPart(const FloatVec& a) {
  FloatVec v{};
  for (int n = 1; n <= 21; ++n) v[n] = a[n];
  return v;
}

FloatVec MatrixPart(const FloatVec& a) {
  FloatVec v{};
  for (int n = 1; n <= 21; ++n) v[n] = a[21 + n];
  return v;
}

// Iter, Chisq and alamda of the step, the calculated values, and the constants reached.
void ShowFitProgress(MainForm& w, const fit::FitProgress& p) {
  const fit::FitRecord& r = p.rec;
  Grid& rot = w.form.GridOf("RotationGrid");
  rot.SetCell(1, 7, "Iter:");
  rot.SetCell(2, 7, std::to_string(p.step));
  rot.SetCell(3, 7, "Chisq:");
  rot.SetCell(4, 7, FormatFixed(r.chisq, 7, 2));
  rot.SetCell(5, 7, "alamda:");
  rot.SetCell(6, 7, FormatFixed(r.alamda, 7, 2));
  Grid& sheet = w.form.GridOf("StrainGrid");
  for (int i = 1; i <= r.ndata; ++i) sheet.SetCell(11, i, FormatFixed(r.calc[i] * 1000, 6, 3));
  w.form.statusPanels[1] =
      "Iteration " + std::to_string(p.step) + " of " + std::to_string(r.MAXITER);
  w.InitRotationGrid(CrystalPart(r.a), 1);
  w.CurrentContext.a = MatrixPart(r.a);
  w.InitRotationGrid(w.CurrentContext.a, 8);
  w.CalcBulkConst();
  w.services.Repaint();
}

}  // namespace

void MainForm::RegisterFitCommands() {
  Register("Button2Click", [this] { Button2Click(); });
  Register("FitSCConstantsBtnClick", [this] { FitSCConstantsBtnClick(); });
}

void MainForm::Button2Click() {
  FileDialog& dialog = form.openDialog;
  dialog.title =
      "Load a *.DEC input file with measured stress factors to start fitting SC constants";
  dialog.filterIndex = 3;
  if (!services.ExecuteOpen(dialog)) return;
  if (!ReadInputParams(dialog.fileName)) return;
  form["FitSCConstantsBtn"].enabled = true;
}

bool MainForm::ReadInputParams(const std::string& fileName) {
  core::InputError error;
  const std::optional<fit::FitInput> in = fit::ReadFitInputFile(fileName, error);
  if (!in) {
    services.Message(MessageKind::kWarning,
                     "The fit input was not loaded:\n" + fit::FitInputErrorText(fileName, error),
                     Buttons::kOk);
    return false;
  }
  fit::ApplyFitInput(*in, fileName, CurrentContext, FitRecord);
  FitReportFile.clear();

  InitRotationGrid(CrystalPart(FitRecord.a), 1);
  // The scratch vector hands the matrix stiffness to rows 8..13 whenever the page is shown.
  CurrentContext.a = MatrixPart(FitRecord.a);
  InitRotationGrid(CurrentContext.a, 8);
  CalcBulkConst();

  Grid& sheet = form.GridOf("StrainGrid");
  for (int i = 1; i <= FitRecord.ndata; ++i) {
    const fit::FitDataPoint& p = in->points[static_cast<std::size_t>(i - 1)];
    sheet.SetCell(3, i, FormatFixed(p.phi, 5, 1));
    sheet.SetCell(4, i, FormatFixed(p.psi, 5, 1));
    sheet.SetCell(
        2, i, FormatFixed(p.h, 3, 0) + " " + FormatFixed(p.k, 3, 0) + " " + FormatFixed(p.l, 3, 0));
    // 10^-6 MPa^-1, whichever unit the file used.
    sheet.SetCell(9, i, FormatFixed(FitRecord.z[i] * 1000, 7, 4));
    sheet.SetCell(10, i, FormatFixed(FitRecord.sig[i] * 1000, 7, 4));
  }
  services.Repaint();
  return true;
}

void MainForm::FitSCConstantsBtnClick() {
  core::OrientationsRec& ctx = CurrentContext;
  fit::FitRecord& rec = FitRecord;
  const int code = FCode();
  IntegIntervalsExit();
  if (const std::string why = fit::CheckFitSetup(ctx, rec, static_cast<polydec::ModelCode>(code));
      !why.empty()) {
    form.statusPanels[1] = why;
    services.Message(MessageKind::kInformation, why, Buttons::kOk);
    return;
  }

  // The constants as the grid shows them now: the user may have edited them since the load.
  // Every evaluation of the fit inverts both, so a start that no stable material has is
  // refused before anything changes.
  FloatVec crystalStart{}, matrixStart{};
  ReadRotationGrid(crystalStart, 1);
  ReadRotationGrid(matrixStart, 8);
  for (const auto& [v, what] :
       {std::pair<const FloatVec*, const char*>{
            &crystalStart, "the single-crystal constants of the stiffness grid"},
        {&matrixStart, "the matrix constants of the stiffness grid"}}) {
    core::CijklVector c{};
    for (int n = 1; n <= 21; ++n) c[n] = (*v)[n];
    if (const auto bad = core::StiffnessProblem(c, what)) {
      form.statusPanels[1] = *bad;
      services.Message(MessageKind::kInformation, *bad, Buttons::kOk);
      return;
    }
  }

  form.statusPanels[0] = "Fitting single crystal constants using " + rec.InputFile;
  SetListIndexfromSS();
  form.statusPanels[1].clear();
  for (int n = 1; n <= 21; ++n) rec.a[n] = crystalStart[n];
  for (int n = 1; n <= 21; ++n) rec.a[21 + n] = matrixStart[n];
  const core::ParsedInteger steps =
      core::ReadInteger(form.GridOf("RotationGrid").Cell(2, 7));
  if (steps.ok() && steps.value >= 1 && steps.value <= fit::kMaxStepsPerCycle)
    rec.MAXITER = steps.value;

  fit::FitCallbacks callbacks;
  callbacks.onStep = [this](const fit::FitProgress& p) { ShowFitProgress(*this, p); };
  callbacks.onCycle = [this](int, const fit::FitRecord&) {
    return services.Message(MessageKind::kConfirmation, "Continue?", Buttons::kYesNo) ==
           Answer::kYes;
  };
  services.BeginBusy();
  const fit::FitOutcome outcome =
      fit::FitSingleCrystalConstants(ctx, rec, static_cast<polydec::ModelCode>(code), callbacks);
  services.EndBusy();

  if (outcome.status == fit::FitStatus::kShapeRefused) {
    services.Inform(outcome.message);
    return;
  }
  if (outcome.status == fit::FitStatus::kStopped) {
    // The constants stay at the last accepted step; without a covariance there is no report.
    form.statusPanels[1] = outcome.message;
    services.Message(MessageKind::kWarning,
                     "The fit of the single-crystal constants stopped:\n" + outcome.message,
                     Buttons::kOk);
  } else {
    const std::string path = FitReportFile.empty() ? rec.InputFile + ".res" : FitReportFile;
    std::string error, notFinite;
    const std::string report = fit::FitReportText(ctx, rec, &notFinite);
    if (!notFinite.empty())
      services.Message(MessageKind::kWarning,
                       "The fit report was not written: " + notFinite +
                           " is not a finite number for these constants.",
                       Buttons::kOk);
    else if (!fit::AppendFitReport(path, report, error))
      services.Message(MessageKind::kWarning, "The fit report was not written:\n" + error,
                       Buttons::kOk);
  }
  form.openDialog.title.clear();
}

}  // namespace polydec::workbench
