#include "crystal/lattice.h"

#include <algorithm>
#include <cmath>

#include "core/linalg.h"
#include "core/text_fields.h"

namespace polydec::crystal {

namespace {

// 1 - cos²α - cos²β - cos²γ + 2 cosα cosβ cosγ = (V / abc)².
Real VolumeRadicand(const CrystalData& C) {
  const Real ca = std::cos(C.alpha);
  const Real cb = std::cos(C.beta);
  const Real cg = std::cos(C.gamma);
  return 1 - ca * ca - cb * cb - cg * cg + 2 * ca * cb * cg;
}

// Below this, (V / abc)² is rounding noise of the cosines: three angles such as 60°, 60°, 120°
// meet in a plane, yet their rounded cosines can leave a radicand of order 1e-19.
constexpr Real kFlatCellRadicand = 1e-15L;

Tensor1 Scaled(const Tensor1& v, Real s) { return Tensor1{{v(1) * s, v(2) * s, v(3) * s}}; }

// Inside PlaneNormal the metric g is fresh, so lengths come from v·g·v rather than from the
// cell's cosines again: the same quantity, without a dozen extended-precision cosines per call
// (the diffraction elastic constants ask for a plane normal at every evaluation).
Tensor1 LatticeNormalized(const CrystalData& C, const Tensor1& v) {
  return Scaled(v, 1 / std::sqrt(LatticeDot(C, v, v)));
}

// The reciprocal basis rows of f, once g and f are set.
void CopyReciprocalRows(CrystalData& C) {
  for (int j = 1; j <= 3; ++j) {
    C.ra_vec(j) = C.f(1, j);
    C.rb_vec(j) = C.f(2, j);
    C.rc_vec(j) = C.f(3, j);
  }
}

// The lattice cross product with the cell volume supplied.
Tensor1 CrossWithVolume(const CrystalData& C, Real V, const Tensor1& u, const Tensor1& v) {
  const Real w1 = u(2) * v(3) - u(3) * v(2);
  const Real w2 = u(3) * v(1) - u(1) * v(3);
  const Real w3 = u(1) * v(2) - u(2) * v(1);
  Tensor1 r;
  for (int i = 1; i <= 3; ++i) r(i) = V * (w1 * C.ra_vec(i) + w2 * C.rb_vec(i) + w3 * C.rc_vec(i));
  return r;
}

}  // namespace

CrystalData CellFromDegrees(Real a, Real b, Real c, Real alpha, Real beta, Real gamma) {
  CrystalData C;
  SetCellFromDegrees(C, a, b, c, alpha, beta, gamma);
  return C;
}

void SetCellFromDegrees(CrystalData& C, Real a, Real b, Real c, Real alpha, Real beta,
                        Real gamma) {
  C.a = a;
  C.b = b;
  C.c = c;
  C.alpha = alpha * core::kDegToRad;
  C.beta = beta * core::kDegToRad;
  C.gamma = gamma * core::kDegToRad;
}

void InitCrystal(CrystalData& C) {
  MetricTensors(C);
  CartesianAxes(C);
  CopyReciprocalRows(C);  // the metric is already current: ReciprocalBasis without recomputing it
}

void MetricTensors(CrystalData& C) {
  const Real ab = C.a * C.b * std::cos(C.gamma);
  const Real ac = C.a * C.c * std::cos(C.beta);
  const Real bc = C.b * C.c * std::cos(C.alpha);
  C.g(1, 1) = C.a * C.a;
  C.g(1, 2) = ab;
  C.g(1, 3) = ac;
  C.g(2, 1) = ab;
  C.g(2, 2) = C.b * C.b;
  C.g(2, 3) = bc;
  C.g(3, 1) = ac;
  C.g(3, 2) = bc;
  C.g(3, 3) = C.c * C.c;
  core::Invert3x3(C.g, C.f);
}

void ReciprocalBasis(CrystalData& C) {
  MetricTensors(C);
  CopyReciprocalRows(C);
}

// A cell whose angles meet in a plane has no volume; the square root of a negative radicand
// would be NaN, so such a cell reports 0.
Real CellVolume(const CrystalData& C) {
  const Real radicand = VolumeRadicand(C);
  if (!(radicand > 0)) return 0;
  return C.a * C.b * C.c * std::sqrt(radicand);
}

// Setting 0 is the crystallographers' standard orthogonalisation (X along a, Z along c*).
// Settings 1 and 2 keep c on Z and put a, respectively b, into a coordinate plane; S is the
// angle between the projections of a and b on the plane normal to c (S = 180° - γ*).
void CartesianAxes(CrystalData& C) {
  const Real sa = std::sin(C.alpha), ca = std::cos(C.alpha);
  const Real sb = std::sin(C.beta), cb = std::cos(C.beta);
  const Real sg = std::sin(C.gamma), cg = std::cos(C.gamma);
  const Real V = CellVolume(C);
  Tensor2& B = C.BMatrix;

  B(1, 1) = C.a;
  B(2, 1) = 0;
  B(3, 1) = 0;
  B(1, 2) = C.b * cg;
  B(2, 2) = C.b * sg;
  B(3, 2) = 0;
  B(1, 3) = C.c * cb;
  B(2, 3) = C.c * (ca - cb * cg) / sg;
  B(3, 3) = V / (C.a * C.b * sg);

  if (C.AxisSetting != 1 && C.AxisSetting != 2) return;
  // Rounding can carry the cosine a hair beyond ±1 for nearly flat cells.
  const Real cosS = std::clamp((cg - ca * cb) / (sa * sb), Real{-1}, Real{1});
  const Real S = core::ArcCosine(cosS);
  const Real sS = std::sin(S), cS = std::cos(S);
  if (C.AxisSetting == 1) {
    B(1, 1) = C.a * sb;
    B(2, 1) = 0;
    B(3, 1) = C.a * cb;
    B(1, 2) = C.b * sa * cS;
    B(2, 2) = C.b * sa * sS;
    B(3, 2) = C.b * ca;
  } else {
    B(1, 1) = C.a * sb * sS;
    B(2, 1) = C.a * sb * cS;
    B(3, 1) = C.a * cb;
    B(1, 2) = 0;
    B(2, 2) = C.b * sa;
    B(3, 2) = C.b * ca;
  }
  B(1, 3) = 0;
  B(2, 3) = 0;
  B(3, 3) = C.c;
}

Real LatticeLength(const CrystalData& C, const Tensor1& v) {
  const Real a = C.a, b = C.b, c = C.c;
  return std::sqrt(v(1) * v(1) * a * a + v(2) * v(2) * b * b + v(3) * v(3) * c * c +
                   2 * v(1) * v(2) * a * b * std::cos(C.gamma) +
                   2 * v(2) * v(3) * b * c * std::cos(C.alpha) +
                   2 * v(1) * v(3) * a * c * std::cos(C.beta));
}

Real LatticeDot(const CrystalData& C, const Tensor1& u, const Tensor1& v) {
  Real sum = 0;
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) sum += u(i) * C.g(i, j) * v(j);
  return sum;
}

