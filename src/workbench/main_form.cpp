#include "workbench/main_form.h"
#include "workbench/main_form_parts.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <system_error>
#include <utility>

#include "core/atomic_file.h"
#include "core/stiffness_check.h"
#include "core/tensor_inversion.h"
#include "core/text_fields.h"
#include "core/text_lines.h"
#include "crystal/lattice.h"
#include "crystal/miller_indices.h"
#include "crystal/symmetry_classes.h"
#include "materials/material_file.h"
#include "models/eshelby.h"
#include "models/macro_stiffness.h"
#include "models/reflection_dec.h"
#include "models/stress_factors.h"
#include "models/untextured_context.h"

namespace polydec::workbench {

using core::CijklVector;
using core::FloatVec;
using core::FormatFixed;
using core::FormatGeneral;
using core::FormatPadded;
using core::GetWord;
using core::LeadingInteger;
using core::OrientationsRec;
using core::ParseNumber;
using core::Real;
using core::Tensor4;
using namespace parts;

namespace {

namespace fs = std::filesystem;

// A settings file is two short lines; anything far larger is not one of ours.
constexpr std::uintmax_t kMaxIniFileSize = 1 << 16;


}  // namespace

namespace {

// The parts of a context that a copy leaves with the destination: its grain set and read status,
// and (unless the ODF travels too) its ODF weights, arrays, node counts, single ODFs and fibre
// profile. Everything else, including any field added to the record later, is copied.
struct KeptGrainsAndStatus {
  core::GrainOrientations GOrient;
  core::Int error = 0;
  std::array<Real, 5> ODFWeight{};
  std::array<core::DataVector, 5> SingleODFs;

  explicit KeptGrainsAndStatus(OrientationsRec& dst)
      : GOrient(std::move(dst.GOrient)),
        error(dst.error),
        ODFWeight(dst.ODFWeight),
        SingleODFs(std::move(dst.SingleODFs)) {}
  void RestoreInto(OrientationsRec& dst) {
    dst.GOrient = std::move(GOrient);
    dst.error = error;
    dst.ODFWeight = ODFWeight;
    dst.SingleODFs = std::move(SingleODFs);
  }
};

struct KeptODF {
  core::DataVector phi1, phi, phi2, ODF, TaylorFactor;
  core::Int ODFn_phi1 = 0, ODFn_phi = 0, ODFn_phi2 = 0;
  core::HKLODFRec HKLODF;

