// Tooltips for the controls whose captions say little to a new user (what a ticked fix/free box
// does, which stiffness "cij" and "Cij" are, what each grain-interaction model assumes), and the
// keyboard shortcuts of the most used buttons.
#include <string>
#include <utility>

#include "workbench/main_form.h"

namespace polydec::workbench {

namespace {

void Hint(Form& form, const std::string& name, std::string hint) {
  if (form.Has(name)) form[name].hint = std::move(hint);
}

void Shortcut(Form& form, const std::string& name, const std::string& keys) {
  if (!form.Has(name)) return;
  Control& c = form[name];
  c.shortcut = keys;
  c.hint = c.hint.empty() ? keys : c.hint + " (" + keys + ")";
}

}  // namespace

void AddControlHints(Form& form) {
  const std::pair<const char*, const char*> stresses[] = {
      {"sig11box", "sig_xx"}, {"sig22box", "sig_yy"}, {"sig33box", "sig_zz"},
      {"sig23box", "sig_yz"}, {"sig13box", "sig_xz"}, {"sig12box", "sig_xy"}};
  for (const auto& [box, name] : stresses)
    Hint(form, box,
         std::string("checked: ") + name +
             " is held at the value of the result row (the worksheet's " + name +
             " cell of the data set's result row); unchecked: it is fitted by Calc Stress");
  Hint(form, "d0box",
       "checked: d0 is held at each row's d0 cell; unchecked: d0 is fitted by Calc Stress");
  Hint(form, "eps0box",
       "checked: each row's eps0 strain is taken out of its measured spacing before the fit");
  Hint(form, "FixFreeGroupBox",
       "checked components are held at the values of the result row, unchecked ones are fitted");

  Hint(form, "UseFij",
       "checked: the worksheet takes the six stress factors F11..F12 of each row (textured "
       "samples); unchecked: the diffraction elastic constants S1 and 1/2S2 (quasi-isotropic "
       "samples). Switching empties the columns from F11 or S1 on");

  // The stiffness grid holds two tensors that differ only by the case of their names.
  Grid& rot = form.GridOf("RotationGrid");
  rot.headerHints["cij [GPa]"] = "cij: single-crystal stiffness of the phase, in GPa";
  rot.headerHints["Cij [GPa]"] =
      "Cij: macroscopic stiffness of the polycrystal (the matrix of the grain-interaction "
      "models), in GPa";
  Hint(form, "RotationGrid",
       "rows 1-6: cij, single-crystal stiffness; rows 8-13: Cij, macroscopic stiffness of the "
       "polycrystal; then the engineering constants of Cij");
  Hint(form, "ODFIntegIntervals",
       "Simpson half-intervals N per Euler angle of \"Calc Cij (ODF)\"; auto: 12, 24 without "
       "the sample's twofold axes, twice that for the self-consistent models");
  Hint(form, "CalcMaConstBtn", "computes Cij, the macroscopic stiffness, from cij and the texture");
  Hint(form, "IsoTensor",
       "makes Cij, the macroscopic stiffness, that of an untextured polycrystal");
  Hint(form, "CijBulk", "engineering constants E, G, nu of Cij, the macroscopic stiffness");
  Hint(form, "BulkToCijBtn", "Cij, the macroscopic stiffness, from the engineering constants");

  Hint(form, "VoigtBttn", "Voigt: every grain has the strain of the sample");
  Hint(form, "MVoigtBtn",
       "MVoigt: the grains of a reflection share one strain (Voigt along the diffraction fibre)");
  Hint(form, "ReussBtn", "Reuss: every grain carries the stress of the sample");
  Hint(form, "KroenerBtn",
       "Kroener: each grain an ellipsoidal inclusion in the polycrystal (self-consistent, "
       "compliance form)");
  Hint(form, "InvKroener",
       "inverse Kroener: each grain an ellipsoidal inclusion in the polycrystal "
       "(self-consistent, stiffness form)");
  Hint(form, "HillBtn", "Hill: the mean of the Voigt and Reuss results");
  Hint(form, "VookWittBtn", "Vook-Witt (model code 12): this version computes nothing for it");

  Grid& sheet = form.GridOf("StrainGrid");
  sheet.headerHints["#"] = "data set: rows with the same label are evaluated together";
  sheet.headerHints["##"] = "label of the data set whose results this row holds";
  for (const char* f : {"F11", "F22", "F33", "F23", "F13", "F12"})
    sheet.headerHints[f] = std::string("stress factor ") + f + " in 1/TPa";
  sheet.headerHints["d_calc"] = "lattice spacing of the fitted stress";
  sheet.headerHints["chisq"] = "chi-square of the data set's fit";

  Grid& results = form.GridOf("ResultsGrid");
  results.headerHints["set"] = "number of the data set (the worksheet's result row)";
  for (const char* s : {"sig_xx", "sig_yy", "sig_zz", "sig_yz", "sig_xz", "sig_xy"})
    results.headerHints[s] = std::string(s) + " in MPa; the +/- beside it is its uncertainty";
  results.headerHints["d0"] = "fitted strain-free spacing (empty when d0 is held fixed)";
  results.headerHints["red. chisq"] =
      "chisq divided by the measurements of the data set less the fitted parameters, for rows "
      "as Calc Stress left them in this session";

  Hint(form, "LoadGridDataBtn", "loads a worksheet file (*.tsd)");
  Hint(form, "SaveGridDataBtn", "saves the worksheet, the notation and the fix/free boxes (*.tsd)");
  Hint(form, "FijBtn", "stress factors of every worksheet row under the checked model");
  Hint(form, "StressBtn", "stresses and d0 of each data set; results in the table below");
  Shortcut(form, "LoadGridDataBtn", "Ctrl+O");
  Shortcut(form, "SaveGridDataBtn", "Ctrl+S");
  Shortcut(form, "CalcDECBtn", "Ctrl+D");
  Shortcut(form, "FijBtn", "Ctrl+D");
  Shortcut(form, "StressBtn", "Ctrl+R");
}

}  // namespace polydec::workbench
