#include "polydec/reflections.h"

#include <algorithm>
#include <cmath>

#include "api/conversions.h"
#include "core/text_fields.h"
#include "crystal/lattice.h"
#include "crystal/miller_indices.h"
#include "crystal/reflection_families.h"
#include "models/reflection_dec.h"

namespace polydec {

namespace {

// Beyond this the box holds (2N + 1)³ reflections: 68921 at 20, already more than a table
// anyone reads, and every one of them costs five DEC evaluations.
constexpr int kLargestMaxIndex = 20;

}  // namespace

std::string ReflectionColumnPrefix(ModelCode model) {
  std::string name(models::ModelOptionName(model));
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

std::string MillerText(const Miller& hkl, CrystalClass crystalClass) {
  std::string text = core::FormatGeneral(hkl[0]) + " " + core::FormatGeneral(hkl[1]) + " ";
  if (crystal::UsesMillerBravais(crystalClass))
    text += core::FormatGeneral(-(hkl[0] + hkl[1])) + " ";
  return text + core::FormatGeneral(hkl[2]);
}

Result<ReflectionTable> ComputeReflectionTable(const Phase& phase,
                                               const ReflectionTableOptions& o) {
  if (o.maxIndex < 1 || o.maxIndex > kLargestMaxIndex)
    return Refusal("the largest index must be between 1 and " +
                   std::to_string(kLargestMaxIndex) + ", not " + std::to_string(o.maxIndex));
  if (!(o.wavelength > 0) || !std::isfinite(o.wavelength))
    return Refusal("the wavelength must be a positive number of Angstrom, not " +
                   core::FormatGeneral(o.wavelength));
  core::CrystalData cell = api::ToCrystalData(phase.cell);
  cell.SYS = phase.crystalClass;
  cell.AxisSetting = o.axisSetting;
  if (const std::string problem = crystal::CheckCell(cell); !problem.empty())
    return Refusal(problem);
  crystal::InitCrystal(cell);

  const std::vector<crystal::ReflectionFamily> families =
      crystal::ListReflectionFamilies(cell, phase.crystalClass, o.maxIndex);
  ReflectionTable table;
  table.orientationIsGamma =
      phase.crystalClass == kCubic || phase.crystalClass == kIsotropicClass;
  std::vector<Miller> hkl;
  for (const crystal::ReflectionFamily& f : families) {
    hkl.push_back({Real(f.hkl[0]), Real(f.hkl[1]), Real(f.hkl[2])});
    table.reflectionCount += f.multiplicity();
  }

  const core::Tensor2 frame = crystal::LatticeFrame(cell);
  Real cLength = 0;
  for (int i = 1; i <= 3; ++i) cLength += frame(i, 3) * frame(i, 3);
  cLength = std::sqrt(cLength);
  table.rows.resize(families.size());
  for (std::size_t r = 0; r < families.size(); ++r) {
    ReflectionRow& row = table.rows[r];
    row.hkl = hkl[r];
    row.multiplicity = families[r].multiplicity();
    row.d = crystal::DSpacing(cell, hkl[r][0], hkl[r][1], hkl[r][2]);
    const Real sinTheta = o.wavelength / (2 * row.d);
    if (sinTheta <= 1) row.twoTheta = 2 * std::asin(sinTheta) * core::kRadToDeg;
    const core::Tensor1 n = crystal::PlaneNormal(cell, hkl[r][0], hkl[r][1], hkl[r][2]);
    const Real a = n(1) * n(1), b = n(2) * n(2), c = n(3) * n(3);
    row.gamma3 = 3 * (a * b + b * c + c * a);
    Real along = 0;
    for (int i = 1; i <= 3; ++i) along += n(i) * frame(i, 3);
    row.angleToC = std::acos(std::min<Real>(1, std::abs(along) / cLength)) * core::kRadToDeg;
  }

  DecOptions decOptions;
  decOptions.grainShape = o.grainShape;
  decOptions.axisSetting = o.axisSetting;
  decOptions.direction = o.direction;
  for (std::size_t m = 0; m < kReflectionTableModels.size(); ++m) {
    decOptions.model = kReflectionTableModels[m];
    // Only the embedded models of a grain that is not a sphere depend on the direction (and
    // refuse to go without one); for the others it changes nothing but the cost.
    decOptions.direction =
        DecDependsOnDirection(decOptions.model, o.grainShape) ? o.direction : std::nullopt;
    auto decs = ComputeDecs(phase, hkl, decOptions);
    if (!decs) return decs.error();
    for (std::size_t r = 0; r < decs->size(); ++r) {
      const Dec& dec = (*decs)[r];
      ReflectionModelDec& out = table.rows[r].models[m];
      out.model = decOptions.model;
      out.s1 = dec.s1;
      out.halfS2 = dec.halfS2;
      // s1 = -nu/E and 1/2 s2 = (1 + nu)/E: their sum is 1/E. E in GPa from 1e-6/MPa = 1/TPa.
      out.E = 1000 / (dec.s1 + dec.halfS2);
      out.nu = -dec.s1 / (dec.s1 + dec.halfS2);
    }
  }
  return table;
}

}  // namespace polydec
