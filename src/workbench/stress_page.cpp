// The stress-factor and stress-evaluation commands of the "DEC/Stress/Strain" page: "Calc DEC"
// fills the stress factors (or s1, 1/2 s2) of the worksheet rows, "Read grains file " does the
// same for the lines of a text file, and "Calc Stress" fits stresses and d0 to the measured
// lattice spacings of every data set. The calculations live in the engine; the handlers read
// the page into records and write the results and messages back.
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>

#include "api/worksheet_steps.h"
#include "core/atomic_file.h"
#include "core/input_file.h"
#include "core/linalg.h"
#include "core/text_fields.h"
#include "models/stress_factors.h"
#include "stress/fit_report.h"
#include "stress/stress_evaluation.h"
#include "stress/worksheet_cells.h"
#include "workbench/main_form.h"
#include "workbench/save_choice.h"
#include "workbench/strain_page.h"

namespace polydec::workbench {

using core::OrientationsRec;
using core::Real;

namespace {

// Lends the window's context to a calculator and takes it back, with the state the
// calculation left in it, however the handler ends.
class LentContext {
 public:
  LentContext(OrientationsRec& owner, bool fibre)
      : owner_(owner), calc_(std::move(owner), fibre) {}
  ~LentContext() { owner_ = std::move(calc_).Release(); }
  LentContext(const LentContext&) = delete;
  LentContext& operator=(const LentContext&) = delete;
  models::StressFactorCalculator& calc() { return calc_; }

