// The material part of the main form: the crystal class and its constant boxes (which
// constants are typed, which follow), the material list and the database.
#include "workbench/main_form.h"

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
#include "workbench/main_form_parts.h"

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
using namespace parts;

namespace fs = std::filesystem;

void MainForm::CrystalSymmetryBoxClick() {
  const int cls = CrystalClass();
  CurrentContext.Cryst.SYS = static_cast<polydec::CrystalClass>(cls);
  for (int I = 1; I <= 6; ++I)
    for (int J = I; J <= 6; ++J) {
      Control& box = form[ConstantBox(I, J)];
      switch (crystal::RoleOf(static_cast<polydec::CrystalClass>(cls), I, J)) {
        case crystal::ConstantRole::kFree:
          box.enabled = true;
          box.greyed = false;
          break;
        case crystal::ConstantRole::kDerived:
          box.enabled = false;
          box.greyed = true;
          break;
        case crystal::ConstantRole::kZero:
          box.enabled = false;
          box.greyed = true;
          box.text = "0";
          break;
      }
    }
  services.Repaint();
}

std::string MainForm::HalfC11MinusC12() const {
  const Real x11 = ParseNumber(form.Text("C11Edit")).value;
  const Real x12 = ParseNumber(form.Text("C12Edit")).value;
  return FormatPadded((x11 - x12) * 0.5L, 8, 4);
}

void MainForm::SetIsotropicShears() {
  form.SetText("C66Edit", HalfC11MinusC12());
  form.SetText("C44Edit", form.Text("C66Edit"));
  form.SetText("C55Edit", form.Text("C66Edit"));
}

void MainForm::C11EditExit() {
  const std::string c11 = form.Text("C11Edit");
  switch (CrystalClass()) {
    case 0:
      form.SetText("C22Edit", c11);
      form.SetText("C33Edit", c11);
      SetIsotropicShears();
      break;
    case 1:
      form.SetText("C22Edit", c11);
      form.SetText("C33Edit", c11);
      break;
    case 2:
    case 5:
    case 6:
      form.SetText("C22Edit", c11);
      form.SetText("C66Edit", HalfC11MinusC12());
      break;
    case 3:
    case 4:
      form.SetText("C22Edit", c11);
      break;
    default:
      break;
  }
}

void MainForm::C12EditExit() {
  const std::string c12 = form.Text("C12Edit");
  switch (CrystalClass()) {
    case 0:
      form.SetText("C13Edit", c12);
      form.SetText("C23Edit", c12);
      SetIsotropicShears();
      break;
    case 1:
      form.SetText("C23Edit", c12);
      form.SetText("C13Edit", c12);
      break;
    case 2:
    case 5:
    case 6:
      form.SetText("C66Edit", HalfC11MinusC12());
      break;
    default:
      break;
  }
}

void MainForm::C13EditExit() {
  if (CrystalClass() <= 6) form.SetText("C23Edit", form.Text("C13Edit"));
}

void MainForm::C44EditExit() {
  const int cls = CrystalClass();
  if (cls > 6) return;
  form.SetText("C55Edit", form.Text("C44Edit"));
  if (cls == 1) form.SetText("C66Edit", form.Text("C44Edit"));
}

std::optional<Real> MainForm::ReadOffDiagonalBox(const std::string& name) {
  const std::optional<Real> x = core::ReadLocaleNumber(form.Text(name + "Edit"));
  if (!x) services.Inform("Not a valid input for " + name + " !");
  return x;
}

void MainForm::C14EditExit() {
  const std::optional<Real> x = ReadOffDiagonalBox("C14");
  if (!x) return;
  const int cls = CrystalClass();
  if (cls == 5 || cls == 6) {
    form.SetText("C24Edit", FormatFixed(-*x, 6, 2));
    form.SetText("C56Edit", form.Text("C14Edit"));
  }
}

void MainForm::C15EditExit() {
  const std::optional<Real> x = ReadOffDiagonalBox("C15");
  if (!x) return;
  if (CrystalClass() == 6) {
    form.SetText("C25Edit", FormatFixed(-*x, 6, 2));
    form.SetText("C46Edit", form.Text("C25Edit"));
  }
}

void MainForm::C16EditExit() {
  const std::optional<Real> x = ReadOffDiagonalBox("C16");
  if (!x) return;
  if (CrystalClass() == 4) form.SetText("C26Edit", FormatFixed(-*x, 6, 2));
}

void MainForm::WriteCij(const FloatVec& v) {
  for (int I = 1; I <= 6; ++I)
    for (int J = I; J <= 6; ++J) {
      const Real x = v[core::VoigtToPosition(I, J)];
      form.SetText(ConstantBox(I, J), FiniteOrEmpty(x, FormatPadded(x, 9, 4)));
    }
}

