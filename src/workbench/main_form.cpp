// The main form's life: building the window and its command table, start and close, the
// settings file (last folder, last material), the page switch and the hidden functions.
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
using core::GetWord;
using core::LeadingInteger;
using core::OrientationsRec;
using core::ParseNumber;
using core::Real;
using namespace parts;

namespace {

namespace fs = std::filesystem;

// A settings file is two short lines; anything far larger is not one of ours.
constexpr std::uintmax_t kMaxIniFileSize = 1 << 16;

}  // namespace

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

}  // namespace polydec::workbench