// u × v = V (w1 a* + w2 b* + w3 c*) with w the formal cross product of the components; the
// reciprocal vectors are held in direct components, so the result is in direct components too.
Tensor1 LatticeCross(const CrystalData& C, const Tensor1& u, const Tensor1& v) {
  return CrossWithVolume(C, CellVolume(C), u, v);
}

// 1/d² = n·f·n for n = (h, k, l). A sound cell makes f positive definite, so only zero indices
// leave a zero form. A cell that CheckCell rejects gives 0 as well: its metric may be singular
// (f would keep whatever the record held) or indefinite (the root of a negative form is NaN).
Real DSpacing(CrystalData C, Real h, Real k, Real l) {
  if (!CheckCell(C).empty()) return 0;
  MetricTensors(C);
  const Tensor1 n{{h, k, l}};
  Real Q = 0;
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) Q += C.f(i, j) * n(i) * n(j);
  if (!(Q > 0)) return 0;
  return 1 / std::sqrt(Q);
}

// The frame is built from lattice vectors (a or a*, b or b*, c) normalised with the metric, and
// R collects the Cartesian components of a, b, c; the normal is R applied to the reciprocal
// vector G = h a* + k b* + l c*. The zero vector stands for "no normal": h = k = l = 0, or a
// cell CheckCell rejects (R is then all zeros too); callers check the indices and the cell first.
Tensor1 PlaneNormal(CrystalData C, Real h, Real k, Real l, Tensor2* R) {
  if (R != nullptr) *R = Tensor2{};
  if (!CheckCell(C).empty()) return Tensor1{};
  // Only the metric and the reciprocal basis enter the normal; the Cartesian axes of the cell
  // are not needed here, and V² = det g spares the cosines of the cell volume.
  MetricTensors(C);
  CopyReciprocalRows(C);
  const Real V = std::sqrt(core::Determinant3x3(C.g));

  const Tensor1 e1{{1, 0, 0}}, e2{{0, 1, 0}}, e3{{0, 0, 1}};
  Tensor1 X, Y, Z;
  switch (C.AxisSetting) {
    case 1:
      X = LatticeNormalized(C, C.ra_vec);
      Y = LatticeNormalized(C, e2);
      Z = LatticeNormalized(C, CrossWithVolume(C, V, X, Y));
      break;
    case 2:
      Y = LatticeNormalized(C, C.rb_vec);
      Z = LatticeNormalized(C, e3);
      X = LatticeNormalized(C, CrossWithVolume(C, V, Y, Z));
      break;
    default:
      X = LatticeNormalized(C, e1);
      Y = LatticeNormalized(C, C.rb_vec);
      Z = LatticeNormalized(C, CrossWithVolume(C, V, X, Y));
      break;
  }

  Tensor2 frame;
  const Tensor1* e[3] = {&e1, &e2, &e3};
  for (int j = 1; j <= 3; ++j) {
    frame(1, j) = LatticeDot(C, *e[j - 1], X);
    frame(2, j) = LatticeDot(C, *e[j - 1], Y);
    frame(3, j) = LatticeDot(C, *e[j - 1], Z);
  }
  if (R != nullptr) *R = frame;

  Tensor1 G;
  for (int i = 1; i <= 3; ++i) G(i) = h * C.ra_vec(i) + k * C.rb_vec(i) + l * C.rc_vec(i);
  Tensor1 n;
  core::MatVec3x3(frame, G, n);
  const Real length = core::VectorNorm(n);
  if (!(length > 0) || !std::isfinite(length)) return Tensor1{};
  core::NormalizeVector(n);
  return n;
}

