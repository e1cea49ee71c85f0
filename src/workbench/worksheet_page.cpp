// The worksheet of the "DEC/Stress/Strain" page (its two column layouts, the header lookup, the
// *.tsd files) and the "Load ODF" command.
#include <algorithm>
#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/text_fields.h"
#include "stress/measurement_table.h"
#include "stress/worksheet_cells.h"
#include "stress/worksheet_file.h"
#include "texture/kernel_odf.h"
#include "texture/odf_readers.h"
#include "texture/orientation_lists.h"
#include "workbench/main_form.h"
#include "workbench/save_choice.h"

namespace polydec::workbench {

namespace {

constexpr const char* kStrainGrid = "StrainGrid";

// The fix/free boxes in the order of the worksheet file's flags line.
constexpr std::array<const char*, stress::kWorksheetFlagCount> kFlagBoxes = {
    "sig11box", "sig22box", "sig33box", "sig23box", "sig13box", "sig12box", "d0box", "eps0box"};

// The open dialog's list of file kinds; the load command's choice of reader is its index.
constexpr const char* kODFFileFilter =
    "popla ODF|*.*|MTEX ODF file (generic 5x5)|*.*|SC constant fit input file|*.dec|grains "
    "file|*.grn|Stress Factor File|*.sff|Worksheet data|*.tsd|Euler table (weights or "
    "equispaced ODF export)|*.*|EBSD map (EDAX .ang)|*.ang|EBSD map (Oxford .ctf)|*.ctf";
constexpr int kPoplaFilter = 1;
constexpr int kMTEXFilter = 2;
constexpr int kGrainsFilter = 4;
constexpr int kOrientationTableFilter = 7;
constexpr int kAngFilter = 8;
constexpr int kCtfFilter = 9;

// Reads an orientation list of the dialog's kinds 7..9 as grains of the context and, when the
// user asks, makes its ODF on the grid by kernel density estimation (the fibres of stress
// factors and pole figures need one; "Calc Cij" uses the orientations themselves).
texture::ODFLoadResult LoadOrientationList(Services& services, const std::string& file, int kind,
                                           core::OrientationsRec& ctx) {
  texture::ODFLoadResult result;
  core::OrientationsRec read = ctx;
  result.read = kind == kOrientationTableFilter ? texture::ReadOrientationTable(file, read)
                : kind == kAngFilter            ? texture::ReadAngMap(file, read)
                                                : texture::ReadCtfMap(file, read);
  ctx.error = read.error;
  if (!result.read.ok()) return result;
  const texture::KernelSpec kernel;
  const std::string question =
      "Make an ODF on the 5-degree grid from the " + std::to_string(result.read.valuesRead) +
      " orientations by kernel density estimation (de la Vallee Poussin kernel, half-width " +
      core::FormatGeneral(kernel.halfwidth) +
      " degrees)? Stress factors and pole figures need one; No keeps the orientations as "
      "grains only.";
  read.UseGrains = true;
  // A list of orientations states no sample symmetry.
  read.SYMMETRY = polydec::kTriclinicSample;
  if (services.Message(MessageKind::kConfirmation, question, Buttons::kYesNo) == Answer::kYes) {
    if (const std::string problem = texture::FillKernelODF(read, kernel); !problem.empty()) {
      result.read.status = 1;
      result.read.message = problem;
      ctx.error = 1;
      return result;
    }
    read.TaylorFactor.resize(static_cast<std::size_t>(read.ODFNUMP));
  } else {
    read.UseODF = false;
  }
  ctx = std::move(read);
  result.loaded = true;
  return result;
}

// The readers' findings as the window's questions. A box closed without a choice counts as its
// default: No for "Continue?", No to All for the check's questions.
bool AskToContinue(Services& services, const texture::ODFUnreadLine& unread) {
  return services.Message(MessageKind::kConfirmation, texture::UnreadLineQuestion(unread),
                          Buttons::kYesNo) == Answer::kYes;
}

// Asks about every finding of the check in node order until Yes (the user ends the load command
// there: true) or No to All.
bool CheckStoppedByUser(Services& services, const core::OrientationsRec& ctx) {
  bool stopped = false;
  texture::VisitODFFindings(ctx, [&](const texture::ODFFinding& f) {
    const Answer a = services.Message(MessageKind::kConfirmation, texture::ODFFindingQuestion(f),
                                      Buttons::kYesNoNoToAll);
    if (a == Answer::kYes) stopped = true;
    return a == Answer::kNo;
  });
  return stopped;
}

}  // namespace

void MainForm::RegisterWorksheetCommands() {
  Register("UseFijClick", [this] { UseFijClick(); });
  Register("LoadGridDataBtnClick", [this] { LoadGridDataBtnClick(); });
  Register("SaveGridDataBtnClick", [this] { SaveGridDataBtnClick(); });
  Register("LoadBtnClick", [this] { LoadBtnClick(); });
}

void MainForm::InitWorksheet() {
  Grid& g = form.GridOf(kStrainGrid);
  stress::NewWorksheet(g);
  form.SetChecked("UseFij", true);
  g.colWidths[0] = 40;
  std::fill(g.rowHeights.begin(), g.rowHeights.end(), 20);
}

int MainForm::GetStringGridColNum(const std::string& name) const {
  return form.GridOf(kStrainGrid).ColumnOf(name);
}

void MainForm::NameStrainGridCols(bool useFij) {
  stress::NameWorksheetColumns(form.GridOf(kStrainGrid), useFij);
}

void MainForm::UseFijClick() { NameStrainGridCols(form.Checked("UseFij")); }

void MainForm::SaveGridDataBtnClick() {
  FileDialog& d = form.saveDialog;
  d.title = "Save worksheet as ..";
  d.filter = "worksheet data|*.tsd|";
  d.filterIndex = 1;
  d.fileName = "*.tsd";
  if (!ChooseSaveFile(services, d)) return;

  std::array<bool, stress::kWorksheetFlagCount> flags{};
  for (std::size_t k = 0; k < kFlagBoxes.size(); ++k) flags[k] = form.Checked(kFlagBoxes[k]);
  const stress::WorksheetTable table =
      stress::WorksheetSaveTable(form.GridOf(kStrainGrid), flags);
  if (const auto error = stress::WriteWorksheetFile(d.fileName, table))
    services.Inform("The worksheet could not be saved:\n" + error->Describe());
}

void MainForm::LoadGridDataBtnClick() {
  FileDialog& d = form.openDialog;
  d.title = "Load Worksheet file.";
  // "Load" reads measurement tables too, which spreadsheets and scripts write as *.csv or *.txt.
  d.filter = form.Checked("ShowHiddenFunctions")
                 ? "worksheet file|*.tsd|measurement table|*.csv;*.txt|SC constant fit input "
                   "file|*.dec|all files|*.*|"
                 : "worksheet file|*.tsd|measurement table|*.csv;*.txt|all files|*.*|";
  d.filterIndex = 1;
  d.fileName = "*.tsd";
  if (!services.ExecuteOpen(d)) return;

  Grid& g = form.GridOf(kStrainGrid);
  // The wavelength box turns a table's 2theta into d; empty when the table gives its own.
  std::optional<core::Real> wavelength = core::ReadLocaleNumber(form.Text("WavelengthEdit"));
  if (wavelength && !(*wavelength > 0)) wavelength.reset();
  // Rows whose peak fit failed (d empty or NaN) are left out only when the box says so.
  const stress::WorksheetLoad load = stress::ReadWorksheetOrTable(
      d.fileName, g.rows, wavelength, {}, form.Checked("SkipIncompleteRows"));
  if (load.isTable) {
    if (load.table.error) {
      services.Inform("The measurement table could not be read:\n" +
                      load.table.error->Describe());
      return;
    }
    stress::ApplyMeasurementTable(g, load.table, form.Checked("UseFij"));
    const std::vector<int>& dropped = load.table.droppedLines;
    if (!dropped.empty()) {
      std::string lines;
      for (std::size_t k = 0; k < dropped.size(); ++k)
        lines += (k ? ", " : "") + std::to_string(dropped[k]);
      services.Inform(std::to_string(dropped.size()) +
                      (dropped.size() == 1 ? " row" : " rows") + " without d left out (\"Skip "
                      "rows without d\"): line" + (dropped.size() == 1 ? " " : "s ") + lines +
                      " of " + d.fileName);
    }
    return;
  }
  const stress::WorksheetFileRead& read = load.sheet;
  const auto reportError = [&] {
    if (read.error)
      services.Inform("The worksheet file could not be read:\n" + read.error->Describe());
  };
  if (!read.flagsRead) {
    reportError();
    return;
  }
  for (std::size_t k = 0; k < kFlagBoxes.size(); ++k) form.SetChecked(kFlagBoxes[k], read.flags[k]);
  if (!read.headerFound) {
    if (read.error)
      reportError();
    else
      services.Inform(stress::kHeaderMissingMessage);
    return;
  }

  g.Resize(read.cols, std::max(g.rows, static_cast<int>(read.rows.size())));
  SetCheckedAndNotify("UseFij", read.fij);
  stress::ApplyWorksheetRead(g, read, read.fij);
  // What was read before a failure stays in the worksheet; the user is told where it stopped.
  reportError();
}

void MainForm::LoadBtnClick() {
  FileDialog& d = form.openDialog;
  d.title = "Load ODF txt file from popla or MTEX.";
  d.filter = kODFFileFilter;
  d.filterIndex = kMTEXFilter;
  if (!LastODFDirectory.empty()) d.initialDir = LastODFDirectory;
  // Cancelling changes nothing: the ODF held stays in use.
  if (!services.ExecuteOpen(d)) return;

  std::optional<texture::ODFFileKind> kind;
  const bool list = d.filterIndex >= kOrientationTableFilter && d.filterIndex <= kCtfFilter;
  if (d.filterIndex == kPoplaFilter) kind = texture::ODFFileKind::kPopla;
  if (d.filterIndex == kMTEXFilter) kind = texture::ODFFileKind::kMTEX;
  if (d.filterIndex == kGrainsFilter) {
    d.title = texture::kGrainsFileTitle;
    if (!services.ExecuteOpen(d)) {
      d.filter = kODFFileFilter;
      return;
    }
    kind = texture::ODFFileKind::kGrains;
  }
  const std::string file = d.fileName;

  const std::string previousStatus = form.statusPanels[0];
  form.statusPanels[0] = texture::kODFExpandingStatus;
  services.Repaint();
  texture::ODFLoadResult result;
  bool stoppedByUser = false;
  {
    BusyScope busy(services);
    if (kind) {
      const bool rules = form.Checked("CompleteODFRulesBtn");
      result = texture::LoadODF(file, *kind, rules, CurrentContext);
      if (!result.loaded && result.read.unreadLine && AskToContinue(services, *result.read.unreadLine))
        result = texture::LoadODF(file, *kind, rules, CurrentContext,
                                  texture::UnreadLines::kKeepWhatWasRead);
      if (result.loaded && *kind != texture::ODFFileKind::kGrains)
        stoppedByUser = CheckStoppedByUser(services, CurrentContext);
    } else if (list) {
      result = LoadOrientationList(services, file, d.filterIndex, CurrentContext);
    } else {
      // The other file kinds of the list hold no ODF.
      CurrentContext.error = 1;
      CurrentContext.UseODF = false;
    }
  }

  if (stoppedByUser) {
    // The user ended the check: the ODF read stays as it is, in use, without a report.
    SetCheckedAndNotify("UseODFBtn", CurrentContext.UseODF);
    form.statusPanels[0] = previousStatus;
    return;
  }
  d.filter = kODFFileFilter;
  if (!result.loaded) {
    std::string text = texture::kODFNotReadMessage;
    if (!result.read.message.empty()) text += "\n" + result.read.Describe();
    services.Inform(text);
    SetCheckedAndNotify("UseODFBtn", false);
    CurrentContext.UseODF = false;
    form.statusPanels[0] = "NO ODF loaded.";
    ShowTextureNotRead(file);
    return;
  }

  SetCheckedAndNotify("UseODFBtn", !list || CurrentContext.UseODF);
  if (form.ItemIndex("CrystalSymmetryBox") != CurrentContext.Cryst.SYS)
    services.Inform(texture::kODFSymmetryMismatchMessage);
  // The MTEX reader's monoclinic code 8 (twofold axis Y) shares the list's monoclinic item.
  if (CurrentContext.SYMMETRY == 8)
    form.SetItemIndex("SampleSymmetry", 3);
  else
    SetListIndexfromSS();
  form.statusPanels[0] = std::string(texture::kODFLoadedStatus) + file;
  d.title.clear();
  UpdateTextureOverview(file, list ? std::nullopt
                                   : std::optional<std::array<core::Real, 3>>(
                                         {result.read.region[0], result.read.region[1],
                                          result.read.region[2]}));
  LastODFDirectory = std::filesystem::path(file).parent_path().string();
}

}  // namespace polydec::workbench
