#include "models/fibre_fij_profile.h"

#include <stdexcept>

#include "core/text_fields.h"
#include "crystal/lattice.h"
#include "models/fibre_average.h"
#include "texture/odf_fiber.h"
#include "texture/odf_grid.h"
#include "texture/orientation.h"

namespace polydec::models {

using core::FormatPadded;
using core::kPi;
using core::Real;

namespace {

constexpr const char* kEol = "\r\n";
constexpr int kFijFiberIntervals = 200;

Real Degrees(Real x) { return x * 180 / kPi; }

struct Prepared {
  core::PolarAnglesRec sample, crystal;
  Real integral = 1;
};

}  // namespace

std::string FibreFijProfileText(core::OrientationsRec& ctx, const std::vector<FibreFijRow>& rows,
                                const std::vector<std::string>& headerOnly, int steps) {
  if (steps < 1) throw std::invalid_argument("a fibre profile needs at least one lamda step");
  for (const FibreFijRow& r : rows)
    if (!FibreModelAvailable(r.model))
      throw std::invalid_argument("model code " + std::to_string(r.model) +
                                  " has no grain tensor along the fibre");
  std::string out = "lamda";
  const auto group = [&out](const std::string& phi, const std::string& psi) {
    out += "\tphi1\tphi\tphi2\tODF\t(" + phi + "," + psi + ")";
  };
  for (const FibreFijRow& r : rows) group(r.phiText, r.psiText);
  for (const std::string& h : headerOnly) group(h, "");
  out += kEol;
  if (rows.empty()) return out;

  // The fibre integral of a row does not depend on lamda: one per row.
  const bool useODF = ctx.UseODF && ctx.ODFNUMP >= 1;
  std::vector<Prepared> prepared(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const FibreFijRow& r = rows[i];
    Prepared& p = prepared[i];
    p.sample = {r.phi * kPi / 180, r.psi * kPi / 180};
    p.crystal = crystal::HKLToPolarAngles(ctx.Cryst, r.h, r.k, r.l);
    if (useODF)
      p.integral = texture::FiberIntegral(ctx, kFijFiberIntervals, p.sample.psi, p.sample.phi,
                                          p.crystal.psi, p.crystal.phi);
  }
  for (int v = 0; v <= steps; ++v) {
    const Real lamda = 2 * kPi * v / steps;
    out += FormatPadded(Degrees(lamda), 7, 2) + "\t";
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const FibreFijRow& r = rows[i];
      const Prepared& p = prepared[i];
      ctx.SamplePolAngles = p.sample;
      ctx.CrystPolAngles = p.crystal;
      ctx.hkl(1) = r.h, ctx.hkl(2) = r.k, ctx.hkl(3) = r.l;
      const core::EulerAnglesRec e =
          texture::FiberToEuler(p.sample.psi, p.sample.phi, p.crystal.psi, p.crystal.phi, lamda);
      const Real f = ctx.UseODF ? texture::ODFValue(ctx, e.phi1, e.phi, e.phi2) : 1;
      core::Tensor4 T;
      GrainModelTensor(ctx, T, r.model, lamda);
      const core::Tensor2 F = StressFactorMatrix(T, p.sample.phi, p.sample.psi);
      out += FormatPadded(Degrees(e.phi1), 6, 1) + "\t" + FormatPadded(Degrees(e.phi), 6, 1) +
             "\t" + FormatPadded(Degrees(e.phi2), 6, 1) + "\t" + FormatPadded(f, 6, 1) + "\t" +
             FormatPadded(F(1, 1) * f / p.integral * 2 * kPi * 1000, 9, 6) + "\t";
    }
    out += kEol;
  }
  return out;
}

}  // namespace polydec::models
