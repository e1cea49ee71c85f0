// The main window of the workbench without a toolkit: the calculation context, the material
// list, the methods that read and write groups of controls, and the commands (the handlers of
// buttons, boxes and pages). Every command works on the Form and asks Services for dialogs,
// so the Qt window, the command line and the tests drive the same code.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/records.h"
#include "core/voigt.h"
#include "fit/fit_record.h"
#include "polydec/stress.h"
#include "polydec/anisotropy.h"
#include "polydec/phase.h"
#include "polydec/reflections.h"
#include "polydec/data_files.h"
#include "texture/pole_figure.h"
#include "workbench/form.h"
#include "workbench/grid_editing.h"
#include "workbench/services.h"
#include "workbench/texture_overview.h"

namespace polydec::workbench {

// Fills the form with every page, group and control of the main window, with their captions,
// initial texts, items, states and the commands they run.
void BuildMainWindow(Form& form);

// The text of an interval box that asks for the converged default of the sample symmetry and
// the model.
inline constexpr const char* kAutoIntervals = "auto";
// The start-up contents, sizes and column widths of the stiffness, compound-ODF, twin and
// multiphase grids.
void FillStartupGrids(Form& form);
// The header row of the results table of the data sets.
void BuildResultsGrid(Grid& g);
// Tooltips of the controls whose captions are terse, and the keyboard shortcuts of buttons.
void AddControlHints(Form& form);

// Copies every field of src to dst except the grain set, the read status, the ODF weights and
// arrays, node counts, single ODFs and the fibre profile.
void CopyContext(const core::OrientationsRec& src, core::OrientationsRec& dst);
// The same, and dst also receives the ODF arrays, the fibre profile and the node counts.
void CopyContextWithODF(const core::OrientationsRec& src, core::OrientationsRec& dst);

class MainForm {
 public:
  // files: where the database, the settings and the random orientation sets are.
  // args: the command-line arguments after the program name.
  // Builds the window, registers the commands and runs the start-up (FormCreate).
  MainForm(Services& services, DataFiles files, std::vector<std::string> args = {});
  // Everything in one folder, "pfcryst.dat" and "polydec.ini" included (a build tree).
  MainForm(Services& services, std::string programDir, std::vector<std::string> args = {});
  // The registered commands refer to this window; a copy would run them on the original.
  MainForm(const MainForm&) = delete;
  MainForm& operator=(const MainForm&) = delete;

  Form form;
  Services& services;
  DataFiles files;
  // The read-only data shipped with the program (the random orientation sets).
  std::string programDir;
  std::vector<std::string> args;
  core::OrientationsRec CurrentContext;
  core::ORTN_Array MaterialList;
  std::string LastODFDirectory;

  // Runs the command (handler) of that name; false when no such command exists.
  bool Run(const std::string& command);
  bool HasCommand(const std::string& command) const { return commands_.count(command) != 0; }
  std::vector<std::string> CommandNames() const;

  // Start-up and shutdown.
  void FormCreate();
  void FormClose();
  void ReadIniFile();
  void writeIniFile();
  void PageControl1Change();
  void ShowHiddenFunctionsClick();
  void LoadMaterialDatabase();

  // Reading and writing groups of controls.
  bool ReadCij(core::FloatVec& v);  // false after the first bad box (its message shown)
  void ReadRotationGrid(core::FloatVec& v, int r0);
  void InitRotationGrid(const core::FloatVec& v, int r0);
  void InitCrystalData();
  int FCode() const;
  int SetSSFromList();
  void SetListIndexfromSS();

  // Field handlers.
  void CartAxesBoxClick();
  void IntegIntervalsExit();
  void UseODFBtnClick();
  void SampleSymmetryChange();

  // Context builders and the "Isotropic" page.
  void ORTNInit();
  // False (the user told why) when the cell or a stiffness cannot be calculated with.
  bool CalcInit();
  void CalcDECBtnClick();

  // Engineering constants of the macroscopic stiffness.
  void CalcBulkConst();
  void ReCalcMacroConst();

  // Crystal symmetry classes and the constants boxes.
  void CrystalSymmetryBoxClick();
  void C11EditExit();
  void C12EditExit();
  void C13EditExit();
  void C14EditExit();
  void C15EditExit();
  void C16EditExit();
  void C44EditExit();
  void WriteCij(const core::FloatVec& v);
  void SetCijklValues(int j);

  // Material database.
  void CompoundNameBoxClick();
  void AddDBButtonClick();

  // Where the database and the settings live.
  std::string DatabasePath() const;
  std::string IniPath() const;

