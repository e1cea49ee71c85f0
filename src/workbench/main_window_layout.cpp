// The main window's pages, groups and controls as they stand when the window has been created
// and before the start-up sequence fills in the material, the worksheet and the settings.
#include <string>
#include <utility>
#include <vector>

#include "models/stress_factors.h"
#include "workbench/main_form.h"

namespace polydec::workbench {

namespace {

// Collects controls of one container at a time so that the layout below reads like the window.
class Builder {
 public:
  explicit Builder(Form& form) : form_(form) {}

  Control& Page(const std::string& name, const std::string& caption) {
    Control c = Make(name, ControlKind::kPage, "");
    c.caption = caption;
    return form_.Add(std::move(c));
  }
  Control& Group(const std::string& name, const std::string& parent, const std::string& caption) {
    Control c = Make(name, ControlKind::kGroup, parent);
    c.caption = caption;
    return form_.Add(std::move(c));
  }
  Control& Edit(const std::string& name, const std::string& text, const std::string& label = "",
                const std::string& command = "") {
    Control c = Make(name, ControlKind::kEdit, parent_);
    c.text = text;
    c.label = label;
    c.command = command;
    return form_.Add(std::move(c));
  }
  // A list-only combo box shows item `index` selected.
  Control& Combo(const std::string& name, std::vector<std::string> items, int index,
                 const std::string& label, const std::string& command, bool listOnly = true) {
    Control c = Make(name, ControlKind::kCombo, parent_);
    c.items = std::move(items);
    c.itemIndex = index;
    if (index >= 0) c.text = c.items[static_cast<std::size_t>(index)];
    c.label = label;
    c.command = command;
    c.listOnly = listOnly;
    return form_.Add(std::move(c));
  }
  Control& Check(const std::string& name, const std::string& caption, bool checked,
                 const std::string& command = "") {
    Control c = Make(name, ControlKind::kCheck, parent_);
    c.caption = caption;
    c.checked = checked;
    c.command = command;
    return form_.Add(std::move(c));
  }
  // Radio buttons run no command of their own; the handlers ask which one is checked.
  Control& Radio(const std::string& name, const std::string& caption, bool checked = false) {
    Control c = Make(name, ControlKind::kRadio, parent_);
    c.caption = caption;
    c.checked = checked;
    return form_.Add(std::move(c));
  }
  // A button runs <name>Click unless the handler is named otherwise.
  Control& Button(const std::string& name, const std::string& caption,
                  const std::string& command = "") {
    Control c = Make(name, ControlKind::kButton, parent_);
    c.caption = caption;
    c.command = command.empty() ? name + "Click" : command;
    return form_.Add(std::move(c));
  }
  Control& GridControl(const std::string& name, int cols, int rows, bool editable,
                       const std::string& label = "", const std::string& command = "") {
    Control c = Make(name, ControlKind::kGrid, parent_);
    c.label = label;
    c.command = command;
    c.grid.Resize(cols, rows);
    c.grid.editable = editable;
    return form_.Add(std::move(c));
  }
  Control& Memo(const std::string& name, std::vector<std::string> lines,
                const std::string& label = "") {
    Control c = Make(name, ControlKind::kMemo, parent_);
    c.lines = std::move(lines);
    c.label = label;
    return form_.Add(std::move(c));
  }

  void In(const std::string& parent) { parent_ = parent; }

 private:
  static Control Make(const std::string& name, ControlKind kind, const std::string& parent) {
    Control c;
    c.name = name;
    c.kind = kind;
    c.parent = parent;
    return c;
  }

