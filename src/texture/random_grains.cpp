#include "texture/random_grains.h"

#include <utility>

#include "texture/odf_grid.h"

namespace polydec::texture {

std::string RandomOrientationFile(const std::string& folder, int n) {
  std::string path = folder;
  if (!path.empty() && path.back() != '/') path += '/';
  return path + "random" + std::to_string(n) + ".wts";
}

ODFReadResult WeightRandomGrains(core::OrientationsRec& ctx, const std::string& fileName, int n) {
  core::GrainOrientations before = ctx.GOrient;
  const Int errorBefore = ctx.error;
  const auto refuse = [&](ODFReadResult r, const std::string& message) {
    ctx.GOrient = std::move(before);
    ctx.error = errorBefore;
    r.status = 1;
    r.file = fileName;
    r.message = message;
    return r;
  };
  if (n < 1) return refuse(ODFReadResult{}, "no grains asked for");
  ODFReadResult r = readwtsfile(fileName, ctx);
  if (!r.ok()) return r;
  if (r.valuesRead < n)
    return refuse(
        r, "the file holds " + std::to_string(r.valuesRead) + " grains, not " + std::to_string(n));
  core::GrainOrientations& g = ctx.GOrient;
  const auto count = static_cast<std::size_t>(n);
  for (core::DataVector* v : {&g.phi1, &g.phi, &g.phi2, &g.weight}) v->resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    // The ODF grid covers phi1, phi2 in [0, 360] and Phi in [0, 180] degrees only.
    if (!(g.phi1[i] >= 0 && g.phi1[i] <= 2 * core::kPi && g.phi[i] >= 0 && g.phi[i] <= core::kPi &&
          g.phi2[i] >= 0 && g.phi2[i] <= 2 * core::kPi))
      return refuse(
          r, "grain " + std::to_string(i + 1) + " lies outside 0..360, 0..180, 0..360 degrees");
    g.weight[i] = ODFValue(ctx, g.phi1[i], g.phi[i], g.phi2[i]);
  }
  r.valuesRead = n;
  return r;
}

}  // namespace polydec::texture