  explicit KeptODF(OrientationsRec& dst)
      : phi1(std::move(dst.phi1)),
        phi(std::move(dst.phi)),
        phi2(std::move(dst.phi2)),
        ODF(std::move(dst.ODF)),
        TaylorFactor(std::move(dst.TaylorFactor)),
        ODFn_phi1(dst.ODFn_phi1),
        ODFn_phi(dst.ODFn_phi),
        ODFn_phi2(dst.ODFn_phi2),
        HKLODF(std::move(dst.HKLODF)) {}
  void RestoreInto(OrientationsRec& dst) {
    dst.phi1 = std::move(phi1);
    dst.phi = std::move(phi);
    dst.phi2 = std::move(phi2);
    dst.ODF = std::move(ODF);
    dst.TaylorFactor = std::move(TaylorFactor);
    dst.ODFn_phi1 = ODFn_phi1;
    dst.ODFn_phi = ODFn_phi;
    dst.ODFn_phi2 = ODFn_phi2;
    dst.HKLODF = std::move(HKLODF);
  }
};

}  // namespace

void CopyContext(const OrientationsRec& src, OrientationsRec& dst) {
  if (&src == &dst) return;
  KeptGrainsAndStatus kept(dst);
  KeptODF keptODF(dst);
  dst = src;
  kept.RestoreInto(dst);
  keptODF.RestoreInto(dst);
  // The ODF arrays stay behind, so the count of ODF values must not claim more than the
  // destination's arrays hold: a count without its values would send every ODF lookup out of
  // range. Such a destination has no ODF.
  const auto held = std::min({dst.ODF.size(), dst.phi1.size(), dst.phi.size(), dst.phi2.size()});
  if (dst.ODFNUMP < 0 || static_cast<std::size_t>(dst.ODFNUMP) > held) dst.ODFNUMP = 0;
}

void CopyContextWithODF(const OrientationsRec& src, OrientationsRec& dst) {
  if (&src == &dst) return;
  KeptGrainsAndStatus kept(dst);
  dst = src;
  kept.RestoreInto(dst);
}

MainForm::MainForm(Services& services_, std::string programDir_, std::vector<std::string> args_)
    : MainForm(services_, DataFilesIn(programDir_), std::move(args_)) {}

MainForm::MainForm(Services& services_, DataFiles files_, std::vector<std::string> args_)
    : services(services_),
      files(std::move(files_)),
      programDir(files.shippedFolder),
      args(std::move(args_)) {
  BuildMainWindow(form);
  RegisterMainCommands();
  RegisterWorksheetCommands();
  RegisterStressCommands();
  RegisterMacroCommands();
  RegisterFitCommands();
  RegisterTextureCommands();
  RegisterSpecialCommands();
  RegisterGridEditingCommands();
  RegisterReflectionCommands();
  FormCreate();
  FillResultsGrid();
}

void MainForm::Register(const std::string& name, std::function<void()> handler) {
  commands_[name] = std::move(handler);
}

void MainForm::RegisterMainCommands() {
  const std::pair<const char*, void (MainForm::*)()> handlers[] = {
      {"FormClose", &MainForm::FormClose},
      {"PageControl1Change", &MainForm::PageControl1Change},
      {"ShowHiddenFunctionsClick", &MainForm::ShowHiddenFunctionsClick},
      {"CartAxesBoxClick", &MainForm::CartAxesBoxClick},
      {"IntegIntervalsExit", &MainForm::IntegIntervalsExit},
      {"UseODFBtnClick", &MainForm::UseODFBtnClick},
      {"SampleSymmetryChange", &MainForm::SampleSymmetryChange},
      {"CalcDECBtnClick", &MainForm::CalcDECBtnClick},
      {"CijBulkClick", &MainForm::CalcBulkConst},
      {"BulkToCijBtnClick", &MainForm::ReCalcMacroConst},
      {"CrystalSymmetryBoxClick", &MainForm::CrystalSymmetryBoxClick},
      {"C11EditExit", &MainForm::C11EditExit},
      {"C12EditExit", &MainForm::C12EditExit},
      {"C13EditExit", &MainForm::C13EditExit},
      {"C14EditExit", &MainForm::C14EditExit},
      {"C15EditExit", &MainForm::C15EditExit},
      {"C16EditExit", &MainForm::C16EditExit},
      {"C44EditExit", &MainForm::C44EditExit},
      {"CompoundNameBoxClick", &MainForm::CompoundNameBoxClick},
      {"AddDBButtonClick", &MainForm::AddDBButtonClick},
  };
  for (const auto& [name, method] : handlers) Register(name, [this, m = method] { (this->*m)(); });
}

bool MainForm::Run(const std::string& command) {
  const auto it = commands_.find(command);
  if (it == commands_.end()) return false;
  it->second();
  FillResultsGrid();
  return true;
}

std::vector<std::string> MainForm::CommandNames() const {
  std::vector<std::string> names;
  for (const auto& entry : commands_) names.push_back(entry.first);
  return names;
}

std::string MainForm::DatabasePath() const { return ActiveDatabase(files); }

std::string MainForm::IniPath() const {
  return (fs::path(files.settingsFolder) / "polydec.ini").string();
}

bool MainForm::ReadNumberBox(const std::string& box, const std::string& quantity, Real& value) {
  const core::ParsedNumber x = ParseNumber(form.Text(box));
  value = x.value;  // 0 when the text is no number
  if (x.ok()) return true;
  services.Inform("Not a valid input for " + quantity + "!");
  return false;
}

bool MainForm::ReadNumberWords(const std::string& box, const std::string& label, int count,
                               Real* out) {
  const std::string text = form.Text(box);
  for (int w = 1; w <= count; ++w) {
    const core::ParsedNumber x = ParseNumber(GetWord(text, w));
    if (!x.ok()) {
      services.Inform("\"" + label + "\" needs " + std::to_string(count) +
                      (count == 1 ? " number" : " numbers") + "; word " + std::to_string(w) +
                      " of \"" + text + "\" is not a number.");
      return false;
    }
    out[w - 1] = x.value;
  }
  return true;
}

std::optional<std::array<Real, 3>> MainForm::ReflectionOfBox() {
  const crystal::ReflectionRead read = crystal::ReadMillerIndices(
      form.Text("czhkl"), static_cast<polydec::CrystalClass>(CrystalClass()));
  if (!read.ok()) {
    services.Inform("Not a valid input for h k l: " + form.Text("czhkl") + " (" + read.error + ")");
    return std::nullopt;
  }
  return read.hkl;
}

int MainForm::CrystalClass() const {
  const int i = form.ItemIndex("CrystalSymmetryBox");
  return i >= 0 && i <= 10 ? i : 10;
}

void MainForm::SetCheckedAndNotify(const std::string& name, bool on) {
  Control& c = form[name];
  const bool changed = c.checked != on;
  form.SetChecked(name, on);
  if (changed && !c.command.empty()) Run(c.command);
}

void MainForm::SetComboText(const std::string& name, const std::string& text) {
  Control& c = form[name];
  c.text = text;
  const int n = static_cast<int>(c.items.size());
  if (c.itemIndex >= 0 && c.itemIndex < n && c.items[c.itemIndex] == text) return;
  const auto it = std::find(c.items.begin(), c.items.end(), text);
  c.itemIndex = it == c.items.end() ? -1 : static_cast<int>(it - c.items.begin());
}

void MainForm::FormCreate() {
  ShowHiddenFunctionsClick();
  const bool fitting = !args.empty() && args[0] == "Qyxo";
  form["Button2"].visible = fitting;
  form["FitSCConstantsBtn"].visible = fitting;

  FitRecord = fit::FitRecord{};
  CurrentContext = OrientationsRec{};
  CurrentContext.UseODF = false;
  CurrentContext.HKLODFNUMP = 144;

  form.SetItemIndex("CrystalSymmetryBox", 0);
  SetComboText("CompoundNameBox", "a-Iron1");
  if (form.activePage.empty()) form.activePage = "TabSheet1";
  PageControl1Change();

  LoadMaterialDatabase();

  FillStartupGrids(form);

  CurrentContext.IntegralMode = 0;

  // The matrix of the first start is the isotropic aggregate of the first material's E and nu.
  core::CijklToTensor(models::IsotropicStiffness(CurrentContext.E, CurrentContext.nu),
                      CurrentContext.L);
  core::TensorToCijkl(CurrentContext.L, CurrentContext.a);
  InitRotationGrid(CurrentContext.a, 8);
  CalcBulkConst();
  // The scratch vector keeps handing the matrix stiffness to rows 8..13 (a page change writes
  // it there), so the single-crystal rows are filled from a vector of their own.
  CijklVector single{};
  core::TensorToCijkl(CurrentContext.Lr, single);
  InitRotationGrid(single, 1);

  InitWorksheet();

  form.SetItemIndex("CrystalSymmetryBox", CurrentContext.Cryst.SYS);
  CurrentContext.IIntervls = LeadingInteger(GetWord(form.Text("IntegIntervals"), 1));
  ReadIniFile();
  form["VookWittBtn"].visible = form.Checked("ShowHiddenFunctions");
  // The frame in use is the one the box shows, from the start.
  CartAxesBoxClick();
}

void MainForm::FormClose() {
  writeIniFile();
  MaterialList.clear();
}

void MainForm::ReadIniFile() {
  const std::string path = IniPath();
  if (!Exists(path)) return;
  const auto ignore = [this](const std::string& why) {
    form.statusPanels[1] = "Settings file polydec.ini ignored (" + why + "); defaults used.";
  };
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) return ignore("its size cannot be read");
  if (size > kMaxIniFileSize)
    return ignore("larger than " + std::to_string(kMaxIniFileSize) + " bytes");
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  if (!in || in.bad()) return ignore("it cannot be read");
  const std::string text = content.str();
  if (text.find('\0') != std::string::npos) return ignore("it is no text file");
  const std::vector<std::string> lines = core::SplitLines(text);

