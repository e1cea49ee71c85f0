#include "texture/texture_tools.h"

#include <cmath>

#include "core/linalg.h"
#include "core/text_fields.h"
#include "crystal/lattice.h"
#include "texture/odf_grid.h"
#include "texture/orientation.h"

namespace polydec::texture {

using core::FormatPadded;
using core::kPi;
using core::Tensor2;

namespace {

constexpr const char* kEol = "\r\n";

Real Degrees(Real x) { return x * 180 / kPi; }
Real Radians(Real x) { return x * kPi / 180; }

// C g S for each S (outer) and C (inner), as Euler angles in radians.
template <typename Emit>
void ForEachEquivalent(OperatorTable crystal, OperatorTable sample, Real phi1, Real Phi, Real phi2,
                       Emit emit) {
  const Tensor2 g = EulerToMatrix(Radians(phi1), Radians(Phi), Radians(phi2));
  for (int j = 1; j <= sample.Size(); ++j)
    for (int i = 1; i <= crystal.Size(); ++i) {
      Tensor2 cg, m;
      core::MatMul3x3(crystal(i), g, cg);
      core::MatMul3x3(cg, sample(j), m);
      emit(MatrixToEuler(m));
    }
}

Real ValueAt(const OrientationsRec& ctx, const core::EulerAnglesRec& e) {
  return ctx.ODFNUMP < 1 ? 1 : ODFValue(ctx, e.phi1, e.phi, e.phi2);
}

}  // namespace

const std::array<TextureComponent, 16> TextureComponents = {{
    {"cube", 0, 0, 0},
    {"shear", 45, 0, 0},
    {"goss", 0, 45, 0},
    {"RGoss", 90, 45, 0},
    {"Copper", 90, 35.264L, 45},
    {"Brass", 35.264L, 45, 0},
    {"S", 58.98L, 36.7L, 63.435L},
    {"<554>", 90, 60.504L, 45},
    {"gamma1", 0, 54.736L, 45},
    {"gamma2", 30, 54.736L, 45},
    {"gamma3", 60, 54.736L, 45},
    {"gamma4", 90, 54.736L, 45},
    {"alpha1", 0, 15.793L, 45},
    {"alpha2", 0, 25.239L, 45},
    {"alpha3", 0, 35.264L, 45},
    {"alpha4", 0, 43.314L, 45},
}};

std::string CompoundODF(OrientationsRec& ctx, const std::vector<core::DataVector>& odfs,
                        const std::vector<Real>& weights) {
  if (odfs.empty() || odfs.size() != weights.size()) return "No ODFs to combine.";
  if (ctx.ODFNUMP < 1) return "No ODF is loaded.";
  const auto count = static_cast<std::size_t>(ctx.ODFNUMP);
  if (ctx.ODF.size() < count) return "No ODF is loaded.";
  Real total = 0;
  for (std::size_t i = 0; i < weights.size(); ++i) {
    if (!std::isfinite(weights[i])) return "Weight " + std::to_string(i + 1) + " is no number.";
    if (odfs[i].size() < count)
      return "ODF " + std::to_string(i + 1) + " holds " + std::to_string(odfs[i].size()) +
             " values, not " + std::to_string(count) + "; load all ODFs on the same grid.";
    total += weights[i];
  }
  if (total == 0 || !std::isfinite(total)) return "The weights add up to 0.";
  for (std::size_t k = 0; k < count; ++k) {
    Real v = 0;
    for (std::size_t i = 0; i < odfs.size(); ++i) v += odfs[i][k] * weights[i] / total;
    ctx.ODF[k] = v;
  }
  return {};
}

std::string SymmetryEquivalentsText(const OrientationsRec& ctx, CrystalClass crystalClass,
                                    SampleSymmetry sample, Real phi1, Real Phi, Real phi2) {
  // An isotropic crystal has no point group of its own; its equivalents are listed under the
  // cubic rotations, the highest crystal symmetry.
  const OperatorTable crystal =
      CrystalOperators(crystalClass == 0 ? polydec::kCubic : crystalClass);
  std::string out;
  ForEachEquivalent(crystal, SampleOperators(sample), phi1, Phi, phi2,
                    [&](const core::EulerAnglesRec& e) {
                      out += FormatPadded(Degrees(e.phi1), 6, 1) + "\t" +
                             FormatPadded(Degrees(e.phi), 6, 1) + "\t" +
                             FormatPadded(Degrees(e.phi2), 6, 1) + "\t" +
                             FormatPadded(ValueAt(ctx, e), 5, 1) + kEol;
                    });
  return out;
}

std::string HexagonalEquivalentsText(const OrientationsRec& ctx) {
  std::string out;
  ForEachEquivalent(HexagonalOperators(), SampleOperators(static_cast<polydec::SampleSymmetry>(10)),
                    255, 90, 90, [&](const core::EulerAnglesRec& e) {
                      out += FormatPadded(Degrees(e.phi1), 6, 2) + "\t" +
                             FormatPadded(Degrees(e.phi), 6, 2) + "\t" +
                             FormatPadded(Degrees(e.phi2), 6, 2) + "\t" +
                             FormatPadded(ValueAt(ctx, e), 6, 4) + kEol;
                    });
  return out;
}

std::string TextureComponentsText(OrientationsRec& ctx, Real phi, Real psi, Real h, Real k, Real l,
                                  Real window, int steps) {
  ctx.SamplePolAngles = {Radians(phi), Radians(psi)};
  ctx.hkl(1) = h, ctx.hkl(2) = k, ctx.hkl(3) = l;
  if (steps < 1) steps = 1;
  // The equivalents of the components do not depend on the fibre: computed once.
  std::array<std::array<CubeOrthEquivalentRec, 96>, 16> equivalents;
  for (std::size_t c = 0; c < TextureComponents.size(); ++c)
    for (int m = 1; m <= 96; ++m)
      equivalents[c][static_cast<std::size_t>(m - 1)] =
          CubeOrthEquivalent(ctx, m, TextureComponents[c].phi1, TextureComponents[c].phi,
                             TextureComponents[c].phi2);
  std::array<core::PolarAnglesRec, 24> normals;
  for (int p = 1; p <= 24; ++p) {
    const core::Tensor1 q = HKLPermutation(p, h, k, l);
    normals[static_cast<std::size_t>(p - 1)] = crystal::HKLToPolarAngles(ctx.Cryst, q(1), q(2), q(3));
  }
  ctx.CrystPolAngles = normals[23];
  std::string out;
  for (int v = 0; v < steps; ++v) {
    const Real lamda = 2 * kPi * v / steps;
    for (const core::PolarAnglesRec& n : normals) {
      const core::EulerAnglesRec r =
          FiberToEuler(Radians(psi), Radians(phi), n.psi, n.phi, lamda);
      const Real e1 = Degrees(r.phi1), E = Degrees(r.phi), e2 = Degrees(r.phi2);
      for (std::size_t c = 0; c < TextureComponents.size(); ++c) {
        Real last1 = 1, last = 2, last2 = 3;
        for (const CubeOrthEquivalentRec& q : equivalents[c]) {
          if (std::fabs(e1 - q.phi1) < window && std::fabs(E - q.phi) < window &&
              std::fabs(e2 - q.phi2) < window && q.phi1 != last1 && q.phi != last &&
              q.phi2 != last2) {
            std::string name = TextureComponents[c].name;
            name.resize(6, ' ');
            out += FormatPadded(Degrees(lamda), 5, 1) + "\t" + name + "\t" +
                   FormatPadded(q.phi1, 6, 1) + "\t" + FormatPadded(q.phi, 6, 1) + "\t" +
                   FormatPadded(q.phi2, 6, 1) + "\t" + FormatPadded(q.value, 6, 2) + kEol;
            last1 = q.phi1, last = q.phi, last2 = q.phi2;
          }
        }
      }
    }
  }
  return out;
}

}  // namespace polydec::texture