void MainForm::SetCijklValues(int j) {
  if (j < 0 || static_cast<std::size_t>(j) >= MaterialList.size() || !MaterialList[j]) return;
  OrientationsRec& ctx = CurrentContext;
  CopyContext(*MaterialList[j], ctx);
  // A material brings its cell, not a frame: the frame stays the one the box shows.
  CartAxesBoxClick();
  ctx.UseODF = form.Checked("UseODFBtn");
  SetComboText("CompoundNameBox", ctx.Name);
  CijklVector v{};
  core::TensorToCijkl(ctx.Lr, v);
  ctx.a = v;
  ctx.IIntervls = LeadingInteger(form.Text("IntegIntervals"));
  WriteCij(v);
  InitRotationGrid(v, 1);
  core::TensorToCijkl(ctx.L, v);
  InitRotationGrid(v, 8);
  form.SetItemIndex("CrystalSymmetryBox", ctx.Cryst.SYS);

  const auto general = [](Real x) { return FiniteOrEmpty(x, FormatGeneral(x)); };
  form.SetText("YoungEdit", general(ctx.E));
  form.SetText("PoissonEdit", general(ctx.nu));
  form.SetText("ShearEdit", general(ctx.G));
  form.SetText("BulkEdit", general(ctx.K));
  form.SetText("aEdit", general(ctx.Cryst.a));
  form.SetText("bEdit", general(ctx.Cryst.b));
  form.SetText("cEdit", general(ctx.Cryst.c));
  form.SetText("alphaEdit", general(ctx.Cryst.alpha * 180 / core::kPi));
  form.SetText("betaEdit", general(ctx.Cryst.beta * 180 / core::kPi));
  form.SetText("gammaEdit", general(ctx.Cryst.gamma * 180 / core::kPi));
  form["ReferenceMemo"].lines = {ctx.Reference[1], ctx.Reference[2], ctx.Reference[3]};
  CrystalSymmetryBoxClick();
}

void MainForm::CompoundNameBoxClick() {
  materials::ReadMaterialFile(MaterialList, DatabasePath());
  Control& box = form["CompoundNameBox"];
  // A typed text selects the item it equals, or none.
  SetComboText("CompoundNameBox", box.text);
  const std::string name = box.text;
  for (std::size_t i = 0; i < MaterialList.size(); ++i) {
    if (!MaterialList[i] || MaterialList[i]->Name != name) continue;
    SetCijklValues(static_cast<int>(i));
    CrystalSymmetryBoxClick();
    ORTNInit();
    core::TensorToCijkl(CurrentContext.L, CurrentContext.a);
    InitRotationGrid(CurrentContext.a, 8);
    CalcBulkConst();
  }
  if (box.parent == "MultiPhaseBox") box.parent = "SECActions";
  form.statusPanels[0] = "NO ODF loaded.";
}

void MainForm::AddDBButtonClick() {
  auto record = std::make_unique<OrientationsRec>();
  materials::ClearMaterial(*record);
  OrientationsRec& r = *record;
  r.Name = form.Text("CompoundNameBox");
  // A material is stored only as typed: a constant that cannot be read would go into the
  // database as 0, so a bad box ends the command like the other fields below.
  if (!ReadCij(r.a)) return;
  core::CijklToTensor(r.a, r.Lr);
  const std::pair<const char*, Real*> fields[] = {{"E", &r.E},
                                                  {"nu", &r.nu},
                                                  {"G", &r.G},
                                                  {"K", &r.K},
                                                  {"a", &r.Cryst.a},
                                                  {"b", &r.Cryst.b},
                                                  {"c", &r.Cryst.c},
                                                  {"alpha", &r.Cryst.alpha},
                                                  {"beta", &r.Cryst.beta},
                                                  {"gamma", &r.Cryst.gamma}};
  const char* boxes[] = {"YoungEdit", "PoissonEdit", "ShearEdit", "BulkEdit", "aEdit",
                         "bEdit",     "cEdit",       "alphaEdit", "betaEdit", "gammaEdit"};
  for (std::size_t k = 0; k < std::size(fields); ++k)
    if (!ReadNumberBox(boxes[k], fields[k].first, *fields[k].second)) return;
  r.Cryst.SYS = static_cast<polydec::CrystalClass>(CrystalClass());
  const std::vector<std::string>& memo = form["ReferenceMemo"].lines;
  for (std::size_t k = 1; k <= 3; ++k) r.Reference[k] = k <= memo.size() ? memo[k - 1] : "";

  // An installed program appends to the user's copy of the database, made from the shipped
  // file first; the shipped file is never written. A first material starts the database; an
  // existing one is only appended to.
  if (const Status ready = PrepareUserDatabase(files); !ready) {
    services.Inform("The material could not be added to the database:\n" +
                    ready.error().Describe());
    return;
  }
  const std::string path = files.userDatabase;
  bool created = false;
  if (!Exists(path)) {
    std::ofstream create(path, std::ios::binary | std::ios::app);
    if (!create) {
      services.Inform("The material could not be added to the database:\n" + path +
                      ": the file cannot be created.");
      return;
    }
    created = true;
  }
  MaterialList.push_back(std::move(record));
  const int index = static_cast<int>(MaterialList.size()) - 1;
  core::InputError err;
  if (!materials::AppendMaterialFile(MaterialList, index, path, &err)) {
    MaterialList.pop_back();
    if (created) {
      std::error_code ec;
      fs::remove(path, ec);
    }
    services.Inform("The material could not be added to the database:\n" + err.Describe());
    return;
  }
  // The list entry now holds the cell as the reader would give it back, angles in radians.
  OrientationsRec& stored = *MaterialList[index];
  stored.Cryst.alpha *= core::kPi / 180;
  stored.Cryst.beta *= core::kPi / 180;
  stored.Cryst.gamma *= core::kPi / 180;
  crystal::InitCrystal(stored.Cryst);
  form["CompoundNameBox"].items.push_back(stored.Name);
}

}  // namespace polydec::workbench
