#include "polydec/worksheet.h"

#include <algorithm>
#include <filesystem>

#include "api/conversions.h"
#include "api/factor_calculator.h"
#include "api/texture_data.h"
#include "api/worksheet_steps.h"
#include "core/atomic_file.h"
#include "core/text_fields.h"
#include "core/voigt.h"
#include "models/stress_factors.h"
#include "models/untextured_context.h"
#include "stress/measurement_table.h"
#include "stress/per_azimuth.h"
#include "stress/sff_file.h"
#include "stress/strain_calculation.h"
#include "stress/stress_evaluation.h"
#include "stress/worksheet_cells.h"
#include "stress/worksheet_csv.h"
#include "stress/worksheet_file.h"

namespace polydec {

namespace fs = std::filesystem;

namespace {

// A refusal of one of the page's steps: "STEP: message".
InputError StepError(const std::string& step, std::string message) {
  InputError e;
  e.field = step;
  e.message = std::move(message);
  return e;
}

InputError FileError(const std::string& file, std::string message) {
  InputError e;
  e.file = file;
  e.message = std::move(message);
  return e;
}

// A refusal of worksheet row r, column c: for a loaded table the line and column of the table
// follow, since the worksheet's rows are not the table's lines (the header and comment lines
// come first) and its "+/-" does not say whose uncertainty it is.
std::string WithTablePlace(const Worksheet& w, const InputError& e) {
  std::string text = e.message;
  if (w.tableFile.empty() || e.line < 1 || e.line > static_cast<int>(w.tableLines.size()))
    return text;
  text += "; in " + w.tableFile + " that is line " +
          std::to_string(w.tableLines[static_cast<std::size_t>(e.line - 1)]);
  if (e.column < 1 || e.column > 8) return text;
  const std::string& name = w.tableColumns[static_cast<std::size_t>(e.column)];
  if (!name.empty()) return text + ", column \"" + name + "\"";
  static const char* const kWhat[9] = {"",  "the label", "the reflection", "phi", "psi", "d",
                                       "the uncertainty of d", "d0", "the uncertainty of d0"};
  text += std::string(", which has no column for ") + kWhat[e.column];
  if (!w.tableUnread.empty()) {
    text += " (columns not read: ";
    for (std::size_t k = 0; k < w.tableUnread.size(); ++k)
      text += (k ? ", \"" : "\"") + w.tableUnread[k] + "\"";
    text += ")";
  }
  return text;
}

// The measurement rows end at the first row whose phi and psi are both empty (as in the
// window, where the user sees the gap); rows below it that hold measurements are not used,
// which outside the window nothing else would show.
std::optional<std::string> RowsAfterTheEnd(const CellTable& g) {
  const int cPhi = g.ColumnOf("phi"), cPsi = g.ColumnOf("psi"), cD = g.ColumnOf("d");
  const auto reads = [&](int c, int r) { return core::ParseNumber(g.Cell(c, r)).ok(); };
  int end = 1;
  while (end < g.rows && (reads(cPhi, end) || reads(cPsi, end))) ++end;
  int unused = 0, first = 0;
  for (int r = end + 1; r < g.rows; ++r)
    if (reads(cPhi, r) || reads(cPsi, r) || reads(cD, r)) {
      if (first == 0) first = r;
      ++unused;
    }
  if (unused == 0) return std::nullopt;
  return "the measurement rows end at row " + std::to_string(end) +
         ", whose phi and psi are both empty; " + std::to_string(unused) +
         (unused == 1 ? " row below it holds" : " rows below it hold") +
         " measurements that are not used (the first is row " + std::to_string(first) +
         "): remove the empty row to use them";
}

}  // namespace

Worksheet NewWorksheet() {
  Worksheet w;
  stress::NewWorksheet(w.sheet);
  return w;
}

Result<Worksheet> LoadWorksheet(const std::string& file, std::optional<Real> wavelength,
                                const std::string& setColumn, bool skipIncompleteRows) {
  Worksheet w = NewWorksheet();
  if (!fs::exists(file)) return Refusal("worksheet file " + file + " does not exist");
  const stress::WorksheetLoad load =
      stress::ReadWorksheetOrTable(fs::absolute(file).string(), w.sheet.rows, wavelength,
                                   setColumn, skipIncompleteRows);
  if (load.isTable) {
    if (load.table.error)
      return FileError(file, "The measurement table could not be read:\n" +
                                 load.table.error->Describe());
    stress::ApplyMeasurementTable(w.sheet, load.table, w.fij);
    w.tableFile = file;
    for (const stress::MeasurementCells& m : load.table.rows) w.tableLines.push_back(m.line);
    w.tableColumns = load.table.columnNames;
    w.tableUnread = load.table.unreadColumns;
    w.droppedLines = load.table.droppedLines;
    return w;
  }
  const stress::WorksheetFileRead& read = load.sheet;
  if (read.error)
    return FileError(file, "The worksheet file could not be read:\n" + read.error->Describe());
  if (!read.flagsRead) return w;
  w.flags = read.flags;
  if (!read.headerFound) return FileError(file, stress::kHeaderMissingMessage);
  stress::ApplyWorksheetRead(w.sheet, read, w.fij);
  w.fij = read.fij;
  if (auto warning = RowsAfterTheEnd(w.sheet)) w.warnings.push_back(*warning);
  return w;
}

Status SetNotation(Worksheet& w, bool fij, bool textured) {
  if (w.fij == fij) return Ok();
  if (textured && !fij)
    return Refusal("the s1 notation cannot be used with an ODF (textured stress factors)");
  w.fij = fij;
  stress::NameWorksheetColumns(w.sheet, fij);
  return Ok();
}

Status CalcWorksheetDec(Worksheet& w, const Phase& phase, const WorksheetDecOptions& o,
                        const Texture* texture, const std::function<bool(int)>& progress) {
  std::optional<models::StressFactorCalculator> calculator;
  if (const std::string refused =
          api::BuildFactorCalculator(phase, o, texture, w.fij, calculator);
      !refused.empty())
    return StepError("Calc DEC", refused);
  models::StressFactorCalculator& calc = *calculator;
  w.factors.clear();
  // A stop asked for by the progress callback leaves the rows computed so far in the cells.
  const std::optional<stress::FactorStop> stop =
      api::FillWorksheetFactors(w.sheet, w.fij, phase.crystalClass, calc, o.model, progress,
                                &w.factors);
  if (stop && stop->byCaller)
    return StepError("Calc DEC", "stopped after row " + std::to_string(stop->row));
  if (stop) return StepError("Calc DEC", WithTablePlace(w, stop->error));
  return Ok();
}

Status CalcWorksheetStress(Worksheet& w) {
  const stress::WorksheetStressRows read = stress::ReadStressRows(w.sheet, w.fij);
  if (read.error) return StepError("Calc Stress", WithTablePlace(w, *read.error));
  if (read.rows.empty()) return Ok();
  stress::StressFitOptions options;
  for (int p = 0; p < 6; ++p) options.fixed[static_cast<std::size_t>(p)] = w.flags[static_cast<std::size_t>(p)];
  options.d0Fixed = w.flags[6];
  options.subtractEps0 = w.flags[7];
  const stress::StressEvaluation result =
      stress::EvaluateStress(read.rows, options, [&w](std::size_t set) {
        return stress::HeldStresses(w.sheet, static_cast<int>(set) + 1);
      });
  if (result.error) return StepError("Calc Stress", WithTablePlace(w, *result.error));
  stress::WriteStressResults(w.sheet, result.sets);
  w.sets = result.sets;
  w.dCalc.clear();
  for (const StressSetResult& set : result.sets)
    for (std::size_t k = 0; k < set.rows.size(); ++k) w.dCalc[set.rows[k]] = set.dCalc[k];
  return Ok();
}

Status CalcWorksheetStrain(Worksheet& w, const std::optional<std::array<Real, 6>>& stresses) {
  if (stresses) stress::SetStressOfEveryDataSet(w.sheet, *stresses);
  int written = 0;
  std::vector<std::pair<int, Real>> values;
  const auto stop =
      stress::CalculateStrain(w.sheet, w.fij, w.flags[7], nullptr, &written, &values);
  // The spacings written so far are the rows' d_calc now, at full precision.
  for (const auto& [row, value] : values) w.dCalc[row] = value;
  if (stop) return StepError("Calc Strain", stop->Describe());
  // A run that calculated nothing would otherwise look like one that succeeded.
  if (written == 0)
    return StepError("Calc Strain",
                     "no measurement row got a spacing: no result row gives a stress for the "
                     "labels of the rows (give one with --stress, or run --calc-stress first)");
  return Ok();
}

Status LoadStressFactorFile(Worksheet& w, const std::string& file, const Miller& hkl,
                            ModelCode model, const GrainShape& shape) {
  if (!fs::exists(file)) return Refusal("stress factor file " + file + " does not exist");
  // Stress factors from a file exist only in the Fij layout.
  if (!w.fij) {
    w.fij = true;
    stress::NameWorksheetColumns(w.sheet, true);
  }
  // The rows' cells hold the reflection followed by the model code and the grain shape.
  const std::string reflection =
      core::FormatGeneral(hkl[0]) + " " + core::FormatGeneral(hkl[1]) + " " +
      core::FormatGeneral(hkl[2]) + " " + std::to_string(static_cast<int>(model)) + " " +
      core::FormatGeneral(shape.a) + " " + core::FormatGeneral(shape.b) + " " +
      core::FormatGeneral(shape.c);
  const stress::SffLoad load =
      stress::LoadStressFactorFile(fs::absolute(file).string(), w.sheet, reflection);
  if (load.error) return FileError(file, load.error->Describe());
  w.tableFile.clear();  // the rows now hold what the stress factor file gave as well
  return Ok();
}

Status SaveWorksheet(Worksheet& w, const std::string& path) {
  const stress::WorksheetTable table = stress::WorksheetSaveTable(w.sheet, w.flags);
  if (const auto error = stress::WriteWorksheetFile(fs::absolute(path).string(), table))
    return FileError(path, "The worksheet could not be saved:\n" + error->Describe());
  return Ok();
}

std::string WorksheetCsvText(const Worksheet& w) {
  // The numbers the steps computed go out at full precision, as the records hold them.
  const stress::WorksheetCsvValues precise{w.factors, w.dCalc, w.sets};
  return stress::WorksheetCsv(w.sheet, w.fij, &precise);
}

std::vector<AzimuthFits> PerAzimuth(const Worksheet& w) {
  const stress::WorksheetStressRows read = stress::ReadStressRows(w.sheet, w.fij);
  if (read.error || read.rows.empty()) return {};
  std::vector<AzimuthFits> out;
  for (const stress::AzimuthSet& set :
       stress::EvaluatePerAzimuth(stress::GroupDataSets(read.rows), w.flags[7])) {
    AzimuthFits fits;
    fits.label = set.label;
    fits.severalReflections = set.severalReflections;
    for (const stress::AzimuthResult& r : set.azimuths)
      fits.azimuths.push_back({r.phi, r.reflection, r.points, r.determined, r.s1, r.s2half, r.slope,
                               r.slopeErr, r.splitting, r.splittingErr, r.sigma, r.sigmaErr,
                               r.tau, r.tauErr, r.chisq, r.note});
    out.push_back(std::move(fits));
  }
  return out;
}

}  // namespace polydec
