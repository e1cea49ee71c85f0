// `polydec worksheet`: the "DEC/Stress/Strain" page without a window. The worksheet file is
// loaded into a headless workbench and the page's commands run exactly as the buttons do.
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <random>

#include "common.h"
#include "crystal/symmetry_classes.h"
#include "material_options.h"
#include "core/text_fields.h"
#include "models/untextured_context.h"
#include "workbench/main_form.h"

namespace polydec::cli {

namespace {

namespace fs = std::filesystem;
using workbench::MainForm;

struct WorksheetOptions {
  std::string file;
  MaterialOptions material;
  std::string odf;
  std::string odfFormat = "mtex";
  std::string model;
  std::string notation;
  std::string grainShape;
  int intervals = 0;
  std::string freeList;
  std::string output;
  bool json = false;
  std::vector<std::string> steps;  // the commands in the order given
};

// Dialog answers come from the command line; a dialog's filter index can be chosen too.
class CliServices : public workbench::HeadlessServices {
 public:
  int nextFilterIndex = 0;
  bool ExecuteOpen(workbench::FileDialog& dialog) override {
    if (nextFilterIndex > 0) dialog.filterIndex = nextFilterIndex;
    nextFilterIndex = 0;
    return HeadlessServices::ExecuteOpen(dialog);
  }
};

// A private program folder: the workbench reads its database there and no settings file of an
// earlier window session changes what the command computes.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::random_device rd;
    path_ = fs::temp_directory_path() /
            ("polydec-cli-" + std::to_string(rd()) + "-" + std::to_string(rd()));
    fs::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Any message box a command shows while scripted is a refusal: report it and stop.
void Check(CliServices& services, const std::string& what) {
  for (const auto& m : services.messages) {
    if (m.kind == workbench::MessageKind::kConfirmation) continue;
    std::string text = m.text;
    for (char& c : text)
      if (c == '\n') c = ' ';
    throw InputError(what + ": " + text);
  }
  services.messages.clear();
}

void ApplyMaterial(MainForm& w, const ResolvedMaterial& m) {
  auto& form = w.form;
  form.SetItemIndex("CrystalSymmetryBox", m.crystalClass);
  const char* cellBoxes[] = {"aEdit", "bEdit", "cEdit", "alphaEdit", "betaEdit", "gammaEdit"};
  for (int i = 0; i < 6; ++i) form.SetText(cellBoxes[i], core::FormatGeneral(m.cell[i]));
  w.InitRotationGrid(m.cij, 1);
  const core::CijklVector matrix = models::IsotropicStiffness(m.E, m.nu);
  w.InitRotationGrid(matrix, 8);
  w.CurrentContext.E = m.E;
  w.CurrentContext.nu = m.nu;
}

void ApplyModel(MainForm& w, const std::string& model) {
  const std::pair<const char*, const char*> buttons[] = {
      {"voigt", "VoigtBttn"}, {"mvoigt", "MVoigtBtn"},   {"reuss", "ReussBtn"},
      {"hill", "HillBtn"},    {"kroener", "KroenerBtn"}, {"inverse-kroener", "InvKroener"}};
  for (const auto& [name, button] : buttons)
    if (model == name) {
      w.form.SetChecked(button, true);
      return;
    }
  throw InputError("--model: unknown model \"" + model +
                   "\" (voigt, mvoigt, reuss, hill, kroener, inverse-kroener)");
}

void ApplyFree(MainForm& w, const std::string& list) {
  const std::pair<const char*, const char*> boxes[] = {
      {"sig_xx", "sig11box"}, {"sig_yy", "sig22box"}, {"sig_zz", "sig33box"},
      {"sig_yz", "sig23box"}, {"sig_xz", "sig13box"}, {"sig_xy", "sig12box"},
      {"d0", "d0box"}};
  std::vector<std::string> names;
  for (int n = 1;; ++n) {
    const std::string word = core::GetWord(list, n);
    if (word.empty()) break;
    bool known = false;
    for (const auto& [name, box] : boxes) known |= word == name;
    if (!known)
      throw InputError("--free: unknown parameter \"" + word +
                       "\" (sig_xx sig_yy sig_zz sig_yz sig_xz sig_xy d0)");
    names.push_back(word);
  }
  // A checked box holds its parameter fixed.
  for (const auto& [name, box] : boxes)
    w.form.SetChecked(box, std::find(names.begin(), names.end(), name) == names.end());
}

nlohmann::json CellNumber(const std::string& text) {
  const auto v = core::ParseNumber(core::GetWord(text, 1));
  if (!v.ok() || core::GetWord(text, 1).empty()) return nullptr;
  return JsonNumber(v.value);
}

// The rows the commands worked on and the result rows of the data sets.
nlohmann::json ResultBlock(const MainForm& w) {
  const auto& g = w.form.GridOf("StrainGrid");
  const bool fij = w.form.Checked("UseFij");
  const int cPhi = w.GetStringGridColNum("phi"), cPsi = w.GetStringGridColNum("psi");
  nlohmann::json rows = nlohmann::json::array();
  for (int r = 1; r < g.rows; ++r) {
    if (CellNumber(g.Cell(cPsi, r)).is_null() || CellNumber(g.Cell(cPhi, r)).is_null()) break;
    nlohmann::json row = {
        {"row", r},
        {"hkl", core::GetWord(g.Cell(2, r), 1) + " " + core::GetWord(g.Cell(2, r), 2) +
                    " " + core::GetWord(g.Cell(2, r), 3)},
        {"phi", CellNumber(g.Cell(cPhi, r))},
        {"psi", CellNumber(g.Cell(cPsi, r))}};
    if (fij) {
      nlohmann::json F = nlohmann::json::object();
      for (const char* name : {"F11", "F22", "F33", "F23", "F13", "F12"})
        F[name] = CellNumber(g.Cell(w.GetStringGridColNum(name), r));
      row["F"] = F;
      row["I_ODF"] = CellNumber(g.Cell(w.GetStringGridColNum("I(ODF)"), r));
    } else {
      row["S1"] = CellNumber(g.Cell(w.GetStringGridColNum("S1"), r));
      row["half_S2"] = CellNumber(g.Cell(w.GetStringGridColNum("½S2"), r));
    }
    row["d_calc"] = CellNumber(g.Cell(w.GetStringGridColNum("d_calc"), r));
    rows.push_back(row);
  }
  nlohmann::json sets = nlohmann::json::array();
  const int cLabel = w.GetStringGridColNum("##");
  const int cSig = w.GetStringGridColNum("sig_xx");
  for (int r = 1; r < g.rows; ++r) {
    const std::string label = g.Cell(cLabel, r);
    if (core::GetWord(label, 1).empty()) break;
    nlohmann::json sig = nlohmann::json::object(), err = nlohmann::json::object();
    const char* names[] = {"xx", "yy", "zz", "yz", "xz", "xy"};
    for (int k = 0; k < 6; ++k) {
      sig[names[k]] = CellNumber(g.Cell(cSig + 2 * k, r));
      err[names[k]] = CellNumber(g.Cell(cSig + 2 * k + 1, r));
    }
    const int cD0 = w.GetStringGridColNum("d0_calc");
    sets.push_back({{"label", label},
                    {"sig", sig},
                    {"sig_err", err},
                    {"d0", CellNumber(g.Cell(cD0, r))},
                    {"d0_err", CellNumber(g.Cell(cD0 + 1, r))},
                    {"chisq", CellNumber(g.Cell(w.GetStringGridColNum("chisq"), r))}});
  }
  return {{"rows", rows}, {"datasets", sets}};
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
  const ResolvedMaterial material = ResolveMaterial(o.material);

  ScratchFolder folder;
  const std::string database =
      o.material.database.empty() ? DefaultDatabasePath() : o.material.database;
  fs::copy_file(database, folder.path() / "pfcryst.dat");
  CliServices services;
  MainForm w(services, folder.path().string());
  services.messages.clear();
  w.form.activePage = "TabSheet3";
  w.PageControl1Change();
  ApplyMaterial(w, material);

  services.files.push_back(fs::absolute(o.file).string());
  w.Run("LoadGridDataBtnClick");
  Check(services, o.file);

  if (!o.model.empty()) ApplyModel(w, o.model);
  if (!o.grainShape.empty()) {
    ReadNumberList(o.grainShape, 3, "--grain-shape");
    w.form.SetText("GrainshapeEdit", o.grainShape);
  }
  if (o.intervals != 0) {
    w.form.SetText("IntegIntervals", std::to_string(o.intervals));
    w.Run("IntegIntervalsExit");
  }
  if (!o.freeList.empty()) ApplyFree(w, o.freeList);
  if (!o.odf.empty()) {
    if (!fs::exists(o.odf)) throw InputError("ODF file " + o.odf + " does not exist");
    services.nextFilterIndex = o.odfFormat == "popla" ? 1 : 2;
    services.files.push_back(fs::absolute(o.odf).string());
    w.Run("LoadBtnClick");
    Check(services, o.odf);
    if (w.CurrentContext.ODFNUMP < 1) throw InputError(o.odf + ": no ODF was read");
    w.form.SetChecked("UseODFBtn", true);
    w.Run("UseODFBtnClick");
  }
  if (!o.notation.empty()) {
    const bool fij = o.notation == "fij";
    if (w.form.Checked("UseFij") != fij) {
      if (w.CurrentContext.UseODF && !fij)
        throw InputError("--notation s1 cannot be used with an ODF (textured stress factors)");
      w.form.SetChecked("UseFij", fij);
      w.Run("UseFijClick");
    }
  }

  for (const std::string& step : o.steps) {
    if (step == "--calc-dec") {
      w.Run("FijBtnClick");
      Check(services, "Calc DEC");
    } else if (step == "--calc-stress") {
      w.Run("StressBtnClick");
      Check(services, "Calc Stress");
    } else if (step == "--calc-strain") {
      throw InputError("Calc Strain is not available in this version");
    }
  }

  if (!o.output.empty()) {
    services.files.push_back(fs::absolute(o.output).string());
    w.Run("SaveGridDataBtnClick");
    Check(services, o.output);
  }

  const nlohmann::json block = ResultBlock(w);
  if (o.json) {
    std::cout << block.dump(2) << "\n";
  } else {
    PrintText(block, w.form.Checked("UseFij"));
  }
}

}  // namespace

void AddWorksheetCommand(CLI::App& app) {
  auto o = std::make_shared<WorksheetOptions>();
  auto* cmd = app.add_subcommand(
      "worksheet",
      "Load a worksheet (*.tsd), run Calc DEC / Calc Stress as the buttons do, save and print");
  cmd->add_option("file", o->file, "Worksheet file (*.tsd)")->required();
  cmd->add_flag("--calc-dec")
      ->description("Stress factors (or s1, 1/2 s2) of every row, as \"Calc DEC\"");
  cmd->add_flag("--calc-stress")
      ->description("Stresses and d0 of every data set, as \"Calc Stress\"");
  cmd->add_flag("--calc-strain")
      ->description("Lattice spacings from the given stresses, as \"Calc Strain\"");
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
      ->default_str("10");
  cmd->add_option("--free", o->freeList,
                  "Fitted parameters, e.g. \"sig_xx sig_yy d0\"; the others are held at the "
                  "values of the result row")
      ->default_str("sig_xx sig_yy d0");
  cmd->add_option("-o", o->output, "Write the worksheet to this file (may be FILE itself)");
  cmd->add_flag("--json", o->json, "Print one JSON object");
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
