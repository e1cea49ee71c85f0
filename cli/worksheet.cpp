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
#include "progress.h"
#include "core/atomic_file.h"
#include "core/cell_table.h"
#include "core/text_fields.h"
#include "material_options.h"
#include "texture_option.h"
#include "polydec/worksheet.h"
#include "stress/strain_calculation.h"
#include "stress/worksheet_cells.h"
#include "stress/measurement_table.h"
#include "stress/worksheet_file.h"
#include "texture/odf_readers.h"

namespace polydec::cli {

namespace {

namespace fs = std::filesystem;

struct WorksheetOptions {
  std::string file;
  MaterialOptions material;
  std::string odf;
  std::string odfFormat = "auto";
  std::string grains;
  OrientationListOptions list;
  std::string model;
  std::string notation;
  std::string grainShape;
  int intervals = 0;
  std::string freeList;
  std::string output;
  double wavelength = 0;  // 0: not given
  int voigtIntervals = 0;  // 0: the default of the sample symmetry
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
InputError FileRefusal(const std::string& file, std::string message) {
  InputError e;
  e.file = file;
  e.message = std::move(message);
  return e;
}

[[noreturn]] void Refuse(const InputError& e) {
  std::string text = e.Describe();
  for (char& c : text)
    if (c == '\n') c = ' ';
  throw Failure(text);
}

void Check(const Status& s) {
  if (!s) Refuse(s.error());
}

// The statistics of the last fit beside each data set's cells: degrees of freedom, reduced
// chi-square, the uncertainties scaled by its square root and the part from the d0
// uncertainty, and with d0 fitted the common correction and each reflection's d0.
void AddFitStatistics(nlohmann::json& block, const std::vector<StressSetResult>& fits) {
  nlohmann::json& sets = block["datasets"];
  const char* names[] = {"xx", "yy", "zz", "yz", "xz", "xy"};
  for (std::size_t s = 0; s < fits.size() && s < sets.size(); ++s) {
    const StressSetResult& r = fits[s];
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
      for (const ReflectionD0& ref : r.reflections)
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
  const stress::ReflectionCell r =
      stress::ReadReflectionCell(cell, static_cast<polydec::CrystalClass>(crystalClass));
  if (!r.error.empty())
    return core::GetWord(cell, 1) + " " + core::GetWord(cell, 2) + " " + core::GetWord(cell, 3);
  return core::FormatGeneral(r.hkl[0]) + " " + core::FormatGeneral(r.hkl[1]) + " " +
         core::FormatGeneral(r.hkl[2]);
}

nlohmann::json ResultBlock(const Worksheet& page, bool full) {
  const CellTable& g = page.sheet;
  const bool fij = page.fij;
  const int cPhi = g.ColumnOf("phi"), cPsi = g.ColumnOf("psi");
  const char* factorNames[] = {"F11", "F22", "F33", "F23", "F13", "F12"};
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
      for (std::size_t n = 0; n < 6; ++n)
        F[factorNames[n]] = computed ? nlohmann::json(JsonNumber(factor->second.F[n]))
                                     : CellNumber(g.Cell(g.ColumnOf(factorNames[n]), r));
      row["F"] = F;
      row["I_ODF"] = computed ? nlohmann::json(JsonNumber(factor->second.intensity))
                              : CellNumber(g.Cell(g.ColumnOf("I(ODF)"), r));
    } else {
      row["S1"] = computed ? nlohmann::json(JsonNumber(factor->second.s1))
                           : CellNumber(g.Cell(g.ColumnOf("S1"), r));
      row["half_S2"] = computed ? nlohmann::json(JsonNumber(factor->second.halfS2))
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
      const StressSetResult& set = page.sets[s];
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
nlohmann::json PerPhi(const AzimuthFits& set) {
  nlohmann::json list = nlohmann::json::array();
  for (const AzimuthFit& r : set.azimuths) {
    nlohmann::json e = {{"phi", JsonNumber(r.phi)}, {"n", r.points}};
    if (set.severalReflections) e["hkl"] = r.reflection;
    if (r.determined) {
      e["s1"] = JsonNumber(r.s1);
      e["half_s2"] = JsonNumber(r.halfS2);
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
  if (!fs::exists(o.file)) throw Failure("worksheet file " + o.file + " does not exist");
  ResolvedMaterial material = ResolveMaterial(o.material);
  if (o.matrixSelfConsistent) UseSelfConsistentMatrix(material);

  std::optional<core::Real> wavelength;
  if (o.wavelength > 0) wavelength = o.wavelength;
  auto loaded = LoadWorksheet(o.file, wavelength, o.setColumn, o.skipIncompleteRows);
  if (!loaded) Refuse(loaded.error());
  Worksheet page = std::move(loaded).value();
  if (!page.droppedLines.empty()) {
    const std::vector<int>& lines = page.droppedLines;
    std::cerr << "polydec: " << o.file << ": " << lines.size()
              << (lines.size() == 1 ? " row" : " rows")
              << " without d left out (--skip-incomplete-rows), line";
    if (lines.size() > 1) std::cerr << "s";
    for (std::size_t k = 0; k < lines.size(); ++k) std::cerr << (k == 0 ? " " : ", ") << lines[k];
    std::cerr << "\n";
  }
  page.crystalClass = material.crystalClass;
  for (const std::string& w : page.warnings)
    std::cerr << "polydec: warning: " << o.file << ": " << w << "\n";

  WorksheetDecOptions dec;
  if (!o.model.empty()) dec.model = ParseModelOption(o.model);
  if (!o.grainShape.empty()) {
    const auto shape = ReadNumberList(o.grainShape, 3, "--grain-shape");
    dec.grainShape = {shape[0], shape[1], shape[2]};
  }
  if (o.intervals != 0) dec.intervals = o.intervals;
  dec.voigtIntervals = o.voigtIntervals;
  if (!o.stress.empty() &&
      std::find(o.steps.begin(), o.steps.end(), "--calc-strain") == o.steps.end())
    throw Failure("--stress gives the stresses of --calc-strain, which is not asked for");
  if (!o.sff.empty()) {
    // A four-index reflection goes into the rows' cells as its three indices, so that the
    // cells read the same way.
    const Miller hkl = Take(ReadMiller(o.sffHkl, material.crystalClass), "--hkl \"" + o.sffHkl + "\"");
    NoteInputFile(o.sff);
    Check(LoadStressFactorFile(page, o.sff, hkl, dec.model, dec.grainShape));
  }
  if (!o.freeList.empty()) {
    const FitChoice free = Take(ParseFreeParameters(o.freeList), "--free");
    for (std::size_t k = 0; k < 6; ++k) page.flags[k] = free.fixed[k];
    page.flags[6] = free.d0Fixed;
  }
  std::optional<Texture> texture;
  if (!o.odf.empty() && !o.grains.empty())
    throw Failure("--grains cannot be combined with --odf: the texture is one or the other");
  if (!o.odf.empty() || !o.grains.empty()) {
    // A grains file or any other orientation list weights the fibres by its kernel ODF and the
    // Voigt average by its orientations.
    texture = o.grains.empty() ? LoadOdfOption(o.odf, o.odfFormat, material, o.list)
                               : LoadOdfOption(o.grains, "grains-auto", material, o.list);
    // Textured stress factors exist only in the Fij notation.
    Check(SetNotation(page, true, true));
  }
  if (!o.notation.empty()) {
    const auto set = SetNotation(page, o.notation == "fij", texture.has_value());
    if (!set) throw Failure("--notation s1 cannot be used with an ODF (textured stress factors)");
  }

  for (const std::string& step : o.steps) {
    if (step == "--calc-dec") {
      // A textured worksheet of thousands of rows takes a while: its rows are reported, and
      // Ctrl-C stops the step.
      InterruptScope interrupt;
      ProgressLine progress;
      const Status calculated = CalcWorksheetDec(
          page, material, dec, texture ? &*texture : nullptr, [&](int row) {
            progress.Show("Calc DEC: row " + std::to_string(row));
            return !InterruptScope::Interrupted();
          });
      progress.End();
      if (InterruptScope::Interrupted()) StoppedByUser("Calc DEC");
      Check(calculated);
    } else if (step == "--calc-stress") {
      const Status s = CalcWorksheetStress(page);
      if (!s) {
        InputError e = s.error();
        const std::string hint = "run \"Calc DEC\" first";
        if (const auto at = e.message.find(hint); at != std::string::npos)
          e.message.insert(at + hint.size(), " (--calc-dec)");
        Refuse(e);
      }
      // What the fit had to do without: said beside the numbers, never silently.
      for (const StressSetResult& set : page.sets) {
        if (set.unweighted)
          std::cerr << "polydec: note: data set \"" << set.label
                    << "\" gives no uncertainties of d: the fit is unweighted and its "
                       "uncertainties come from the scatter of the residuals (chisq_reduced 1)\n";
        if (set.d0PartLeftOut)
          std::cerr << "polydec: note: data set \"" << set.label
                    << "\" holds d0 fixed without its uncertainty: the uncertainties of the "
                       "stresses leave out the part of d0\n";
      }
    } else if (step == "--calc-strain") {
      std::optional<std::array<Real, 6>> given;
      if (!o.stress.empty()) {
        const stress::StressAssignment a = stress::ParseStressAssignment(o.stress);
        if (a.error) throw Failure("--stress: " + a.error->message);
        given = a.sig;
      }
      Check(CalcWorksheetStrain(page, given));
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
      throw Failure(o.csv + ": --csv and -o name the same file");
  }

  if (!o.output.empty()) {
    if (const auto why = stress::WorksheetTargetProblem(fs::absolute(o.output).string()))
      Refuse(FileRefusal(o.output, "The worksheet was not saved: " + *why));
    Check(SaveWorksheet(page, o.output));
  }

  if (!o.csv.empty()) {
    if (const auto error =
            core::WriteFileAtomically(fs::absolute(o.csv).string(), WorksheetCsvText(page)))
      Refuse(FileRefusal(o.csv, "The tables could not be written: " + *error));
  }

  if (o.json) {
    nlohmann::json block = ResultBlock(page, true);
    AddFitStatistics(block, page.sets);
    const std::vector<AzimuthFits> perPhi = PerAzimuth(page);
    for (auto& set : block["datasets"])
      for (const AzimuthFits& a : perPhi)
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
  cmd->add_option("--odf", o->odf,
                  "ODF file used to weight the stress factors (popla, MTEX, an equispaced export, "
                  "or any orientation list)");
  cmd->add_option("--odf-format", o->odfFormat,
                  "auto, popla, mtex, grains, orientations, ang or ctf")
      ->check(CLI::IsMember(TextureFormatNames()))
      ->capture_default_str();
  cmd->add_option("--grains", o->grains,
                  "Orientation list weighting the stress factors: a grains file, an Euler table, "
                  "an .ang or .ctf map (the fibres by its kernel ODF, the Voigt average by the "
                  "orientations themselves)");
  AddOrientationListOptions(cmd, o->list);
  cmd->add_option("--model", o->model,
                  "voigt, mvoigt, reuss, hill, kroener, inverse-kroener (default kroener)");
  cmd->add_option("--notation", o->notation, "fij or s1 (default: as the file)")
      ->check(CLI::IsMember({"fij", "s1"}));
  cmd->add_option("--grain-shape", o->grainShape, "Semi-axes \"a b c\" of the grain ellipsoid")
      ->default_str("1 1 1");
  cmd->add_option("--intervals", o->intervals, "Simpson half-intervals N of the fibre average")
      ->check(CLI::Range(1, 100000))
      ->default_str(std::to_string(kDefaultFibreIntervals));
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
