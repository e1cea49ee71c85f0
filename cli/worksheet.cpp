// `polydec worksheet`: the "DEC/Stress/Strain" page without a window. The worksheet file is
// read into a cell table and the engine's stress-factor and stress-evaluation operations run on
// it, with the same checks, messages and cell formats as the page's buttons.
#include <algorithm>
#include <array>
#include <filesystem>
#include <cmath>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>

#include "common.h"
#include "core/atomic_file.h"
#include "core/cell_table.h"
#include "core/text_fields.h"
#include "core/voigt.h"
#include "material_options.h"
#include "models/reflection_dec.h"
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
#include "texture/odf_readers.h"

namespace polydec::cli {

namespace {

namespace fs = std::filesystem;

struct WorksheetOptions {
  std::string file;
  MaterialOptions material;
  std::string odf;
  std::string odfFormat = "mtex";
  std::string model;
  std::string notation;
  std::string grainShape;
  int intervals = 0;
  int voigtIntervals = 0;  // 0: the default of the sample symmetry
  std::string freeList;
  std::string output;
  double wavelength = 0;  // 0: not given
  std::string setColumn;  // a measurement table's column of data-set labels
  bool skipIncompleteRows = false;  // drop a table's rows without d
  std::string stress;            // stresses for --calc-strain, in place of the result block's
  std::string sff;               // stress factor file loaded into the worksheet
  std::string sffHkl = "2 1 1";  // reflection of the rows it fills
  std::string csv;               // rows and results as comma-separated tables
  bool json = false;
  bool matrixSelfConsistent = false;
  std::vector<std::string> steps;  // the commands in the order given
};

// A refusal is reported on one line: what was worked on, then the message.
[[noreturn]] void Refuse(const std::string& what, std::string text) {
  for (char& c : text)
    if (c == '\n') c = ' ';
  throw InputError(what + ": " + text);
}

// The questions of the ODF check take the cautious answer, as a scripted window does.
class NoQuestions : public texture::ODFQuestions {
 public:
  int Ask(const std::string&, texture::QuestionButtons) override { return texture::kAnswerNo; }
};

// The page's state that the commands read besides the worksheet.
struct Page {
  core::CellTable sheet;
  bool fij = true;
  // The flags of sig_xx .. sig_xy and d0 (set: held fixed), then "subtract eps0"; as at
  // start-up until the worksheet file sets them.
  std::array<bool, stress::kWorksheetFlagCount> flags{false, false, true, true, true, true,
                                                      false, false};
  int model = models::kKroener;
  std::string grainShape = "1 1 1";
  int intervals = models::kDefaultFibreIntervals;
  int voigtIntervals = 0;  // Euler-space intervals of the textured Voigt stiffness; 0: default
  core::OrientationsRec odf;  // the ODF read, if any
  bool useODF = false;
  int sampleSymmetry = 0;
  int crystalClass = 1;  // of the material: whether reflections may have four indices
  // What the commands computed, at full precision, for --json (the cells hold them rounded).
  std::map<int, stress::FactorOutcome> factors;  // by worksheet row
  std::map<int, core::Real> dCalc;               // by worksheet row
  std::vector<stress::StressSetResult> sets;
  // When the worksheet came from a measurement table: the table, the table line of each
  // worksheet row (from row 1) and the table's names of worksheet columns 1..8, so that a
  // refusal of a cell also names the place in the file the user has.
  std::string tableFile;
  std::vector<int> tableLines;
  std::array<std::string, 9> tableColumns;
  std::vector<std::string> tableUnread;  // its columns that nothing reads
};

// A refusal of worksheet row r, column c: for a loaded table the line and column of the table
// follow, since the worksheet's rows are not the table's lines (the header and comment lines
// come first) and its "+/-" does not say whose uncertainty it is.
std::string WithTablePlace(const Page& page, const core::InputError& e) {
  std::string text = e.message;
  if (page.tableFile.empty() || e.line < 1 || e.line > static_cast<int>(page.tableLines.size()))
    return text;
  text += "; in " + page.tableFile + " that is line " +
          std::to_string(page.tableLines[static_cast<std::size_t>(e.line - 1)]);
  if (e.column < 1 || e.column > 8) return text;
  const std::string& name = page.tableColumns[static_cast<std::size_t>(e.column)];
  if (!name.empty()) return text + ", column \"" + name + "\"";
  static const char* const kWhat[9] = {"",  "the label", "the reflection", "phi", "psi", "d",
                                       "the uncertainty of d", "d0", "the uncertainty of d0"};
  text += std::string(", which has no column for ") + kWhat[e.column];
  if (!page.tableUnread.empty()) {
    text += " (columns not read: ";
    for (std::size_t k = 0; k < page.tableUnread.size(); ++k)
      text += (k ? ", \"" : "\"") + page.tableUnread[k] + "\"";
    text += ")";
  }
  return text;
}

// The measurement rows end at the first row whose phi and psi are both empty (as in the
// window, where the user sees the gap); rows below it that hold measurements are not used,
// which on the command line nothing else would show.
void WarnOfRowsAfterTheEnd(const core::CellTable& g, const std::string& file) {
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
  if (unused == 0) return;
  std::cerr << "polydec: warning: " << file << ": the measurement rows end at row " << end
            << ", whose phi and psi are both empty; " << unused
            << (unused == 1 ? " row below it holds" : " rows below it hold")
            << " measurements that are not used (the first is row " << first
            << "): remove the empty row to use them\n";
}

void LoadWorksheet(Page& page, const std::string& file, std::optional<core::Real> wavelength,
                   const std::string& setColumn = {}, bool skipIncompleteRows = false) {
  stress::NewWorksheet(page.sheet);
  const stress::WorksheetLoad load = stress::ReadWorksheetOrTable(
      fs::absolute(file).string(), page.sheet.rows, wavelength, setColumn, skipIncompleteRows);
  if (load.isTable) {
    if (load.table.error)
      Refuse(file, "The measurement table could not be read:\n" + load.table.error->Describe());
    if (!load.table.droppedLines.empty()) {
      std::cerr << "polydec: " << file << ": " << load.table.droppedLines.size()
                << (load.table.droppedLines.size() == 1 ? " row" : " rows")
                << " without d left out (--skip-incomplete-rows), line";
      if (load.table.droppedLines.size() > 1) std::cerr << "s";
      for (std::size_t k = 0; k < load.table.droppedLines.size(); ++k)
        std::cerr << (k == 0 ? " " : ", ") << load.table.droppedLines[k];
      std::cerr << "\n";
    }
    stress::ApplyMeasurementTable(page.sheet, load.table, page.fij);
    page.tableFile = file;
    page.tableLines.clear();
    for (const stress::MeasurementCells& m : load.table.rows) page.tableLines.push_back(m.line);
    page.tableColumns = load.table.columnNames;
    page.tableUnread = load.table.unreadColumns;
    return;
  }
  const stress::WorksheetFileRead& read = load.sheet;
  const auto refuse = [&] {
    if (read.error)
      Refuse(file, "The worksheet file could not be read:\n" + read.error->Describe());
  };
  if (!read.flagsRead) return refuse();
  page.flags = read.flags;
  if (!read.headerFound) {
    refuse();
    Refuse(file, stress::kHeaderMissingMessage);
  }
  stress::ApplyWorksheetRead(page.sheet, read, page.fij);
  page.fij = read.fij;
  refuse();
  WarnOfRowsAfterTheEnd(page.sheet, file);
}

int ParseModel(const std::string& model) { return ParseModelOption(model); }

void ApplyFree(Page& page, const std::string& list) {
  const char* names[] = {"sig_xx", "sig_yy", "sig_zz", "sig_yz", "sig_xz", "sig_xy", "d0"};
  std::vector<std::string> given;
  for (int n = 1;; ++n) {
    const std::string word = core::GetWord(list, n);
    if (word.empty()) break;
    if (std::find(std::begin(names), std::end(names), word) == std::end(names))
      throw InputError("--free: unknown parameter \"" + word +
                       "\" (sig_xx sig_yy sig_zz sig_yz sig_xz sig_xy d0)");
    given.push_back(word);
  }
  // A parameter not named is held fixed.
  for (std::size_t k = 0; k < std::size(names); ++k)
    page.flags[k] = std::find(given.begin(), given.end(), names[k]) == given.end();
}

// The sample symmetry the page's list shows after an ODF was read: the list has no item of its
// own for the monoclinic code 8 (twofold axis Y) and shows it as monoclinic (9); a code without
// an item leaves the list at its first item, isotropic.
int ListedSampleSymmetry(int code) {
  switch (code) {
    case 2:
    case 7:
    case 9:
    case 10:
      return code;
    case 8:
      return 9;
    default:
      return 0;
  }
}

void LoadOdf(Page& page, const WorksheetOptions& o, const ResolvedMaterial& material) {
  if (!fs::exists(o.odf)) throw InputError("ODF file " + o.odf + " does not exist");
  core::OrientationsRec& ctx = page.odf;
  // The readers only recognise a hexagonal ODF (and then set the class to hexagonal); any other
  // is taken to belong to the class of the database's first material, the one the window
  // starts with. A material of another class is refused below rather than given stress factors
  // from an ODF of a different symmetry.
  {
    core::ORTN_Array list;
    std::string path;
    ReadDatabase(o.material.database, list, path);
    ctx.Cryst.SYS = list.front()->Cryst.SYS;
  }
  NoQuestions ask;
  NoteInputFile(o.odf);
  const texture::ODFLoadResult result = texture::LoadODF(
      fs::absolute(o.odf).string(),
      o.odfFormat == "popla" ? texture::ODFFileKind::kPopla : texture::ODFFileKind::kMTEX,
      false, ctx, ask);
  if (!result.stoppedByUser && !result.loaded) {
    std::string text = texture::kODFNotReadMessage;
    if (!result.read.message.empty()) text += "\n" + result.read.Describe();
    Refuse(o.odf, text);
  }
  if (!result.stoppedByUser && material.crystalClass != ctx.Cryst.SYS)
    Refuse(o.odf, texture::kODFSymmetryMismatchMessage);
  if (ctx.ODFNUMP < 1) throw InputError(o.odf + ": no ODF was read");
  page.useODF = true;
  page.sampleSymmetry = ListedSampleSymmetry(ctx.SYMMETRY);
  // Textured stress factors exist only in the Fij notation.
  if (!page.fij) {
    page.fij = true;
    stress::NameWorksheetColumns(page.sheet, true);
  }
}

void CalcStressFactors(Page& page, const ResolvedMaterial& material) {
  models::PhaseInputs in;
  // The constants as given, as `dec` takes them: rounded to the 0.1 GPa the window's grid
  // shows, the isotropic matrix of E and nu would be anisotropic, which shifted the Kroener
  // factors by parts in 1e4 against `dec` and made them drift with psi.
  core::CijklToTensor(material.cij, in.crystal);
  core::CijklToTensor(models::IsotropicStiffness(material.E, material.nu), in.matrix);
  in.crystalClass = material.crystalClass;
  for (int i = 0; i < 6; ++i) in.cell[i] = material.cell[i];
  in.grainShape = {core::ParseNumber(core::GetWord(page.grainShape, 1)).value,
                   core::ParseNumber(core::GetWord(page.grainShape, 2)).value,
                   core::ParseNumber(core::GetWord(page.grainShape, 3)).value};
  in.sampleSymmetry = page.sampleSymmetry;
  core::OrientationsRec ctx = page.odf;
  ctx.UseODF = page.useODF;
  ctx.E = material.E;
  ctx.nu = material.nu;
  ctx.IIntervls = page.intervals;
  ctx.OrientationDistance = 5;  // the window's "Acceptable misorientation" at start-up
  const std::string refused = models::BuildPhaseContext(in, ctx);
  if (!refused.empty()) Refuse("Calc DEC", refused);
  if (!models::FibreIntervalsUsable(ctx.IIntervls))
    Refuse("Calc DEC", models::FibreIntervalsMessage());
  ctx.hkl(1) = ctx.hkl(2) = ctx.hkl(3) = -1;

  models::StressFactorCalculator calc(std::move(ctx), page.fij);
  calc.SetEulerIntervals(page.voigtIntervals);
  page.factors.clear();
  const auto compute = [&](const stress::FactorRow& row) {
    models::FactorMeasurement m;
    m.hkl = row.hkl;
    m.phi = row.phi * core::kPi / 180;
    m.psi = row.psi * core::kPi / 180;
    m.code = row.code.value_or(page.model);
    m.axes = row.axes;
    models::MeasurementFactors f;
    stress::FactorOutcome out;
    out.refusal = calc.Compute(m, f);
    out.F = f.F;
    out.s1 = f.s1;
    out.s2half = f.s2half;
    out.intensity = f.intensity;
    page.factors[row.row] = out;
    return out;
  };
  if (const auto stop =
          stress::FillStressFactors(page.sheet, page.fij, material.crystalClass, compute, nullptr))
    Refuse("Calc DEC", WithTablePlace(page, stop->error));
}

void CalcStress(Page& page) {
  const stress::WorksheetStressRows read = stress::ReadStressRows(page.sheet, page.fij);
  if (read.error) {
    std::string message = WithTablePlace(page, *read.error);
    const std::string hint = "run \"Calc DEC\" first";
    if (const auto at = message.find(hint); at != std::string::npos)
      message.insert(at + hint.size(), " (--calc-dec)");
    Refuse("Calc Stress", message);
  }
  if (read.rows.empty()) return;
  stress::StressFitOptions options;
  for (int p = 0; p < 6; ++p) options.fixed[p] = page.flags[p];
  options.d0Fixed = page.flags[6];
  options.subtractEps0 = page.flags[7];
  const stress::StressEvaluation result =
      stress::EvaluateStress(read.rows, options, [&page](std::size_t set) {
        return stress::HeldStresses(page.sheet, static_cast<int>(set) + 1);
      });
  if (result.error) Refuse("Calc Stress", WithTablePlace(page, *result.error));
  stress::WriteStressResults(page.sheet, result.sets);
  // What the fit had to do without: said beside the numbers, never silently.
  for (const stress::StressSetResult& set : result.sets) {
    if (set.unweighted)
      std::cerr << "polydec: note: data set \"" << set.label
                << "\" gives no uncertainties of d: the fit is unweighted and its uncertainties "
                   "come from the scatter of the residuals (chisq_reduced 1)\n";
    if (set.d0PartLeftOut)
      std::cerr << "polydec: note: data set \"" << set.label
                << "\" holds d0 fixed without its uncertainty: the uncertainties of the stresses "
                   "leave out the part of d0\n";
  }
  page.sets = result.sets;
  page.dCalc.clear();
  for (const stress::StressSetResult& set : result.sets)
    for (std::size_t k = 0; k < set.rows.size(); ++k) page.dCalc[set.rows[k]] = set.dCalc[k];
}

// The classical evaluation of the rows as the worksheet now holds them, so that a saved and
// reloaded worksheet reports the same.
std::vector<stress::AzimuthSet> PerAzimuthOf(const Page& page) {
  const stress::WorksheetStressRows read = stress::ReadStressRows(page.sheet, page.fij);
  if (read.error || read.rows.empty()) return {};
  return stress::EvaluatePerAzimuth(stress::GroupDataSets(read.rows), page.flags[7]);
}

void CalcStrain(Page& page, const std::string& stresses) {
  if (!stresses.empty()) {
    const stress::StressAssignment given = stress::ParseStressAssignment(stresses);
    if (given.error) throw InputError("--stress: " + given.error->message);
    stress::SetStressOfEveryDataSet(page.sheet, given.sig);
  }
  int written = 0;
  std::vector<std::pair<int, core::Real>> values;
  const auto stop =
      stress::CalculateStrain(page.sheet, page.fij, page.flags[7], nullptr, &written, &values);
  // The spacings written so far are the rows' d_calc now, at full precision for --json.
  for (const auto& [row, value] : values) page.dCalc[row] = value;
  if (stop) Refuse("Calc Strain", stop->Describe());
  // A run that calculated nothing would otherwise look like one that succeeded.
  if (written == 0)
    Refuse("Calc Strain",
           "no measurement row got a spacing: no result row gives a stress for the labels of "
           "the rows (give one with --stress, or run --calc-stress first)");
}

void LoadSff(Page& page, const std::string& file, const std::string& hkl) {
  if (!fs::exists(file)) throw InputError("stress factor file " + file + " does not exist");
  // Stress factors from a file exist only in the Fij layout.
  if (!page.fij) {
    page.fij = true;
    stress::NameWorksheetColumns(page.sheet, true);
  }
  const std::string reflection = hkl + " " + std::to_string(page.model) + " " + page.grainShape;
  const stress::SffLoad load =
      stress::LoadStressFactorFile(fs::absolute(file).string(), page.sheet, reflection);
  if (load.error) Refuse(file, load.error->Describe());
  page.tableFile.clear();  // the rows now hold what the stress factor file gave as well
}

// The statistics of the last fit beside each data set's cells: degrees of freedom, reduced
// chi-square, the uncertainties scaled by its square root and the part from the d0
// uncertainty, and with d0 fitted the common correction and each reflection's d0.
void AddFitStatistics(nlohmann::json& block, const std::vector<stress::StressSetResult>& fits) {
  nlohmann::json& sets = block["datasets"];
  const char* names[] = {"xx", "yy", "zz", "yz", "xz", "xy"};
  for (std::size_t s = 0; s < fits.size() && s < sets.size(); ++s) {
    const stress::StressSetResult& r = fits[s];
    nlohmann::json stat = nlohmann::json::object(), scaled = nlohmann::json::object(),
                   systematic = nlohmann::json::object();
    for (int k = 0; k < 6; ++k) {
      stat[names[k]] = JsonNumber(r.sigErrStat[k]);
      scaled[names[k]] =
          r.dof > 0 ? nlohmann::json(JsonNumber(r.sigErrScaled[k])) : nlohmann::json(nullptr);
      systematic[names[k]] = JsonNumber(r.d0Systematic[k]);
    }
    nlohmann::json& set = sets[s];
    set["dof"] = r.dof;
    set["chisq_reduced"] =
        r.dof > 0 ? nlohmann::json(JsonNumber(r.chisqReduced)) : nlohmann::json(nullptr);
    set["sig_err_stat"] = stat;
    set["sig_err_scaled"] = scaled;
    set["d0_systematic"] = systematic;
    if (r.unweighted) set["unweighted"] = true;
    if (r.d0PartLeftOut) set["d0_part_left_out"] = true;
    if (r.d0Fitted) {
      set["d0_correction"] = JsonNumber(r.d0Correction);
      set["d0_correction_err"] = JsonNumber(r.d0CorrectionErr);
      nlohmann::json refs = nlohmann::json::array();
      for (const stress::ReflectionD0& ref : r.reflections)
        refs.push_back({{"row", ref.row},
                        {"d0_row", JsonNumber(ref.d0Row)},
                        {"d0", JsonNumber(ref.d0)},
                        {"d0_err", JsonNumber(ref.d0Err)}});
      set["reflections"] = refs;
    }
  }
}

nlohmann::json CellNumber(const std::string& text) {
  const auto v = core::ParseNumber(core::GetWord(text, 1));
  if (!v.ok() || core::GetWord(text, 1).empty()) return nullptr;
  return JsonNumber(v.value);
}

// The rows the commands worked on and the result rows of the data sets. Numbers the commands
// computed come at full precision when `full` is set; else every number is read from its cell,
// as the text output shows them.
// The reflection of an "h k l" cell as its three indices; a cell that reads as none gives its
// first three words, as typed.
std::string ReflectionText(const std::string& cell, int crystalClass) {
  const stress::ReflectionCell r = stress::ReadReflectionCell(cell, crystalClass);
  if (!r.error.empty())
    return core::GetWord(cell, 1) + " " + core::GetWord(cell, 2) + " " + core::GetWord(cell, 3);
  return core::FormatGeneral(r.hkl[0]) + " " + core::FormatGeneral(r.hkl[1]) + " " +
         core::FormatGeneral(r.hkl[2]);
}

nlohmann::json ResultBlock(const Page& page, bool full) {
  const core::CellTable& g = page.sheet;
  const bool fij = page.fij;
  const int cPhi = g.ColumnOf("phi"), cPsi = g.ColumnOf("psi");
  const char* factorNames[] = {"F11", "F22", "F33", "F23", "F13", "F12"};
  const int factorRows[] = {1, 2, 3, 2, 1, 1};
  const int factorCols[] = {1, 2, 3, 3, 3, 2};
  nlohmann::json rows = nlohmann::json::array();
  for (int r = 1; r < g.rows; ++r) {
    if (CellNumber(g.Cell(cPsi, r)).is_null() || CellNumber(g.Cell(cPhi, r)).is_null()) break;
    nlohmann::json row = {{"row", r},
                          {"hkl", ReflectionText(g.Cell(2, r), page.crystalClass)},
                          {"phi", CellNumber(g.Cell(cPhi, r))},
                          {"psi", CellNumber(g.Cell(cPsi, r))}};
    const auto factor = page.factors.find(r);
    const bool computed = full && factor != page.factors.end();
    if (fij) {
      nlohmann::json F = nlohmann::json::object();
      for (int n = 0; n < 6; ++n)
        F[factorNames[n]] =
            computed ? nlohmann::json(JsonNumber((n < 3 ? 1000 : 2000) *
                                                 factor->second.F(factorRows[n], factorCols[n])))
                     : CellNumber(g.Cell(g.ColumnOf(factorNames[n]), r));
      row["F"] = F;
      row["I_ODF"] = computed ? nlohmann::json(JsonNumber(factor->second.intensity))
                              : CellNumber(g.Cell(g.ColumnOf("I(ODF)"), r));
    } else {
      row["S1"] = computed ? nlohmann::json(JsonNumber(1000 * factor->second.s1))
                           : CellNumber(g.Cell(g.ColumnOf("S1"), r));
      row["half_S2"] = computed ? nlohmann::json(JsonNumber(1000 * factor->second.s2half))
                                : CellNumber(g.Cell(g.ColumnOf("½S2"), r));
    }
    const nlohmann::json d = CellNumber(g.Cell(5, r));
    const auto dCalc = page.dCalc.find(r);
    const nlohmann::json calc = full && dCalc != page.dCalc.end()
                                    ? nlohmann::json(JsonNumber(dCalc->second))
                                    : CellNumber(g.Cell(g.ColumnOf("d_calc"), r));
    const nlohmann::json sd = CellNumber(g.Cell(6, r));
    row["d"] = d;
    row["d_calc"] = calc;
    row["residual"] = nullptr;
    if (!d.is_null() && !calc.is_null() && !sd.is_null() && sd.get<double>() != 0)
      row["residual"] = (d.get<double>() - calc.get<double>()) / sd.get<double>();
    const double psi = row["psi"].get<double>() * core::kPi / 180;
    row["sin2psi"] = std::sin(psi) * std::sin(psi);
    rows.push_back(row);
  }
  nlohmann::json sets = nlohmann::json::array();
  const int cLabel = g.ColumnOf("##");
  const int cSig = g.ColumnOf("sig_xx");
  const char* names[] = {"xx", "yy", "zz", "yz", "xz", "xy"};
  for (int r = 1; r < g.rows; ++r) {
    const std::string label = g.Cell(cLabel, r);
    if (core::GetWord(label, 1).empty()) break;
    nlohmann::json sig = nlohmann::json::object(), err = nlohmann::json::object();
    const std::size_t s = static_cast<std::size_t>(r - 1);
    if (full && s < page.sets.size()) {
      const stress::StressSetResult& set = page.sets[s];
      for (int k = 0; k < 6; ++k) {
        sig[names[k]] = JsonNumber(set.sig[k]);
        err[names[k]] = JsonNumber(set.sigErr[k]);
      }
      sets.push_back({{"label", label},
                      {"sig", sig},
                      {"sig_err", err},
                      {"d0", set.d0Fitted ? nlohmann::json(JsonNumber(set.d0)) : nullptr},
                      {"d0_err", set.d0Fitted ? nlohmann::json(JsonNumber(set.d0Err)) : nullptr},
                      {"chisq", JsonNumber(set.chisq)}});
      continue;
    }
    for (int k = 0; k < 6; ++k) {
      sig[names[k]] = CellNumber(g.Cell(cSig + 2 * k, r));
      err[names[k]] = CellNumber(g.Cell(cSig + 2 * k + 1, r));
    }
    const int cD0 = g.ColumnOf("d0_calc");
    sets.push_back({{"label", label},
                    {"sig", sig},
                    {"sig_err", err},
                    {"d0", CellNumber(g.Cell(cD0, r))},
                    {"d0_err", CellNumber(g.Cell(cD0 + 1, r))},
                    {"chisq", CellNumber(g.Cell(g.ColumnOf("chisq"), r))}});
  }
  return {{"rows", rows}, {"datasets", sets}};
}
nlohmann::json OrNull(const std::optional<core::Real>& x) {
  return x ? nlohmann::json(JsonNumber(*x)) : nlohmann::json(nullptr);
}

// The classical evaluation of each phi of a data set.
nlohmann::json PerPhi(const stress::AzimuthSet& set) {
  nlohmann::json list = nlohmann::json::array();
  for (const stress::AzimuthResult& r : set.azimuths) {
    nlohmann::json e = {{"phi", JsonNumber(r.phi)}, {"n", r.points}};
    if (set.severalReflections) e["hkl"] = r.reflection;
    if (r.determined) {
      e["s1"] = JsonNumber(r.s1);
      e["half_s2"] = JsonNumber(r.s2half);
      e["slope"] = JsonNumber(r.slope);
      e["slope_err"] = JsonNumber(r.slopeErr);
      e["splitting"] = OrNull(r.splitting);
      e["splitting_err"] = OrNull(r.splittingErr);
      e["sig_phi_minus_sig33"] = JsonNumber(r.sigma);
      e["sig_phi_minus_sig33_err"] = JsonNumber(r.sigmaErr);
      e["tau_phi"] = OrNull(r.tau);
      e["tau_phi_err"] = OrNull(r.tauErr);
      e["chisq"] = JsonNumber(r.chisq);
    }
    if (!r.note.empty()) e["note"] = r.note;
    list.push_back(e);
  }
  return list;
}


std::string Show(const nlohmann::json& v, int width, int decimals = 6) {
  std::string s = v.is_null() ? "-" : core::FormatFixed(v.get<double>(), 9, decimals);
  if (v.is_string()) s = v.get<std::string>();
  if (static_cast<int>(s.size()) < width) s.insert(0, width - s.size(), ' ');
  return s;
}

void PrintText(const nlohmann::json& block, bool fij) {
  std::cout << "row  h k l        phi     psi";
  const std::vector<std::string> cols =
      fij ? std::vector<std::string>{"F11", "F22", "F33", "F23", "F13", "F12"}
          : std::vector<std::string>{"S1", "half_S2"};
  for (const auto& c : cols) std::cout << std::string(11 - c.size(), ' ') << c;
  std::cout << "      d_calc   (stress factors in 1e-6/MPa)\n";
  for (const auto& row : block["rows"]) {
    std::string hkl = row["hkl"].get<std::string>();
    hkl.resize(std::max<std::size_t>(hkl.size(), 9), ' ');
    std::string num = std::to_string(row["row"].get<int>());
    num.resize(5, ' ');
    std::cout << num << hkl << Show(row["phi"], 8, 2) << Show(row["psi"], 8, 2);
    for (const auto& c : cols) std::cout << Show(fij ? row["F"][c] : row[c], 11);
    std::cout << Show(row["d_calc"], 12) << "\n";
  }
  if (block["datasets"].empty()) return;
  std::cout << "\ndata set   sig_xx   sig_yy   sig_zz   sig_yz   sig_xz   sig_xy [MPa]      d0"
               "        chisq\n";
  for (const auto& set : block["datasets"]) {
    std::string label = set["label"].get<std::string>();
    label.resize(std::max<std::size_t>(label.size(), 8), ' ');
    std::cout << label;
    for (const char* k : {"xx", "yy", "zz", "yz", "xz", "xy"}) {
      const auto& v = set["sig"][k];
      std::string s = v.is_null() ? "-" : core::FormatFixed(v.get<double>(), 7, 2);
      std::cout << std::string(s.size() < 9 ? 9 - s.size() : 1, ' ') << s;
    }
    const auto& d0 = set["d0"];
    std::cout << "  "
              << (d0.is_null() ? std::string("(fixed)")
                               : core::FormatFixed(d0.get<double>(), 8, 6));
    const auto& chi = set["chisq"];
    std::cout << "  "
              << (chi.is_null() ? std::string("-")
                                : core::FormatExponent(chi.get<double>(), 3, 2))
              << "\n";
    std::cout << std::string(8, ' ');
    for (const char* k : {"xx", "yy", "zz", "yz", "xz", "xy"}) {
      const auto& v = set["sig_err"][k];
      std::string s = v.is_null() ? "-" : "+/-" + core::FormatFixed(v.get<double>(), 7, 2);
      std::cout << std::string(s.size() < 9 ? 9 - s.size() : 1, ' ') << s;
    }
    const auto& d0e = set["d0_err"];
    if (!d0e.is_null()) std::cout << "  +/-" << core::FormatFixed(d0e.get<double>(), 8, 6);
    std::cout << "\n";
  }
}

void RunWorksheet(const WorksheetOptions& o) {
  if (!fs::exists(o.file)) throw InputError("worksheet file " + o.file + " does not exist");
  ResolvedMaterial material = ResolveMaterial(o.material);
  if (o.matrixSelfConsistent) UseSelfConsistentMatrix(material);

  Page page;
  page.crystalClass = material.crystalClass;
  std::optional<core::Real> wavelength;
  if (o.wavelength > 0) wavelength = o.wavelength;
  LoadWorksheet(page, o.file, wavelength, o.setColumn, o.skipIncompleteRows);
  if (!o.model.empty()) page.model = ParseModel(o.model);
  if (!o.grainShape.empty()) {
    ReadNumberList(o.grainShape, 3, "--grain-shape");
    page.grainShape = o.grainShape;
  }
  if (o.intervals != 0) page.intervals = o.intervals;
  page.voigtIntervals = o.voigtIntervals;
  if (!o.stress.empty() &&
      std::find(o.steps.begin(), o.steps.end(), "--calc-strain") == o.steps.end())
    throw InputError("--stress gives the stresses of --calc-strain, which is not asked for");
  if (!o.sff.empty()) {
    // The rows' cells hold the reflection followed by the model code and the grain shape; a
    // four-index reflection goes in as its three indices, so the cells read the same way.
    const auto v = ReadMillerIndices(o.sffHkl, material.crystalClass, "--hkl");
    NoteInputFile(o.sff);
    LoadSff(page, o.sff,
            core::FormatGeneral(v[0]) + " " + core::FormatGeneral(v[1]) + " " +
                core::FormatGeneral(v[2]));
  }
  if (!o.freeList.empty()) ApplyFree(page, o.freeList);
  if (!o.odf.empty()) LoadOdf(page, o, material);
  if (!o.notation.empty()) {
    const bool fij = o.notation == "fij";
    if (page.fij != fij) {
      if (page.useODF && !fij)
        throw InputError("--notation s1 cannot be used with an ODF (textured stress factors)");
      page.fij = fij;
      stress::NameWorksheetColumns(page.sheet, fij);
    }
  }

  for (const std::string& step : o.steps) {
    if (step == "--calc-dec") {
      CalcStressFactors(page, material);
    } else if (step == "--calc-stress") {
      CalcStress(page);
    } else if (step == "--calc-strain") {
      CalcStrain(page, o.stress);
    }
  }

  // Outputs are checked before anything is written: none may replace a file the run read
  // (the worksheet itself only through -o, which saves it), nor both be one file.
  if (!o.output.empty()) RefuseInputAsOutput(o.output);
  if (!o.csv.empty()) {
    NoteInputFile(o.file);
    RefuseInputAsOutput(o.csv);
    std::error_code ec1, ec2;
    if (!o.output.empty() &&
        fs::weakly_canonical(o.csv, ec1) == fs::weakly_canonical(o.output, ec2) && !ec1 && !ec2)
      throw InputError(o.csv + ": --csv and -o name the same file");
  }

  if (!o.output.empty()) {
    const stress::WorksheetTable table = stress::WorksheetSaveTable(page.sheet, page.flags);
    if (const auto error = stress::WriteWorksheetFile(fs::absolute(o.output).string(), table))
      Refuse(o.output, "The worksheet could not be saved:\n" + error->Describe());
  }

  if (!o.csv.empty()) {
    // The numbers the commands computed go out at full precision, as with --json.
    const stress::WorksheetCsvValues precise{page.factors, page.dCalc, page.sets};
    if (const auto error = core::WriteFileAtomically(
            fs::absolute(o.csv).string(), stress::WorksheetCsv(page.sheet, page.fij, &precise)))
      Refuse(o.csv, "The tables could not be written: " + *error);
  }

  if (o.json) {
    nlohmann::json block = ResultBlock(page, true);
    AddFitStatistics(block, page.sets);
    const std::vector<stress::AzimuthSet> perPhi = PerAzimuthOf(page);
    for (auto& set : block["datasets"])
      for (const stress::AzimuthSet& a : perPhi)
        if (a.label == set["label"].get<std::string>()) set["per_phi"] = PerPhi(a);
    // Labels come from users' files: whatever bytes they hold, the output stays valid JSON.
    std::cout << JsonOutput(block);
  } else {
    PrintText(ResultBlock(page, false), page.fij);
    // The grains of the Kroener-type models sit in this matrix; say which one it was.
    if (std::find(o.steps.begin(), o.steps.end(), "--calc-dec") != o.steps.end())
      std::cout << "\nMatrix: E = " << core::FormatGeneral(material.E)
                << " GPa, nu = " << core::FormatGeneral(material.nu) << " ("
                << (o.matrixSelfConsistent      ? "self-consistent aggregate of the crystal"
                    : o.material.matrix.empty() ? "the material's"
                                                : "--matrix")
                << ")\n";
  }
}

}  // namespace

void AddWorksheetCommand(CLI::App& app) {
  auto o = std::make_shared<WorksheetOptions>();
  auto* cmd = app.add_subcommand(
      "worksheet",
      "Load a worksheet (*.tsd), run Calc DEC / Calc Stress as the buttons do, save and print");
  cmd->add_option("file", o->file,
                  "Worksheet file (*.tsd) or measurement table (CSV, semicolon or TAB separated)")
      ->required();
  cmd->add_flag("--calc-dec")
      ->description("Stress factors (or s1, 1/2 s2) of every row, as \"Calc DEC\"");
  cmd->add_flag("--calc-stress")
      ->description("Stresses and d0 of every data set, as \"Calc Stress\"");
  cmd->add_flag("--calc-strain")
      ->description("Lattice spacings from the given stresses, as \"Calc Strain\"");
  cmd->add_option("--wavelength", o->wavelength,
                  "Wavelength (Angstrom) that turns a table's 2theta column into d, where the "
                  "table gives none")
      ->check(CLI::PositiveNumber);
  cmd->add_option("--set-column", o->setColumn,
                  "Column of a measurement table that names each row's data set (in place of "
                  "set, label, point, sample, ...)");
  cmd->add_flag("--skip-incomplete-rows", o->skipIncompleteRows,
                "Leave out the rows of a measurement table whose d (or 2theta) is empty or NaN "
                "(a peak fit that failed), and name them on standard error");
  o->material.AddTo(cmd);
  cmd->add_option("--odf", o->odf, "ODF file used to weight the stress factors");
  cmd->add_option("--odf-format", o->odfFormat, "popla or mtex")
      ->check(CLI::IsMember({"popla", "mtex"}))
      ->capture_default_str();
  cmd->add_option("--model", o->model,
                  "voigt, mvoigt, reuss, hill, kroener, inverse-kroener (default kroener)");
  cmd->add_option("--notation", o->notation, "fij or s1 (default: as the file)")
      ->check(CLI::IsMember({"fij", "s1"}));
  cmd->add_option("--grain-shape", o->grainShape, "Semi-axes \"a b c\" of the grain ellipsoid")
      ->default_str("1 1 1");
  cmd->add_option("--intervals", o->intervals, "Simpson half-intervals N of the fibre average")
      ->check(CLI::Range(1, 100000))
      ->default_str(std::to_string(models::kDefaultFibreIntervals));
  cmd->add_option("--voigt-intervals", o->voigtIntervals,
                  "Simpson half-intervals N of the Euler-space average behind the textured Voigt "
                  "(and Hill) factors")
      ->check(CLI::Range(1, 100))
      ->default_str("12; 24 for a monoclinic or triclinic sample");
  cmd->add_option("--free", o->freeList,
                  "Fitted parameters, e.g. \"sig_xx sig_yy d0\"; the others are held at the "
                  "values of the result row")
      ->default_str("sig_xx sig_yy d0");
  cmd->add_option("--stress", o->stress,
                  "Stress of every data set for --calc-strain, e.g. \"sig_xx=100 sig_yy=-50\" "
                  "(MPa; components not named are 0); default: the result block's");
  cmd->add_option("--sff", o->sff,
                  "Stress factor file (*.sff) loaded into the worksheet before the commands");
  cmd->add_option("--hkl", o->sffHkl, "Reflection written into the rows that --sff fills")
      ->capture_default_str();
  cmd->add_option("--csv", o->csv,
                  "Write the rows (inputs, d_calc, residuals, sin^2 psi) and the results of "
                  "every data set as comma-separated tables");
  cmd->add_option("-o", o->output, "Write the worksheet to this file (may be FILE itself)");
  cmd->add_flag("--json", o->json, "Print one JSON object");
  cmd->add_flag("--matrix-self-consistent", o->matrixSelfConsistent,
                "Matrix: the self-consistent aggregate of the crystal instead of --matrix")
      ->excludes(cmd->get_option("--matrix"));
  cmd->callback([o, cmd] {
    // The page's commands run in the order they were given on the command line.
    o->steps.clear();
    for (const char* name : {"--calc-dec", "--calc-stress", "--calc-strain"})
      if (cmd->count(name) > 0) o->steps.push_back(name);
    std::vector<std::pair<std::size_t, std::string>> order;
    for (const std::string& step : o->steps) {
      const auto* opt = cmd->get_option(step);
      std::size_t at = 0;
      for (const auto& r : cmd->parse_order())
        if (r == opt)
          break;
        else
          ++at;
      order.emplace_back(at, step);
    }
    std::sort(order.begin(), order.end());
    o->steps.clear();
    for (const auto& [at, step] : order) o->steps.push_back(step);
    RunWorksheet(*o);
  });
}

}  // namespace polydec::cli