  // --- Worksheet and ODF loading (worksheet_page.cpp) ---
  // Lays out the worksheet at start-up (StrainGrid: 34 columns, 400 rows, Fij layout).
  void InitWorksheet();
  // First worksheet column whose header contains name (case-sensitive), else the last column.
  int GetStringGridColNum(const std::string& name) const;
  // Writes the headers of the Fij or S1 layout and empties the data rows from the first
  // stress-factor column on; a worksheet of 28 columns is widened to 34 for the Fij layout.
  void NameStrainGridCols(bool useFij);
  void UseFijClick();
  void LoadGridDataBtnClick();
  void SaveGridDataBtnClick();
  // "Load ODF": an ODF (popla or MTEX) or a grains file into CurrentContext.
  void LoadBtnClick();

  // --- Stress factors and stress evaluation (stress_page.cpp) ---
  void FijBtnClick();         // "Calc DEC": stress factors or s1, 1/2 s2 of the worksheet rows
  void GrainsFileBtnClick();  // "Read grains file ": stress factors of the lines of a file
  void StressBtnClick();      // "Calc Stress": stresses and d0 of the worksheet's data sets

  // --- Macroscopic elastic constants (macro_page.cpp) ---
  void CalcMaConstBtnClick();      // "Calc Cij (ODF)": stiffness of the textured polycrystal
  void CalcMaConstButtonClick();   // "Calculate Macro - Constants" of the "Isotropic" page
  void IsoTensorClick();           // "Make Cij isotropic"
  void MultiphaseGridMouseDown();  // a click into the multiphase grid (its current cell)

  // --- Single-crystal constant fit (fit_page.cpp) ---
  fit::FitRecord FitRecord;
  // The report file of the next fit; empty: the fit input's name with ".res" appended.
  std::string FitReportFile;
  // "Load SC Constants Fit Input": asks for a *.dec file and loads it.
  void Button2Click();
  // Loads a fit input into the fit record, the context, the stiffness grid and the worksheet;
  // a refused file is reported with its line and changes nothing.
  bool ReadInputParams(const std::string& fileName);
  // "Fit SC constants": cycles of Levenberg-Marquardt steps with a question after each cycle,
  // then the covariance and the report.
  void FitSCConstantsBtnClick();

  // --- Texture writers and tools, fibre profiles, pole figures (texture_page.cpp) ---
  void WriteODFBtnClick();         // "Write ODF": the grid in one of four layouts
  void WtsFileBtnClick();          // "Write WTS": a random grain set weighted by the ODF
  void EulerAnglesBtnClick();      // "Euler angles" along the fibres of the worksheet rows
  void ODFGridMouseDown();         // a click into column 0 of the compound-ODF grid loads an ODF
  void CalcCompoundODFClick();     // "Calculate ODF": the weighted compound of the grid's ODFs
  void SymEquiPosClick();          // "Sym-Equi Positions": SymEquiPos.dat in the working folder
  void WriteSymEquiPosBtnClick();  // "Write Sym Eq. Pos": hexagonal equivalents of (255,90,90)
  void TexCompBtnClick();          // "I(Tex. comp)": texture components along the fibres
  void lamdaODFBtnClick();         // "lamda-ODF": fibre profiles of the permutations of hkl
  void FijODFBtnClick();           // "lamda-ODF-Fij": fibre profiles with F11 contributions
  void CalcPFBtnClick();           // "{hkl} Pole Figure": popla file, then the view
  void Button1Click();             // "Helming PF"
  void ShowPoleFigureClick();      // "Show pole figure": the view, without a file
  // The pole figure the front end is to show; PoleFigureRequests counts the requests, so that a
  // front end sees a new one after each command.
  std::optional<texture::PoleFigureRec> ShownPoleFigure;
  int PoleFigureRequests = 0;
  // "ODF sections": the default phi2 sections as a PNG or SVG picture.
  void OdfSectionsBtnClick();
  // The Texture page's account of the texture in use, remade after each load or compound.
  TextureOverview ShownTexture;
  void UpdateTextureOverview(const std::string& source,
                             const std::optional<std::array<core::Real, 3>>& region);
  // After a load that failed: the page says the file was not read and shows no pictures, since
  // what the grid holds now may be part of that file.
  void ShowTextureNotRead(const std::string& file);
  void ShowTexture(TextureOverview overview);
  // --- Special functions (special_page.cpp) ---
  // "Calc SC Tensor": the single-crystal stiffness of rows 1.. in the frame of xhkl, zhkl and
  // the turn cphi (optionally transversely isotropic about z) into rows 8.. of RotationGrid.
  void CalcSCTensorBtnClick();
  // "Calculate" of the twin table: columns 4..6 of every task row of TwinFractionGrid.
  void CalcTwinFracBtnClick();
  // The slip-system runs; each writes its file into the current folder (a cancelled run: the
  // lines done into "<file>.partial").
  void TaylorFactorBtnClick();
  void SchmidtFactorBtnClick();
  void Button5Click();  // "Calc grain elongation"
  // --- Choosing reflections, single-crystal anisotropy (reflection_page.cpp) ---
  // The phase of the "Isotropic" page (constants, class, cell boxes, matrix E and nu); empty
  // after a message when a box does not read or the phase is refused.
  std::optional<Phase> PhaseOfPage();
  // "List reflections": every family up to MaxIndexEdit with its DECs under every model, for
  // the front end's table and plot; ReflectionRequests counts the tables made.
  void ReflectionTableBtnClick();
  std::optional<ReflectionTable> ShownReflections;
  polydec::CrystalClass ShownReflectionsClass = polydec::kCubic;
  int ReflectionRequests = 0;
  // "E(n)", "β(n)": the directional map of the single crystal for the front end's picture.
  void DirectionalMapClick(DirectionalQuantity quantity);
  std::optional<DirectionalSurvey> ShownSurvey;
  std::string ShownSurveyTitle;
  int SurveyRequests = 0;
  // --- Grid editing and the clipboard (grid_editing.cpp) ---
  // The text a cell of RotationGrid, StrainGrid or TwinFractionGrid had when it was last
  // selected; a formula's cell gets it back.
  std::string RememberedCellText;
  // A key pressed in a spreadsheet grid (key codes and modifier bits of grid_editing.h): Ctrl+C
  // copies, Ctrl+X cuts, Ctrl+V pastes, Delete blanks the selection, Ctrl+Enter runs the formula
  // typed into the current cell over the selection. True when the key was such a command.
  bool StringGridKeyDown(const std::string& grid, int key, unsigned modifiers);
  // Enter moves the current cell one row down, except from the last row.
  void StringGridKeyPress(const std::string& grid, char key);
  void StringGridSelectCell(const std::string& grid, int col, int row);
  void StringGridMouseDown(const std::string& grid);
  void StringGridCopyToClipBoard(const std::string& grid, int Left, int Bottom, int Top, int Right);
  // The clipboard's TAB-separated block into the grid from its current cell; the grid grows to
  // take it.
  void StringGridPasteFromClipBoard(const std::string& grid);
  void Copy1Click();  // the worksheet's right-click menu
  void Cut1Click();
  void Paste1Click();

