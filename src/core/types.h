// Numeric types of the engine: 80-bit reals, 1-based fixed-size vectors, matrices and
// fourth-rank tensors, fixed-capacity linear-algebra blocks and dynamic data arrays.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/large_array.h"

namespace polydec::core {

// Every real quantity is x87 extended precision; results that users publish depend on it.
using Real = long double;
static_assert(std::numeric_limits<Real>::digits == 64,
              "polydec needs the 80-bit x87 long double (64-bit mantissa)");

using Int = std::int32_t;

// Vector indexed 1..3 as the formulas count.
struct Tensor1 {
  std::array<Real, 3> e{};
  Real& operator()(int i) { return e[i - 1]; }
  const Real& operator()(int i) const { return e[i - 1]; }
  bool operator==(const Tensor1&) const = default;
};

// 3x3 matrix indexed (row, column) in 1..3, row-major.
struct Tensor2 {
  std::array<Real, 9> e{};
  Real& operator()(int i, int j) { return e[3 * (i - 1) + (j - 1)]; }
  const Real& operator()(int i, int j) const { return e[3 * (i - 1) + (j - 1)]; }
  bool operator==(const Tensor2&) const = default;
};

// Fourth-rank tensor indexed (i, j, k, l) in 1..3; entry (i,j,k,l) sits at the canonical
// position 27(i-1) + 9(j-1) + 3(k-1) + l, counted from 1 (e[] counts from 0).
struct Tensor4 {
  std::array<Real, 81> e{};
  Real& operator()(int i, int j, int k, int l) {
    return e[27 * (i - 1) + 9 * (j - 1) + 3 * (k - 1) + (l - 1)];
  }
  const Real& operator()(int i, int j, int k, int l) const {
    return e[27 * (i - 1) + 9 * (j - 1) + 3 * (k - 1) + (l - 1)];
  }
  bool operator==(const Tensor4&) const = default;
};

// Fixed-capacity blocks of the linear-algebra routines: entries 1..n are used, n <= 82.
inline constexpr int kFloatCapacity = 83;
using FloatVec = std::array<Real, kFloatCapacity>;
using FloatMat = std::array<FloatVec, kFloatCapacity>;
using IntVec = std::array<Int, kFloatCapacity>;

// Dynamic, 0-based data arrays.
// The large ones (the ODF grid's arrays of 197,174 numbers) live on huge pages.
using DataVector = std::vector<Real, LargeBlockAllocator<Real>>;
using IntVector = std::vector<Int>;
using DataMatrix = std::vector<DataVector>;
using T2Array = std::vector<Tensor2>;

// Miller indices h, k, l held as reals, indexed 1..3.
using hklarray = Tensor1;

struct EulerAnglesRec {
  Real phi1 = 0, phi = 0, phi2 = 0;
};
struct EulerAngles {
  Real phi1 = 0, phi = 0, phi2 = 0;
};
struct PolarAnglesRec {
  Real phi = 0, psi = 0;
};
struct EllipsoidAxisLength {
  Real a = 1, b = 1, c = 1;
};

// Full-precision constants used across the engine.
inline constexpr Real kPi = 3.14159265358979323846264338327950288L;
inline constexpr Real kDegToRad = kPi / 180.0L;
inline constexpr Real kRadToDeg = 180.0L / kPi;

}  // namespace polydec::core