 private:
  OrientationsRec& owner_;
  models::StressFactorCalculator calc_;
};

}  // namespace

void MainForm::RegisterStressCommands() {
  Register("FijBtnClick", [this] { FijBtnClick(); });
  Register("GrainsFileBtnClick", [this] { GrainsFileBtnClick(); });
  Register("StrainBtnClick", [this] { StrainBtnClick(*this); });
  Register("LoadFijClick", [this] { LoadFijClick(*this); });
  Register("StressBtnClick", [this] { StressBtnClick(); });
}

void MainForm::FijBtnClick() {
  OrientationsRec& ctx = CurrentContext;
  form.statusPanels[1] = "";
  services.Repaint();
  if (!CalcInit()) return;
  ctx.hkl(1) = ctx.hkl(2) = ctx.hkl(3) = -1;
  IntegIntervalsExit();
  if (!models::FibreIntervalsUsable(ctx.IIntervls)) {
    services.Inform(models::FibreIntervalsMessage());
    return;
  }
  ctx.OrientationDistance = core::ParseNumber(form.Text("OrientationDistEdit")).value;
  const core::Int start = core::ReadClock();

  Grid& g = form.GridOf("StrainGrid");
  const bool fij = form.Checked("UseFij");
  const int model = FCode();
  std::optional<stress::FactorStop> stop;
  {
    LentContext lent(ctx, fij);
    BusyScope busy(services);
    // Escape stops after the row being computed; the rows before it keep their new factors. It
    // is looked for after the first row and then every 50 ms: a table of thousands of rows
    // takes its cached factors in microseconds each.
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> asked;
    const auto progress = [&](int r) {
      form.statusPanels[0] = "Calculating Fij for " + g.Cell(g.ColumnOf("h k l"), r) + "at (" +
                             g.Cell(g.ColumnOf("phi"), r) + g.Cell(g.ColumnOf("psi"), r) +
                             "), row " + std::to_string(r) + " (Escape stops)";
      services.Repaint();
      const Clock::time_point now = Clock::now();
      if (asked && now - *asked < std::chrono::milliseconds(50)) return true;
      asked = now;
      return !services.CancelRequested();
    };
    stop = api::FillWorksheetFactors(g, fij, static_cast<polydec::CrystalClass>(CrystalClass()),
                                     lent.calc(), static_cast<polydec::ModelCode>(model),
                                     progress, nullptr);
  }
  if (stop && stop->byCaller) {
    services.Inform("Calc DEC stopped (Escape) after row " + std::to_string(stop->row) +
                    ": the rows up to it have their new stress factors, the rows after it "
                    "are unchanged.");
    g.Select(0, stop->row);
    form.statusPanels[0] = " ";
    return;
  }
  if (stop) {
    services.Inform(stop->error.message);
    g.Select(stop->col, stop->row);
    return;
  }
  form.statusPanels[0] = "computation time: " + std::to_string(core::ReadClock() - start) + " ms.";
}

void MainForm::GrainsFileBtnClick() {
  struct ClearTitles {
    Form& f;
    ~ClearTitles() {
      f.openDialog.title.clear();
      f.saveDialog.title.clear();
    }
  } clearTitles{form};
  form.openDialog.title = "Load grains file";
  form.saveDialog.title = "Save calculation results";
  if (!services.ExecuteOpen(form.openDialog)) return;
  const std::string inPath = form.openDialog.fileName;
  if (!ChooseSaveFile(services, form.saveDialog)) return;
  const std::string outPath = form.saveDialog.fileName;

  // The whole input is read first, so that the output may even replace the input file.
  if (const auto problem = core::InputFileProblem(inPath)) {
    services.Inform("The grains file " + inPath + " cannot be opened: " + *problem + ".");
    return;
  }
  std::ifstream in(inPath, std::ios::binary);
  if (!in) {
    services.Inform("The grains file " + inPath + " cannot be opened.");
    return;
  }
  std::ostringstream content;
  content << in.rdbuf();
  in.close();

  // The results replace the chosen file only when they are complete.
  core::AtomicWriter out(outPath);
  if (!out.ok()) {
    services.Inform("The file " + outPath + " cannot be written.");
    return;
  }
  OrientationsRec& ctx = CurrentContext;
  if (!CalcInit()) return;
  IntegIntervalsExit();
  if (!models::FibreIntervalsUsable(ctx.IIntervls)) {
    form.statusPanels[0] = "";
    services.Inform(models::FibreIntervalsMessage());
    return;
  }
  models::GrainsFileResult result;
  {
    LentContext lent(ctx, true);
    BusyScope busy(services);
    result = models::ComputeGrainsFile(content.str(), inPath, lent.calc(), [&](std::size_t n) {
      form.statusPanels[0] = "Calculating Fij for line " + std::to_string(n);
      services.Repaint();
    });
  }
  form.statusPanels[0] = "";
  if (!result.error.empty()) {
    services.Inform(result.error);
    return;
  }
  out.Write(result.text);
  if (out.Commit()) services.Inform("The file " + outPath + " cannot be written.");
}

void MainForm::StressBtnClick() {
  Grid& g = form.GridOf("StrainGrid");
  const bool fij = form.Checked("UseFij");
  const stress::WorksheetStressRows read = stress::ReadStressRows(g, fij);
  if (read.error) {
    services.Inform(read.error->message);
    g.Select(read.error->column, read.error->line);  // the cell that stopped it
    return;
  }
  if (read.rows.empty()) return;
  // In the S1 layout the context keeps the s1 and 1/2 s2 of the last row evaluated: the last
  // member of the last data set.
  if (!fij) {
    const int r = stress::GroupDataSets(read.rows).back().members.back().row;
    CurrentContext.s1 = core::ParseNumber(core::GetWord(g.Cell(g.ColumnOf("S1"), r), 1)).value;
    CurrentContext.s2 = core::ParseNumber(core::GetWord(g.Cell(g.ColumnOf("½S2"), r), 1)).value;
  }

  stress::StressFitOptions options;
  const char* boxes[] = {"sig11box", "sig22box", "sig33box", "sig23box", "sig13box", "sig12box"};
  for (int p = 0; p < 6; ++p) options.fixed[p] = form.Checked(boxes[p]);
  options.d0Fixed = form.Checked("d0box");
  options.subtractEps0 = form.Checked("eps0box");
  const stress::StressEvaluation result =
      stress::EvaluateStress(read.rows, options, [&g](std::size_t set) {
        return stress::HeldStresses(g, static_cast<int>(set) + 1);
      });
  if (result.error) {
    services.Inform(result.error->message);
    g.Select(result.error->column, result.error->line);
    return;
  }
  stress::WriteStressResults(g, result.sets);
  NoteStressFit(result.sets);
  // The uncertainty report of every data set, then the classical evaluation per azimuth.
  std::vector<std::string> memo = stress::UncertaintyReport(result.sets);
  ShowPerAzimuth(*this, read.rows, options.subtractEps0);
  std::vector<std::string>& lines = form["Memo1"].lines;
  lines.insert(lines.begin(), memo.begin(), memo.end());
  g.Select(g.ColumnOf("sig_xx") - 1, 1);
}

}  // namespace polydec::workbench