  // --- Results table of the data sets (results_table.cpp) ---
  // Copies the worksheet's result block into ResultsGrid; runs after every command.
  void FillResultsGrid();

 protected:
  // Registers a command under its handler name.
  void Register(const std::string& name, std::function<void()> handler);

 private:
  void RegisterMainCommands();
  void RegisterWorksheetCommands();  // worksheet_page.cpp
  void RegisterStressCommands();     // stress_page.cpp
  void RegisterMacroCommands();      // macro_page.cpp
  void RegisterFitCommands();        // fit_page.cpp
  void RegisterTextureCommands();    // texture_page.cpp
  // Writes a file through the atomic writer; a failure is shown with the file and why.
  bool SaveText(const std::string& file, const std::string& text);
  // The pole figure of the reflection in czhkl; empty after a message when there is none.
  std::optional<texture::PoleFigureRec> PoleFigureOfBox();
  void ShowPoleFigure(const texture::PoleFigureRec& pf);
  void RegisterSpecialCommands();    // special_page.cpp
  void RegisterGridEditingCommands();  // grid_editing.cpp
  void RegisterReflectionCommands();   // reflection_page.cpp
  void MoveCurrentRow(const std::string& grid, int row);
  void FormulaCommand(const std::string& grid, const CellRange& selection);
  // What the last completed stress evaluation knew of each result row: the label and chisq it
  // wrote, its degrees of freedom and reduced chisq.
  struct StressFitNote {
    std::string label, chisq;
    int dof = 0;
    core::Real chisqReduced = 0;
  };
  void NoteStressFit(const std::vector<polydec::StressSetResult>& sets);
  std::vector<StressFitNote> stressFitNotes_;
  // Reads an edit box with ParseNumber; a bad text shows "Not a valid input for <quantity>!"
  // and gives 0.
  bool ReadNumberBox(const std::string& box, const std::string& quantity, core::Real& value);
  // Words 1..count of an edit box as numbers into out; false after a message naming the box
  // (by its label) and the word that is missing or no number.
  bool ReadNumberWords(const std::string& box, const std::string& label, int count,
                       core::Real* out);
  // The reflection in czhkl (three indices, four for hexagonal and trigonal classes); empty
  // after a message saying what does not read.
  std::optional<std::array<core::Real, 3>> ReflectionOfBox();
  // Crystal class of CrystalSymmetryBox; triclinic (all constants free) when none is selected.
  int CrystalClass() const;
  // Checks a check box and runs its command when its state changes, as a click would.
  void SetCheckedAndNotify(const std::string& name, bool on);
  // Sets a combo box's text and selects the item that equals it (the current one if it does).
  void SetComboText(const std::string& name, const std::string& text);
  // (C11 - C12) / 2 of the boxes, for the derived shear constant of the isotropic and hexagonal
  // forms.
  std::string HalfC11MinusC12() const;
  // The exit rule of the box C_KL: sets the constants its class derives from C_KL.
  void ConstantEditExit(int K, int L);

  std::map<std::string, std::function<void()>> commands_;
};

}  // namespace polydec::workbench
