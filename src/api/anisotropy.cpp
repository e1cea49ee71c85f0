#include "polydec/anisotropy.h"

#include <algorithm>
#include <cmath>
#include <cctype>
#include <filesystem>

#include "api/conversions.h"
#include "core/atomic_file.h"
#include "core/linalg.h"
#include "core/tensor_inversion.h"
#include "core/text_fields.h"
#include "crystal/lattice.h"
#include "special/direction_picture.h"
#include "special/directional_moduli.h"

namespace polydec {

namespace {

struct Crystal {
  core::Tensor4 C, S;  // GPa, 1/GPa
  core::CrystalData cell;  // its BMatrix replaced by LatticeFrame, the frame of the constants
};

Result<Crystal> CrystalOf(const Phase& phase, int axisSetting) {
  Crystal k;
  core::CijklToTensor(api::ToCijkl(phase.cij), k.C);
  k.S = k.C;
  core::InvertTensor(k.S, phase.crystalClass);
  for (Real s : k.S.e)
    if (!std::isfinite(s)) return Refusal("the stiffness of " + phase.name + " has no inverse");
  k.cell = api::ToCrystalData(phase.cell);
  k.cell.SYS = phase.crystalClass;
  k.cell.AxisSetting = axisSetting;
  if (const std::string bad = crystal::CheckCell(k.cell); !bad.empty())
    return Refusal("the cell of " + phase.name + ": " + bad);
  crystal::InitCrystal(k.cell);
  k.cell.BMatrix = crystal::LatticeFrame(k.cell);
  return k;
}

// Compliances are 1/GPa in the engine; the API speaks 1/TPa.
Real Scaled(DirectionalQuantity q, Real v) {
  return q == DirectionalQuantity::kYoungsModulus ? v : 1000 * v;
}

special::DirectionalQuantity EngineQuantity(DirectionalQuantity q) {
  return q == DirectionalQuantity::kYoungsModulus
             ? special::DirectionalQuantity::kYoungsModulus
             : special::DirectionalQuantity::kLinearCompressibility;
}

// The lattice direction of smallest indices within 0.01° of the unit vector n, or "".
std::string LatticeDirectionOf(const core::CrystalData& cell, const core::Tensor1& n) {
  std::string best;
  int bestIndex = 7;
  // Counted down, so that of equivalent directions the one with positive indices is named.
  for (int u = 6; u >= -6; --u)
    for (int v = 6; v >= -6; --v)
      for (int w = 6; w >= -6; --w) {
        const int largest = std::max({std::abs(u), std::abs(v), std::abs(w)});
        if (largest == 0 || largest >= bestIndex) continue;
        core::Tensor1 d;
        for (int i = 1; i <= 3; ++i)
          d(i) = cell.BMatrix(i, 1) * u + cell.BMatrix(i, 2) * v + cell.BMatrix(i, 3) * w;
        core::NormalizeVector(d);
        const Real cosine = d(1) * n(1) + d(2) * n(2) + d(3) * n(3);
        if (cosine > std::cos(0.01L * core::kDegToRad)) {
          best = "[" + std::to_string(u) + " " + std::to_string(v) + " " + std::to_string(w) + "]";
          bestIndex = largest;
        }
      }
  return best;
}

DirectionalExtreme ExtremeOf(const core::CrystalData& cell, Real value, core::Tensor1 n) {
  // E and beta are even in n: report the direction of the upper hemisphere.
  n = special::UpperHemisphere(n);
  DirectionalExtreme e;
  e.value = value;
  e.direction = {n(1), n(2), n(3)};
  e.lattice = LatticeDirectionOf(cell, n);
  return e;
}

special::DirectionalMap EngineMap(const DirectionalSurvey& s) {
  special::DirectionalMap map;
  map.size = s.size;
  map.values = s.values;
  map.minimum = s.minimum.value;
  map.maximum = s.maximum.value;
  for (int i = 0; i < 3; ++i) {
    map.minimumDirection.e[static_cast<std::size_t>(i)] = s.minimum.direction[static_cast<std::size_t>(i)];
    map.maximumDirection.e[static_cast<std::size_t>(i)] = s.maximum.direction[static_cast<std::size_t>(i)];
  }
  for (const DirectionalLabel& m : s.marks) map.marks.push_back({m.label, m.x, m.y});
  return map;
}

std::string Title(const DirectionalSurvey& s) {
  return (s.quantity == DirectionalQuantity::kYoungsModulus ? "E [" : "beta [") + s.unit + "]";
}

}  // namespace

Result<DirectionalQuantity> ParseDirectionalQuantity(const std::string& name) {
  if (name == "young") return DirectionalQuantity::kYoungsModulus;
  if (name == "compressibility") return DirectionalQuantity::kLinearCompressibility;
  return Refusal("unknown quantity \"" + name + "\" (young, compressibility)");
}

Result<Real> DirectionalValue(const Phase& phase, DirectionalQuantity quantity,
                              const std::array<Real, 3>& uvw, int axisSetting) {
  if (!std::all_of(uvw.begin(), uvw.end(), [](Real x) { return std::isfinite(x); }) ||
      (uvw[0] == 0 && uvw[1] == 0 && uvw[2] == 0))
    return Refusal("a direction needs finite indices, not all zero");
  auto k = CrystalOf(phase, axisSetting);
  if (!k) return k.error();
  core::Tensor1 n;
  for (int i = 1; i <= 3; ++i)
    n(i) = k->cell.BMatrix(i, 1) * uvw[0] + k->cell.BMatrix(i, 2) * uvw[1] +
           k->cell.BMatrix(i, 3) * uvw[2];
  core::NormalizeVector(n);
  const Real v = quantity == DirectionalQuantity::kYoungsModulus
                     ? special::YoungsModulusAlong(k->S, n)
                     : special::LinearCompressibilityAlong(k->S, n);
  return Scaled(quantity, v);
}

Result<DirectionalSurvey> SurveyDirections(const Phase& phase, DirectionalQuantity quantity,
                                           const SurveyOptions& options) {
  if (options.size < 11 || options.size > 1001)
    return Refusal("the map size must be between 11 and 1001 cells, not " +
                   std::to_string(options.size));
  auto k = CrystalOf(phase, options.axisSetting);
  if (!k) return k.error();
  const special::DirectionalMap map =
      special::MapDirections(k->S, k->cell, EngineQuantity(quantity), options.size);
  DirectionalSurvey s;
  s.quantity = quantity;
  s.unit = quantity == DirectionalQuantity::kYoungsModulus ? "GPa" : "1/TPa";
  s.size = map.size;
  for (Real v : map.values) s.values.push_back(std::isfinite(v) ? Scaled(quantity, v) : v);
  s.minimum = ExtremeOf(k->cell, Scaled(quantity, map.minimum), map.minimumDirection);
  s.maximum = ExtremeOf(k->cell, Scaled(quantity, map.maximum), map.maximumDirection);
  for (const special::DirectionalMark& m : map.marks) s.marks.push_back({m.label, m.x, m.y});
  s.universalAnisotropy = special::UniversalAnisotropy(k->C, k->S);
  if (phase.crystalClass == kCubic) s.zenerRatio = special::ZenerRatio(k->C);
  return s;
}

RgbPicture DrawDirectionalSurvey(const DirectionalSurvey& survey) {
  const special::DirectionalPicture p = special::DrawDirectionalMap(EngineMap(survey), Title(survey));
  return api::RgbPictureOf(p);
}

Status WriteDirectionalPicture(const DirectionalSurvey& survey, const std::string& path) {
  const special::DirectionalPicture p = special::DrawDirectionalMap(EngineMap(survey), Title(survey));
  if (const auto problem = core::WritePicture(p, path, Title(survey))) return Refusal(*problem);
  return Ok();
}

}  // namespace polydec
