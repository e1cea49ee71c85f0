#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "workbench/form.h"
#include "workbench/main_form.h"

namespace polydec::workbench {
namespace {

using K = ControlKind;

class MainWindowLayout : public ::testing::Test {
 protected:
  void SetUp() override { BuildMainWindow(form); }
  Form form;
};

TEST_F(MainWindowLayout, WindowAndSharedDialogs) {
  EXPECT_EQ(form.caption, "Diffraction Elastic Constants for Polycrystals");
  EXPECT_EQ(form.clientWidth, 1153);
  EXPECT_EQ(form.clientHeight, 660);
  EXPECT_EQ(form.statusWidths, (std::array<int, 3>{350, 350, 150}));
  EXPECT_EQ(form.activePage, "TabSheet1");
  EXPECT_EQ(form.openDialog.filter,
            "popla ODF|*.*|MTEX ODF file (generic 5x5)|*.*|SC constant fit input file|*.dec|"
            "grains file|*.grn|Stress Factor File|*.sff|Worksheet data|*.tsd");
  EXPECT_EQ(form.saveDialog.filter,
            "ODF in 4 columns, Bunge|*.*|SOD in Matlab format, 90x90x90|*.*|SOD in Matlab "
            "format, 180x90x90|*.*|SOD in Matlab format, 360x90x90|*.*|lamda-odf with all (hkl) "
            "permutations|*.*|CubeOrth ODF w equiv. positions|*.*|Worksheet data|*.tsd");
  EXPECT_EQ(form.openDialog.filterIndex, 1);
  EXPECT_EQ(form.saveDialog.filterIndex, 1);
}

// The defaults the commands read: a wrong one changes a result without any message.
TEST_F(MainWindowLayout, ControlDefaults) {
  struct Row {
    const char* name;
    K kind;
    const char* parent;
    const char* shown;  // caption of buttons, checks, radios, groups, pages; else the text
    bool checked, enabled, visible;
    const char* command;
  };
  const Row rows[] = {
      {"TabSheet1", K::kPage, "", "Isotropic", false, true, true, ""},
      {"TabSheet3", K::kPage, "", "DEC/Stress/Strain", false, true, true, ""},
      {"TabSheet4", K::kPage, "", "Settings", false, true, true, ""},
      {"TextureTab", K::kPage, "", "Texture", false, true, true, ""},
      {"AnElConstBox", K::kGroup, "TabSheet3", "Elastic Constants", false, true, true, ""},
      {"LoadFijGroupBox", K::kGroup, "GroupBox3", "Load meas. Fij", false, false, false, ""},
      {"SpecialFunctionsGroupBox", K::kGroup, "AnElConstBox", "Special Functions", false, false,
       false, ""},
      {"SpecialSettingsGroupBox", K::kGroup, "TabSheet4", "Special Settings", false, false, false,
       ""},
      {"MultiPhaseBox", K::kGroup, "TabSheet4",
       "Overall elastic constants of a multiphase material", false, false, false, ""},
      {"TextureGroupBox", K::kGroup, "TextureTab", "Twin fraction determination", false, true,
       false, ""},
      {"CompoundNameBox", K::kCombo, "SECActions", "", false, true, true, "CompoundNameBoxClick"},
      {"C11Edit", K::kEdit, "SECActions", "237", false, true, true, "C11EditExit"},
      {"C12Edit", K::kEdit, "SECActions", "141", false, true, true, "C12EditExit"},
      {"C13Edit", K::kEdit, "SECActions", "141", false, false, true, "C13EditExit"},
      {"C16Edit", K::kEdit, "SECActions", "0", false, true, true, "C16EditExit"},
      {"C23Edit", K::kEdit, "SECActions", "141", false, true, true, ""},
      {"C44Edit", K::kEdit, "SECActions", "116", false, true, true, "C44EditExit"},
      {"C45Edit", K::kEdit, "SECActions", "0", false, true, true, ""},
      {"C66Edit", K::kEdit, "SECActions", "116", false, true, true, ""},
      {"aEdit", K::kEdit, "UnitCellGroupBox", "2.868", false, true, true, ""},
      {"gammaEdit", K::kEdit, "UnitCellGroupBox", "90", false, true, true, ""},
      {"YoungEdit", K::kEdit, "AggregateGroupBox", "0", false, true, true, ""},
      {"LEdit", K::kEdit, "TabSheet1", "1", false, true, true, ""},
      {"dEdit", K::kEdit, "TabSheet1", "", false, true, true, ""},
      {"CalcDECBtn", K::kButton, "TabSheet1", "Calc DEC", false, true, true, "CalcDECBtnClick"},
      {"AddDBButton", K::kButton, "SECActions", "Add to Database", false, true, true,
       "AddDBButtonClick"},
      {"CalcMaConstButton", K::kButton, "AggregateGroupBox", "Calculate Macro - Constants", false,
       true, true, "CalcMaConstButtonClick"},
      {"ExitButton", K::kButton, "TabSheet1", "&Exit", false, true, true, ""},
      {"GrainshapeEdit", K::kEdit, "AnElConstBox", "1 1 1", false, true, true, ""},
      {"VoigtBttn", K::kRadio, "AnElConstBox", "Voigt", false, true, true, ""},
      {"KroenerBtn", K::kRadio, "AnElConstBox", "Kroener {=S+t}", true, true, true, ""},
      {"InvKroener", K::kRadio, "AnElConstBox", "Inv. Kroener =(C+r)-¹}", false, true, true, ""},
      {"VookWittBtn", K::kRadio, "AnElConstBox", "Vook-Witt", false, true, false, ""},
      {"UseODFBtn", K::kCheck, "AnElConstBox", "Use ODF for calculations", false, true, true,
       "UseODFBtnClick"},
      {"CalcMaConstBtn", K::kButton, "AnElConstBox", "Calc Cij (ODF)", false, true, true,
       "CalcMaConstBtnClick"},
      {"xhkl", K::kEdit, "SpecialFunctionsGroupBox", "1 0 0", false, true, true, ""},
      {"DirConstHKLEdit", K::kEdit, "SpecialFunctionsGroupBox", "0 0 1 0 0", false, true, true, ""},
      {"Button2", K::kButton, "SpecialFunctionsGroupBox", "Load SC Constants Fit Input", false,
       true, false, "Button2Click"},
      {"FitSCConstantsBtn", K::kButton, "SpecialFunctionsGroupBox", "Fit SC constants", false, true,
       false, "FitSCConstantsBtnClick"},
      {"czhkl", K::kEdit, "GroupBox3", "2 1 1", false, true, true, ""},
      {"FijBtn", K::kButton, "GroupBox3", "Calc DEC", false, true, true, "FijBtnClick"},
      {"UseFij", K::kCheck, "GroupBox3", "Fij notation", true, true, true, "UseFijClick"},
      {"LoadFij", K::kButton, "LoadFijGroupBox", "Load Fij", false, true, true, "LoadFijClick"},
      {"strainedit", K::kEdit, "LoadFijGroupBox", "0", false, true, true, ""},
      {"sig11box", K::kCheck, "FixFreeGroupBox", "sig_xx", false, true, true, ""},
      {"sig22box", K::kCheck, "FixFreeGroupBox", "sig_yy", false, true, true, ""},
      {"sig33box", K::kCheck, "FixFreeGroupBox", "sig_zz", true, true, true, ""},
      {"sig23box", K::kCheck, "FixFreeGroupBox", "sig_yz", true, true, true, ""},
      {"sig13box", K::kCheck, "FixFreeGroupBox", "sig_xz", true, true, true, ""},
      {"sig12box", K::kCheck, "FixFreeGroupBox", "sig_xy", true, true, true, ""},
      {"d0box", K::kCheck, "FixFreeGroupBox", "d0", false, true, true, ""},
      {"eps0box", K::kCheck, "FixFreeGroupBox", "subtract eps0", false, true, true, ""},
      {"Copy1", K::kButton, "StrainGrid", "Copy", false, true, true, "Copy1Click"},
      {"Paste1", K::kButton, "StrainGrid", "Paste", false, true, true, "Paste1Click"},
      {"IterNumEdit", K::kEdit, "TabSheet4", "1", false, true, true, ""},
      {"InvSymBox", K::kCheck, "TabSheet4", "Allow fast tensor inversion", true, true, true, ""},
      {"MaConstUseGrains", K::kCheck, "TabSheet4",
       "calc. Cij using weighted grains (uncheck this for using ODF integration - slower but more "
       "accurate)",
       false, true, true, ""},
      {"IntegIntervals", K::kEdit, "TabSheet4", "25", false, true, true, "IntegIntervalsExit"},
      {"ODFIntegIntervals", K::kEdit, "TabSheet4", "auto", false, true, true, ""},
      {"OrientationDistEdit", K::kEdit, "TabSheet4", "5", false, true, true, ""},
      {"ShowHiddenFunctions", K::kCheck, "TabSheet4", "Show hidden functions", false, true, true,
       "ShowHiddenFunctionsClick"},
      {"CompleteODFRulesBtn", K::kRadio, "SpecialSettingsGroupBox", "Complete ODF using rules",
       false, true, true, ""},
      {"CompleteODFSymBtn", K::kRadio, "SpecialSettingsGroupBox",
       "Complete ODF using symmetry operators", true, true, true, ""},
      {"RaiseFon", K::kCheck, "SpecialSettingsGroupBox", "if ODF contains '0' then raise Fon by",
       true, true, true, ""},
      {"FonEdit", K::kEdit, "SpecialSettingsGroupBox", "0.01", false, true, true, ""},
      {"SymEquiEdit", K::kEdit, "SpecialSettingsGroupBox", "0 0 0", false, true, true, ""},
      {"TexCompWindowEdit", K::kEdit, "SpecialSettingsGroupBox", "5", false, true, true, ""},
      {"Button5", K::kButton, "SpecialSettingsGroupBox", "Calc grain elongation", false, true, true,
       "Button5Click"},
      {"CalcTwinFracBtn", K::kButton, "TextureGroupBox", "Calculate", false, true, true,
       "CalcTwinFracBtnClick"},
      {"GrainsFileBtn", K::kButton, "TextureTab", "Read grains file ", false, true, true,
       "GrainsFileBtnClick"},
      {"Button1", K::kButton, "TextureTab", "Helming PF", false, true, true, "Button1Click"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const Control& c = form[r.name];
    EXPECT_EQ(c.kind, r.kind);
    EXPECT_EQ(c.parent, r.parent);
    const bool captioned = r.kind == K::kButton || r.kind == K::kCheck || r.kind == K::kRadio ||
                           r.kind == K::kGroup || r.kind == K::kPage;
    EXPECT_EQ(captioned ? c.caption : c.text, r.shown);
    EXPECT_EQ(c.checked, r.checked);
    EXPECT_EQ(c.enabled, r.enabled);
    EXPECT_EQ(c.visible, r.visible);
    EXPECT_EQ(c.command, r.command);
  }
  EXPECT_EQ(form["s2Edit"].label, "1/2s2");
  EXPECT_EQ(form["zhkl"].label, "<hkl> || z-axis");
}

TEST_F(MainWindowLayout, ListBoxesShowTheirFirstChoice) {
  struct Row {
    const char* name;
    std::vector<std::string> items;
    int index;
    bool listOnly;
    const char* command;
  };
  const Row rows[] = {
      {"CrystalSymmetryBox",
       {"isotropic", "cubic", "hexagonal", "tetragonal1", "tetragonal2", "trigonal1", "trigonal2",
        "orthorhombic", "monoclinic1", "monoclinic2", "triclinic"},
       1,
       true,
       "CrystalSymmetryBoxClick"},
      {"SampleSymmetry",
       {"ISOTROPIC   (2)", "TRANSVERSAL ISO.  (5)", "ORTHORHOMBIC (9)", "MONOCLINIC (13)",
        "TRICLINIC    (21)"},
       0,
       true,
       "SampleSymmetryChange"},
      {"OrtDistBox",
       {"228", "666", "1464", "4572", "10416", "19860", "33768", "64890"},
       0,
       true,
       ""},
      {"CartAxesBox",
       {"X || a, Y || b*, Z=X x Y", "X || a*, Y || b, Z=X x Y", "X=Y x Z, Y || b*, Z || a"},
       1,
       true,
       "CartAxesBoxClick"},
      {"CompoundNameBox", {}, -1, false, "CompoundNameBoxClick"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const Control& c = form[r.name];
    EXPECT_EQ(c.items, r.items);
    EXPECT_EQ(c.itemIndex, r.index);
    EXPECT_EQ(c.text, r.index >= 0 ? r.items[static_cast<std::size_t>(r.index)] : "");
    EXPECT_EQ(c.listOnly, r.listOnly);
    EXPECT_EQ(c.command, r.command);
  }
}

TEST_F(MainWindowLayout, ConstantBoxesFollowTheUpperTriangle) {
  int boxes = 0;
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j) {
      const std::string id = "C" + std::to_string(i) + std::to_string(j);
      EXPECT_EQ(form.Has(id + "Edit"), j >= i) << id;
      if (j < i) continue;
      ++boxes;
      const Control& c = form[id + "Edit"];
      EXPECT_EQ(c.label, id);
      EXPECT_EQ(c.enabled, id != "C13") << id;
      const std::string expected = i == j ? (i <= 3 ? "237" : "116") : (j <= 3 ? "141" : "0");
      EXPECT_EQ(c.text, expected) << id;
    }
  EXPECT_EQ(boxes, 21);
}

TEST_F(MainWindowLayout, EveryControlSitsInAPageOrGroupAndEveryButtonRunsACommand) {
  std::set<std::string> seen;
  for (const std::string& name : form.Names()) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(seen.insert(name).second);
    const Control& c = form[name];
    if (c.kind == K::kPage) {
      EXPECT_TRUE(c.parent.empty());
      continue;
    }
    ASSERT_TRUE(form.Has(c.parent));
    const K holder = form[c.parent].kind;
    // Entries of the worksheet's right-click menu are buttons whose parent is the grid.
    const bool menuEntry = c.kind == K::kButton && holder == K::kGrid;
    EXPECT_TRUE(holder == K::kPage || holder == K::kGroup || menuEntry);
    if (c.kind == K::kButton && name != "ExitButton") {
      EXPECT_FALSE(c.command.empty());
    }
  }
}

TEST_F(MainWindowLayout, ModelAndOdfCompletionAreSeparateChoices) {
  form.SetChecked("CompleteODFRulesBtn", true);
  EXPECT_TRUE(form.Checked("KroenerBtn"));
  EXPECT_FALSE(form.Checked("CompleteODFSymBtn"));
  form.SetChecked("HillBtn", true);
  EXPECT_FALSE(form.Checked("KroenerBtn"));
  EXPECT_TRUE(form.Checked("CompleteODFRulesBtn"));
}

TEST_F(MainWindowLayout, GridStartUpContents) {
  const Grid& rot = form.GridOf("RotationGrid");
  EXPECT_EQ(rot.cols, 7);
  EXPECT_EQ(rot.rows, 18);
  EXPECT_TRUE(rot.editable);
  EXPECT_EQ(rot.Cell(0, 0), "cij [GPa]");
  EXPECT_EQ(rot.Cell(0, 7), "Cij [GPa]");
  EXPECT_EQ(rot.Cell(0, 14), "E1,E2,E3");
  EXPECT_EQ(rot.Cell(0, 17), "nu21,nu31,nu32");
  EXPECT_EQ(rot.Cell(0, 6), "6");
  EXPECT_EQ(rot.Cell(0, 8), "1");
  EXPECT_EQ(rot.Cell(6, 0), "6");
  for (int r = 1; r <= 17; ++r)
    for (int c = 1; c <= 6; ++c) EXPECT_EQ(rot.Cell(c, r), " ") << c << "," << r;
  EXPECT_EQ(rot.colWidths[0], 85);

  const Grid& odf = form.GridOf("ODFGrid");
  EXPECT_EQ(odf.cols, 3);
  EXPECT_EQ(odf.rows, 6);
  EXPECT_EQ(odf.Cell(0, 5), "Load... ");
  EXPECT_EQ(odf.Cell(1, 0), "weight");
  EXPECT_EQ(odf.Cell(2, 0), "File name");
  EXPECT_EQ(odf.colWidths, (std::vector<int>{85, 55, 200}));

  const Grid& twin = form.GridOf("TwinFractionGrid");
  EXPECT_EQ(twin.cols, 7);
  EXPECT_EQ(twin.rows, 10);
  EXPECT_EQ(twin.Cell(0, 9), "9");
  EXPECT_EQ(twin.Cell(5, 0), "fraction||(phi,psi),h,k,l");
  EXPECT_EQ(twin.Cell(2, 1), "-1 0 2, 1 0 1");
  EXPECT_EQ(twin.Cell(2, 2), "1 0 1, 1 0 -2");
  EXPECT_EQ(twin.Cell(3, 2), "0 355 70 90");
  EXPECT_EQ(twin.Cell(1, 3), "");
  EXPECT_EQ(twin.colWidths, (std::vector<int>{25, 150, 180, 80, 100, 180, 180}));

  const Grid& multi = form.GridOf("MultiphaseGrid");
  EXPECT_EQ(multi.cols, 3);
  EXPECT_EQ(multi.rows, 4);
  EXPECT_EQ(multi.fixedCols, 2);
  EXPECT_EQ(multi.Cell(2, 0), "vol. fraction");
  EXPECT_EQ(multi.Cell(0, 1), "Load material ... ");
  EXPECT_EQ(multi.Cell(1, 1), "Load ODF ... ");
  EXPECT_EQ(form["MultiphaseGrid"].command, "MultiphaseGridMouseDown");

  const Grid& sheet = form.GridOf("StrainGrid");
  EXPECT_EQ(sheet.cols, 34);
  EXPECT_EQ(sheet.rows, 400);
  EXPECT_TRUE(sheet.editable);

  // The page's message box starts empty under a caption that says what it holds.
  EXPECT_TRUE(form["Memo1"].lines.empty());
  EXPECT_EQ(form["Memo1"].label, "Messages");
  EXPECT_TRUE(form["ReferenceMemo"].lines.empty());
}

}  // namespace
}  // namespace polydec::workbench
