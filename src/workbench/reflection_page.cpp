// The commands of the "Isotropic" page that choose reflections and show the single crystal's
// anisotropy: the reflection table of the phase on the page, and the directional Young's
// modulus and linear compressibility as pictures.
#include "workbench/reflection_page.h"

#include "api/conversions.h"
#include "core/text_fields.h"
#include "core/voigt.h"
#include "polydec/anisotropy.h"
#include "workbench/main_form.h"

namespace polydec::workbench {

namespace {

using core::FormatPadded;

}  // namespace

ReflectionTableText ReflectionTableTexts(const ReflectionTable& table, CrystalClass c) {
  ReflectionTableText t;
  t.header = {"hkl", "mult", "d [Å]", "2θ [°]", table.orientationIsGamma ? "3Γ" : "∠(n, c) [°]"};
  for (ModelCode m : kReflectionTableModels)
    for (const char* q : {" s1", " ½s2", " E_hkl", " ν_hkl"}) t.header.push_back(ModelName(m) + q);
  for (const ReflectionRow& r : table.rows) {
    std::vector<std::string> row = {
        MillerText(r.hkl, c), std::to_string(r.multiplicity), FormatPadded(r.d, 0, 5),
        r.twoTheta ? FormatPadded(*r.twoTheta, 0, 3) : "-",
        FormatPadded(table.orientationIsGamma ? r.gamma3 : r.angleToC, 0, 4)};
    for (const ReflectionModelDec& d : r.models)
      for (const auto& [value, decimals] :
           {std::pair{d.s1, 4}, std::pair{d.halfS2, 4}, std::pair{d.E, 1}, std::pair{d.nu, 4}})
        row.push_back(FormatPadded(value, 0, decimals));
    t.rows.push_back(std::move(row));
  }
  return t;
}

ReflectionPlot BuildReflectionPlot(const ReflectionTable& table, CrystalClass c,
                                   ReflectionPlotQuantity quantity) {
  ReflectionPlot p;
  p.xLabel = table.orientationIsGamma ? "3Γ" : "angle between the plane normal and c [°]";
  p.yLabel = quantity == ReflectionPlotQuantity::kHalfS2 ? "½s2 [1e-6/MPa]" : "E_hkl [GPa]";
  for (const ReflectionRow& r : table.rows) p.labels.push_back(MillerText(r.hkl, c));
  for (std::size_t m = 0; m < kReflectionTableModels.size(); ++m) {
    ReflectionPlotSeries s;
    s.model = ModelName(kReflectionTableModels[m]);
    for (const ReflectionRow& r : table.rows) {
      s.x.push_back(static_cast<double>(table.orientationIsGamma ? r.gamma3 : r.angleToC));
      s.y.push_back(static_cast<double>(quantity == ReflectionPlotQuantity::kHalfS2
                                            ? r.models[m].halfS2
                                            : r.models[m].E));
    }
    p.series.push_back(std::move(s));
  }
  return p;
}

void MainForm::RegisterReflectionCommands() {
  Register("ReflectionTableBtnClick", [this] { ReflectionTableBtnClick(); });
  Register("YoungMapBtnClick", [this] { DirectionalMapClick(DirectionalQuantity::kYoungsModulus); });
  Register("CompressibilityMapBtnClick",
           [this] { DirectionalMapClick(DirectionalQuantity::kLinearCompressibility); });
}

std::optional<Phase> MainForm::PhaseOfPage() {
  ORTNInit();
  const core::OrientationsRec& ctx = CurrentContext;
  core::CijklVector v{};
  core::TensorToCijkl(ctx.Lr, v);
  Cell cell;
  Real* parts[] = {&cell.a, &cell.b, &cell.c, &cell.alpha, &cell.beta, &cell.gamma};
  const char* boxes[] = {"aEdit", "bEdit", "cEdit", "alphaEdit", "betaEdit", "gammaEdit"};
  for (int i = 0; i < 6; ++i)
    if (!ReadNumberBox(boxes[i], form[boxes[i]].label, *parts[i])) return std::nullopt;
  auto phase = MakePhase(form.Text("CompoundNameBox"),
                         static_cast<polydec::CrystalClass>(CrystalClass()), api::FromCijkl(v),
                         cell, ctx.E, ctx.nu);
  if (!phase) {
    services.Inform(phase.error().Describe());
    return std::nullopt;
  }
  return *phase;
}

void MainForm::ReflectionTableBtnClick() {
  const std::optional<Phase> phase = PhaseOfPage();
  if (!phase) return;
  ReflectionTableOptions options;
  Real largest = 0;
  if (!ReadNumberBox("MaxIndexEdit", "the largest index", largest) ||
      !ReadNumberBox("ReflWavelengthEdit", "the wavelength", options.wavelength))
    return;
  options.maxIndex = static_cast<int>(largest);
  if (options.maxIndex != largest) {
    services.Inform("The largest index must be a whole number, not " + form.Text("MaxIndexEdit"));
    return;
  }
  BusyScope busy(services);
  auto table = ComputeReflectionTable(*phase, options);
  if (!table) {
    services.Inform(table.error().Describe());
    return;
  }
  ShownReflections = std::move(table).value();
  ShownReflectionsClass = phase->crystalClass;
  ++ReflectionRequests;
  services.Repaint();
}

void MainForm::DirectionalMapClick(DirectionalQuantity quantity) {
  const std::optional<Phase> phase = PhaseOfPage();
  if (!phase) return;
  BusyScope busy(services);
  auto survey = SurveyDirections(*phase, quantity);
  if (!survey) {
    services.Inform(survey.error().Describe());
    return;
  }
  ShownSurvey = std::move(survey).value();
  ShownSurveyTitle = phase->name;
  ++SurveyRequests;
  services.Repaint();
}

}  // namespace polydec::workbench
