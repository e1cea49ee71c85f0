// "Calc Strain" and "Load Fij" of the "DEC/Stress/Strain" page: lattice spacings predicted from
// the stresses of the result block, and stress factors measured or calculated elsewhere loaded
// from a stress factor file. The work is done by the engine; the handlers connect it to the
// page's boxes, status bar and messages.
#include "workbench/strain_page.h"

#include <string>

#include "core/text_fields.h"
#include "stress/per_azimuth.h"
#include "stress/sff_file.h"
#include "stress/strain_calculation.h"

namespace polydec::workbench {

void StrainBtnClick(MainForm& m) {
  Form& form = m.form;
  Services& services = m.services;
  core::OrientationsRec& CurrentContext = m.CurrentContext;
  Grid& g = form.GridOf("StrainGrid");
  const bool fij = form.Checked("UseFij");
  const int colPhi = g.ColumnOf("phi");
  const int colPsi = g.ColumnOf("psi");
  const auto progress = [&](const stress::StrainProgress& p) {
    CurrentContext.SamplePolAngles.phi = p.phi;
    CurrentContext.SamplePolAngles.psi = p.psi;
    if (p.s1Layout) {
      CurrentContext.s1 = p.s1;
      CurrentContext.s2 = p.s2half;
    }
    form.statusPanels[1] =
        "Calculating for phi=" + g.Cell(colPhi, p.row) + "  psi=" + g.Cell(colPsi, p.row);
    services.Repaint();
  };
  const auto stop = stress::CalculateStrain(g, fij, form.Checked("eps0box"), progress);
  if (stop) {
    services.Inform(stop->message);
    g.Select(stop->column, stop->line);
    return;
  }
  form.statusPanels[1] = "";
}

void LoadFijClick(MainForm& m) {
  Form& form = m.form;
  Services& services = m.services;
  const Answer go = services.Message(
      MessageKind::kInformation,
      "Ensure that SFF file contains file names for ODFs or a uniform ODF will be assumed.All "
      "calculation will be performed immediately, so make sure that you have selected the "
      "model, grain shape and hkl you want.",
      Buttons::kOkCancel);
  if (go == Answer::kCancel) return;
  struct ClearTitle {
    Form& f;
    ~ClearTitle() { f.openDialog.title.clear(); }
  } clearTitle{form};
  form.openDialog.title = "Load a Stress Factor File.";
  // Stress factors from a file exist in the Fij layout only; switching re-lays the worksheet.
  if (!form.Checked("UseFij")) {
    form.SetChecked("UseFij", true);
    m.Run("UseFijClick");
  }
  if (!services.ExecuteOpen(form.openDialog)) return;
  const std::string file = form.openDialog.fileName;
  if (!LoadFIJFile(m, file)) return;
  const core::Real strain = core::ParseNumber(core::GetWord(form.Text("strainedit"), 1)).value;
  FillFij(m, strain);
  form.statusPanels[0] = "Stress Factors loaded: " + file;
}

bool LoadFIJFile(MainForm& m, const std::string& fileName) {
  Form& form = m.form;
  Services& services = m.services;
  Grid& g = form.GridOf("StrainGrid");
  const std::string reflection =
      form.Text("czhkl") + " " + std::to_string(m.FCode()) + " " + form.Text("GrainshapeEdit");
  const stress::SffLoad load = stress::LoadStressFactorFile(fileName, g, reflection);
  if (load.error) {
    // The count error keeps its own words first; every other refusal says where and why.
    const std::string text =
        load.error->message.rfind(stress::kSffCountMessage, 0) == 0
            ? load.error->Describe()
            : "Stress Factors NOT read. Check file and type!\n" + load.error->Describe();
    services.Message(load.error->message.rfind(stress::kSffCountMessage, 0) == 0
                         ? MessageKind::kWarning
                         : MessageKind::kInformation,
                     text, Buttons::kOk);
    return false;
  }
  return true;
}

void FillFij(MainForm& m, core::Real strain) {
  static const stress::FijDataRec kNothingLoaded;
  stress::FillFij(kNothingLoaded, strain, m.form.GridOf("StrainGrid"));
}

void ShowPerAzimuth(MainForm& m, const std::vector<stress::StressMeasurement>& rows,
                    bool subtractEps0) {
  m.form["Memo1"].lines = stress::PerAzimuthLines(
      stress::EvaluatePerAzimuth(stress::GroupDataSets(rows), subtractEps0));
}

}  // namespace polydec::workbench
