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

// Leaving a constant's box fills the boxes the class derives from it, by the same rules the
// engine applies to a material's constants. A copy keeps the text as typed (the user sees
// the number they typed, not a reformatted one).
void MainForm::ConstantEditExit(int K, int L) {
  std::optional<Real> typed;
  // The normal-shear couplings are read as typed (point or comma) before anything else, so a
  // bad entry is reported whatever the class.
  if (K <= 3 && L >= 4) {
    typed = core::ReadLocaleNumber(form.Text(ConstantBox(K, L)));
    if (!typed) {
      services.Inform("Not a valid input for C" + std::to_string(K) + std::to_string(L) + " !");
      return;
    }
  }
  const auto cls = static_cast<polydec::CrystalClass>(CrystalClass());
  for (const crystal::DerivedConstant& d : crystal::DerivedConstants(cls)) {
    if (!d.DependsOn(K, L)) continue;
    switch (d.how) {
      case crystal::DerivedConstant::kCopy:
        form.SetText(ConstantBox(d.I, d.J), form.Text(ConstantBox(d.fromI, d.fromJ)));
        break;
      case crystal::DerivedConstant::kNegated:
        // Only a coupling constant is negated, and it was read above.
        if (typed) form.SetText(ConstantBox(d.I, d.J), FormatFixed(-*typed, 6, 2));
        break;
      case crystal::DerivedConstant::kHalfC11MinusC12:
        form.SetText(ConstantBox(d.I, d.J), HalfC11MinusC12());
        break;
    }
  }
}

void MainForm::C11EditExit() { ConstantEditExit(1, 1); }
void MainForm::C12EditExit() { ConstantEditExit(1, 2); }
void MainForm::C13EditExit() { ConstantEditExit(1, 3); }
void MainForm::C14EditExit() { ConstantEditExit(1, 4); }
void MainForm::C15EditExit() { ConstantEditExit(1, 5); }
void MainForm::C16EditExit() { ConstantEditExit(1, 6); }
void MainForm::C44EditExit() { ConstantEditExit(4, 4); }

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

}  // namespace polydec::workbench
