// The "Isotropic" page: the DECs of one reflection of a crystal in an isotropic matrix (the
// self-consistent model whatever the other page shows), from the constant, cell and matrix
// boxes of the page.
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
using core::FormatFixed;
using core::FormatPadded;
using core::GetWord;
using core::OrientationsRec;
using core::ParseNumber;
using core::Real;
using namespace parts;

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

}  // namespace polydec::workbench