Tensor2 LatticeFrame(const CrystalData& C) {
  Tensor2 R;
  PlaneNormal(C, 0, 0, 1, &R);
  return R;
}

// Azimuth from X towards Y, polar angle from Z. The arguments of the arc cosines are clamped
// because a normalised vector may carry a component a rounding step beyond ±1. A zero normal
// (no plane) gives azimuth 0 and polar angle 90°.
core::PolarAnglesRec HKLToPolarAngles(const CrystalData& C, Real h, Real k, Real l) {
  const Tensor1 n = PlaneNormal(C, h, k, l);
  const Real x = n(1), y = n(2), z = n(3);
  core::PolarAnglesRec angles;
  const Real xy2 = x * x + y * y;
  if (xy2 > 1e-15L) {
    angles.phi = core::ArcCosine(std::clamp(x / std::sqrt(xy2), Real{-1}, Real{1}));
    if (y < 0) angles.phi = -angles.phi;
  }
  angles.psi = core::ArcCosine(std::clamp(z, Real{-1}, Real{1}));
  return angles;
}

Tensor1 DirectionToCartesian(CrystalData C, Real u, Real v, Real w) {
  CartesianAxes(C);
  Tensor1 r;
  core::MatVec3x3(C.BMatrix, Tensor1{{u, v, w}}, r);
  return r;
}

std::string CheckCell(const CrystalData& C) {
  const struct {
    const char* name;
    Real value;
  } edges[] = {{"a", C.a}, {"b", C.b}, {"c", C.c}},
    angles[] = {{"alpha", C.alpha}, {"beta", C.beta}, {"gamma", C.gamma}};
  // Beyond these magnitudes the metric (squares of the edges) and the reciprocal cell leave
  // the range of the numbers the results are written with; no unit of length needs them.
  constexpr Real kShortestEdge = 1e-30L, kLongestEdge = 1e30L;
  for (const auto& edge : edges) {
    if (!(edge.value > 0) || !std::isfinite(edge.value))
      return std::string("cell edge ") + edge.name + " must be a positive length";
    if (!(edge.value >= kShortestEdge && edge.value <= kLongestEdge))
      return std::string("cell edge ") + edge.name + " must be a positive length from 1E-30 to " +
             "1E30 (it is " + core::FormatGeneral(edge.value) + ")";
  }
  for (const auto& angle : angles)
    if (!(angle.value > 0 && angle.value < core::kPi))
      return std::string("cell angle ") + angle.name +
             " must lie between 0 and 180 degrees (both excluded)";
  if (!(VolumeRadicand(C) > kFlatCellRadicand))
    return "cell angles alpha, beta, gamma span no volume: each must be smaller than the sum "
           "of the other two, and the three together smaller than 360 degrees";
  return {};
}

}  // namespace polydec::crystal
