// The worksheet workflow of a measurement: load a worksheet file (*.tsd) or a measurement table,
// compute the stress factors of every row ("Calc DEC"), fit the stresses of every data set
// ("Calc Stress"), compute spacings from given stresses ("Calc Strain"), and save or export the
// result. The window's page, the command line and the Python module run these same steps.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "polydec/cell_table.h"
#include "polydec/dec.h"
#include "polydec/error.h"
#include "polydec/phase.h"
#include "polydec/stress.h"
#include "polydec/texture.h"
#include "polydec/types.h"

namespace polydec {

// Number of the held/free flags a worksheet file stores: sig_xx .. sig_xy, d0, subtract eps0.
inline constexpr int kWorksheetFlags = 8;

// What "Calc DEC" computed for one row, at full precision (the cells hold it rounded).
struct RowFactors {
  // F11, F22, F33, F23, F13, F12 as the worksheet's columns show them (1e-6/MPa; the shear
  // columns hold twice the tensor component).
  std::array<Real, 6> F{};
  Real s1 = 0, halfS2 = 0;  // 1e-6/MPa, in the s1 notation
  Real intensity = 1;       // I(ODF) of the row's fibre; 1 without a texture
};

struct Worksheet {
  CellTable sheet;
  bool fij = true;  // stress factors Fij (else s1 and 1/2 s2 per row)
  // Held flags of sig_xx .. sig_xy and d0 (true: held), then "subtract eps0".
  std::array<bool, kWorksheetFlags> flags{false, false, true, true, true, true, false, false};
  CrystalClass crystalClass = kCubic;  // whether reflections may have four indices
  // When the rows came from a measurement table: the table, the table line of each worksheet
  // row (from row 1), the table's names of worksheet columns 1..8, and its columns nothing
  // reads, so that a refusal of a cell also names the place in the file the user has.
  std::string tableFile;
  std::vector<int> tableLines;
  std::array<std::string, 9> tableColumns;
  std::vector<std::string> tableUnread;
  std::vector<int> droppedLines;  // table lines without d left out (skipIncompleteRows)
  // What the steps computed, at full precision: by worksheet row, and per data set.
  std::map<int, RowFactors> factors;
  std::map<int, Real> dCalc;
  std::vector<StressSetResult> sets;
  // Things the user should know that refuse nothing (rows that are not used, ...).
  std::vector<std::string> warnings;
};

// A new, empty worksheet in the Fij notation.
Worksheet NewWorksheet();
// Reads a worksheet file or a measurement table (CSV, semicolon or TAB separated).
// wavelength turns a table's 2theta column into d where the table gives none; setColumn names
// a table's column of data-set labels; skipIncompleteRows leaves out a table's rows whose d (or
// 2theta) is empty or NaN (their lines in droppedLines) instead of refusing the table.
Result<Worksheet> LoadWorksheet(const std::string& path,
                                std::optional<Real> wavelength = std::nullopt,
                                const std::string& setColumn = {},
                                bool skipIncompleteRows = false);

// Switches between the Fij and the s1 notation (renaming the columns).
Status SetNotation(Worksheet& w, bool fij, bool textured);

struct WorksheetDecOptions {
  ModelCode model = kKroener;  // for rows whose "h k l" cell names no model
  GrainShape grainShape;
  int intervals = kDefaultFibreIntervals;
  // Euler-space intervals of the texture-weighted Voigt stiffness behind textured Voigt (and
  // Hill) factors; 0: the default of the sample symmetry.
  int voigtIntervals = 0;
  // The window's "Acceptable misorientation" (degrees) for grain sets.
  Real orientationDistance = 5;
};

// "Calc DEC": the stress factors (or s1, 1/2 s2) of every row, weighted by the texture when one
// is given (it must belong to the phase's crystal class). progress(row) runs after each row;
// returning false stops the step with a refusal.
Status CalcWorksheetDec(Worksheet& w, const Phase& phase, const WorksheetDecOptions& options,
                        const Texture* texture = nullptr,
                        const std::function<bool(int row)>& progress = {});
// "Calc Stress": fits every data set with the worksheet's held/free flags; the results go into
// the result rows and w.sets.
Status CalcWorksheetStress(Worksheet& w);
// "Calc Strain": spacings from the stresses of the result rows (or, given, from these stresses
// for every data set: xx, yy, zz, yz, xz, xy in MPa).
Status CalcWorksheetStrain(Worksheet& w,
                           const std::optional<std::array<Real, 6>>& stresses = std::nullopt);
// Loads a stress factor file (*.sff) into the rows, with the reflection (and model and grain
// shape) written into their "h k l" cells.
Status LoadStressFactorFile(Worksheet& w, const std::string& path, const Miller& hkl,
                            ModelCode model, const GrainShape& shape);

// Saves the worksheet (*.tsd) through the atomic writer; empty cells become one blank, in the
// worksheet too, as the file holds them.
Status SaveWorksheet(Worksheet& w, const std::string& path);
// The rows and the results of every data set as comma-separated tables.
std::string WorksheetCsvText(const Worksheet& w);

// The classical evaluation per azimuth of every data set, from the rows as the worksheet holds
// them (so that a saved and reloaded worksheet reports the same).
struct AzimuthFit {
  Real phi = 0;  // degrees
  std::string reflection;  // "h k l" of the rows, empty when the rows do not name it
  int points = 0;
  bool determined = false;
  Real s1 = 0, halfS2 = 0;  // 1e-6/MPa
  Real slope = 0, slopeErr = 0;
  std::optional<Real> splitting, splittingErr;
  Real sigma = 0, sigmaErr = 0;  // sig_phi - sig_33, MPa
  std::optional<Real> tau, tauErr;
  Real chisq = 0;
  std::string note;
};
struct AzimuthFits {
  std::string label;
  bool severalReflections = false;  // the rows name more than one reflection
  std::vector<AzimuthFit> azimuths;
};
std::vector<AzimuthFits> PerAzimuth(const Worksheet& w);

}  // namespace polydec