  const std::string first = lines.empty() ? std::string() : lines[0];
  form.openDialog.initialDir = IsDirectory(first) ? first : programDir;
  // The folder is remembered across starts: without this, the next close would write the
  // folder of this session only, or none.
  if (IsDirectory(first)) LastODFDirectory = first;
  // Every line after the first is a material selection and the last one decides; a file of
  // one line selects item 0. Each selection re-reads the database, so it is made once.
  std::string s = lines.size() < 2 ? std::string() : lines.back();
  if (s.find("CompoundNameBox") != std::string::npos) s = GetWord(s, 2);
  form.SetItemIndex("CompoundNameBox", LeadingInteger(s));
  CompoundNameBoxClick();
}

void MainForm::writeIniFile() {
  const std::string text = LastODFDirectory + "\r\n" + "CompoundNameBox " +
                           std::to_string(form.ItemIndex("CompoundNameBox")) + "\r\n";
  // The old settings are replaced only by a file that was written completely; settings that
  // cannot be saved are no reason to keep the window from closing. The user's configuration
  // folder of an installed program may not exist yet.
  std::error_code ec;
  fs::create_directories(files.settingsFolder, ec);
  core::WriteFileAtomically(IniPath(), text);
}

void MainForm::PageControl1Change() {
  if (form.activePage == "TabSheet1") {
    form["CompoundNameBox"].parent = "SECActions";
  } else if (form.activePage == "TabSheet3") {
    InitRotationGrid(CurrentContext.a, 8);
    form["CompoundNameBox"].parent = "AnElConstBox";
  }
}

