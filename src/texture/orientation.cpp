// Bunge Euler angles, rotation matrices and symmetry operator tables (Bunge, 1982).
#include "texture/orientation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <string>

#include "core/arc_tan.h"
#include "core/linalg.h"

namespace polydec::texture {

using core::kPi;
using core::Tensor2;

namespace {

// A signed permutation written as the image of (x, y, z): axes[r] = +-c puts +-1 in row r,
// column c.
constexpr Tensor2 SignedPermutation(std::array<int, 3> axes) {
  Tensor2 m{};
  for (int r = 0; r < 3; ++r) {
    const int c = axes[r] < 0 ? -axes[r] : axes[r];
    m.e[3 * r + (c - 1)] = axes[r] < 0 ? -1.0L : 1.0L;
  }
  return m;
}

constexpr Tensor2 Rows(Real a11, Real a12, Real a13, Real a21, Real a22, Real a23, Real a31,
                       Real a32, Real a33) {
  return Tensor2{{a11, a12, a13, a21, a22, a23, a31, a32, a33}};
}

constexpr std::array<Tensor2, 24> kCubic = {
    SignedPermutation({1, 2, 3}),    SignedPermutation({-1, 2, -3}),
    SignedPermutation({-1, -2, 3}),  SignedPermutation({1, -2, -3}),
    SignedPermutation({-2, -1, -3}), SignedPermutation({2, -1, 3}),
    SignedPermutation({2, 1, -3}),   SignedPermutation({-2, 1, 3}),
    SignedPermutation({2, 3, 1}),    SignedPermutation({-2, 3, -1}),
    SignedPermutation({-2, -3, 1}),  SignedPermutation({2, -3, -1}),
    SignedPermutation({3, 1, 2}),    SignedPermutation({-3, 1, -2}),
    SignedPermutation({-3, -1, 2}),  SignedPermutation({3, -1, -2}),
    SignedPermutation({-3, -2, -1}), SignedPermutation({3, -2, 1}),
    SignedPermutation({3, 2, -1}),   SignedPermutation({-3, 2, 1}),
    SignedPermutation({-1, -3, -2}), SignedPermutation({1, -3, 2}),
    SignedPermutation({1, 3, -2}),   SignedPermutation({-1, 3, 2}),
};

// cos 60 and sin 60 degrees; the literal rounds to the same 80-bit value as sqrtl(3)/2.
constexpr Real kC = 0.5L;
constexpr Real kS = 0.866025403784438646763723170752936183L;

constexpr std::array<Tensor2, 12> kHexagonal = {
    Rows(1, 0, 0, 0, 1, 0, 0, 0, 1),         Rows(-kC, kS, 0, -kS, -kC, 0, 0, 0, 1),
    Rows(-kC, -kS, 0, kS, -kC, 0, 0, 0, 1),  Rows(kC, kS, 0, -kS, kC, 0, 0, 0, 1),
    Rows(-1, 0, 0, 0, -1, 0, 0, 0, 1),       Rows(kC, -kS, 0, kS, kC, 0, 0, 0, 1),
    Rows(-kC, -kS, 0, -kS, kC, 0, 0, 0, -1), Rows(1, 0, 0, 0, -1, 0, 0, 0, -1),
    Rows(-kC, kS, 0, kS, kC, 0, 0, 0, -1),   Rows(kC, kS, 0, kS, -kC, 0, 0, 0, -1),
    Rows(-1, 0, 0, 0, 1, 0, 0, 0, -1),       Rows(kC, -kS, 0, -kS, -kC, 0, 0, 0, -1),
};

// Trigonal 32 with its twofold axes along x and at 60 and 120 degrees from it (the form of the
// trigonal1 elastic constants, C14 = -C24 = C56): the threefold rotations and the twofold
// axes of the hexagonal table, entries 1, 2, 3, 7, 8, 9 in that order. The first six entries
// of that table are the sixfold rotations, which a trigonal crystal does not have.
constexpr std::array<Tensor2, 6> kTrigonal1 = {kHexagonal[0], kHexagonal[1], kHexagonal[2],
                                               kHexagonal[6], kHexagonal[7], kHexagonal[8]};

constexpr std::array<Tensor2, 8> kTetragonal = {
    SignedPermutation({1, 2, 3}),  SignedPermutation({-1, -2, 3}),  SignedPermutation({2, -1, 3}),
    SignedPermutation({-2, 1, 3}), SignedPermutation({-1, 2, -3}),  SignedPermutation({1, -2, -3}),
    SignedPermutation({2, 1, -3}), SignedPermutation({-2, -1, -3}),
};

constexpr std::array<Tensor2, 4> kOrthorhombic = {
    SignedPermutation({1, 2, 3}),
    SignedPermutation({-1, -2, 3}),
    SignedPermutation({1, -2, -3}),
    SignedPermutation({-1, 2, -3}),
};

constexpr std::array<Tensor2, 2> kTwofoldZ = {SignedPermutation({1, 2, 3}),
                                              SignedPermutation({-1, -2, 3})};
constexpr std::array<Tensor2, 2> kTwofoldY = {SignedPermutation({1, 2, 3}),
                                              SignedPermutation({-1, 2, -3})};

// The arrangements h k l, k l h and k h l, each with all eight sign combinations.
constexpr std::array<std::array<int, 3>, 24> kHKLPermutations = {{
    {1, 2, 3},   {-1, 2, 3},   {1, -2, 3},  {1, 2, -3},   {1, -2, -3}, {-1, 2, -3},
    {-1, -2, 3}, {-1, -2, -3}, {2, 3, 1},   {-2, 3, 1},   {2, -3, 1},  {2, 3, -1},
    {-2, -3, 1}, {-2, 3, -1},  {2, -3, -1}, {-2, -3, -1}, {2, 1, 3},   {-2, 1, 3},
    {2, -1, 3},  {2, 1, -3},   {-2, -1, 3}, {-2, 1, -3},  {2, -1, -3}, {-2, -1, -3},
}};

// Degrees to radians and back exactly as x*pi/180 and x*180/pi, so that angles converted
// here agree to the last bit with those converted elsewhere in the engine.
Real ToRadians(Real x) { return x * kPi / 180; }
Real ToDegrees(Real x) { return x * 180 / kPi; }

void CleanUpAngle(Real& a) {
  if (std::fabs(a) < 1e-8L) a = std::fabs(a);
  if (a < 0) a += 2 * kPi;
}

void ClearTiny(Real& a) {
  a = std::fabs(a);
  if (a < 1e-10L) a = 0;
}

}  // namespace

Tensor2 EulerToMatrix(Real phi1, Real Phi, Real phi2) {
  return EulerToMatrix(EulerTrig{std::cos(phi1), std::sin(phi1), std::cos(Phi), std::sin(Phi),
                                 std::cos(phi2), std::sin(phi2)});
}

Tensor2 EulerToMatrix(const EulerTrig& t) {
  const Real c1 = t.c1, s1 = t.s1, c = t.c, s = t.s, c2 = t.c2, s2 = t.s2;
  Tensor2 g;
  g(1, 1) = c1 * c2 - s1 * s2 * c;
  g(1, 2) = s1 * c2 + c1 * s2 * c;
  g(1, 3) = s2 * s;
  g(2, 1) = -c1 * s2 - s1 * c2 * c;
  g(2, 2) = -s1 * s2 + c1 * c2 * c;
  g(2, 3) = c2 * s;
  g(3, 1) = s1 * s;
  g(3, 2) = -c1 * s;
  g(3, 3) = c;
  return g;
}

Tensor2 EulerToInverseMatrix(Real phi1, Real Phi, Real phi2) {
  const Tensor2 g = EulerToMatrix(phi1, Phi, phi2);
  Tensor2 inverse = g;
  core::Invert3x3(g, inverse);
  return inverse;
}

Real QuadrantArcTan(Real x, Real y) {
  if (y == 0) return x >= 0 ? 0 : -kPi;
  if (x == 0) return y >= 0 ? kPi / 2 : -kPi / 2;
  const Real t = std::atan(y / x);
  if (x > 0) return t;
  return y > 0 ? t + kPi : t - kPi;
}

core::EulerAnglesRec MatrixToEuler(const Tensor2& g) {
  // A product of rotation matrices may carry |g33| a few ulps above 1.
  const Real g33 = std::clamp(g(3, 3), Real{-1}, Real{1});
  Real Phi = core::ArcCosine(g33);
  Real phi1 = 0, phi2 = 0;
  // Near Phi = 0 or pi only phi1 + phi2 (or phi1 - phi2) is defined, and g13, g23, g31, g32
  // are of the order of rounding noise; the same relative tolerance is used at both ends.
  if (Phi < 1e-6L * kPi || std::fabs(std::fabs(Phi / kPi) - 1) < 1e-6L) {
    phi1 = QuadrantArcTan(g(1, 1), g(1, 2));
    phi2 = 0;
  } else {
    const Real s = std::sin(Phi);
    phi2 = QuadrantArcTan(g(2, 3) / s, g(1, 3) / s);
    phi1 = QuadrantArcTan(-g(3, 2) / s, g(3, 1) / s);
  }
  CleanUpAngle(phi1);
  CleanUpAngle(phi2);
  ClearTiny(phi1);
  ClearTiny(phi2);
  ClearTiny(Phi);
  return {phi1, Phi, phi2};
}

EulerAnglesDouble FastMatrixToEuler(const AngleEntries& g) {
  constexpr double kPiDouble = 3.1415926535897931, kTwoPiDouble = 2 * kPiDouble;
  const double Phi = core::ArcTan2(std::sqrt(g.g13 * g.g13 + g.g23 * g.g23), g.g33);
  double phi1 = 0, phi2 = 0;
  if (Phi < 1e-6 * kPiDouble || std::fabs(Phi - kPiDouble) < 1e-6 * kPiDouble) {
    phi1 = core::ArcTan2(g.g12, g.g11);
  } else {
    phi2 = core::ArcTan2(g.g13, g.g23);
    phi1 = core::ArcTan2(g.g31, -g.g32);
  }
  // CleanUpAngle and ClearTiny of MatrixToEuler. 2pi in double lies below the extended 2pi,
  // so a folded angle stays below it.
  const auto cleanUp = [&](double a) {
    if (std::fabs(a) < 1e-8) a = std::fabs(a);
    if (a < 0) a += kTwoPiDouble;
    return a < 1e-10 ? 0.0 : a;
  };
  return {cleanUp(phi1), Phi < 1e-10 ? 0.0 : Phi, cleanUp(phi2)};
}

core::EulerAnglesRec FiberToEuler(Real psi, Real phi, Real theta, Real beta, Real lamda) {
  // A turns the measurement direction onto the Z axis, B^-1 turns Z onto the plane normal;
  // lamda, the first Bunge rotation of B, spins the crystal about the common axis.
  const Tensor2 A = EulerToMatrix(phi + kPi / 2, psi, 0);
  const Tensor2 B = EulerToMatrix(lamda, theta, kPi / 2 - beta);
  Tensor2 G;
  core::MatMul3x3(B, A, G);
  return MatrixToEuler(G);
}

const Tensor2& OperatorTable::operator()(int n) const {
  if (n < 1 || n > Size())
    throw std::out_of_range("symmetry operator " + std::to_string(n) + " outside 1.." +
                            std::to_string(Size()));
  return entries[static_cast<std::size_t>(n - 1)];
}

OperatorTable CubicOperators() { return {kCubic}; }
OperatorTable HexagonalOperators() { return {kHexagonal}; }
OperatorTable TetragonalOperators() { return {kTetragonal}; }
OperatorTable OrthorhombicOperators() { return {kOrthorhombic}; }
OperatorTable TwofoldZOperators() { return {kTwofoldZ}; }
OperatorTable TwofoldYOperators() { return {kTwofoldY}; }

OperatorTable CrystalOperators(CrystalClass sys) {
  const std::span<const Tensor2> cubic{kCubic}, hexagonal{kHexagonal};
  const std::span<const Tensor2> tetragonal{kTetragonal}, orthorhombic{kOrthorhombic};
  switch (sys) {
    case 0:   // isotropic: no point group to reduce by
    case 10:  // triclinic (1): the identity only
      return {orthorhombic.first(1)};
    case 1:
      return {cubic};
    case 2:
      return {hexagonal};
    case 3:
      return {tetragonal};
    case 4:
      return {tetragonal.first(4)};
    case 5:
      return {kTrigonal1};
    case 6:
      return {hexagonal.first(3)};
    case 7:
      return {orthorhombic};
    case 8:
      return {kTwofoldY};
    case 9:
      return {kTwofoldZ};
    default:
      throw std::out_of_range("crystal symmetry class " + std::to_string(sys) + " outside 0..10");
  }
}

OperatorTable SampleOperators(SampleSymmetry symmetry) {
  if (symmetry < 0 || symmetry > 10)
    throw std::out_of_range("sample symmetry " + std::to_string(symmetry) + " outside 0..10");
  switch (symmetry) {
    case 7:
      return {kOrthorhombic};
    case 8:
      return {kTwofoldY};
    case 9:
      return {kTwofoldZ};
    default:
      return {std::span<const Tensor2>{kOrthorhombic}.first(1)};
  }
}

bool SymmetryEquivalentInRegion(CrystalClass sys, SampleSymmetry symmetry, Real phi1, Real Phi,
                                Real phi2, Real b1, Real b2, Real b3,
                                core::EulerAnglesRec& result) {
  return SymmetryEquivalentInRegion(sys, symmetry,
                                    EulerToMatrix(ToRadians(phi1), ToRadians(Phi), ToRadians(phi2)),
                                    b1, b2, b3, result);
}

bool SymmetryEquivalentInRegion(CrystalClass sys, SampleSymmetry symmetry, const Tensor2& g,
                                Real b1, Real b2, Real b3, core::EulerAnglesRec& result) {
  return SymmetryEquivalentInRegion(sys, symmetry, g, b1, b2, b3, 0, result);
}

bool OnGridNode(const core::EulerAnglesRec& e, Real step) {
  const auto near = [step](Real x) { return std::fabs(std::round(x / step) * step - x) < 1e-6L; };
  return near(e.phi1) && near(e.phi) && near(e.phi2);
}

bool SymmetryEquivalentInRegion(CrystalClass sys, SampleSymmetry symmetry, const Tensor2& g,
                                Real b1, Real b2, Real b3, Real step,
                                core::EulerAnglesRec& result) {
  return SymmetrySearch(sys, symmetry, b1, b2, b3, step).Find(g, result);
}

SymmetrySearch::SectorBound::SectorBound(Real bound) : active(bound < kPi) {
  if (active) sine = std::sin(bound), cosine = std::cos(bound);
}

// False only when the angle of (x, y) certainly exceeds the bound. The margin lies far above
// rounding and covers the small negative angles (above -1e-8) that MatrixToEuler folds to
// positive ones, so borderline cases go on to the exact test.
bool SymmetrySearch::SectorBound::MayHold(Real x, Real y) const {
  if (!active) return true;
  const Real margin = 1e-7L * (std::fabs(x) + std::fabs(y));
  return y >= -margin && x * sine - y * cosine >= -margin;
}

SymmetrySearch::SymmetrySearch(CrystalClass sys, SampleSymmetry symmetry, Real b1, Real b2,
                               Real b3, Real step)
    : crystal_(CrystalOperators(sys)),
      sample_(SampleOperators(symmetry)),
      bounds_{ToRadians(b1), ToRadians(b2), ToRadians(b3)},
      step_(step),
      phi1_(bounds_[0] + kTolerance),
      phi2_(bounds_[2] + kTolerance),
      phiActive_(bounds_[1] + kTolerance < kPi),
      minimumG33_(phiActive_ ? std::cos(bounds_[1] + kTolerance) - 1e-12L : -2) {}

// A cheap look at the matrix that rejects most candidates without the inverse trigonometry of
// MatrixToEuler; it never rejects one that the exact test would accept. It looks only at the
// third row and column of M = C g S, the entries the angles depend on, without forming the
// whole product.
bool SymmetrySearch::MayHold(const Tensor2& C, const Tensor2& g, const Tensor2& S) const {
  std::array<Real, 4> gs{}, cg{};  // g times column 3 of S; row 3 of C times g
  for (int k = 1; k <= 3; ++k) {
    gs[static_cast<std::size_t>(k)] = g(k, 1) * S(1, 3) + g(k, 2) * S(2, 3) + g(k, 3) * S(3, 3);
    cg[static_cast<std::size_t>(k)] = C(3, 1) * g(1, k) + C(3, 2) * g(2, k) + C(3, 3) * g(3, k);
  }
  const auto column3 = [&](int i) { return C(i, 1) * gs[1] + C(i, 2) * gs[2] + C(i, 3) * gs[3]; };
  const auto row3 = [&](int j) { return cg[1] * S(1, j) + cg[2] * S(2, j) + cg[3] * S(3, j); };
  const Real g33 = column3(3);
  if (g33 < minimumG33_) return false;
  const Real g13 = column3(1), g23 = column3(2);
  // Away from Phi = 0 and pi, phi2 is the angle of (g23, g13) and phi1 that of (-g32, g31).
  if (g13 * g13 + g23 * g23 < 1e-8L) return true;
  return phi2_.MayHold(g23, g13) && phi1_.MayHold(-row3(2), row3(1));
}

SymmetrySearch::Candidate SymmetrySearch::Test(int j, int i, const Tensor2& g,
                                               core::EulerAnglesRec& degrees) const {
  const Tensor2& C = crystal_.entries[static_cast<std::size_t>(i)];
  const Tensor2& S = sample_.entries[static_cast<std::size_t>(j)];
  if (!MayHold(C, g, S)) return Candidate::kOutside;
  Tensor2 Cg, M;
  core::MatMul3x3(C, g, Cg);
  core::MatMul3x3(Cg, S, M);
  const core::EulerAnglesRec e = MatrixToEuler(M);
  if (!(e.phi1 - kTolerance <= bounds_[0] && e.phi - kTolerance <= bounds_[1] &&
        e.phi2 - kTolerance <= bounds_[2]))
    return Candidate::kOutside;
  degrees = {ToDegrees(e.phi1), ToDegrees(e.phi), ToDegrees(e.phi2)};
  return step_ > 0 && OnGridNode(degrees, step_) ? Candidate::kOnNode : Candidate::kInRegion;
}

bool SymmetrySearch::Find(const Tensor2& g, core::EulerAnglesRec& result) const {
  bool found = false;
  for (int j = 0; j < sample_.Size(); ++j)
    for (int i = 0; i < crystal_.Size(); ++i) {
      core::EulerAnglesRec d;
      const Candidate c = Test(j, i, g, d);
      if (c == Candidate::kOutside) continue;
      if (!found) result = d;
      found = true;
      if (!(step_ > 0)) return true;
      if (c == Candidate::kOnNode) {
        result = d;
        return true;
      }
    }
  return found;
}

core::Tensor1 HKLPermutation(int n, Real h, Real k, Real l) {
  if (n < 1 || n > 24)
    throw std::out_of_range("hkl permutation " + std::to_string(n) + " outside 1..24");
  const std::array<Real, 3> hkl = {h, k, l};
  core::Tensor1 r;
  for (int i = 0; i < 3; ++i) {
    const int a = kHKLPermutations[static_cast<std::size_t>(n - 1)][static_cast<std::size_t>(i)];
    r.e[static_cast<std::size_t>(i)] =
        a < 0 ? -hkl[static_cast<std::size_t>(-a - 1)] : hkl[static_cast<std::size_t>(a - 1)];
  }
  return r;
}

}  // namespace polydec::texture
