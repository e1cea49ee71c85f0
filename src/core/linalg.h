// Small linear algebra: 3-vectors and 3x3 matrices, the Gauss-Jordan and LU solvers on
// fixed-capacity blocks, power and arc cosine with the conventions the engine relies on,
// and a millisecond clock.
#pragma once

#include "core/types.h"

namespace polydec::core {

Real VectorNorm(const Tensor1& v);
void NormalizeVector(Tensor1& v);
Real VectorAngle(const Tensor1& u, const Tensor1& v);
void Transpose3x3(const Tensor2& A, Tensor2& R);
void MatMul3x3(const Tensor2& A, const Tensor2& B, Tensor2& R);
void MatVec3x3(const Tensor2& A, const Tensor1& v, Tensor1& r);
// X := R T R^T.
void RotateTensor2(const Tensor2& R, const Tensor2& T, Tensor2& X);
void HadamardProduct3x3(const Tensor2& A, const Tensor2& B, Tensor2& X);
Real SumOfEntries3x3(const Tensor2& A);
// Adjugate over determinant; a singular A (det exactly 0) leaves R as it was.
void Invert3x3(const Tensor2& A, Tensor2& R);
Real Determinant3x3(const Tensor2& A);

// Solves a x = b with full pivoting (Numerical Recipes gaussj); a becomes a^-1, b becomes x.
// Returns false (after printing the classic message) when a is singular.
bool GaussJordan(FloatMat& a, int n, FloatVec& b);
// Crout LU decomposition with partial pivoting, in place; indx records the row permutation.
void LUDecompose(FloatMat& a, IntVec& indx, int n);
void LUSolve(const FloatMat& a, const IntVec& indx, FloatVec& b, int n);

Real Power(Real base, Real exponent);
Real ArcCosine(Real x);
Int ReadClock();

}  // namespace polydec::core