void MainForm::ShowHiddenFunctionsClick() {
  const bool c = form.Checked("ShowHiddenFunctions");
  for (const char* group : {"LoadFijGroupBox", "SpecialFunctionsGroupBox",
                            "SpecialSettingsGroupBox", "MultiPhaseBox"}) {
    form[group].visible = c;
    form[group].enabled = c;
  }
  form["TextureGroupBox"].visible = c;
}

void MainForm::LoadMaterialDatabase() {
  const std::string path = DatabasePath();
  core::InputError err;
  int j = materials::ReadMaterialFile(MaterialList, path, &err);
  if (j == -1) {
    if (Exists(path))
      services.Inform("The material database could not be read:\n" + err.Describe() +
                      "\nThe built-in material \"iron\" is used instead.");
    materials::DefaultMaterial(CurrentContext);
    MaterialList.resize(1);
    MaterialList[0] = std::make_unique<OrientationsRec>();
    CopyContext(CurrentContext, *MaterialList[0]);
    j = 0;
  }
  Control& names = form["CompoundNameBox"];
  for (int i = 0; i <= j; ++i) names.items.push_back(MaterialList[i]->Name);
  SetCijklValues(0);
}

bool MainForm::ReadCij(FloatVec& v) {
  std::fill(v.begin(), v.end(), Real{0});
  for (int I = 1; I <= 6; ++I)
    for (int J = I; J <= 6; ++J) {
      const core::ParsedNumber x = ParseNumber(form.Text(ConstantBox(I, J)));
      if (!x.ok()) {
        services.Inform("Not a valid input for C" + std::to_string(I) + std::to_string(J) + " !");
        return false;
      }
      v[core::VoigtToPosition(I, J)] = x.value;
    }
  return true;
}

void MainForm::ReadRotationGrid(FloatVec& v, int r0) {
  const Grid& g = form.GridOf("RotationGrid");
  for (int I = 1; I <= 6; ++I)
    for (int J = I; J <= 6; ++J)
      v[core::VoigtToPosition(I, J)] = ParseNumber(g.Cell(J, r0 + I - 1)).value;
}

void MainForm::InitRotationGrid(const FloatVec& v, int r0) {
  Grid& g = form.GridOf("RotationGrid");
  for (int I = 1; I <= 6; ++I)
    for (int J = I; J <= 6; ++J) {
      const Real x = v[core::VoigtToPosition(I, J)];
      g.SetCell(J, r0 + I - 1, FiniteOrEmpty(x, FormatPadded(x, 6, 1), " "));
    }
}

void MainForm::InitCrystalData() {
  core::CrystalData& c = CurrentContext.Cryst;
  ReadNumberBox("aEdit", "a", c.a);
  ReadNumberBox("bEdit", "b", c.b);
  ReadNumberBox("cEdit", "c", c.c);
  ReadNumberBox("alphaEdit", "alpha", c.alpha);
  ReadNumberBox("betaEdit", "beta", c.beta);
  ReadNumberBox("gammaEdit", "gamma", c.gamma);
  crystal::SetCellFromDegrees(c, c.a, c.b, c.c, c.alpha, c.beta, c.gamma);
  c.SYS = static_cast<polydec::CrystalClass>(CrystalClass());
  crystal::InitCrystal(c);
}

