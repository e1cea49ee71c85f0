#include "polydec/dec.h"

#include <cmath>

#include "api/conversions.h"
#include "core/text_fields.h"
#include "crystal/lattice.h"
#include "models/reflection_dec.h"
#include "models/untextured_context.h"

namespace polydec {

namespace api {

models::UntexturedInputs UntexturedInputsOf(const Phase& m) {
  models::UntexturedInputs in;
  in.cij = ToCijkl(m.cij);
  in.crystalClass = m.crystalClass;
  in.cell[0] = m.cell.a;
  in.cell[1] = m.cell.b;
  in.cell[2] = m.cell.c;
  in.cell[3] = m.cell.alpha;
  in.cell[4] = m.cell.beta;
  in.cell[5] = m.cell.gamma;
  in.E = m.E;
  in.nu = m.nu;
  return in;
}

}  // namespace api

bool DecDependsOnDirection(ModelCode model, const GrainShape& shape) {
  return models::DecDependsOnDirection(model, {shape.a, shape.b, shape.c});
}

bool DecModelAvailable(ModelCode model) { return models::ReflectionModelAvailable(model); }

Result<ModelCode> ParseModel(const std::string& name) {
  const auto code = models::ModelFromOptionName(name);
  if (!code)
    return Refusal("unknown model \"" + name + "\" (" + models::ModelOptionNames() + ")");
  return *code;
}

std::string ModelName(ModelCode model) { return models::ModelName(model); }

Result<std::vector<Dec>> ComputeDecs(const Phase& phase, const std::vector<Miller>& reflections,
                                     const DecOptions& o) {
  if (!models::ReflectionModelAvailable(o.model))
    return Refusal("the " + models::ModelName(o.model) +
                   " model is not available for this calculation");
  if (reflections.empty()) return std::vector<Dec>{};
  models::UntexturedInputs in = api::UntexturedInputsOf(phase);
  in.axisSetting = o.axisSetting;
  in.grainShape = {o.grainShape.a, o.grainShape.b, o.grainShape.c};
  std::copy(reflections[0].begin(), reflections[0].end(), in.hkl);

  core::OrientationsRec ctx;
  if (const std::string problem = models::BuildUntexturedContext(in, ctx); !problem.empty())
    return Refusal(problem);
  ctx.SYMMETRY = kIsotropicSample;
  ctx.IIntervls = o.intervals;
  if (!o.direction && DecDependsOnDirection(o.model, o.grainShape))
    return Refusal("with a grain that is not a sphere, s1 and 1/2 s2 of the " +
                   models::ModelName(o.model) +
                   " model depend on the measurement direction; give the direction (phi, psi)");

  std::vector<Dec> out;
  for (const Miller& r : reflections) {
    ctx.hkl(1) = r[0];
    ctx.hkl(2) = r[1];
    ctx.hkl(3) = r[2];
    if (o.direction) {
      models::CalcDirectionalDEC(ctx, o.model, (*o.direction)[0] * core::kPi / 180,
                                 (*o.direction)[1] * core::kPi / 180, ctx.s1, ctx.s2);
    } else {
      core::CijklVector t21{};
      models::CalcReflectionDEC(ctx, t21, o.model);
    }
    Dec d;
    d.hkl = r;
    d.d = crystal::DSpacing(ctx.Cryst, r[0], r[1], r[2]);
    // Compliances are 1/GPa inside the engine; 1/GPa = 1000 x 1e-6/MPa.
    d.s1 = 1000 * ctx.s1;
    d.halfS2 = 1000 * ctx.s2;
    if (!std::isfinite(d.s1) || !std::isfinite(d.halfS2))
      return Refusal("s1 and 1/2 s2 of " + core::FormatGeneral(r[0]) + " " +
                     core::FormatGeneral(r[1]) + " " + core::FormatGeneral(r[2]) +
                     " are not finite numbers for this input");
    out.push_back(d);
  }
  return out;
}

Result<Dec> ComputeDec(const Phase& phase, const Miller& hkl, const DecOptions& options) {
  auto all = ComputeDecs(phase, {hkl}, options);
  if (!all) return all.error();
  return all->front();
}

}  // namespace polydec