  Form& form_;
  std::string parent_;
};

// Every row gets the standard height of 20 pixels, as the window's fit-to-content rule sets it.
void SetColumnWidths(Grid& g, const std::vector<int>& widths) {
  for (std::size_t i = 0; i < widths.size() && i < g.colWidths.size(); ++i)
    g.colWidths[i] = widths[i];
  g.rowHeights.assign(static_cast<std::size_t>(g.rows), 20);
}

// The 21 constants of a cubic iron-like crystal that the boxes show before a material is chosen.
std::string InitialConstantText(int i, int j) {
  if (i == j) return i <= 3 ? "237" : "116";
  return j <= 3 ? "141" : "0";
}

// Column widths of the stiffness grid: a label column of 85 pixels and six equal columns; the
// width here is that of the reference layout, the front end recomputes it when the window is
// resized.
constexpr int kRotationGridWidth = 481;

void BuildIsotropicPage(Builder& b) {
  b.Page("TabSheet1", "Isotropic");
  b.Group("SECActions", "TabSheet1", "");
  b.In("SECActions");
  for (int i = 1; i <= 6; ++i)
    for (int j = i; j <= 6; ++j) {
      const std::string id = "C" + std::to_string(i) + std::to_string(j);
      // Only the boxes whose change ties other boxes together have an exit rule.
      const bool ruled = i == 1 || (i == 4 && j == 4);
      Control& c = b.Edit(id + "Edit", InitialConstantText(i, j), id, ruled ? id + "EditExit" : "");
      if (id == "C13") c.enabled = false;
    }
  b.Combo("CompoundNameBox", {}, -1, "Compound", "CompoundNameBoxClick", false);
  b.Combo("CrystalSymmetryBox",
          {"isotropic", "cubic", "hexagonal", "tetragonal1", "tetragonal2", "trigonal1",
           "trigonal2", "orthorhombic", "monoclinic1", "monoclinic2", "triclinic"},
          1, "Crystal Symmetry", "CrystalSymmetryBoxClick");
  b.Memo("ReferenceMemo", {}, "Reference");
  b.Button("AddDBButton", "Add to Database");

  b.Group("UnitCellGroupBox", "TabSheet1", "Unit Cell Parameters");
  b.In("UnitCellGroupBox");
  b.Edit("aEdit", "2.868", "a");
  b.Edit("bEdit", "2.868", "b");
  b.Edit("cEdit", "2.868", "c");
  b.Edit("alphaEdit", "90", "alpha");
  b.Edit("betaEdit", "90", "beta");
  b.Edit("gammaEdit", "90", "gamma");

  b.Group("AggregateGroupBox", "TabSheet1", "Calculated Aggregate Properties");
  b.In("AggregateGroupBox");
  b.Edit("YoungEdit", "0", "Young's Modulus");
  b.Edit("PoissonEdit", "0", "Poisson's Ratio");
  b.Edit("ShearEdit", "0", "Shear Modulus");
  b.Edit("BulkEdit", "0", "Bulk Modulus");
  b.Button("CalcMaConstButton", "Calculate Macro - Constants");

  b.In("TabSheet1");
  b.Edit("HEdit", "1", "H");
  b.Edit("KEdit", "1", "K");
  b.Edit("LEdit", "1", "L");
  b.Button("CalcDECBtn", "Calc DEC");
  b.Edit("s1Edit", "0", "s1");
  b.Edit("s2Edit", "0", "1/2s2");
  b.Edit("dEdit", "", "d-spacing");
  b.Button("ExitButton", "&Exit").command.clear();

  // Choosing reflections: the table of every family (shown beside the constants by the front
  // end) and the single crystal's directional moduli.
  b.Group("ReflectionsGroupBox", "TabSheet1", "Reflections and anisotropy");
  b.In("ReflectionsGroupBox");
  b.Edit("MaxIndexEdit", "4", "Largest index");
  b.Edit("ReflWavelengthEdit", "1.5406", "Wavelength (Å)");
  b.Button("ReflectionTableBtn", "List reflections");
  b.Button("YoungMapBtn", "E(n) picture");
  b.Button("CompressibilityMapBtn", "β(n) picture");
}

void BuildDecPage(Builder& b) {
  b.Page("TabSheet3", "DEC/Stress/Strain");
  b.Group("AnElConstBox", "TabSheet3", "Elastic Constants");
  b.In("AnElConstBox");
  // What every calculation uses (sample symmetry, grain shape, model, texture) comes first, so
  // that it shows at the start size; the constants' grid below it scrolls.
  b.Combo("SampleSymmetry",
          {"ISOTROPIC   (2)", "TRANSVERSAL ISO.  (5)", "ORTHORHOMBIC (9)", "MONOCLINIC (13)",
           "TRICLINIC    (21)"},
          0, "Sample symmetry", "SampleSymmetryChange");
  b.Edit("GrainshapeEdit", "1 1 1", "Grain shape (ellipsoid axes)");
  b.Radio("VoigtBttn", "Voigt");
  b.Radio("MVoigtBtn", "MVoigt");
  b.Radio("ReussBtn", "Reuss");
  b.Radio("KroenerBtn", "Kroener {=S+t}", true);
  b.Radio("InvKroener", "Inv. Kroener =(C+r)-¹}");
  b.Radio("HillBtn", "Hill");
  // The start-up hides the Vook-Witt model; no later command shows it again.
  b.Radio("VookWittBtn", "Vook-Witt").visible = false;
  b.Check("UseODFBtn", "Use ODF for calculations", false, "UseODFBtnClick");
  b.Button("IsoTensor", "Make Cij isotropic");
  b.Button("CalcMaConstBtn", "Calc Cij (ODF)");
  b.Button("CijBulk", "Cij-->E,nu");
  b.Button("BulkToCijBtn", "E,nu-->Cij");
  b.Button("LoadBtn", "Load ODF");
  b.GridControl("RotationGrid", 7, 18, true);

  b.Group("SpecialFunctionsGroupBox", "AnElConstBox", "Special Functions");
  b.In("SpecialFunctionsGroupBox");
  b.Button("CalcSCTensorBtn", "Calc SC Tensor");
  b.Edit("cphi", "0", "rotation about z-axis");
  b.Edit("xhkl", "1 0 0", "<uvw> || x-axis");
  b.Edit("zhkl", "0 0 1", "<hkl> || z-axis");
  b.Check("MakeTransIso", "Make transverse isotropic about z", false);
  b.Button("lamdaODFBtn", "lamda-ODF");
  b.Edit("DirConstHKLEdit", "0 0 1 0 0", "phi,psi, hkl");
  // The fitting buttons are shown only by the access word on the command line.
  b.Button("Button2", "Load SC Constants Fit Input").visible = false;
  b.Button("FitSCConstantsBtn", "Fit SC constants").visible = false;

  b.Group("GroupBox3", "TabSheet3", "");
  b.In("GroupBox3");
  Grid& sheet = b.GridControl("StrainGrid", 34, 400, true).grid;
  sheet.rowHeights.assign(static_cast<std::size_t>(sheet.rows), 20);
  // The right-click menu of the worksheet: each entry is a button whose parent is the grid.
  b.In("StrainGrid");
  b.Button("Copy1", "Copy");
  b.Button("Cut1", "Cut");
  b.Button("Paste1", "Paste");
  b.In("GroupBox3");
  b.Edit("czhkl", "2 1 1");
  b.Button("FijBtn", "Calc DEC");
  b.Button("StressBtn", "Calc Stress");
  b.Button("StrainBtn", "Calc Strain");
  b.Check("UseFij", "Fij notation", true, "UseFijClick");
  b.Button("CalcPFBtn", "{hkl} Pole Figure");
  b.Button("ShowPoleFigureBtn", "Show pole figure", "ShowPoleFigureClick");
  b.Button("LoadGridDataBtn", "Load");
  b.Edit("WavelengthEdit", "", "Wavelength (Å) for 2theta tables");
  b.Check("SkipIncompleteRows", "Skip rows without d", false);
  b.Button("SaveGridDataBtn", "Save");

  b.Group("LoadFijGroupBox", "GroupBox3", "Load meas. Fij");
  b.In("LoadFijGroupBox");
  b.Edit("strainedit", "0", "plastic strain");
  b.Button("LoadFij", "Load Fij");

  // Checked components are held fixed: the default is the biaxial fit of sig_xx, sig_yy and d0.
  b.Group("FixFreeGroupBox", "GroupBox3", "Fix/free stresses, d0");
  b.In("FixFreeGroupBox");
  b.Check("sig11box", "sig_xx", false);
  b.Check("sig22box", "sig_yy", false);
  b.Check("sig33box", "sig_zz", true);
  b.Check("sig23box", "sig_yz", true);
  b.Check("sig13box", "sig_xz", true);
  b.Check("sig12box", "sig_xy", true);
  b.Check("d0box", "d0", false);
  b.Check("eps0box", "subtract eps0", false);

  // The results of the data sets in a table of their own, copied from the worksheet's result
  // block; the page's messages below.
  b.Group("ResultsGroupBox", "TabSheet3", "Results of the data sets");
  b.In("ResultsGroupBox");
  BuildResultsGrid(b.GridControl("ResultsGrid", 18, 1, false).grid);
  b.In("TabSheet3");
  b.Memo("Memo1", {}, "Messages");
}

void BuildSettingsPage(Builder& b) {
  b.Page("TabSheet4", "Settings");
  b.In("TabSheet4");
  b.Combo("OrtDistBox", {"228", "666", "1464", "4572", "10416", "19860", "33768", "64890"}, 0,
          "Calculation of Matrix Constants:Number of grain orientations", "");
  b.Check("MaConstUseGrains",
          "calc. Cij using weighted grains (uncheck this for using ODF integration - slower but "
          "more accurate)",
          false);
  b.Check("ReadWtsBox", "Read WTS file for weighted grains", false);
  b.Edit("IterNumEdit", "1", "Number of iterations for calculating the matrix constants Cij");
  b.Check("InvSymBox", "Allow fast tensor inversion", true);
  b.Edit("IntegIntervals", std::to_string(models::kDefaultFibreIntervals),
         "# of integration intervals", "IntegIntervalsExit");
  // The Euler-space averages of "Calc Cij (ODF)" cost the cube of what a fibre average costs
  // and keep a count of their own.
  // "auto": the count that makes the average converge for the sample symmetry and the model.
  b.Edit("ODFIntegIntervals", kAutoIntervals, "# of ODF integration intervals");
  b.Edit("OrientationDistEdit", "5", "Acceptable misorientation [deg]:");
  b.Combo("CartAxesBox",
          {"X || a, Y || b*, Z=X x Y", "X || a*, Y || b, Z=X x Y", "X=Y x Z, Y || b*, Z || a"}, 1,
          "Alignment of the cartesian frame (XYZ) in which the ODF or elastic constants are "
          "expressed",
          "CartAxesBoxClick");
  b.Check("ShowHiddenFunctions", "Show hidden functions", false, "ShowHiddenFunctionsClick");

  b.Group("SpecialSettingsGroupBox", "TabSheet4", "Special Settings");
  b.In("SpecialSettingsGroupBox");
  b.Button("TaylorFactorBtn", "Calc Taylor Factor");
  b.Button("Button5", "Calc grain elongation");
  b.Button("SchmidtFactorBtn", "Calc Schmidt Factors and Slip Sys");
  b.Button("SymEquiPos", "Sym-Equi Positions");
  b.Edit("SymEquiEdit", "0 0 0");
  // A click on a row's "Load... " cell loads that row's ODF; the weights are typed.
  b.GridControl("ODFGrid", 3, 6, true, "Construct a compond ODF from single ODFs",
                "ODFGridMouseDown");
  b.Button("CalcCompoundODF", "Calculate ODF");
  b.Radio("CompleteODFRulesBtn", "Complete ODF using rules");
  b.Radio("CompleteODFSymBtn", "Complete ODF using symmetry operators", true);
  b.Edit("TexCompWindowEdit", "5", "Search window (degrees) for I(TexComp)");
  b.Check("RaiseFon", "if ODF contains '0' then raise Fon by", true);
  b.Edit("FonEdit", "0.01");

  // Materials and ODFs are chosen by clicks into the two fixed columns; the volume fractions
  // are typed into the third.
  b.Group("MultiPhaseBox", "TabSheet4", "Overall elastic constants of a multiphase material");
  b.In("MultiPhaseBox");
  b.GridControl("MultiphaseGrid", 3, 4, true, "", "MultiphaseGridMouseDown");
}

void BuildTexturePage(Builder& b) {
  b.Page("TextureTab", "Texture");
  b.Group("TextureGroupBox", "TextureTab", "Twin fraction determination");
  b.In("TextureGroupBox");
  b.GridControl("TwinFractionGrid", 7, 10, true);
  b.Button("CalcTwinFracBtn", "Calculate");

  b.In("TextureTab");
  b.Button("WtsFileBtn", "Write WTS");
  b.Button("WriteODFBtn", "Write ODF");
  b.Button("EulerAnglesBtn", "Euler angles");
  b.Button("WriteSymEquiPosBtn", "Write Sym Eq. Pos");
  b.Button("TexCompBtn", "I(Tex. comp)");
  b.Button("GrainsFileBtn", "Read grains file ");
  b.Button("Button1", "Helming PF");
  b.Button("FijODFBtn", "lamda-ODF-Fij");
  b.Button("OdfSectionsBtn", "ODF sections picture");
  b.Memo("TextureSummaryMemo", {"Source: none loaded: a random texture"}, "Texture in use");
}

}  // namespace

void FillStartupGrids(Form& form) {
  Grid& rot = form.GridOf("RotationGrid");
  rot.Resize(7, 18);
  for (int r = 1; r <= 17; ++r)
    for (int c = 1; c <= 6; ++c) rot.SetCell(c, r, " ");
  rot.SetCell(0, 0, "cij [GPa]");
  rot.SetCell(0, 7, "Cij [GPa]");
  rot.SetCell(0, 14, "E1,E2,E3");
  rot.SetCell(0, 15, "G1,G2,G3");
  rot.SetCell(0, 16, "nu12,nu13,nu23");
  rot.SetCell(0, 17, "nu21,nu31,nu32");
  for (int k = 1; k <= 6; ++k) {
    rot.SetCell(0, k, std::to_string(k));
    rot.SetCell(0, k + 7, std::to_string(k));
    rot.SetCell(k, 0, std::to_string(k));
  }
  const int w = (kRotationGridWidth - 85) / 6 - 2;
  SetColumnWidths(rot, {85, w, w, w, w, w, w});

  // A click on a row's "Load... " cell loads that row's ODF; the weights are typed.
  Grid& odf = form.GridOf("ODFGrid");
  odf.Resize(3, 6);
  for (int r = 1; r <= 5; ++r) odf.SetCell(0, r, "Load... ");
  odf.SetCell(1, 0, "weight");
  odf.SetCell(2, 0, "File name");
  SetColumnWidths(odf, {85, 55, 200});

  Grid& twin = form.GridOf("TwinFractionGrid");
  twin.Resize(7, 10);
  for (int r = 1; r <= 9; ++r) twin.SetCell(0, r, std::to_string(r));
  const char* headers[] = {"(phi,psi),h,k,l", "habit plane, shear dir.",   "window",
                           "mis. angle",      "fraction||(phi,psi),h,k,l", "fraction for twins"};
  for (int c = 1; c <= 6; ++c) twin.SetCell(c, 0, headers[c - 1]);
  twin.SetCell(1, 1, "0 0, 0 0 2");
  twin.SetCell(2, 1, "-1 0 2, 1 0 1");
  twin.SetCell(3, 1, "0 355 70 90");
  twin.SetCell(1, 2, "0 0, 0 0 2");
  twin.SetCell(2, 2, "1 0 1, 1 0 -2");
  twin.SetCell(3, 2, "0 355 70 90");
  SetColumnWidths(twin, {25, 150, 180, 80, 100, 180, 180});

  // Materials and ODFs are chosen by clicks into the two fixed columns; the volume fractions
  // are typed into the third.
  Grid& multi = form.GridOf("MultiphaseGrid");
  multi.Resize(3, 4);
  multi.fixedCols = 2;
  multi.SetCell(0, 0, "Material");
  multi.SetCell(1, 0, "ODF");
  multi.SetCell(2, 0, "vol. fraction");
  multi.SetCell(0, 1, "Load material ... ");
  multi.SetCell(1, 1, "Load ODF ... ");
  SetColumnWidths(multi, {100, 100, 100});
}

void BuildMainWindow(Form& form) {
  form.caption = "Diffraction Elastic Constants for Polycrystals";
  form.clientWidth = 1153;
  form.clientHeight = 660;
  form.statusWidths = {350, 350, 150};
  form.statusPanels = {"", "", ""};
  form.activePage = "TabSheet1";

  form.openDialog.filter =
      "popla ODF|*.*|MTEX ODF file (generic 5x5)|*.*|SC constant fit input file|*.dec|grains "
      "file|*.grn|Stress Factor File|*.sff|Worksheet data|*.tsd";
  form.openDialog.filterIndex = 1;
  form.saveDialog.filter =
      "ODF in 4 columns, Bunge|*.*|SOD in Matlab format, 90x90x90|*.*|SOD in Matlab format, "
      "180x90x90|*.*|SOD in Matlab format, 360x90x90|*.*|lamda-odf with all (hkl) "
      "permutations|*.*|CubeOrth ODF w equiv. positions|*.*|Worksheet data|*.tsd";
  form.saveDialog.filterIndex = 1;

  Builder b(form);
  BuildIsotropicPage(b);
  BuildDecPage(b);
  BuildSettingsPage(b);
  BuildTexturePage(b);
  FillStartupGrids(form);

  // The rarely used groups start hidden, as "Show hidden functions" is unchecked; the twin
  // fraction group is only hidden, never disabled.
  for (const char* name : {"LoadFijGroupBox", "SpecialFunctionsGroupBox", "SpecialSettingsGroupBox",
                           "MultiPhaseBox"}) {
    form[name].visible = false;
    form[name].enabled = false;
  }
  form["TextureGroupBox"].visible = false;
  AddControlHints(form);
}

}  // namespace polydec::workbench