int MainForm::FCode() const {
  int code = 0;
  const std::pair<const char*, int> buttons[] = {
      {"KroenerBtn", 3}, {"InvKroener", 4}, {"ReussBtn", 2},    {"MVoigtBtn", 1},
      {"VoigtBttn", 0},  {"HillBtn", 6},    {"VookWittBtn", 12}};
  for (const auto& [name, value] : buttons)
    if (form.Checked(name)) code = value;
  return code;
}

int MainForm::SetSSFromList() {
  const Control& list = form["SampleSymmetry"];
  const std::string text =
      list.itemIndex >= 0 && list.itemIndex < static_cast<int>(list.items.size())
          ? list.items[list.itemIndex]
          : list.text;
  int code = 0;
  const std::pair<const char*, int> words[] = {{"ISOTROPIC", 0},
                                               {"TRANSVERSAL", 2},
                                               {"ORTHORHOMBIC", 7},
                                               {"MONOCLINIC", 9},
                                               {"TRICLINIC", 10}};
  for (const auto& [word, value] : words)
    if (text.find(word) != std::string::npos) code = value;
  CurrentContext.SYMMETRY = static_cast<polydec::SampleSymmetry>(code);
  return code;
}

void MainForm::SetListIndexfromSS() {
  switch (CurrentContext.SYMMETRY) {
    case 0:
      form.SetItemIndex("SampleSymmetry", 0);
      break;
    case 2:
      form.SetItemIndex("SampleSymmetry", 1);
      break;
    case 7:
      form.SetItemIndex("SampleSymmetry", 2);
      break;
    case 9:
      form.SetItemIndex("SampleSymmetry", 3);
      break;
    case 10:
      form.SetItemIndex("SampleSymmetry", 4);
      break;
    default:
      break;
  }
}

void MainForm::CartAxesBoxClick() {
  const int i = form.ItemIndex("CartAxesBox");
  if (i >= 0 && i <= 2) CurrentContext.Cryst.AxisSetting = i;
}

void MainForm::IntegIntervalsExit() {
  const core::ParsedInteger n = core::ReadInteger(form.Text("IntegIntervals"));
  CurrentContext.IIntervls = n.ok() ? n.value : 20;
}

void MainForm::UseODFBtnClick() {
  const bool on = form.Checked("UseODFBtn");
  CurrentContext.UseODF = on;
  if (on) SetCheckedAndNotify("UseFij", true);
  form["UseFij"].enabled = !on;
}

void MainForm::SampleSymmetryChange() { SetSSFromList(); }

void MainForm::ORTNInit() {
  OrientationsRec& ctx = CurrentContext;
  CijklVector v{};
  ReadCij(v);
  core::CijklToTensor(v, ctx.Lr);

  ReadNumberBox("HEdit", "H", ctx.hkl(1));
  ReadNumberBox("KEdit", "K", ctx.hkl(2));
  ReadNumberBox("LEdit", "L", ctx.hkl(3));

  InitCrystalData();
  // The DECs of this page are those of the command line's frame; the box shows the frame used
  // from now on (it used to keep showing another one while this one was in use).
  ctx.Cryst.AxisSetting = 1;
  form.SetItemIndex("CartAxesBox", 1);
  ctx.Mr = ctx.Lr;
  core::InvertTensor(ctx.Mr, ctx.Cryst.SYS);
  ctx.CrystPolAngles = crystal::HKLToPolarAngles(ctx.Cryst, ctx.hkl(1), ctx.hkl(2), ctx.hkl(3));
  ctx.SYMMETRY = static_cast<polydec::SampleSymmetry>(SetSSFromList());

  Real shear = 0, bulk = 0;
  ReadNumberBox("YoungEdit", "E", ctx.E);
  ReadNumberBox("PoissonEdit", "nu", ctx.nu);
  ReadNumberBox("ShearEdit", "G", shear);
  ReadNumberBox("BulkEdit", "K", bulk);
  core::CijklToTensor(models::IsotropicStiffness(ctx.E, ctx.nu), ctx.L);
  ctx.M = ctx.L;
  core::InvertTensor(ctx.M, ctx.SYMMETRY);

  const std::string shape = form.Text("GrainshapeEdit");
  ctx.AxisLength.a = ParseNumber(GetWord(shape, 1)).value;
  ctx.AxisLength.b = ParseNumber(GetWord(shape, 2)).value;
  ctx.AxisLength.c = ParseNumber(GetWord(shape, 3)).value;

  if (ctx.SYMMETRY != 0) {
    if (!models::UpdateEshelby(ctx)) services.Inform(models::CheckAxes(ctx.AxisLength));
  } else {
    ctx.S = models::SphereEshelbyFromNu(ctx.nu);
    ctx.W = ctx.S;
    core::InvertTensor(ctx.W, 0);
  }
  ctx.ODFNUMP = 0;
}

