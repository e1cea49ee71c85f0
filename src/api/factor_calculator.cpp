#include "api/factor_calculator.h"

#include <optional>

#include "api/conversions.h"
#include "api/texture_data.h"
#include "core/voigt.h"
#include "models/untextured_context.h"

namespace polydec::api {

namespace {

// The sample symmetry the page's list shows after an ODF was read: the list has no item of its
// own for the monoclinic code 8 (twofold axis Y) and shows it as monoclinic (9); a code without
// an item leaves the list at its first item, isotropic.
int ListedSampleSymmetry(int code) {
  switch (code) {
    case 2:
    case 7:
    case 9:
    case 10:
      return code;
    case 8:
      return 9;
    default:
      return 0;
  }
}

}  // namespace

std::string BuildFactorCalculator(const Phase& phase, const WorksheetDecOptions& o,
                                  const Texture* texture, bool fibre,
                                  std::optional<models::StressFactorCalculator>& calc) {
  const bool textured = texture && !texture->path.empty();
  models::PhaseInputs in;
  // The constants as given, as the DECs take them: rounded to the 0.1 GPa the window's grid
  // shows, the isotropic matrix of E and nu would be anisotropic, which shifted the Kroener
  // factors by parts in 1e4 against the DECs and made them drift with psi.
  core::CijklToTensor(ToCijkl(phase.cij), in.crystal);
  core::CijklToTensor(models::IsotropicStiffness(phase.E, phase.nu), in.matrix);
  in.crystalClass = phase.crystalClass;
  const Real cell[6] = {phase.cell.a,     phase.cell.b,    phase.cell.c,
                        phase.cell.alpha, phase.cell.beta, phase.cell.gamma};
  for (int i = 0; i < 6; ++i) in.cell[i] = cell[i];
  in.grainShape = {o.grainShape.a, o.grainShape.b, o.grainShape.c};
  in.sampleSymmetry =
      textured ? static_cast<polydec::SampleSymmetry>(ListedSampleSymmetry(texture->sampleSymmetry))
               : kIsotropicSample;
  // The fibre averages need an ODF along each fibre: an orientation list without one gets the
  // ODF of the default kernel.
  std::optional<Texture> smoothed;
  if (textured && texture->grains && texture->nodes < 1) {
    Result<Texture> made = KernelTexture(*texture);
    if (!made) return made.error().Describe();
    smoothed = std::move(made).value();
    texture = &*smoothed;
  }
  core::OrientationsRec ctx = textured ? ContextOf(*texture) : core::OrientationsRec{};
  // An orientation list weights the fibres by its kernel ODF, the Voigt average by its grains.
  ctx.UseODF = textured && texture->nodes > 0;
  ctx.E = phase.E;
  ctx.nu = phase.nu;
  ctx.IIntervls = o.intervals;
  ctx.OrientationDistance = o.orientationDistance;
  if (std::string refused = models::BuildPhaseContext(in, ctx); !refused.empty()) return refused;
  if (!models::FibreIntervalsUsable(ctx.IIntervls)) return models::FibreIntervalsMessage();
  ctx.hkl(1) = ctx.hkl(2) = ctx.hkl(3) = -1;
  calc.emplace(std::move(ctx), fibre);
  calc->SetEulerIntervals(o.voigtIntervals);
  return {};
}

}  // namespace polydec::api
