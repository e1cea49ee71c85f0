// The Texture page and the texture tools of the other pages: writers of the ODF, of weighted
// grains and of Euler angles along fibres, the compound ODF, symmetric equivalents, texture
// components, fibre profiles and pole figures. Each handler picks the file, reads the boxes,
// calls the engine operation and reports what happened.
#include <algorithm>
#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/text_fields.h"
#include "crystal/miller_indices.h"
#include "models/fibre_average.h"
#include "models/fibre_fij_profile.h"
#include "stress/worksheet_cells.h"
#include "texture/odf_grid.h"
#include "texture/odf_readers.h"
#include "texture/odf_writers.h"
#include "texture/pole_figure.h"
#include "texture/random_grains.h"
#include "texture/texture_picture.h"
#include "texture/texture_tools.h"
#include "workbench/main_form.h"
#include "workbench/save_choice.h"
#include "workbench/texture_overview.h"

namespace polydec::workbench {

using core::GetWord;
using core::OrientationsRec;
using core::ParseNumber;
using core::Real;

namespace {

constexpr const char* kWriteFiltersAfterWts =
    "ODF in 4 columns, Bunge|*.*|SOD in Matlab format, 90x90x90|*.*|SOD in Matlab format, "
    "180x90x90|*.*|SOD in Matlab format, 360x90x90|*.*|lamda-odf with all (hkl) "
    "permutations|*.*|CubeOrth ODF w equiv. positions|*.*|Worksheet data|*.tsd";
constexpr const char* kFibreFilters =
    "all permut. hkl fiber-ODF file|*.*|cube-orth. hkl fiber-ODF file|*.*|";

// Simpson intervals 2n = 72 on each axis: every 5-degree node of phi1 and phi2 is a point of
// the rule, as `polydec odf info` integrates.
constexpr int kIntegralN = 36;

bool HoldsOdfGrid(const OrientationsRec& ctx) {
  return ctx.ODFNUMP >= 1 && texture::HasODFGrid(ctx);
}

std::string Degrees(Real x) { return core::FormatGeneral(x); }

// The sections the page shows: every 15 degrees of a cubic crystal's phi2, the default steps of
// the others.
std::vector<Real> OverviewSections(const OrientationsRec& ctx) {
  if (ctx.Cryst.SYS != polydec::kCubic)
    return texture::DefaultSections(ctx.Cryst.SYS, static_cast<polydec::SampleSymmetry>(ctx.SYMMETRY));
  return {0, 15, 30, 45, 60, 75, 90};
}

}  // namespace

std::vector<std::array<Real, 3>> OverviewReflections(polydec::CrystalClass crystal) {
  if (crystal == polydec::kCubic) return {{1, 0, 0}, {1, 1, 0}, {1, 1, 1}};
  if (crystal == polydec::kHexagonal || crystal == polydec::kTrigonal1 ||
      crystal == polydec::kTrigonal2)
    return {{0, 0, 1}, {1, 0, 0}, {1, 0, 1}};
  return {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
}

TextureOverview MakeTextureOverview(const OrientationsRec& ctx, const std::string& source,
                                    const std::optional<std::array<Real, 3>>& region) {
  TextureOverview o;
  const auto crystal = static_cast<polydec::CrystalClass>(ctx.Cryst.SYS);
  const auto sample = static_cast<polydec::SampleSymmetry>(ctx.SYMMETRY);
  o.fields.emplace_back("Source", source);
  o.fields.emplace_back("Crystal class", polydec::CrystalClassName(crystal));
  if (!HoldsOdfGrid(ctx)) {
    o.fields.emplace_back("ODF", ctx.UseGrains ? "an orientation list without an ODF on the grid"
                                               : "none loaded: a random texture");
    return o;
  }
  o.fields.emplace_back("Sample symmetry", polydec::SampleSymmetryName(sample));
  const std::array<Real, 3> r = region ? *region : texture::SectionRegion(crystal, sample);
  o.fields.emplace_back("Region (deg)", "phi1 0.." + Degrees(r[0]) + ", Phi 0.." + Degrees(r[1]) +
                                            ", phi2 0.." + Degrees(r[2]));
  const texture::ODFValueRange range = texture::ODFRange(ctx);
  const texture::ODFMoments moments = texture::ODFIntegrals(ctx, kIntegralN);
  o.fields.emplace_back("Integral / 8 pi^2",
                        core::FormatFixed(moments.integral / (8 * core::kPi * core::kPi), 6, 4));
  o.fields.emplace_back("Maximum (m.r.d.)", core::FormatFixed(range.maximum, 6, 3));
  o.fields.emplace_back("Minimum (m.r.d.)", core::FormatFixed(range.minimum, 6, 3));
  o.fields.emplace_back("Texture index",
                        core::FormatFixed(texture::TextureIndex(moments), 6, 3));

  OrientationsRec copy = ctx;  // a pole figure leaves its reflection in the context
  std::vector<texture::PoleFigurePanel> panels;
  for (const std::array<Real, 3>& hkl : OverviewReflections(crystal))
    panels.push_back(texture::PanelOf(texture::ComputePoleFigure(copy, hkl[0], hkl[1], hkl[2])));
  o.poleFigures = texture::DrawPoleFigures(panels, {});
  o.sections = texture::DrawOdfSections(ctx, OverviewSections(ctx), {});
  return o;
}

void MainForm::UpdateTextureOverview(const std::string& source,
                                     const std::optional<std::array<Real, 3>>& region) {
  BusyScope busy(services);
  ShowTexture(MakeTextureOverview(CurrentContext, source, region));
}

void MainForm::ShowTextureNotRead(const std::string& file) {
  TextureOverview o;
  o.fields.emplace_back("Source", file + " (not read)");
  o.fields.emplace_back("ODF", "none in use: the file could not be read");
  ShowTexture(std::move(o));
}

void MainForm::ShowTexture(TextureOverview overview) {
  overview.revision = ShownTexture.revision + 1;
  ShownTexture = std::move(overview);
  std::vector<std::string> lines;
  for (const auto& [label, value] : ShownTexture.fields) lines.push_back(label + ": " + value);
  form["TextureSummaryMemo"].lines = std::move(lines);
}

void MainForm::OdfSectionsBtnClick() {
  // After a failed load the grid may hold part of that file: the page shows no texture then,
  // and the button draws none either.
  if (!HoldsOdfGrid(CurrentContext) || ShownTexture.sections.image.width == 0) {
    services.Inform("Load an ODF first: the sections are drawn from the ODF on the grid.");
    return;
  }
  FileDialog& d = form.saveDialog;
  const FileDialog before = d;
  d.title = "Write the ODF sections as a picture.";
  d.filter = "PNG picture|*.png|SVG picture|*.svg|";
  d.fileName = "sections.png";
  d.filterIndex = 1;
  const bool chosen = ChooseSaveFile(services, d);
  std::string file = d.fileName;
  const int filter = d.filterIndex;
  d = before;
  if (!chosen) return;
  // A name without an extension takes the one of the chosen filter.
  if (std::filesystem::path(file).extension().empty()) file += filter == 2 ? ".svg" : ".png";
  core::Picture picture;
  {
    BusyScope busy(services);
    picture = texture::DrawOdfSections(
        CurrentContext,
        texture::DefaultSections(CurrentContext.Cryst.SYS,
                                 static_cast<polydec::SampleSymmetry>(CurrentContext.SYMMETRY)),
        {});
  }
  if (const auto problem = core::WritePicture(picture, file, "ODF sections")) {
    services.Message(MessageKind::kError, "The picture was not written: " + *problem,
                     Buttons::kOk);
    return;
  }
  form.statusPanels[0] = "ODF sections written to " + file;
}

void MainForm::RegisterTextureCommands() {
  const std::pair<const char*, void (MainForm::*)()> handlers[] = {
      {"WriteODFBtnClick", &MainForm::WriteODFBtnClick},
      {"WtsFileBtnClick", &MainForm::WtsFileBtnClick},
      {"EulerAnglesBtnClick", &MainForm::EulerAnglesBtnClick},
      {"ODFGridMouseDown", &MainForm::ODFGridMouseDown},
      {"CalcCompoundODFClick", &MainForm::CalcCompoundODFClick},
      {"SymEquiPosClick", &MainForm::SymEquiPosClick},
      {"WriteSymEquiPosBtnClick", &MainForm::WriteSymEquiPosBtnClick},
      {"TexCompBtnClick", &MainForm::TexCompBtnClick},
      {"lamdaODFBtnClick", &MainForm::lamdaODFBtnClick},
      {"FijODFBtnClick", &MainForm::FijODFBtnClick},
      {"CalcPFBtnClick", &MainForm::CalcPFBtnClick},
      {"Button1Click", &MainForm::Button1Click},
      {"ShowPoleFigureClick", &MainForm::ShowPoleFigureClick},
      {"OdfSectionsBtnClick", &MainForm::OdfSectionsBtnClick},
  };
  for (const auto& [name, method] : handlers) Register(name, [this, m = method] { (this->*m)(); });
}

bool MainForm::SaveText(const std::string& file, const std::string& text) {
  if (const auto error = texture::WriteTextFile(file, text)) {
    services.Message(MessageKind::kError, "The file " + file + " could not be written: " + *error,
                     Buttons::kOk);
    return false;
  }
  return true;
}

void MainForm::WriteODFBtnClick() {
  FileDialog& d = form.saveDialog;
  d.title = "Write lamda fiber-ODF file.";
  d.filter =
      "ODF in 360x180x360|*.*|ODF in 90x90x90|*.*|ODF in 180x90x90|*.*|ODF in cube-orth fund. "
      "region|*.*|";
  d.fileName = "ODF.dat";
  if (!ChooseSaveFile(services, d)) return;
  const texture::ODFLayout layouts[] = {texture::ODFLayout::kFull, texture::ODFLayout::kSection90,
                                        texture::ODFLayout::kSection180,
                                        texture::ODFLayout::kCubeOrth};
  const int i = d.filterIndex >= 1 && d.filterIndex <= 4 ? d.filterIndex - 1 : 0;
  BusyScope busy(services);
  const texture::ODFTextResult r = texture::ODFLayoutText(CurrentContext, layouts[i]);
  if (!r.error.empty()) {
    services.Inform(r.error);
    return;
  }
  SaveText(d.fileName, r.text);
}

void MainForm::WtsFileBtnClick() {
  FileDialog& d = form.saveDialog;
  const core::ParsedInteger n = core::ReadInteger(form.Text("OrtDistBox"));
  const std::string count = form.Text("OrtDistBox");
  if (!n.ok() || n.value < 1) {
    services.Inform("Not a valid number of grain orientations: " + count);
    return;
  }
  const auto reset = [&d] {
    d.filter = kWriteFiltersAfterWts;
    d.title.clear();
  };
  // The grain set of the context is replaced before the dialog, as "Calc Cij" with weighted
  // grains would use it.
  const texture::ODFReadResult read = texture::WeightRandomGrains(
      CurrentContext, texture::RandomOrientationFile(programDir, n.value), n.value);
  if (!read.ok()) {
    services.Message(MessageKind::kError, read.Describe(), Buttons::kOk);
    reset();
    return;
  }
  d.filter.clear();
  d.title = "Write a grains file with " + count + " orientations for VPSC or similar";
  if (ChooseSaveFile(services, d)) SaveText(d.fileName, texture::GrainsFileText(CurrentContext));
  reset();
}

void MainForm::EulerAnglesBtnClick() {
  FileDialog& d = form.saveDialog;
  d.title = "Write Euler angles for phi,psi,hkl from worksheet.";
  d.filter = "Euler angle file|*.*|";
  d.fileName = "Euler.dat";
  if (!ChooseSaveFile(services, d)) return;
  const std::optional<std::array<Real, 3>> hkl = ReflectionOfBox();
  if (!hkl) return;
  const Grid& g = form.GridOf("StrainGrid");
  const int colPhi = GetStringGridColNum("phi"), colPsi = GetStringGridColNum("psi");
  std::vector<texture::MeasurementDirection> directions;
  for (int r = 1; r < g.rows; ++r) {
    const core::ParsedNumber phi = ParseNumber(g.Cell(colPhi, r));
    // Row 1 is always written; the rows after it as long as their phi reads as a number.
    if (r > 1 && !phi.ok()) break;
    directions.push_back({phi.value, ParseNumber(g.Cell(colPsi, r)).value});
  }
  BusyScope busy(services);
  SaveText(d.fileName,
           texture::EulerAnglesText(CurrentContext, (*hkl)[0], (*hkl)[1], (*hkl)[2], directions));
}

void MainForm::ODFGridMouseDown() {
  Grid& g = form.GridOf("ODFGrid");
  const int c = g.col, r = g.row;
  if (c != 0 || r < 1 || r >= g.rows) return;
  if (r > 1 && g.Cell(2, r - 1).empty()) return;
  // The load command reports success in the status bar; a cancelled or failed load does not.
  const std::string before = form.statusPanels[0];
  form.statusPanels[0].clear();
  Run("LoadBtnClick");
  const std::string loaded = texture::kODFLoadedStatus;
  if (form.statusPanels[0].compare(0, loaded.size(), loaded) != 0 ||
      CurrentContext.ODFNUMP < 1) {
    if (form.statusPanels[0].empty()) form.statusPanels[0] = before;
    return;
  }
  g.SetCell(2, r, form.openDialog.fileName);
  OrientationsRec& ctx = CurrentContext;
  const auto n = static_cast<std::ptrdiff_t>(ctx.ODFNUMP);
  ctx.SingleODFs[static_cast<std::size_t>(r - 1)].assign(ctx.ODF.begin(), ctx.ODF.begin() + n);
}

void MainForm::CalcCompoundODFClick() {
  const Grid& g = form.GridOf("ODFGrid");
  OrientationsRec& ctx = CurrentContext;
  std::vector<core::DataVector> odfs;
  std::vector<Real> weights;
  for (int r = 1; r < g.rows && r <= 5 && !g.Cell(2, r).empty(); ++r) {
    const core::ParsedNumber w = ParseNumber(g.Cell(1, r));
    if (!w.ok()) {
      services.Inform("Weight is missing.");
      return;
    }
    ctx.ODFWeight[static_cast<std::size_t>(r - 1)] = w.value;
    weights.push_back(w.value);
    odfs.push_back(ctx.SingleODFs[static_cast<std::size_t>(r - 1)]);
  }
  if (odfs.empty()) return;
  const std::string refused = texture::CompoundODF(ctx, odfs, weights);
  if (!refused.empty()) {
    services.Inform(refused);
    return;
  }
  form.statusPanels[0] = "Compound ODF built successfully.";
  UpdateTextureOverview("compound of " + std::to_string(odfs.size()) + " ODFs", std::nullopt);
}

void MainForm::SymEquiPosClick() {
  Real e[3];
  if (!ReadNumberWords("SymEquiEdit", "Sym-Equi Positions", 3, e)) return;
  const int sample = SetSSFromList();
  SaveText("SymEquiPos.dat", texture::SymmetryEquivalentsText(
                                 CurrentContext, static_cast<polydec::CrystalClass>(CrystalClass()),
                                 static_cast<polydec::SampleSymmetry>(sample), e[0], e[1], e[2]));
}

void MainForm::WriteSymEquiPosBtnClick() {
  if (!ChooseSaveFile(services, form.saveDialog)) return;
  SaveText(form.saveDialog.fileName, texture::HexagonalEquivalentsText(CurrentContext));
}

void MainForm::TexCompBtnClick() {
  FileDialog& d = form.saveDialog;
  if (!ChooseSaveFile(services, d)) return;
  // A refused input leaves the chosen file as it was.
  if (!ParseNumber(GetWord(form.Text("DirConstHKLEdit"), 5)).ok()) {
    services.Inform("Data for hkl,phi,psi missing!");
    return;
  }
  Real w[5], window = 0;
  if (!ReadNumberWords("DirConstHKLEdit", "phi,psi, hkl", 5, w)) return;
  if (!ReadNumberBox("TexCompWindowEdit", "Search window (degrees) for I(TexComp)", window))
    return;
  OrientationsRec& ctx = CurrentContext;
  const int steps = ctx.HKLODFNUMP >= 1 ? static_cast<int>(ctx.HKLODFNUMP) : texture::kFibreSteps;
  BusyScope busy(services);
  SaveText(d.fileName,
           texture::TextureComponentsText(ctx, w[0], w[1], w[2], w[3], w[4], window, steps));
}

void MainForm::lamdaODFBtnClick() {
  FileDialog& d = form.saveDialog;
  d.title = "Write lamda fiber-ODF file.";
  d.filter = kFibreFilters;
  d.fileName = "lamdaODF.dat";
  if (!ChooseSaveFile(services, d)) return;
  Real w[5];
  if (!ReadNumberWords("DirConstHKLEdit", "phi,psi, hkl", 5, w)) return;
  OrientationsRec& ctx = CurrentContext;
  const int steps = ctx.HKLODFNUMP >= 1 ? static_cast<int>(ctx.HKLODFNUMP) : texture::kFibreSteps;
  const auto layout = d.filterIndex == 2 ? texture::FibreProfileLayout::kCubeOrth
                                         : texture::FibreProfileLayout::kAllPermutations;
  BusyScope busy(services);
  SaveText(d.fileName,
           texture::FibreProfileText(ctx, layout, w[0], w[1], w[2], w[3], w[4], steps));
}

void MainForm::FijODFBtnClick() {
  FileDialog& d = form.saveDialog;
  d.title = "Write lamda fiber-Fij_ODF file.";
  d.filter = kFibreFilters;
  d.fileName = "lamdaODF_Fij.dat";
  if (!ChooseSaveFile(services, d)) return;
  if (!CalcInit()) return;
  IntegIntervalsExit();
  OrientationsRec& ctx = CurrentContext;
  const Grid& g = form.GridOf("StrainGrid");
  const int colPhi = GetStringGridColNum("phi"), colPsi = GetStringGridColNum("psi");
  const int colHkl = GetStringGridColNum("h k l");
  std::vector<models::FibreFijRow> rows;
  std::vector<std::string> headerOnly;
  for (int r = 1; r < g.rows; ++r) {
    const core::ParsedNumber phi = ParseNumber(g.Cell(colPhi, r));
    if (!phi.ok()) {
      headerOnly.push_back(g.Cell(colPhi, r));
      break;
    }
    models::FibreFijRow row;
    row.phi = phi.value;
    row.psi = ParseNumber(g.Cell(colPsi, r)).value;
    row.phiText = g.Cell(colPhi, r);
    row.psiText = g.Cell(colPsi, r);
    const std::string& hkl = g.Cell(colHkl, r);
    const stress::ReflectionCell reflection =
        stress::ReadReflectionCell(hkl, static_cast<polydec::CrystalClass>(CrystalClass()));
    if (!reflection.error.empty()) {
      services.Inform("Not a valid input! (h k l of line " + std::to_string(r) + ": \"" + hkl +
                      "\" " + reflection.error + ")");
      return;
    }
    row.h = reflection.hkl[0], row.k = reflection.hkl[1], row.l = reflection.hkl[2];
    row.model = static_cast<polydec::ModelCode>(reflection.code.value_or(FCode()));
    if (!models::FibreModelAvailable(row.model)) {
      services.Inform("The model of line " + std::to_string(r) +
                      " has no stress factors along the fibre; nothing was written.");
      return;
    }
    rows.push_back(row);
  }
  const int steps = ctx.HKLODFNUMP >= 1 ? static_cast<int>(ctx.HKLODFNUMP) : texture::kFibreSteps;
  BusyScope busy(services);
  SaveText(d.fileName, models::FibreFijProfileText(ctx, rows, headerOnly, steps));
  form.statusPanels[1].clear();
}

std::optional<texture::PoleFigureRec> MainForm::PoleFigureOfBox() {
  const std::optional<std::array<Real, 3>> read = ReflectionOfBox();
  if (!read) return std::nullopt;
  const std::array<Real, 3>& hkl = *read;
  CurrentContext.SYMMETRY = static_cast<polydec::SampleSymmetry>(SetSSFromList());
  BusyScope busy(services);
  return texture::ComputePoleFigure(CurrentContext, hkl[0], hkl[1], hkl[2]);
}

void MainForm::CalcPFBtnClick() {
  FileDialog& d = form.saveDialog;
  d.title = "Write a popla pole figure file.";
  d.filter = "calculated popla pole figure|*.cpf|";
  d.fileName = "*.cpf";
  if (!ChooseSaveFile(services, d)) return;
  const std::optional<texture::PoleFigureRec> pf = PoleFigureOfBox();
  if (!pf) return;
  if (SaveText(d.fileName, texture::PoplaPoleFigureText(*pf))) ShowPoleFigure(*pf);
}

void MainForm::Button1Click() {
  FileDialog& d = form.saveDialog;
  d.title = "Write Helming pole figure file.";
  d.filter = "Helming PF|*.hlm|";
  d.fileName = "*.hlm";
  if (!ChooseSaveFile(services, d)) return;
  OrientationsRec& ctx = CurrentContext;
  // The reflection is the one the last texture command set; none yet is no lattice plane.
  if (ctx.hkl(1) == 0 && ctx.hkl(2) == 0 && ctx.hkl(3) == 0) {
    services.Inform("No reflection chosen yet: compute a {hkl} pole figure first.");
    return;
  }
  BusyScope busy(services);
  const texture::PoleFigureRec pf =
      texture::ComputePoleFigure(ctx, ctx.hkl(1), ctx.hkl(2), ctx.hkl(3));
  SaveText(d.fileName, texture::HelmingPoleFigureText(pf));
}

void MainForm::ShowPoleFigureClick() {
  if (const std::optional<texture::PoleFigureRec> pf = PoleFigureOfBox()) ShowPoleFigure(*pf);
}

void MainForm::ShowPoleFigure(const texture::PoleFigureRec& pf) {
  ShownPoleFigure = pf;
  ++PoleFigureRequests;
}

}  // namespace polydec::workbench