bool MainForm::CalcInit() {
  OrientationsRec& ctx = CurrentContext;
  models::PhaseInputs in;
  const char* cellBoxes[][2] = {{"aEdit", "a"},         {"bEdit", "b"},        {"cEdit", "c"},
                                {"alphaEdit", "alpha"}, {"betaEdit", "beta"}, {"gammaEdit", "gamma"}};
  // A box that holds no number has been named to the user; its cell is not calculated with.
  bool cellRead = true;
  for (int i = 0; i < 6; ++i)
    cellRead = ReadNumberBox(cellBoxes[i][0], cellBoxes[i][1], in.cell[i]) && cellRead;
  in.crystalClass = static_cast<polydec::CrystalClass>(CrystalClass());
  const std::string shape = form.Text("GrainshapeEdit");
  in.grainShape.a = ParseNumber(GetWord(shape, 1)).value;
  in.grainShape.b = ParseNumber(GetWord(shape, 2)).value;
  in.grainShape.c = ParseNumber(GetWord(shape, 3)).value;
  in.fastInversion = form.Checked("InvSymBox");
  in.sampleSymmetry = static_cast<polydec::SampleSymmetry>(SetSSFromList());

  // The stiffness grid supplies the constants; rows left empty show the context's instead.
  // The grid shows them to 0.1 GPa: where it still shows the context's tensor (nothing typed
  // over it), the tensor itself is used. Rounded apart, an isotropic matrix's C11, C12 and C44
  // are no longer isotropic, which shifts the Kroener factors by parts in 1e4 and makes them
  // drift with psi.
  const Grid& g = form.GridOf("RotationGrid");
  const auto showsTensor = [&g](const Tensor4& t, int r0) {
    CijklVector c{};
    core::TensorToCijkl(t, c);
    for (int I = 1; I <= 6; ++I)
      for (int J = I; J <= 6; ++J) {
        const Real x = c[core::VoigtToPosition(I, J)];
        if (g.Cell(J, r0 + I - 1) != FiniteOrEmpty(x, FormatPadded(x, 6, 1), " ")) return false;
      }
    return true;
  };
  CijklVector v{};
  if (!ParseNumber(g.Cell(1, 1)).ok()) {
    core::TensorToCijkl(ctx.Lr, v);
    InitRotationGrid(v, 1);
    in.crystal = ctx.Lr;
  } else if (showsTensor(ctx.Lr, 1)) {
    in.crystal = ctx.Lr;
  } else {
    ReadRotationGrid(v, 1);
    core::CijklToTensor(v, in.crystal);
  }
  v = CijklVector{};
  if (!ParseNumber(g.Cell(1, 8)).ok()) {
    core::TensorToCijkl(ctx.L, v);
    InitRotationGrid(v, 8);
    CalcBulkConst();
    in.matrix = ctx.L;
  } else if (showsTensor(ctx.L, 8)) {
    in.matrix = ctx.L;
  } else {
    ReadRotationGrid(v, 8);
    core::CijklToTensor(v, in.matrix);
  }
  // Every model inverts both stiffnesses and works in the cell's frames: a cell that spans no
  // volume or a stiffness that is not positive definite would give numbers without meaning.
  const core::CrystalData cell = crystal::CellFromDegrees(in.cell[0], in.cell[1], in.cell[2],
                                                          in.cell[3], in.cell[4], in.cell[5]);
  if (!cellRead) return false;
  if (const std::string fault = crystal::CheckCell(cell); !fault.empty()) {
    services.Inform("The lattice parameters are refused: " + fault);
    return false;
  }
  const std::pair<const Tensor4*, const char*> stiffnesses[] = {
      {&in.crystal, "the single-crystal constants of the stiffness grid"},
      {&in.matrix, "the matrix constants of the stiffness grid"}};
  for (const auto& [tensor, what] : stiffnesses) {
    CijklVector c{};
    core::TensorToCijkl(*tensor, c);
    if (const auto bad = core::StiffnessProblem(c, what)) {
      services.Inform(*bad);
      return false;
    }
  }
  const std::string refused = models::BuildPhaseContext(in, ctx);
  if (!refused.empty()) services.Inform(refused);

  // The texture page's reflection; a box that does not read is no reflection (the commands
  // that use it name the fault), never the numbers it happens to start with.
  const crystal::ReflectionRead hkl = crystal::ReadMillerIndices(
      form.Text("czhkl"), static_cast<polydec::CrystalClass>(CrystalClass()));
  for (int i = 1; i <= 3; ++i) ctx.hkl(i) = hkl.ok() ? hkl.hkl[static_cast<std::size_t>(i - 1)] : 0;
  ctx.CrystPolAngles =
      crystal::HKLToPolarAngles(ctx.Cryst, ctx.hkl(1), ctx.hkl(2), ctx.hkl(3));
  return true;
}

