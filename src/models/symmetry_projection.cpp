#include "models/symmetry_projection.h"

#include <initializer_list>

namespace polydec::models {

namespace {

using core::CijklPosition;
using core::CijklVector;
using core::Real;

// The entry Cijkl of a vector in the 21-component order.
Real& C(CijklVector& v, int i, int j, int k, int l) { return v[CijklPosition(i, j, k, l)]; }

// Every member of the group becomes the group's mean, summed in the order given.
void MeanOf(CijklVector& v, std::initializer_list<int> positions) {
  Real sum = 0;
  for (int p : positions) sum += v[p];
  const Real mean = sum / static_cast<Real>(positions.size());
  for (int p : positions) v[p] = mean;
}

// Positions of the diagonal-block components that the classes of higher symmetry tie together.
constexpr int k1111 = 1, k1122 = 4, k1133 = 6, k1212 = 7, k1313 = 12, k2222 = 16, k2233 = 18,
              k2323 = 19, k3333 = 21;

// Shear modulus of the isotropic plane: C1212 = (C1111 - C1122)/2.
void IsotropicShear(CijklVector& v, int shearPosition) {
  v[shearPosition] = (v[k1111] - v[k1122]) / 2;
}

void DiagonalBlockRule(CijklVector& v, int c) {
  switch (c) {
    case 0:
      MeanOf(v, {k1111, k2222, k3333});
      MeanOf(v, {k1122, k1133, k2233});
      for (int p : {k1212, k1313, k2323}) IsotropicShear(v, p);
      break;
    case 1:
      MeanOf(v, {k1111, k2222, k3333});
      MeanOf(v, {k1122, k1133, k2233});
      MeanOf(v, {k1212, k1313, k2323});
      break;
    case 2:
      MeanOf(v, {k1111, k2222});
      MeanOf(v, {k1133, k2233});
      MeanOf(v, {k1313, k2323});
      IsotropicShear(v, k1212);
      break;
    case 3:
    case 4:
      MeanOf(v, {k1111, k2222});
      MeanOf(v, {k1133, k2233});
      MeanOf(v, {k1313, k2323});
      break;
    case 5:
    case 6:
      IsotropicShear(v, k1212);
      v[k2222] = v[k1111];
      MeanOf(v, {k1133, k2233});
      MeanOf(v, {k1313, k2323});
      break;
    default:
      break;
  }
}

// Components that vanish in each class, named by their indices ijkl written as one number.
void ClearVanishing(CijklVector& v, int c) {
  auto clear = [&v](std::initializer_list<int> names) {
    for (int ijkl : names) C(v, ijkl / 1000, ijkl / 100 % 10, ijkl / 10 % 10, ijkl % 10) = 0;
  };
  switch (c) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 7:
      clear({1112, 1113, 1123, 1213, 1222, 1223, 1233, 1322, 1323, 1333, 2223, 2333});
      break;
    case 4:
      clear({1113, 1123, 1213, 1223, 1233, 1322, 1323, 1333, 2223, 2333});
      break;
    case 5:
      clear({1112, 1113, 1222, 1223, 1233, 1322, 1323, 1333, 2333});
      break;
    case 6:
      clear({1112, 1222, 1233, 1323, 1333, 2333});
      break;
    case 8:  // twofold axis Y: an odd number of indices 2 vanishes
      clear({1112, 1123, 1213, 1222, 1233, 1323, 2223, 2333});
      break;
    case 9:  // twofold axis Z: an odd number of indices 3 vanishes
      clear({1113, 1123, 1213, 1223, 1322, 1333, 2223, 2333});
      break;
    default:
      break;
  }
}

}  // namespace

void ProjectOnSymmetry(CijklVector& v, int p, int c) {
  if (p == k1111 || p == k1122 || p == k1133 || p == k1212) {
    DiagonalBlockRule(v, c);
  } else if (p == CijklPosition(1, 1, 1, 2) && c == 4) {
    // Tetragonal 4/m: C26 = -C16 (Nye 1957).
    C(v, 1, 2, 2, 2) = -C(v, 1, 1, 1, 2);
  } else if (p == CijklPosition(1, 1, 1, 3) && c == 6) {
    // Trigonal 3, -3: C25 = -C15 and C46 = C25.
    C(v, 1, 3, 2, 2) = -C(v, 1, 1, 1, 3);
    C(v, 1, 2, 2, 3) = C(v, 1, 3, 2, 2);
  } else if (p == CijklPosition(1, 1, 2, 3) && (c == 5 || c == 6)) {
    // Trigonal: C24 = -C14 and C56 = C14.
    C(v, 2, 2, 2, 3) = -C(v, 1, 1, 2, 3);
    C(v, 1, 2, 1, 3) = C(v, 1, 1, 2, 3);
  } else if (p == CijklPosition(1, 2, 2, 3) && c == 6) {
    C(v, 1, 3, 2, 2) = C(v, 1, 2, 2, 3);
  }
  ClearVanishing(v, c);
}

void CompleteBySymmetry(core::Tensor4& T, int c) {
  CijklVector v{};
  core::TensorToCijkl(T, v);
  for (int p = 1; p <= 21; ++p) ProjectOnSymmetry(v, p, c);
  core::CijklToTensor(v, T);
}

}  // namespace polydec::models
