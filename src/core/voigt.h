// The 21 independent components of an elastic tensor in the order used by files, grids and
// fits, the symmetry-class tables, and elementary fourth-rank tensor arithmetic.
#pragma once

#include <algorithm>
#include <array>
#include <span>
#include <string_view>

#include "core/types.h"

namespace polydec::core {

// Component order 1111, 1112, 1113, 1122, 1123, 1133, 1212, 1213, 1222, 1223, 1233, 1313,
// 1322, 1323, 1333, 2222, 2223, 2233, 2323, 2333, 3333 (positions 1..21): the upper triangle of
// the 6x6 matrix whose pairs run 11, 12, 13, 22, 23, 33.
using CijklVector = FloatVec;

struct CijklQuad {
  int i, j, k, l;
};

// Index quadruple of position n (1..21). Any other n leaves the outputs untouched.
void CijklIndex(int n, int& i, int& j, int& k, int& l);

// Position (1..21) of the component ijkl, whatever order its indices are given in.
int CijklPosition(int i, int j, int k, int l);

// Labels " C1111 " .. " C3333 ", index 1..21 (entry 0 is empty).
extern const std::array<std::string_view, 22> CijklNames;

// Per class code 0..10: entry 0 = number m of independent components, entries 1..m their
// positions in ascending order, the rest 0.
extern const std::array<std::array<int, 22>, 11> SymmetryComponents;

// Voigt index (1..6) of an index pair: 11->1, 22->2, 33->3, 23->4, 13->5, 12->6.
int VoigtIndex(int i, int j);
// Representative index pair (i <= j) of a Voigt index 1..6.
void VoigtPair(int voigt, int& i, int& j);
// Position (1..21) of the Voigt entry C_IJ (either order of I, J).
int VoigtToPosition(int I, int J);

// Voigt names of the positions: position n holds C_IJ; "C11", "C16", ... by position.
extern const std::array<std::string_view, 22> VoigtNames;

void TensorToCijkl(const Tensor4& T, CijklVector& v);
void CijklToTensor(const CijklVector& v, Tensor4& T);
void FillTensor(Tensor4& T, Real x);
void ClearFloatVec(FloatVec& v);
void ClearFloatMat(FloatMat& M);
inline void FillVector(std::span<Real> a, Real x) { std::fill(a.begin(), a.end(), x); }
inline void CopyVector(std::span<Real> dst, std::span<const Real> src) {
  std::copy_n(src.begin(), std::min(dst.size(), src.size()), dst.begin());
}
inline int Delta(int a, int b) { return a == b ? 1 : 0; }
void ScaleTensor(Tensor4& T, Real x);
// R := A + x*B; R may alias A or B.
void AddTensors(const Tensor4& A, const Tensor4& B, Tensor4& R, Real x);
// R_ijkl := sum_mn A_ijmn B_mnkl; R may alias A or B.
void ContractTensors(const Tensor4& A, const Tensor4& B, Tensor4& R);
// r_ij := sum_kl T_ijkl X_kl; r may alias X.
void ContractTensor2(const Tensor4& T, const Tensor2& X, Tensor2& r);

// The symmetric fourth-rank identity 1/2 (d_ik d_jl + d_il d_jk), built once.
const Tensor4& SymIdentityTensor();

}  // namespace polydec::core