void MainForm::CalcDECBtnClick() {
  ORTNInit();
  OrientationsRec& ctx = CurrentContext;
  const Real d = crystal::DSpacing(ctx.Cryst, ctx.hkl(1), ctx.hkl(2), ctx.hkl(3));
  form.SetText("dEdit", FiniteOrEmpty(d, FormatFixed(d, 8, 5)));
  ctx.SYMMETRY = polydec::kIsotropicSample;
  // The "Isotropic" page always uses the self-consistent model, whatever the other page shows.
  CijklVector scratch{};
  models::CalcReflectionDEC(ctx, scratch, models::kKroener);
  const Real s1 = ctx.s1 * 1000;
  const Real s2 = ctx.s2 * 1000;
  form.SetText("s1Edit", FiniteOrEmpty(s1, FormatPadded(s1, 10, 6)));
  form.SetText("s2Edit", FiniteOrEmpty(s2, FormatPadded(s2, 10, 6)));
  services.Repaint();
}

void MainForm::CalcBulkConst() {
  CijklVector c{};
  ReadRotationGrid(c, 8);
  Tensor4 C;
  core::CijklToTensor(c, C);
  const models::EngineeringConstantsRec e = models::MacroEngineeringConstants(
      C, static_cast<polydec::SampleSymmetry>(CurrentContext.SYMMETRY));

  Grid& g = form.GridOf("RotationGrid");
  const auto put = [&g](int col, int row, Real x, int decimals) {
    g.SetCell(col, row, FiniteOrEmpty(x, FormatPadded(x, 6, decimals), " "));
  };
  put(1, 14, e.E1, 2);
  put(2, 14, e.E2, 2);
  put(3, 14, e.E3, 2);
  put(1, 15, e.G1, 2);
  put(2, 15, e.G2, 2);
  put(3, 15, e.G3, 2);
  put(1, 16, e.nu12, 4);
  put(2, 16, e.nu13, 4);
  put(3, 16, e.nu23, 4);
  put(1, 17, e.nu21, 4);
  put(2, 17, e.nu31, 4);
  put(3, 17, e.nu32, 4);
}

void MainForm::ReCalcMacroConst() {
  CijklVector c{};
  ReadRotationGrid(c, 8);
  const Grid& g = form.GridOf("RotationGrid");
  const auto cell = [&g](int col, int row) {
    return ParseNumber(GetWord(g.Cell(col, row), 1)).value;
  };
  models::EngineeringConstantsRec e;
  e.E1 = cell(1, 14);
  e.E2 = cell(2, 14);
  e.E3 = cell(3, 14);
  e.nu12 = cell(1, 16);
  e.nu13 = cell(2, 16);
  e.nu23 = cell(3, 16);
  e.nu21 = cell(1, 17);
  e.nu31 = cell(2, 17);
  e.nu32 = cell(3, 17);
  e.G1 = cell(1, 15);
  e.G2 = cell(2, 15);
  e.G3 = cell(3, 15);
  // Constants that admit no stiffness leave the stiffness rows as they were instead of filling
  // them with infinities.
  const std::optional<CijklVector> stiffness = models::OrthotropicStiffness(e, c);
  if (!stiffness) return;
  c = *stiffness;
  InitRotationGrid(c, 8);
}

}  // namespace polydec::workbench
