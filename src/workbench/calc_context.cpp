// The calculation context the commands compute with, assembled from the window's boxes and
// grids: the constants, the cell, the model and sample symmetry buttons, the grain shape; and
// the copies of a context between the material list and the current one.
#include "workbench/main_form.h"
#include "workbench/main_form_parts.h"

#include <algorithm>
#include <string>
#include <utility>

#include "core/stiffness_check.h"
#include "core/tensor_inversion.h"
#include "core/text_fields.h"
#include "crystal/lattice.h"
#include "crystal/miller_indices.h"
#include "models/eshelby.h"
#include "models/reflection_dec.h"
#include "models/stress_factors.h"
#include "models/untextured_context.h"

namespace polydec::workbench {

using core::CijklVector;
using core::FloatVec;
using core::FormatPadded;
using core::GetWord;
using core::OrientationsRec;
using core::ParseNumber;
using core::Real;
using core::Tensor4;
using namespace parts;

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

}  // namespace polydec::workbench
